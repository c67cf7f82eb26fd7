// The record of a complete decompressed image: its size, written beside it once it is made.
// An image that lacks it, or whose size differs, was cut short and is made again.

#include "image/image_manipulator.h"

#include "base/data_file.h"
#include "base/logger.h"

#include <QFile>
#include <QFileInfo>

namespace {

QString image_file(const std::string& img_path)
{
    return QString::fromStdString(img_path);
}

QString record_file(const std::string& img_path)
{
    return image_file(img_path) + ".size";
}

} // namespace

bool image_manipulator::is_complete(const std::string& img_path)
{
    const QFileInfo image(image_file(img_path));
    QFile record(record_file(img_path));
    if (!image.isFile() || !record.open(QIODevice::ReadOnly))
        return false;
    bool number = false;
    const qint64 size = record.readAll().trimmed().toLongLong(&number);
    return number && size == image.size();
}

bool image_manipulator::record_complete(const std::string& img_path)
{
    const QFileInfo image(image_file(img_path));
    if (!image.isFile())
        return false;
    // Replaced whole or not at all: an image whose record was cut short is made again.
    const data_file::outcome written = data_file::replace(record_file(img_path), QByteArray::number(image.size()));
    if (written != data_file::outcome::written)
        KESTREL_LOG(logger::fatal, "Cannot record the size of " << img_path << ": " << int(written));
    return written == data_file::outcome::written;
}

void image_manipulator::remove_image(const std::string& img_path)
{
    QFile::remove(image_file(img_path));
    QFile::remove(record_file(img_path));
}
