#include "cli/watch_command.h"

#include "cli/exit_status.h"
#include "cli/flash_values.h"
#include "cli/flashing_station.h"
#include "cli/interruption.h"
#include "config/image_configurator.h"
#include "config/settings_store.h"
#include "run/failure_texts.h"

namespace cli {

int run_watch(const request& asked, const std::string& data_folder, console& io)
{
    const flash_values checked = values_for(asked, *settings_store::load_settings(data_folder));
    std::string refusal = checked.error.empty() ? image_refusal(asked) : checked.error;
    if (refusal.empty() && image_configurator::configuration_block(checked.values).isEmpty())
        refusal = failure_text(failure::configuration_too_large);
    if (!refusal.empty()) {
        io.err << refusal << std::endl;
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
    return flashing_station(data_folder, station, io).run();
}

} // namespace cli
