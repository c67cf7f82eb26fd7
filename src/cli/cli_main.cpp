#include "cli/cli_main.h"

#include "app/permission_manager.h"
#include "base/app_paths.h"
#include "base/logger.h"
#include "cli/disk_listing.h"
#include "cli/exit_status.h"
#include "cli/flash_command.h"
#include "cli/history_listing.h"
#include "cli/watch_command.h"
#include "config/settings_store.h"
#include "device/device_manager.h"
#include "run/flash_record.h"

#include <QCoreApplication>

#include <cstdio>
#include <iostream>

#include <unistd.h>

namespace {

const char* const help_hint = "Try kestrel-flash-tool --help";

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

int run_command_line(const command_line::options& options)
{
    if (options.remaining.size() > 1) {
        std::cerr << "--cli takes no argument \"" << options.remaining[1] << "\"\n" << help_hint << std::endl;
        return exit_status::refused;
    }
    const parse_result parsed = parse(options.cli_arguments);
    if (!parsed.error.empty()) {
        std::cerr << parsed.error << '\n' << help_hint << std::endl;
        return exit_status::refused;
    }
    // History too, though it only reads: the data folder it reads is then the one the flashes
    // under sudo write, root's, not the user's own.
    if (!permission_manager().is_elevated()) {
        std::cerr << "Run as root, for example with sudo" << std::endl;
        return exit_status::refused;
    }
    // Taken before the application object exists, as the window's start does, so that both
    // use the same folder.
    const std::string data_folder = app_paths::default_data_folder();
    app_paths::prepare_data_folder(data_folder);
    logger::init(data_folder);
    KESTREL_LOG(logger::fatal, "Kestrel Flash Tool version: " << app_paths::version << " (command line)");
    settings_store::remove_unfinished_saves(data_folder);

    int argc = 1;
    char program[] = "kestrel-flash-tool";
    char* argv[] = {program, nullptr};
    QCoreApplication application(argc, argv);
    console io {std::cin, std::cout, std::cerr, isatty(fileno(stdout)) != 0};
    const int status = run(parsed.parsed, data_folder, io);
    logger::close();
    return status;
}

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
    }
    return exit_status::refused;
}

} // namespace cli
