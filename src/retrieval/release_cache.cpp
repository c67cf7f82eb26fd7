#include "retrieval/release_cache.h"

#include "base/data_file.h"
#include "base/logger.h"
#include "image/cache_lock.h"
#include "image/image_manipulator.h"
#include "retrieval/release_tag.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

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

bool is_partial_download(const QString& name)
{
    return name.endsWith(".gz" + partial_suffix) || name.endsWith(".gz" + partial_checksum_suffix);
}

// Whether the file `name` is one of those of the entry `held`: a partial download with its mark,
// or a release (held by its decompressed image's name) with its images, the complete ones and
// those being made, and its size record.
bool part_of(const QString& name, const QString& held)
{
    if (held.endsWith(".gz" + partial_suffix))
        return name == held || name == held + ".md5";
    return name == held || name == held + ".gz" || name == held + ".size" || name.startsWith(held + ".part-");
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

std::unique_ptr<cache_hold> release_cache::hold_release(const std::string& gz_path)
{
    const QString release = QString::fromStdString(image_manipulator::decompressed_path(gz_path));
    const cache_lock lock(QFileInfo(release).path());
    return lock.held() ? cache_hold::take(release) : nullptr;
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

release_cache::download_start release_cache::begin_download(const std::string& tag) const
{
    const QDir folder(m_folder);
    if (!folder.exists())
        QDir().mkdir(m_folder);
    download_start start;
    const cache_lock lock(m_folder);
    start.elsewhere = lock.result() == cache_lock::state::busy || (lock.held() && cache_hold::is_held(partial(tag)));
    // Without the lock no hold can be looked at: nothing else is removed.
    if (start.elsewhere || !lock.held())
        return start;
    start.claim = cache_hold::take(partial(tag));
    const QString own = QFileInfo(partial(tag)).fileName();
    for (const QFileInfo& entry : entries_of(folder, partial_patterns)) {
        // A mark belongs to the download its name ends in ".md5" after.
        const QString download = entry.fileName().endsWith(partial_suffix) ? entry.fileName()
                                                                           : entry.fileName().chopped(4);
        if (download != own && !cache_hold::is_held(folder.filePath(download)))
            remove_entry(entry);
    }
    return start;
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
    // Under the lock a prune reads the record and the holds as this leaves them.
    const cache_lock lock(m_folder);
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
    // Its own hold keeps the partial download's files from the sweep: the mark goes here.
    QFile::remove(m_partial_checksum(tag));
    // Without the lock, the files of other releases stay for a later prune.
    if (lock.held())
        m_remove_unused(tag, true);
    return true;
}

void release_cache::prune() const
{
    // Nothing to keep apart from the rest: a record of the checksum alone names no tag.
    if (!cached_tag())
        return;
    const cache_lock lock(m_folder);
    // Read again under the lock: a newer release may have been recorded meanwhile.
    const std::optional<std::string> tag = cached_tag();
    if (lock.held() && tag)
        m_remove_unused(*tag, false);
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

void release_cache::m_remove_unused(const std::string& tag, bool with_partials) const
{
    const QFileInfoList entries = entries_of(QDir(m_folder));
    QSet<QString> claimed;
    for (const QFileInfo& entry : entries)
        claimed << cache_hold::claimed_entry(entry.fileName());
    claimed.remove(QString());
    // Every claimed entry is looked at, so that the claims of processes that have died go.
    QStringList kept {QString::fromStdString(tag)};
    for (const QString& entry : claimed)
        if (cache_hold::is_held(m_folder + "/" + entry))
            kept << entry;
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        // A claim that still counts stays with its entry.
        const bool keep = name == record_name || cache_lock::is_lock_file(name)
            || !cache_hold::claimed_entry(name).isEmpty() || (!with_partials && is_partial_download(name))
            || std::any_of(kept.begin(), kept.end(), [&name](const QString& held) { return part_of(name, held); });
        if (!keep)
            remove_entry(entry);
    }
}
