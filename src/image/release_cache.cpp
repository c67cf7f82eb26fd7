#include "release_cache.h"

#include "data_file.h"
#include "image/image_manipulator.h"
#include "image/release_tag.h"
#include "logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString record_name = "checksum.md5";
const QString partial_suffix = ".part";
const QString partial_checksum_suffix = ".part.md5";
const QStringList partial_patterns {"*.gz" + partial_suffix, "*.gz" + partial_checksum_suffix};
// Far more than a record or a checksum needs.
constexpr qint64 small_file_limit = 4096;

QByteArray read_small_file(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(small_file_limit) : QByteArray();
}

// Replaced whole or not at all: a record or mark cut short by a crash or a full disk would name
// nothing.
bool replace_small_file(const QString& path, const QByteArray& content)
{
    const data_file::outcome written = data_file::replace(path, content);
    if (written != data_file::outcome::written)
        KESTREL_LOG(logger::fatal, "Cannot write " << path.toStdString() << ": " << int(written));
    return written == data_file::outcome::written;
}

QString record_beside(const QString& gz_path)
{
    return QFileInfo(gz_path).dir().filePath(record_name);
}

QFileInfoList entries_of(const QDir& folder, const QStringList& patterns = QStringList())
{
    return folder.entryInfoList(patterns, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

void remove_entry(const QFileInfo& entry)
{
    if (entry.isDir() && !entry.isSymLink())
        QDir(entry.filePath()).removeRecursively();
    else
        QFile::remove(entry.filePath());
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
    const QString image = QString::fromStdString(gz_path);
    const record found = m_read_record(record_beside(image));
    return m_names_other(found, image) ? std::string() : found.checksum;
}

void release_cache::forget_download(const std::string& gz_path)
{
    const QString image = QString::fromStdString(gz_path);
    // A record of another release keeps that release flashable.
    if (!m_names_other(m_read_record(record_beside(image)), image))
        QFile::remove(record_beside(image));
    QFile::remove(image);
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
    const record found = m_read_record(m_record());
    if (found.checksum.empty() || !release_tag::is_safe(found.tag) || !m_image_present(found.tag))
        return std::nullopt;
    return found.tag;
}

bool release_cache::holds(const std::string& tag, const std::string& checksum) const
{
    const record found = m_read_record(m_record());
    return found.checksum == checksum && (found.tag.empty() || found.tag == tag) && m_image_present(tag);
}

qint64 release_cache::partial_size(const std::string& tag, const std::string& checksum) const
{
    if (read_small_file(m_partial_checksum(tag)) != QByteArray::fromStdString(checksum))
        return 0;
    const QFileInfo part(partial(tag));
    return part.isFile() ? part.size() : 0;
}

void release_cache::begin_download(const std::string& tag) const
{
    const QDir folder(m_folder);
    if (!folder.exists())
        QDir().mkdir(m_folder);
    const QStringList own {QFileInfo(partial(tag)).fileName(), QFileInfo(m_partial_checksum(tag)).fileName()};
    for (const QFileInfo& entry : entries_of(folder, partial_patterns))
        if (!own.contains(entry.fileName()))
            remove_entry(entry);
}

bool release_cache::mark_partial(const std::string& tag, const std::string& checksum) const
{
    return replace_small_file(m_partial_checksum(tag), QByteArray::fromStdString(checksum));
}

void release_cache::remove_partial(const std::string& tag) const
{
    QFile::remove(partial(tag));
    QFile::remove(m_partial_checksum(tag));
}

bool release_cache::complete_partial(const std::string& tag, const std::string& checksum) const
{
    // The files of an earlier image of this tag are replaced: no record may name them meanwhile.
    const record before = m_read_record(m_record());
    if (before.tag.empty() || before.tag == tag)
        QFile::remove(m_record());
    image_manipulator::remove_image((m_folder + "/" + QString::fromStdString(tag)).toStdString());
    const QString image = compressed(tag);
    QFile::remove(image);
    if (!QFile::rename(partial(tag), image))
        return false;
    // The record marks a complete, verified image; until it names this one, it names the
    // release cached before, whose files are still there.
    if (!replace_small_file(m_record(), QByteArray::fromStdString(checksum + "  " + tag + ".gz"))) {
        // No record names it: it would only take room.
        QFile::remove(image);
        return false;
    }
    const QStringList kept {QFileInfo(image).fileName(), record_name};
    for (const QFileInfo& entry : entries_of(QDir(m_folder)))
        if (!kept.contains(entry.fileName()))
            remove_entry(entry);
    return true;
}

release_cache::record release_cache::m_read_record(const QString& path)
{
    const QByteArray text = read_small_file(path);
    record found;
    found.checksum = checksum_in(text);
    const QByteArray rest = text.mid(int(found.checksum.size()));
    const QByteArray name = rest.mid(2).trimmed();
    if (!found.checksum.empty() && rest.startsWith("  ") && name.endsWith(".gz"))
        found.tag = name.chopped(3).toStdString();
    return found;
}

bool release_cache::m_names_other(const record& found, const QString& gz_path)
{
    return !found.tag.empty() && QString::fromStdString(found.tag + ".gz") != QFileInfo(gz_path).fileName();
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
