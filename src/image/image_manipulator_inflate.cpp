// Inflating a download into a sparse file, piece by piece: every gzip member in turn, as
// gzip -d does, told apart from faults of the download, faults of the output and a cancel.

#include "image/image_manipulator.h"

#include "base/logger.h"
#include "base/write_refusal.h"
#include "image/checksum_beside.h"
#include "image/file_position.h"
#include "image/kept_image.h"

#include <cerrno>
#include <cstring>

namespace {

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
    keeping keep = keeping::required;
    file_pointer input;
    // The decompressed image being kept; none when it is not.
    std::unique_ptr<kept_image> output;
    std::unique_ptr<inflater> stream;
    // The download's pieces are read into this, or, when its checksum is wanted, into pieces
    // that go on to be hashed.
    std::unique_ptr<unsigned char[]> input_block;
    std::unique_ptr<checksum_beside> checksum;
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

bool image_manipulator::start_inflating(const std::string& gz_path, const std::string& img_path, keeping keep,
                                        bool with_checksum)
{
    give_up_inflating();
    m_failure = failure::none;
    m_download_checksum.clear();
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
    if (with_checksum)
        state.checksum = std::make_unique<checksum_beside>(buffer_size);
    else
        state.input_block.reset(new unsigned char[buffer_size]);
    if (keep == keeping::none)
        return true;
    state.output = std::make_unique<kept_image>();
    if (!state.output->start(state.img_path))
        return m_give_up_writing(errno) == 0;
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
            unsigned char* block = state.checksum ? state.checksum->next_piece() : state.input_block.get();
            const std::size_t read = std::fread(block, 1, buffer_size, state.input.get());
            if (read == 0) {
                // A read error, or the end of the file inside a member: the download is cut short.
                if (std::ferror(state.input.get()) || !state.member_ended)
                    return m_give_up(failure::download_damaged);
                state.input_ended = true;
                if (state.checksum)
                    m_download_checksum = state.checksum->result();
                break;
            }
            ++state.blocks_read;
            if (state.checksum)
                state.checksum->hash(read);
            state.stream->feed(block, read);
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
    if (state.output && !state.output->write(out, made) && m_give_up_writing(errno) < 0)
        return -1;
    return static_cast<std::int64_t>(made);
}

FILE* image_manipulator::finish_inflating()
{
    if (!m_inflating)
        return nullptr;
    inflating& state = *m_inflating;
    if (!state.output) {
        m_inflating.reset();
        return nullptr;
    }
    const kept_image::ending ending = state.output->finish();
    if (ending == kept_image::ending::not_written) {
        m_give_up_writing(errno);
        m_inflating.reset();
        return nullptr;
    }
    if (ending == kept_image::ending::not_recorded) {
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

const std::string& image_manipulator::download_checksum() const
{
    return m_download_checksum;
}

std::int64_t image_manipulator::m_give_up(failure why)
{
    m_failure = why;
    const std::string img_path = m_inflating->img_path;
    const bool writes_image = m_inflating->keep != keeping::none;
    // Only what this inflating made goes with it: a complete image another program made stays.
    m_inflating.reset();
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
    m_inflating->output.reset();
    KESTREL_LOG(logger::fatal, "The decompressed image is not kept: " << std::strerror(error_number));
}

bool image_manipulator::m_cancel_requested() const
{
    return m_canceled && *m_canceled;
}
