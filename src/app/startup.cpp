#include "app/startup.h"

#include "app/display_scaling.h"
#include "app/permission_manager.h"
#include "base/app_paths.h"
#include "base/logger.h"
#include "cli/cli_main.h"
#include "gui/main_window.h"
#include "gui/resources_loader.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTranslator>

#include <cstdio>
#include <iostream>

#include <unistd.h>

namespace startup {

void give_runtime_folder()
{
    if (qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
        return;
    const QString folder = QDir::tempPath() + "/runtime-" + qEnvironmentVariable("USER", "root");
    // One that is there already is Qt's to judge, as it would have been without us.
    if (!QFileInfo(folder).isDir()
        && !(QDir().mkdir(folder) && QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)))
        return;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
}

std::optional<cli::request> command_line_request(const command_line::options& options)
{
    const char* const help_hint = "Try kestrel-flash-tool --help";
    if (options.remaining.size() > 1) {
        std::cerr << "--cli takes no argument \"" << options.remaining[1] << "\"\n" << help_hint << std::endl;
        return std::nullopt;
    }
    const cli::parse_result parsed = cli::parse(options.cli_arguments);
    if (!parsed.error.empty()) {
        std::cerr << parsed.error << '\n' << help_hint << std::endl;
        return std::nullopt;
    }
    // History too, though it only reads: the data folder it reads is then the one the flashes
    // under sudo write, root's, not the user's own.
    if (!permission_manager().is_elevated()) {
        std::cerr << "Run as root, for example with sudo" << std::endl;
        return std::nullopt;
    }
    return parsed.parsed;
}

int relaunch_elevated(const command_line::options& options, const char* program)
{
    app_paths::prepare_data_folder(app_paths::default_data_folder());
    const char* why = nullptr;
    switch (permission_manager().relaunch_elevated(program, options.to_pass_on())) {
    case permission_manager::relaunch::started:
        return 0;
    case permission_manager::relaunch::declined:
        why = "No administrator rights: the password was not given";
        break;
    case permission_manager::relaunch::refused:
        why = "No administrator rights: polkit could not ask for a password, or refused";
        break;
    case permission_manager::relaunch::unavailable:
        why = "No administrator rights: pkexec is not installed";
        break;
    }
    std::cerr << why << std::endl;
    // Started from a menu, nobody reads the terminal. No screen (or one nobody sees), no box.
    const bool on_screen = (qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        && qgetenv("QT_QPA_PLATFORM") != "offscreen";
    if (on_screen) {
        int argc = 1;
        char name[] = "kestrel-flash-tool";
        char* argv[] = {name, nullptr};
        QApplication application(argc, argv);
        QMessageBox::critical(nullptr, QString::fromStdString(app_paths::application_name), why);
    }
    return 1;
}

std::string open_data_folder(const command_line::options& options)
{
    // Taken before the application object exists, so that the window and the command line use
    // the same folder.
    std::string folder;
    if (options.remaining.size() > 1) {
        folder = options.remaining[1];
    } else {
        folder = app_paths::default_data_folder();
        app_paths::prepare_data_folder(folder);
    }
    logger::init(folder);
    return folder;
}

int run_command(const cli::request& request, const std::string& data_folder)
{
    int argc = 1;
    char name[] = "kestrel-flash-tool";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    cli::console io {std::cin, std::cout, std::cerr, isatty(fileno(stdout)) != 0};
    const int status = cli::run(request, data_folder, io);
    logger::close();
    return status;
}

int run_window(command_line::options& options, const std::string& data_folder)
{
    auto* translator = new QTranslator;
    translator->load("translation_en");

    load_resources();
    enable_high_dpi_scaling_unless_configured();
    // The arguments without the options, null-terminated like argv.
    int remaining_count = static_cast<int>(options.remaining.size());
    options.remaining.push_back(nullptr);
    // Qt refuses to start a set-user-id program unless this precedes the application object.
    QCoreApplication::setSetuidAllowed(true);
    auto* application = new QApplication(remaining_count, options.remaining.data());
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

} // namespace startup
