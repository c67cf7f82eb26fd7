#include "cli/disk_listing.h"

#include "cli/text_table.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace cli {

std::string disk_table(const std::vector<listed_disk>& disks)
{
    if (disks.empty())
        return "No USB disk found\n";
    QList<QStringList> rows {{"DISK", "PATH", "DEVICE", "SIZE", "SERIAL", "PORT", "NAME"}};
    for (const listed_disk& disk : disks) {
        const device& record = *disk.record;
        rows.append({QString::number(disk.number), QString::fromStdString(record.path),
                     QString::fromStdString(record.system_name), QString::fromStdString(size_text(record.size)),
                     QString::fromStdString(record.serial.empty() ? "-" : record.serial),
                     QString::fromStdString(record.port.empty() ? "-" : record.port),
                     QString::fromStdString(record.name)});
    }
    // Numbers and sizes to the right, the name last.
    return text_table(rows, {0, 3});
}

std::string disk_json(const std::vector<listed_disk>& disks)
{
    QJsonArray array;
    for (const listed_disk& disk : disks)
        array.append(QJsonObject {
            {"number", static_cast<qint64>(disk.number)},
            {"path", QString::fromStdString(disk.record->path)},
            {"device", QString::fromStdString(disk.record->system_name)},
            {"serial", QString::fromStdString(disk.record->serial)},
            {"port", QString::fromStdString(disk.record->port)},
            {"name", QString::fromStdString(disk.record->name)},
            {"size", static_cast<qint64>(disk.record->size)},
        });
    return QJsonDocument(array).toJson().toStdString();
}

} // namespace cli
