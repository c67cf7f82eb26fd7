#include "image/cached_image.h"

#include "image/image_manipulator.h"
#include "image/release_cache.h"
#include "logger.h"

#include <QCryptographicHash>
#include <QFile>

namespace {

const qint64 block_size = 1 << 20;

cached_image::state examine(const std::string& gz_path, const std::atomic<bool>& stop)
{
    using cached_image::state;
    if (image_manipulator::is_complete(image_manipulator::decompressed_path(gz_path)))
        return state::whole;
    QFile download(QString::fromStdString(gz_path));
    if (!download.open(QIODevice::ReadOnly))
        return state::missing;
    const QByteArray expected =
        QByteArray::fromStdString(release_cache::recorded_checksum(gz_path)).toLower();
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
        release_cache::forget_download(gz_path);
    }
    return found;
}

} // namespace cached_image
