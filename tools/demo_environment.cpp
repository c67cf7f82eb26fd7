// Runs the program over a demo host: 16 GB USB sticks backed by sparse files (one unless
// --sticks says more), and a local release server offering a small generated release.
// Commands typed on the terminal plug more sticks in and pull them out (see demo_console.h).
// Usage:
//     kestrel-demo-environment PROGRAM DATA_HOME PORT [--sticks N] [program arguments...]
// With program arguments that start with --cli the command line runs instead of the window
// (give it --yes: the terminal keeps the demo's commands). Either finds its data folder under
// XDG_DATA_HOME, which is DATA_HOME, so both use DATA_HOME/Kestrel Flash Tool. Ctrl-C stops
// the program and removes the demo host, as the program's own end does.

#include "demo_console.h"
#include "fake_host.h"
#include "release_fixture.h"
#include "release_server.h"
#include "stop_signals.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <csignal>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    stop_signals stops;
    QStringList arguments = application.arguments().mid(1);
    QTextStream err(stderr);
    if (arguments.size() < 3) {
        err << "usage: kestrel-demo-environment PROGRAM DATA_HOME PORT [--sticks N] [arguments...]\n";
        return 2;
    }
    const QString program = arguments.takeFirst();
    const QString data_home = arguments.takeFirst();
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

    QProcess flash_tool;
    flash_tool.setProcessChannelMode(QProcess::ForwardedChannels);
    // Taken now, so that it holds the demo host's KESTREL_HOST_ROOT.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", data_home);
    flash_tool.setProcessEnvironment(environment);
    QObject::connect(&flash_tool, qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                     &application, &QCoreApplication::quit);
    QObject::connect(&flash_tool, &QProcess::errorOccurred, &application, &QCoreApplication::quit);

    bool interrupted = false;
    QObject::connect(&stops, &stop_signals::received, [&] {
        interrupted = true;
        if (flash_tool.processId() <= 0) {
            application.quit();
            return;
        }
        // The command line stops its writes as at Ctrl-C, the window ends; one that does not
        // is ended all the same.
        kill(static_cast<pid_t>(flash_tool.processId()), SIGINT);
        QTimer::singleShot(10000, &flash_tool, &QProcess::kill);
    });

    flash_tool.start(program, arguments);
    // The terminal keeps the demo's commands: the command line's question gets no answer.
    if (arguments.value(0) == "--cli")
        flash_tool.closeWriteChannel();
    application.exec();
    return interrupted ? 130 : flash_tool.exitCode();
}
