#include "app/command_line.h"
#include "app/permission_manager.h"
#include "app/session_variables.h"
#include "app/startup.h"
#include "base/app_paths.h"
#include "base/logger.h"
#include "cli/exit_status.h"
#include "cli/usage.h"
#include "config/settings_store.h"
#include "retrieval/release_endpoints.h"

#include <iostream>

int main(int argc, char* argv[])
{
    command_line::options options = command_line::parse(argc, argv);
    if (!options.error.empty()) {
        std::cerr << options.error << std::endl;
        return 2;
    }
    // Before anything reads them: the data folder and the display come from them.
    session_variables::apply(options.session_variables);
    startup::give_runtime_folder();
    // Neither needs a display nor the rights.
    if (options.help) {
        std::cout << cli::usage_text;
        return 0;
    }
    if (options.version) {
        std::cout << "kestrel-flash-tool " << app_paths::version << std::endl;
        return 0;
    }
    release_endpoints::override_bases(options.release_service, options.file_server);

    std::optional<cli::request> command;
    if (options.cli) {
        command = startup::command_line_request(options);
        if (!command)
            return cli::exit_status::refused;
    } else if (!permission_manager().is_elevated()) {
        return startup::relaunch_elevated(options, argv[0]);
    }
    const std::string data_folder = startup::open_data_folder(options);
    KESTREL_LOG(logger::fatal, "Kestrel Flash Tool version: " << app_paths::version << (command ? " (command line)" : ""));
    settings_store::remove_unfinished_saves(data_folder);
    return command ? startup::run_command(*command, data_folder) : startup::run_window(options, data_folder);
}
