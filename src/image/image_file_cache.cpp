#include "image/image_file_cache.h"

#include "image/image_manipulator.h"
#include "image/write_refusal.h"
#include "logger.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <filesystem>

namespace {

// Images kept: the one used now and the one before, for a farm that flashes two in turn.
const int images_kept = 2;
const qint64 hash_step = 4 << 20;

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

// Marks `entry` as used now and removes all but the images used last.
void keep_recent(const QDir& images, const QString& entry, const QByteArray& record)
{
    QSaveFile source(images.filePath(entry + "/source"));
    if (source.open(QIODevice::WriteOnly) && source.write(record) == record.size())
        source.commit();
    QFileInfoList entries = images.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(entries.begin(), entries.end(), [&images](const QFileInfo& a, const QFileInfo& b) {
        return QFileInfo(images.filePath(a.fileName() + "/source")).lastModified()
            > QFileInfo(images.filePath(b.fileName() + "/source")).lastModified();
    });
    for (int index = images_kept; index < entries.size(); ++index)
        if (entries[index].fileName() != entry)
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
    QString entry;
    for (const QString& name : images.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        if (read_all(images.filePath(name + "/source")) == record)
            entry = name;
    // Moved, copied or touched: the same content is still the same image.
    if (entry.isEmpty()) {
        entry = checksum_of(given.absoluteFilePath(), stop);
        if (entry.isEmpty())
            return place();
        std::error_code failed;
        const std::string folder = images.filePath(entry).toStdString();
        if (!std::filesystem::create_directories(std::filesystem::u8path(folder), failed) && failed) {
            KESTREL_LOG(logger::fatal, "Cannot make " << folder << ": " << failed.message());
            return place {std::string(),
                          write_refusal::is_refusal(failed) ? write_refusal::failed_folder(folder) : std::string()};
        }
    }
    keep_recent(images, entry, record);
    return place {images.filePath(entry + "/image").toStdString(), std::string()};
}

} // namespace image_file_cache
