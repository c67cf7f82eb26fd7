// Runs the program over a demo host: one 16 GB USB stick backed by a sparse file, and a local
// release server offering a small generated release. Commands typed on the terminal plug more
// sticks in and pull them out (see demo_console.h). Usage:
//     kestrel-demo-environment PROGRAM DATA_FOLDER PORT [program arguments...]

#include "demo_console.h"
#include "fake_host.h"
#include "release_fixture.h"
#include "release_server.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QStringList arguments = application.arguments().mid(1);
    QTextStream err(stderr);
    if (arguments.size() < 3) {
        err << "usage: kestrel-demo-environment PROGRAM DATA_FOLDER PORT [arguments...]\n";
        return 2;
    }
    const QString program = arguments.takeFirst();
    const QString data_folder = arguments.takeFirst();
    const quint16 port = arguments.takeFirst().toUShort();

    fake_host host;
    demo_console console(host);
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
    flash_tool.start(program, QStringList {data_folder} + arguments);
    application.exec();
    return flash_tool.exitCode();
}
