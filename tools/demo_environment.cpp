// Runs the program over a demo host: 16 GB USB sticks backed by sparse files (one unless
// --sticks says more), and a local release server offering a small generated release.
// Commands typed on the terminal plug more sticks in and pull them out (see demo_console.h).
// Usage:
//     kestrel-demo-environment PROGRAM DATA_FOLDER PORT [--sticks N] [program arguments...]
// With program arguments that start with --cli the command line runs instead of the window
// (give it --yes: the terminal keeps the demo's commands); it finds its data folder under
// XDG_DATA_HOME, which is then DATA_FOLDER.

#include "demo_console.h"
#include "fake_host.h"
#include "release_fixture.h"
#include "release_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTextStream>

#include <algorithm>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    QTextStream err(stderr);
    if (arguments.size() < 3) {
        err << "usage: kestrel-demo-environment PROGRAM DATA_FOLDER PORT [--sticks N] [arguments...]\n";
        return 2;
    }
    const QString program = arguments.takeFirst();
    const QString data_folder = arguments.takeFirst();
    const quint16 port = arguments.takeFirst().toUShort();
    int sticks = 1;
    if (arguments.value(0) == "--sticks") {
        arguments.removeFirst();
        sticks = std::max(1, arguments.isEmpty() ? 1 : arguments.takeFirst().toInt());
    }

    fake_host host;
    demo_console console(host);
    for (int stick = 0; stick < sticks; ++stick)
        console.add_stick();

    release_server server;
    if (!server.start(port)) {
        err << "cannot listen on 127.0.0.1:" << port << "\n";
        return 1;
    }
    release_fixture::make("v1.0.0-demo", 64 << 20, 1 << 20).serve(server);

    QDir().mkpath(data_folder + "/downloads");
    QProcess flash_tool;
    flash_tool.setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(&flash_tool, qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                     &application, &QCoreApplication::quit);
    QObject::connect(&flash_tool, &QProcess::errorOccurred, &application, &QCoreApplication::quit);
    if (arguments.value(0) == "--cli") {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", data_folder);
        flash_tool.setProcessEnvironment(environment);
        flash_tool.start(program, arguments);
        // The terminal keeps the demo's commands: the command line's question gets no answer.
        flash_tool.closeWriteChannel();
    } else {
        flash_tool.start(program, QStringList {data_folder} + arguments);
    }
    application.exec();
    return flash_tool.exitCode();
}
