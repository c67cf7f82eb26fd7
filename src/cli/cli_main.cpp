#include "cli/cli_main.h"

#include "cli/disk_listing.h"
#include "cli/exit_status.h"
#include "cli/flash_command.h"
#include "cli/history_listing.h"
#include "cli/stick_contents_command.h"
#include "cli/watch_command.h"
#include "device/device_manager.h"
#include "run/flash_record.h"

namespace {

int list_disks(const cli::request& asked, cli::console& io)
{
    device_manager devices;
    const std::vector<cli::listed_disk> offered = disk_offer::offered(devices.get_devices());
    io.out << (asked.json ? cli::disk_json(offered) : cli::disk_table(offered));
    return cli::exit_status::done;
}

int show_history(const cli::request& asked, const std::string& data_folder, cli::console& io)
{
    const std::vector<flash_record::entry> entries = flash_record::read(data_folder);
    io.out << (asked.json ? cli::history_json(entries) : cli::history_table(entries));
    return cli::exit_status::done;
}

} // namespace

namespace cli {

int run(const request& asked, const std::string& data_folder, console& io)
{
    switch (asked.what) {
    case request::command::list:
        return list_disks(asked, io);
    case request::command::history:
        return show_history(asked, data_folder, io);
    case request::command::flash:
        return flash_command(asked, data_folder, io).run();
    case request::command::watch:
        return run_watch(asked, data_folder, io);
    case request::command::contents:
        return show_stick_contents(asked, data_folder, io);
    }
    return exit_status::refused;
}

} // namespace cli
