#include "cli/watch_command.h"

#include "cli/exit_status.h"
#include "cli/flash_values.h"
#include "cli/flashing_station.h"
#include "cli/interruption.h"
#include "config/settings_store.h"

namespace cli {

int run_watch(const request& asked, const std::string& data_folder, console& io)
{
    const flash_values checked = values_for(asked, *settings_store::load_settings(data_folder));
    if (!checked.error.empty()) {
        io.err << checked.error << std::endl;
        return exit_status::refused;
    }
    if (!asked.yes) {
        io.out << "Every USB stick plugged in from now on will be erased. Type yes to start: " << std::flush;
        std::string answer;
        std::getline(io.in, answer);
        if (answer != "yes") {
            io.out << "Nothing was written." << std::endl;
            return exit_status::declined;
        }
    }
    interruption::catch_interrupts();
    flash_station::options station;
    station.request = request_for(asked, checked.values);
    station.worker_named = asked.worker.has_value();
    station.again = asked.again;
    return flashing_station(data_folder, station, asked.json, io).run();
}

} // namespace cli
