#include "run/stick_contents.h"

#include "device/disk_reading.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const std::size_t block_size = 2048;
const std::size_t sector_size = 512;

} // namespace

namespace stick_contents {

finding read(const std::string& data_folder, const device& stick)
{
    finding found;
    const QByteArray first = disk_reading::read(stick, 0, sector_size);
    found.readable = first.size() == int(sector_size);
    found.partition_table = found.readable && first.at(510) == char(0x55) && first.at(511) == char(0xAA);
    const std::optional<flash_record::entry> flashed = flash_record::last_written(data_folder, stick);
    if (!found.readable || !flashed || flashed->area == 0)
        return found;
    // A flash pads the document with line breaks to the block's end.
    const QByteArray block = disk_reading::read(stick, flashed->area, block_size);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(block.trimmed(), &error);
    const QJsonObject rig = document.object()["rig"].toObject();
    // Written over since, elsewhere: the record no longer tells what the stick holds.
    if (error.error != QJsonParseError::NoError || rig["worker"].toString().toStdString() != flashed->worker)
        return found;
    found.flashed = flashed;
    found.configuration_found = true;
    found.worker = flashed->worker;
    found.group = rig["group"].toString().toStdString();
    found.location = rig["location"].toString().toStdString();
    return found;
}

} // namespace stick_contents
