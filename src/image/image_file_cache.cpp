#include "image/image_file_cache.h"

#include "base/data_file.h"
#include "base/logger.h"
#include "base/write_refusal.h"
#include "image/cache_hold.h"
#include "image/cache_lock.h"
#include "image/image_manipulator.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <filesystem>

namespace {

// Images kept: the one used now and the one before, for a farm that flashes two in turn.
const int images_kept = 2;
const qint64 hash_step = 4 << 20;
const QString checksum_name = "checksum";

QString images_folder(const std::string& data_folder)
{
    return QString::fromStdString(data_folder) + "/images";
}

// What finds a file again: where it is, its size and when it was last written.
QByteArray source_record(const QFileInfo& file)
{
    return file.absoluteFilePath().toUtf8() + '\n' + QByteArray::number(file.size()) + '\n'
        + QByteArray::number(file.lastModified().toMSecsSinceEpoch()) + '\n';
}

QByteArray read_all(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The file's MD5 in hex; empty when it cannot be read whole or `stop` was set.
QString checksum_of(const QString& path, const std::atomic<bool>& stop)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QCryptographicHash hash(QCryptographicHash::Md5);
    while (!file.atEnd()) {
        if (stop)
            return QString();
        const QByteArray piece = file.read(hash_step);
        if (piece.isEmpty())
            return QString();
        hash.addData(piece);
    }
    return QString::fromLatin1(hash.result().toHex());
}

// The MD5 of the file that `entry`'s image was made from: its record, or the entry's name when
// the MD5 named it.
QString checksum_of_entry(const QDir& images, const QString& entry)
{
    const QByteArray recorded = read_all(images.filePath(entry + "/" + checksum_name)).trimmed();
    return recorded.isEmpty() ? entry : QString::fromLatin1(recorded);
}

// An entry named before its file's MD5 is known: by the file's record, never taken for an MD5
// (nor found by one until the MD5 is recorded).
QString provisional_entry(const QByteArray& record)
{
    return "file-" + QString::fromLatin1(QCryptographicHash::hash(record, QCryptographicHash::Md5).toHex());
}

// Replaced whole or not at all: a record cut short would find nothing, or another file's image.
bool record_in_entry(const QString& path, const QByteArray& content)
{
    const data_file::outcome written = data_file::replace(path, content);
    if (written != data_file::outcome::written)
        KESTREL_LOG(logger::fatal, "Cannot write " << path.toStdString() << ": " << int(written));
    return written == data_file::outcome::written;
}

// Marks `entry` as used now and removes all but the images used last and those a run holds;
// under the images folder's lock.
void keep_recent(const QDir& images, const QString& entry, const QByteArray& record)
{
    // Unrecorded, the image is simply not found again by its file; the run goes on.
    record_in_entry(images.filePath(entry + "/source"), record);
    QFileInfoList entries = images.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(entries.begin(), entries.end(), [&images](const QFileInfo& a, const QFileInfo& b) {
        return QFileInfo(images.filePath(a.fileName() + "/source")).lastModified()
            > QFileInfo(images.filePath(b.fileName() + "/source")).lastModified();
    });
    for (int index = images_kept; index < entries.size(); ++index)
        if (entries[index].fileName() != entry && !cache_hold::is_held(entries[index].absoluteFilePath()))
            QDir(entries[index].absoluteFilePath()).removeRecursively();
}

} // namespace

namespace image_file_cache {

bool looks_like_gzip(const std::string& file)
{
    QFile image(QString::fromStdString(file));
    return image.open(QIODevice::ReadOnly) && image.read(2) == QByteArray("\x1f\x8b", 2);
}

place image_for(const std::string& data_folder, const std::string& file, const std::atomic<bool>& stop)
{
    const QFileInfo given(QString::fromStdString(file));
    const QByteArray record = source_record(given);
    QDir images(images_folder(data_folder));
    const QStringList entries = images.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QString entry;
    bool size_kept = false;
    for (const QString& name : entries) {
        const QByteArray source = read_all(images.filePath(name + "/source"));
        if (source == record)
            entry = name;
        size_kept = size_kept || source.split('\n').value(1) == QByteArray::number(given.size());
    }
    if (entry.isEmpty() && !size_kept) {
        entry = provisional_entry(record);
    } else if (entry.isEmpty()) {
        // Moved, copied or touched: the same content is still the same image.
        entry = checksum_of(given.absoluteFilePath(), stop);
        if (entry.isEmpty())
            return place();
        for (const QString& name : entries)
            if (checksum_of_entry(images, name) == entry)
                entry = name;
    }
    if (!images.exists(entry)) {
        std::error_code failed;
        const std::string folder = images.filePath(entry).toStdString();
        if (!std::filesystem::create_directories(std::filesystem::u8path(folder), failed) && failed) {
            KESTREL_LOG(logger::fatal, "Cannot make " << folder << ": " << failed.message());
            place refused;
            refused.unwritable_folder = write_refusal::failed_folder(folder);
            return refused;
        }
    }
    place found;
    found.image = images.filePath(entry + "/image").toStdString();
    // Without the lock no hold can be taken or looked at: nothing is pruned.
    const cache_lock lock(images.path());
    if (lock.held()) {
        // Made again when another run pruned it meanwhile; held, it stays.
        images.mkpath(entry);
        found.hold = cache_hold::take(images.filePath(entry));
        keep_recent(images, entry, record);
    }
    found.checksum_pending = checksum_of_entry(images, entry).startsWith("file-");
    return found;
}

void record_checksum(const std::string& image, const std::string& file, const std::atomic<bool>& stop)
{
    const std::string checksum = checksum_of(QString::fromStdString(file), stop).toStdString();
    if (!checksum.empty())
        record_checksum(image, checksum);
}

void record_checksum(const std::string& image, const std::string& checksum)
{
    // Unrecorded, the image is found by its file alone.
    record_in_entry(QFileInfo(QString::fromStdString(image)).dir().filePath(checksum_name),
                    QByteArray::fromStdString(checksum));
}

std::string recorded_checksum(const std::string& image)
{
    if (image.empty())
        return std::string();
    QDir images = QFileInfo(QString::fromStdString(image)).dir();
    const QString entry = images.dirName();
    if (!images.cdUp())
        return std::string();
    const QString checksum = checksum_of_entry(images, entry);
    return checksum.startsWith("file-") ? std::string() : checksum.toStdString();
}

} // namespace image_file_cache
