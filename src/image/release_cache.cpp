#include "release_cache.h"

#include "image/release_tag.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString record_name = "checksum.md5";
const QString partial_suffix = ".part";
const QString partial_checksum_suffix = ".part.md5";
// Far more than a record or a checksum needs.
constexpr qint64 small_file_limit = 4096;

QByteArray read_small_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(small_file_limit) : QByteArray();
}

bool write_small_file(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(content) == content.size() && file.flush();
}

QString record_beside(const QString& gz_path)
{
    return QFileInfo(gz_path).dir().filePath(record_name);
}

} // namespace

release_cache::release_cache(const std::string& data_folder)
    : m_folder(QString::fromStdString(data_folder + "/downloads"))
{
}

std::string release_cache::checksum_in(const QByteArray& text)
{
    static const QRegularExpression md5_digits("^[0-9A-Fa-f]{32}(?=[ \\t\\r\\n]|$)");
    const QRegularExpressionMatch match = md5_digits.match(QString::fromLatin1(text.left(33)));
    return match.hasMatch() ? match.captured().toStdString() : std::string();
}

std::string release_cache::recorded_checksum(const std::string& gz_path)
{
    return checksum_in(read_small_file(record_beside(QString::fromStdString(gz_path))));
}

void release_cache::forget_download(const std::string& gz_path)
{
    const QString image = QString::fromStdString(gz_path);
    QFile::remove(image);
    QFile::remove(record_beside(image));
}

QString release_cache::compressed(const std::string& tag) const
{
    return m_folder + "/" + QString::fromStdString(tag) + ".gz";
}

QString release_cache::partial(const std::string& tag) const
{
    return compressed(tag) + partial_suffix;
}

std::optional<std::string> release_cache::cached_tag() const
{
    const QByteArray record = read_small_file(m_record());
    const std::string checksum = checksum_in(record);
    const QByteArray name = record.mid(int(checksum.size()) + 2);
    if (checksum.empty() || record.mid(int(checksum.size()), 2) != "  " || !name.endsWith(".gz"))
        return std::nullopt;
    const std::string tag = name.chopped(3).toStdString();
    if (!release_tag::is_safe(tag) || !m_image_present(tag))
        return std::nullopt;
    return tag;
}

bool release_cache::holds(const std::string& tag, const std::string& checksum) const
{
    return checksum_in(read_small_file(m_record())) == checksum && m_image_present(tag);
}

qint64 release_cache::partial_size(const std::string& tag, const std::string& checksum) const
{
    if (read_small_file(m_partial_checksum(tag)) != QByteArray::fromStdString(checksum))
        return 0;
    const QFileInfo part(partial(tag));
    return part.isFile() ? part.size() : 0;
}

void release_cache::clear(const std::string& tag, bool keep_partial) const
{
    QDir folder(m_folder);
    if (!keep_partial) {
        folder.removeRecursively();
    } else {
        const QStringList kept {QFileInfo(partial(tag)).fileName(),
                                QFileInfo(m_partial_checksum(tag)).fileName()};
        for (const QFileInfo& entry :
             folder.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            if (kept.contains(entry.fileName()))
                continue;
            if (entry.isDir() && !entry.isSymLink())
                QDir(entry.filePath()).removeRecursively();
            else
                folder.remove(entry.fileName());
        }
    }
    if (!folder.exists())
        QDir().mkdir(m_folder);
}

bool release_cache::mark_partial(const std::string& tag, const std::string& checksum) const
{
    return write_small_file(m_partial_checksum(tag), QByteArray::fromStdString(checksum));
}

void release_cache::remove_partial(const std::string& tag) const
{
    QFile::remove(partial(tag));
    QFile::remove(m_partial_checksum(tag));
}

bool release_cache::complete_partial(const std::string& tag, const std::string& checksum) const
{
    const QString image = compressed(tag);
    QFile::remove(image);
    if (!QFile::rename(partial(tag), image))
        return false;
    QFile::remove(m_partial_checksum(tag));
    // Written last: the record marks a complete, verified image.
    return write_small_file(m_record(), QByteArray::fromStdString(checksum + "  " + tag + ".gz"));
}

QString release_cache::m_record() const
{
    return m_folder + "/" + record_name;
}

QString release_cache::m_partial_checksum(const std::string& tag) const
{
    return compressed(tag) + partial_checksum_suffix;
}

bool release_cache::m_image_present(const std::string& tag) const
{
    return QFileInfo(compressed(tag)).isFile()
        || QFileInfo(m_folder + "/" + QString::fromStdString(tag)).isFile();
}
