#include "log_file.h"

#include <QFile>
#include <QRegularExpression>

namespace log_file {

QStringList messages(const QString& data_folder)
{
    QFile file(data_folder + "/Kestrel Flash tool.log");
    file.open(QIODevice::ReadOnly);
    static const QRegularExpression layout(R"(^\[[^\]]*\] \[(\w+)\] \[[^\]]*:\d+\] \[.*?\] (.*)$)");
    QStringList lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
        QRegularExpressionMatch match = layout.match(line);
        lines << (match.hasMatch() ? match.captured(1) + ": " + match.captured(2) : line);
    }
    return lines;
}

} // namespace log_file
