#include "image/cached_image.h"

#include "image/image_manipulator.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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
    // The hash leads; the file may name the image after it.
    return file.read(256).simplified().split(' ').value(0).toLower();
}

} // namespace

namespace cached_image {

state check(const std::string& gz_path, const std::atomic<bool>& stop)
{
    if (image_manipulator::is_complete(image_manipulator::decompressed_path(gz_path)))
        return state::whole;
    QFile download(QString::fromStdString(gz_path));
    if (!download.open(QIODevice::ReadOnly))
        return state::missing;
    static const QRegularExpression md5_digits("^[0-9a-f]{32}$");
    const QByteArray expected = stored_checksum(gz_path);
    // A release that publishes no MD5 can only be checked by decompressing it.
    if (!md5_digits.match(QString::fromLatin1(expected)).hasMatch())
        return state::whole;

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

void forget(const std::string& gz_path)
{
    QFile::remove(QString::fromStdString(gz_path));
    QFile::remove(checksum_file(gz_path));
}

} // namespace cached_image
