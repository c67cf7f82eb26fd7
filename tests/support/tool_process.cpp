#include "tool_process.h"

#include <QProcess>

#include <unistd.h>

namespace tool_process {

QString program_path()
{
    return qEnvironmentVariable("KESTREL_TOOL_PATH");
}

bool running_as_root()
{
    return geteuid() == 0;
}

void start_unprivileged(QProcess& process, const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& environment)
{
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (running_as_root()) {
        process.start("setpriv", QStringList {"--reuid=65534", "--regid=65534", "--clear-groups",
                                              "--", program} + arguments);
    } else {
        process.start(program, arguments);
    }
}

result run_unprivileged(const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& environment, int timeout_ms)
{
    QProcess process;
    start_unprivileged(process, program, arguments, environment);
    result outcome;
    outcome.finished = process.waitForFinished(timeout_ms)
        && process.exitStatus() == QProcess::NormalExit;
    outcome.exit_code = process.exitCode();
    outcome.output = QString::fromLocal8Bit(process.readAll());
    return outcome;
}

} // namespace tool_process
