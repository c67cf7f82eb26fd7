#include "retrieval/cached_image.h"

#include "base/logger.h"
#include "image/image_manipulator.h"
#include "retrieval/release_cache.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <map>
#include <mutex>

namespace {

const qint64 block_size = 1 << 20;

// What a download looked like when it was found whole.
struct stamp {
    qint64 size = -1;
    qint64 written_ms = -1;

    bool operator==(const stamp& other) const { return size == other.size && written_ms == other.written_ms; }
};

stamp stamp_of(const std::string& gz_path)
{
    const QFileInfo file(QString::fromStdString(gz_path));
    return file.isFile() ? stamp {file.size(), file.lastModified().toMSecsSinceEpoch()} : stamp();
}

std::mutex notes_lock;
std::map<std::string, stamp> found_whole;

bool noted_whole(const std::string& gz_path)
{
    const stamp now = stamp_of(gz_path);
    const std::lock_guard<std::mutex> hold(notes_lock);
    const auto note = found_whole.find(gz_path);
    return now.size >= 0 && note != found_whole.end() && note->second == now;
}

cached_image::state examine(const std::string& gz_path, const std::atomic<bool>& stop)
{
    using cached_image::state;
    if (image_manipulator::is_complete(image_manipulator::decompressed_path(gz_path)) || noted_whole(gz_path))
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
    if (found == state::whole)
        note_whole(gz_path);
    return found;
}

void note_whole(const std::string& gz_path)
{
    const stamp now = stamp_of(gz_path);
    const std::lock_guard<std::mutex> hold(notes_lock);
    found_whole[gz_path] = now;
}

} // namespace cached_image
