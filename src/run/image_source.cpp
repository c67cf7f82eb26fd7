#include "run/image_source.h"

#include "base/logger.h"
#include "base/write_refusal.h"
#include "image/cache_hold.h"
#include "image/image_file_cache.h"
#include "retrieval/cached_image.h"
#include "retrieval/image_retriever.h"
#include "retrieval/release_cache.h"
#include "run/failure_texts.h"

#include <QFileInfo>

namespace {

// The text a damaged image file fails a run with.
QString damaged_image_file(const std::string& file)
{
    return QString::fromStdString("The image is damaged: " + file);
}

} // namespace

image_source::image_source(const std::string& data_folder)
    : m_data_folder(data_folder)
    , m_retriever(std::make_unique<image_retriever>(data_folder))
{
    connect(m_retriever.get(), &image_retriever::finished_download, this, &image_source::delivered);
    connect(m_retriever.get(), &image_retriever::image_not_downloaded, this,
            [this](uint64_t size, const std::string& tag) {
                m_offered_size = size;
                m_offered_tag = QString::fromStdString(tag);
                emit offered();
            });
    connect(m_retriever.get(), &image_retriever::error_msg, this, [this](const QString& text, bool is_error) {
        if (!is_error) {
            emit note(text);
            return;
        }
        // Nothing of the failed request may report later.
        m_retriever->cancel();
        emit failed(text);
    });
    connect(m_retriever.get(), &image_retriever::progress_updated, this, &image_source::download_progress);
}

image_source::~image_source() = default;

void image_source::ask_latest()
{
    m_retriever->check_latest();
}

void image_source::download()
{
    m_retriever->download_image();
}

void image_source::stop_retrieval()
{
    m_retriever->cancel();
    KESTREL_LOG(logger::fatal, "Download canceled");
}

quint64 image_source::offered_size() const
{
    return m_offered_size;
}

const QString& image_source::offered_tag() const
{
    return m_offered_tag;
}

void image_source::begin_run(const std::string& image_file, bool latest_only)
{
    m_image_file = image_file;
    m_latest_only = latest_only;
    ++m_generation;
    m_in_run = true;
}

bool image_source::fall_back_to_cached()
{
    const release_cache cache(m_data_folder);
    const std::optional<std::string> cached = cache.cached_tag();
    if (m_latest_only || !cached)
        return false;
    m_retriever->cancel();
    // The words of the servers being down: what the user can do about either is the same.
    const QString text = "Release server unreachable: flashing the cached " + QString::fromStdString(*cached);
    KESTREL_LOG(logger::info, text.toStdString());
    emit note(text);
    emit delivered(cache.compressed(*cached).toStdString());
    return true;
}

void image_source::keep(const std::string& delivered)
{
    m_image = delivered;
}

void image_source::check(const std::string& delivered)
{
    if (m_image_file.empty()) {
        m_image = delivered;
        m_check_release();
    } else {
        m_check_file();
    }
}

void image_source::m_check_release()
{
    const unsigned generation = m_generation;
    auto answer = std::make_shared<QString>(failure_text(failure_cause::canceled));
    m_decompressed = image_manipulator::decompressed_path(m_image);
    m_image_hold = release_cache::hold_release(m_image);
    m_check.start(
        [answer, path = m_image](const std::atomic<bool>& stop) {
            switch (cached_image::check(path, stop)) {
            case cached_image::state::whole:
                answer->clear();
                break;
            case cached_image::state::missing:
            case cached_image::state::damaged:
                *answer = failure_text(failure_cause::download_damaged);
                break;
            case cached_image::state::stopped:
                break;
            }
        },
        this, [this, answer, generation] { m_checked(generation, *answer); });
}

// Read where it is; its decompressed image is kept in the data folder, found again by the file
// on a later run.
void image_source::m_check_file()
{
    const unsigned generation = m_generation;
    auto answer = std::make_shared<QString>(failure_text(failure_cause::canceled));
    m_image = m_image_file;
    auto kept = std::make_shared<image_file_cache::place>();
    m_check.start(
        [answer, kept, file = m_image_file, folder = m_data_folder](const std::atomic<bool>& stop) {
            if (!image_file_cache::looks_like_gzip(file)) {
                *answer = damaged_image_file(file);
                return;
            }
            const image_file_cache::place found = image_file_cache::image_for(folder, file, stop);
            *kept = found;
            // Without a place to keep its image, the file is flashed all the same.
            if (!found.image.empty() || !found.unwritable_folder.empty())
                answer->clear();
            else if (!stop)
                *answer = damaged_image_file(file);
        },
        this, [this, answer, kept, generation] {
            m_decompressed = kept->image;
            // Not for a run that ended meanwhile.
            if (generation == m_generation && m_in_run)
                m_image_hold = kept->hold;
            m_file_checksum_pending = kept->checksum_pending && generation == m_generation;
            m_checksum_read.clear();
            // An image to be inflated has its file read for that: the checksum is taken then.
            if (m_file_checksum_pending && image_manipulator::is_complete(m_decompressed))
                m_record_checksum();
            m_checked(generation, *answer);
        });
}

void image_source::m_checked(unsigned generation, const QString& failure_found)
{
    // The answer of a check that a stop gave up.
    if (generation != m_generation)
        return;
    emit checked(failure_found);
}

// Read beside the write, so that the first flash of a file does not wait for it.
void image_source::m_record_checksum()
{
    m_checksum_work.stop();
    m_checksum_work.start(
        [image = m_decompressed, file = m_image](const std::atomic<bool>& stop) {
            image_file_cache::record_checksum(image, file, stop);
        },
        this, [] {});
}

void image_source::stop_check()
{
    m_check.stop();
}

bool image_source::checksum_wanted() const
{
    return m_file_checksum_pending;
}

void image_source::read_whole(const std::string& checksum)
{
    m_checksum_read = checksum;
}

void image_source::end_run()
{
    m_in_run = false;
    // A kept image is found again by a copy of its file only once the file's checksum is
    // recorded; an image not kept whole is unpacked again, and its checksum read again then.
    const bool kept = !m_decompressed.empty() && image_manipulator::is_complete(m_decompressed);
    if (kept && m_file_checksum_pending && !m_checksum_read.empty())
        image_file_cache::record_checksum(m_decompressed, m_checksum_read);
    if (kept)
        m_checksum_work.finish();
    else
        m_checksum_work.stop();
    m_file_checksum_pending = false;
}


void image_source::release_hold()
{
    m_image_hold.reset();
}

const std::string& image_source::compressed() const
{
    return m_image;
}

const std::string& image_source::decompressed() const
{
    return m_decompressed;
}

QString image_source::found_damaged()
{
    if (!m_image_file.empty())
        return damaged_image_file(m_image_file);
    release_cache::forget_download(m_image);
    return failure_text(failure_cause::download_damaged);
}

QString image_source::unavailable(image_manipulator::failure why)
{
    switch (why) {
    case image_manipulator::failure::download_damaged:
        return found_damaged();
    case image_manipulator::failure::folder_not_writable:
        return QString::fromStdString(folder_failure_text(failure_cause::folder_not_writable,
                                                          write_refusal::failed_folder(m_decompressed)));
    default:
        return failure_text(failure_cause::no_space);
    }
}

std::string image_source::record_name() const
{
    // A release by the name of its file in the downloads folder.
    if (m_image_file.empty())
        return QFileInfo(QString::fromStdString(m_image)).completeBaseName().toStdString();
    return QFileInfo(QString::fromStdString(m_image_file)).absoluteFilePath().toStdString();
}

std::string image_source::record_checksum() const
{
    return m_image_file.empty() ? release_cache::recorded_checksum(m_image)
                                : image_file_cache::recorded_checksum(m_decompressed);
}
