#include "cli/disk_listing.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <algorithm>

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
    // Each column as wide as its widest entry; numbers and sizes to the right, the name last.
    const int columns = rows.front().size();
    std::vector<int> widths(std::size_t(columns), 0);
    for (const QStringList& row : rows)
        for (int column = 0; column < columns; ++column)
            widths[std::size_t(column)] = std::max(widths[std::size_t(column)], int(row[column].size()));
    QString table;
    for (const QStringList& row : rows) {
        QStringList cells;
        for (int column = 0; column + 1 < columns; ++column) {
            const bool right = column == 0 || column == 3;
            const int width = widths[std::size_t(column)];
            cells << (right ? row[column].rightJustified(width) : row[column].leftJustified(width));
        }
        cells << row.back();
        table += cells.join("  ") + '\n';
    }
    return table.toStdString();
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
