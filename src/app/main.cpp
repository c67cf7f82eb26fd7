#include "app/command_line.h"
#include "app/display_scaling.h"
#include "app/permission_manager.h"
#include "app/session_variables.h"
#include "base/app_paths.h"
#include "base/logger.h"
#include "cli/cli_main.h"
#include "cli/usage.h"
#include "gui/main_window.h"
#include "gui/resources_loader.h"
#include "retrieval/release_endpoints.h"

#include <QApplication>
#include <QTranslator>

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
    if (options.help) {
        std::cout << cli::usage_text;
        return 0;
    }
    release_endpoints::override_bases(options.release_service, options.file_server);
    if (options.cli)
        return cli::run_command_line(options);
    // The arguments without the options, null-terminated like argv.
    int remaining_count = static_cast<int>(options.remaining.size());
    options.remaining.push_back(nullptr);
    char** remaining = options.remaining.data();

    permission_manager permissions;
    if (!permissions.is_elevated()) {
        app_paths::prepare_data_folder(app_paths::default_data_folder());
        permissions.relaunch_elevated(argv[0], options.to_pass_on());
        return 0;
    }

    std::string data_folder;
    if (remaining_count > 1) {
        data_folder = remaining[1];
    } else {
        data_folder = app_paths::default_data_folder();
        app_paths::prepare_data_folder(data_folder);
    }

    logger::init(data_folder);
    KESTREL_LOG(logger::fatal, "Kestrel Flash Tool version: " << app_paths::version);

    auto* translator = new QTranslator;
    translator->load("translation_en");

    load_resources();
    enable_high_dpi_scaling_unless_configured();
    // Qt refuses to start a set-user-id program unless this precedes the application object.
    QCoreApplication::setSetuidAllowed(true);
    auto* application = new QApplication(remaining_count, remaining);
    QCoreApplication::installTranslator(translator);

    auto* window = new main_window(app_paths::application_name, data_folder, app_paths::version);
    window->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::FramelessWindowHint);
    window->showNormal();
    QApplication::exec();

    logger::close();
    delete window;
    delete application;
    delete translator;
    return 0;
}
