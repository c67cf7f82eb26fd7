#include "thread_names.h"

#include <QDir>
#include <QFile>
#include <QTest>

int threads_named(const char* name)
{
    const QDir tasks("/proc/self/task");
    int count = 0;
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile shown(tasks.filePath(task + "/comm"));
        count += shown.open(QIODevice::ReadOnly) && shown.readAll().trimmed() == name;
    }
    return count;
}

bool no_thread_named(const char* name)
{
    return QTest::qWaitFor([name] { return threads_named(name) == 0; }, 60000);
}
