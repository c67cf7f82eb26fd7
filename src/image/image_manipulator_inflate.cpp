// Inflating a download into a sparse file, piece by piece: every gzip member in turn, as
// gzip -d does, told apart from faults of the download, faults of the output and a cancel.

#include "image/image_manipulator.h"

#include "base/logger.h"
#include "base/write_refusal.h"
#include "image/file_position.h"
#include "image/sparse_output.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

void remove_file(const std::string& path)
{
    std::remove(path.c_str());
}

// A name of this inflating's own for the image being made: other programs on the data folder,
// a window and command lines, may inflate the same download at the same time.
std::string partial_name(const std::string& img_path)
{
    static std::atomic<unsigned> made {0};
    return img_path + ".part-" + std::to_string(QCoreApplication::applicationPid()) + "-"
        + std::to_string(made++);
}

// The lock a program holds on the image it is making; never stale while that program runs,
// however long it takes.
std::unique_ptr<QLockFile> owner_of(const std::string& partial_path)
{
    auto lock = std::make_unique<QLockFile>(QString::fromStdString(partial_path) + ".lock");
    lock->setStaleLockTime(0);
    return lock;
}

// Images that a program left half made when it ended: nobody will finish them.
void remove_abandoned_images(const std::string& img_path)
{
    const QFileInfo image(QString::fromStdString(img_path));
    QDir folder = image.dir();
    for (const QString& name : folder.entryList({image.fileName() + ".part*"}, QDir::Files)) {
        if (name.endsWith(".lock"))
            continue;
        const std::unique_ptr<QLockFile> owner = owner_of(folder.filePath(name).toStdString());
        if (owner->tryLock(0))
            folder.remove(name);
    }
}

// The gzip trailer's ISIZE: the last member's length modulo 4 GiB, little-endian.
std::int64_t trailer_length(FILE* download)
{
    unsigned char bytes[4];
    if (!seek_file(download, -4, SEEK_END) || std::fread(bytes, 1, 4, download) != 4)
        return -1;
    return std::int64_t(bytes[0]) | std::int64_t(bytes[1]) << 8 | std::int64_t(bytes[2]) << 16
        | std::int64_t(bytes[3]) << 24;
}

} // namespace

struct image_manipulator::inflating {
    std::string img_path;
    // The image is made under this name; the final one only ever holds a complete image.
    std::string partial_path;
    std::unique_ptr<QLockFile> owner;
    keeping keep = keeping::required;
    file_pointer input;
    file_pointer output;
    std::unique_ptr<sparse_output> image;
    std::unique_ptr<inflater> stream;
    std::unique_ptr<unsigned char[]> input_block {new unsigned char[buffer_size]};
    std::int64_t total = 0;
    std::int64_t size_hint = -1;
    int blocks_read = 0;
    bool member_ended = false;
    bool input_ended = false;
};

image_manipulator::image_manipulator(const std::atomic<bool>* canceled, inflater::backend backend)
    : m_canceled(canceled)
    , m_backend(backend)
{
}

image_manipulator::~image_manipulator()
{
    give_up_inflating();
}

bool image_manipulator::start_inflating(const std::string& gz_path, const std::string& img_path, keeping keep)
{
    give_up_inflating();
    m_failure = failure::none;
    m_inflating = std::make_unique<inflating>();
    inflating& state = *m_inflating;
    state.img_path = img_path.empty() ? decompressed_path(gz_path) : img_path;
    state.keep = keep;
    state.input.reset(std::fopen(gz_path.c_str(), "rb"));
    FILE* input = state.input.get();
    const bool readable = input && (state.size_hint = trailer_length(input)) >= 0
        && seek_file(input, 0, SEEK_END) && (state.total = tell_file(input)) >= 0
        && seek_file(input, 0, SEEK_SET);
    if (!readable) {
        m_give_up(failure::download_damaged);
        return false;
    }
    state.stream = inflater::make(m_backend);
    if (!state.stream) {
        m_give_up(failure::output_failed);
        return false;
    }
    if (keep == keeping::none)
        return true;
    state.partial_path = partial_name(state.img_path);
    remove_abandoned_images(state.img_path);
    state.owner = owner_of(state.partial_path);
    state.owner->lock();
    // An image that another program completed meanwhile stays until this one replaces it whole:
    // that program's copies may still open it.
    state.output.reset(std::fopen(state.partial_path.c_str(), "wb"));
    if (!state.output)
        return m_give_up_writing(errno) == 0;
    state.image = std::make_unique<sparse_output>(state.output.get());
    return true;
}

std::int64_t image_manipulator::inflate_next(char* buffer, std::size_t size)
{
    if (!m_inflating)
        return -1;
    inflating& state = *m_inflating;
    auto* out = reinterpret_cast<unsigned char*>(buffer);
    std::size_t made = 0;
    while (made < size && !state.input_ended) {
        if (m_cancel_requested())
            return m_give_up(failure::canceled);
        if (state.stream->input_left() == 0) {
            // The block read before is inflated whole.
            if (state.blocks_read > 0)
                emit report_progress(tell_file(state.input.get()), state.total);
            const std::size_t read = std::fread(state.input_block.get(), 1, buffer_size, state.input.get());
            if (read == 0) {
                // A read error, or the end of the file inside a member: the download is cut short.
                if (std::ferror(state.input.get()) || !state.member_ended)
                    return m_give_up(failure::download_damaged);
                state.input_ended = true;
                break;
            }
            ++state.blocks_read;
            state.stream->feed(state.input_block.get(), read);
        }
        if (state.member_ended && !state.stream->next_member())
            return m_give_up(failure::output_failed);
        std::size_t piece = 0;
        const inflater::step step = state.stream->inflate(out + made, size - made, piece);
        if (step == inflater::step::no_memory)
            return m_give_up(failure::output_failed);
        if (step == inflater::step::damaged)
            return m_give_up(failure::download_damaged);
        made += piece;
        state.member_ended = step == inflater::step::member_end;
    }
    if (state.image && !state.image->write(out, made) && m_give_up_writing(errno) < 0)
        return -1;
    return static_cast<std::int64_t>(made);
}

FILE* image_manipulator::finish_inflating()
{
    if (!m_inflating)
        return nullptr;
    inflating& state = *m_inflating;
    if (!state.image) {
        m_inflating.reset();
        return nullptr;
    }
    if (!state.image->finish() || std::fclose(state.output.release()) != 0
        || std::rename(state.partial_path.c_str(), state.img_path.c_str()) != 0) {
        m_give_up_writing(errno);
        m_inflating.reset();
        return nullptr;
    }
    if (!record_complete(state.img_path)) {
        // Unrecorded, the image is made again by the next run that needs it.
        if (state.keep == keeping::required)
            m_give_up(failure::output_failed);
        m_inflating.reset();
        return nullptr;
    }
    const std::string img_path = state.img_path;
    m_inflating.reset();
    return std::fopen(img_path.c_str(), "rb");
}

void image_manipulator::give_up_inflating()
{
    if (m_inflating)
        m_give_up(failure::canceled);
}

std::int64_t image_manipulator::trailer_size_hint() const
{
    return m_inflating ? m_inflating->size_hint : -1;
}

std::int64_t image_manipulator::m_give_up(failure why)
{
    m_failure = why;
    const std::string img_path = m_inflating->img_path;
    const std::string partial_path = m_inflating->partial_path;
    const bool writes_image = m_inflating->keep != keeping::none;
    m_inflating.reset();
    // Only what this inflating made: a complete image another program made stays.
    if (!partial_path.empty())
        remove_file(partial_path);
    if (why == failure::download_damaged) {
        if (writes_image)
            remove_image(img_path);
        KESTREL_LOG(logger::fatal, "Image error");
    } else if (why == failure::output_failed) {
        KESTREL_LOG(logger::fatal, "Cannot write the decompressed image");
    } else if (why == failure::folder_not_writable) {
        KESTREL_LOG(logger::fatal, "Cannot write the decompressed image: "
                                       << write_refusal::failed_folder(img_path) << " may not be written");
    }
    return -1;
}

std::int64_t image_manipulator::m_give_up_writing(int error_number)
{
    if (m_inflating->keep == keeping::if_possible) {
        m_drop_output(error_number);
        return 0;
    }
    return m_give_up(write_refusal::is_refusal(error_number) ? failure::folder_not_writable : failure::output_failed);
}

void image_manipulator::m_drop_output(int error_number)
{
    inflating& state = *m_inflating;
    state.image.reset();
    state.output.reset();
    remove_file(state.partial_path);
    state.partial_path.clear();
    state.owner.reset();
    KESTREL_LOG(logger::fatal, "The decompressed image is not kept: " << std::strerror(error_number));
}

bool image_manipulator::m_cancel_requested() const
{
    return m_canceled && *m_canceled;
}
