#include "image/cached_image.h"

#include "image/image_manipulator.h"
#include "image/release_cache.h"
#include "logger.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const qint64 block_size = 1 << 20;

QString checksum_file(const std::string& gz_path)
{
    return QFileInfo(QString::fromStdString(gz_path)).dir().filePath("checksum.md5");
}

QByteArray stored_checksum(const std::string& gz_path)
{
    QFile file(checksum_file(gz_path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QByteArray::fromStdString(release_cache::checksum_in(file.read(256))).toLower();
}

void forget(const std::string& gz_path)
{
    QFile::remove(QString::fromStdString(gz_path));
    QFile::remove(checksum_file(gz_path));
}

cached_image::state examine(const std::string& gz_path, const std::atomic<bool>& stop)
{
    using cached_image::state;
    if (image_manipulator::is_complete(image_manipulator::decompressed_path(gz_path)))
        return state::whole;
    QFile download(QString::fromStdString(gz_path));
    if (!download.open(QIODevice::ReadOnly))
        return state::missing;
    const QByteArray expected = stored_checksum(gz_path);
    // Without a recorded MD5 nothing marks the download as the release's.
    if (expected.isEmpty())
        return state::damaged;

    QCryptographicHash hash(QCryptographicHash::Md5);
    while (!download.atEnd()) {
        if (stop)
            return state::stopped;
        const QByteArray block = download.read(block_size);
        if (block.isEmpty())
            return state::damaged;
        hash.addData(block);
    }
    return hash.result().toHex() == expected ? state::whole : state::damaged;
}

} // namespace

namespace cached_image {

state check(const std::string& gz_path, const std::atomic<bool>& stop)
{
    const state found = examine(gz_path, stop);
    if (found == state::missing || found == state::damaged) {
        KESTREL_LOG(logger::fatal, "Image error");
        forget(gz_path);
    }
    return found;
}

} // namespace cached_image
