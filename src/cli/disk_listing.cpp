#include "cli/disk_listing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

namespace cli {

std::string disk_table(const std::vector<listed_disk>& disks)
{
    if (disks.empty())
        return "No USB disk found\n";
    QString table = QString("%1  %2  %3  %4\n").arg("DISK", 4).arg("PATH", -20).arg("SIZE", 10).arg("NAME");
    for (const listed_disk& disk : disks)
        table += QString("%1  %2  %3  %4\n")
                     .arg(disk.number, 4)
                     .arg(QString::fromStdString(disk.record->path), -20)
                     .arg(QString::fromStdString(size_text(disk.record->size)), 10)
                     .arg(QString::fromStdString(disk.record->name));
    return table.toStdString();
}

std::string disk_json(const std::vector<listed_disk>& disks)
{
    QJsonArray array;
    for (const listed_disk& disk : disks)
        array.append(QJsonObject {
            {"number", static_cast<qint64>(disk.number)},
            {"path", QString::fromStdString(disk.record->path)},
            {"name", QString::fromStdString(disk.record->name)},
            {"size", static_cast<qint64>(disk.record->size)},
        });
    return QJsonDocument(array).toJson().toStdString();
}

} // namespace cli
