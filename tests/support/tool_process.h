#pragma once
// Runs the built program as a separate process, as the user starts it.

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace tool_process {

// The program under test, built beside the tests.
QString program_path();

bool running_as_root();

struct result {
    bool finished = false;
    int exit_code = -1;
    QString output;
};

// Starts `program` with `arguments` as an unprivileged user (nobody when the tests run as
// root), with standard output and error merged.
void start_unprivileged(QProcess& process, const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& environment);

// Runs `program` as start_unprivileged() does and waits for it to end.
result run_unprivileged(const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& environment, int timeout_ms = 60000);

} // namespace tool_process
