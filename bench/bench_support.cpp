#include "bench_support.h"

#include <QFile>
#include <QProcess>

#include <algorithm>
#include <fstream>

namespace bench {

qint64 status_kib(const QString& field)
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field.toLatin1() + ":"))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

void reset_peak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool shell(const QString& command)
{
    return QProcess::execute("/bin/sh", {"-c", command}) == 0;
}

QString quoted(const QString& path)
{
    return "'" + path + "'";
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace bench
