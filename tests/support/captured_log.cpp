#include "captured_log.h"

#include "base/logger.h"

#include <QFile>
#include <QRegularExpression>

captured_log::captured_log()
{
    logger::init(m_folder.path().toStdString());
}

captured_log::~captured_log()
{
    logger::close();
}

void captured_log::clear()
{
    logger::close();
    QFile::remove(m_folder.path() + logger::file_name);
    logger::init(m_folder.path().toStdString());
}

QList<captured_log::line> captured_log::lines() const
{
    static const QRegularExpression layout(R"(^\[[^\]]*\] \[(\w+)\] \[[^\]]*\] \[.*?\] (.*)$)");
    QFile file(m_folder.path() + logger::file_name);
    file.open(QIODevice::ReadOnly);
    QList<line> result;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        if (raw.isEmpty())
            continue;
        QRegularExpressionMatch match = layout.match(QString::fromUtf8(raw));
        result.append(match.hasMatch() ? line {match.captured(1), match.captured(2)}
                                       : line {QString(), QString::fromUtf8(raw)});
    }
    return result;
}

QStringList captured_log::texts(const QString& severity) const
{
    QStringList result;
    for (const line& entry : lines())
        if (entry.severity == severity)
            result.append(entry.text);
    return result;
}
