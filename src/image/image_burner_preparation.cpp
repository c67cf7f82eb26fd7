#include "image/image_burner_impl.h"

#include "device/device_windows.h"
#include "image/file_position.h"
#include "logger.h"
#include "run/failure_texts.h"

#include <QFileInfo>

device_windows& image_burner::impl::m_disk() const
{
    return static_cast<device_windows&>(*m_device);
}

bool image_burner::impl::m_ready_to_write()
{
    outcome result = outcome::no_area;
    if (!m_disk().handles.empty() && !m_canceled)
        result = m_prepare_image();
    if (result == outcome::written)
        return true;
    emit m_owner->error_msg(failure_text(result), true);
    KESTREL_LOG(logger::fatal,
                "Cannot open device '" << m_disk().name << "', or flashing canceled");
    return false;
}

image_burner::impl::outcome image_burner::impl::m_prepare_image()
{
    KESTREL_LOG(logger::fatal, "Prepare image");
    const std::string img_path = image_manipulator::decompressed_path(m_image_path);
    if (image_manipulator::is_complete(img_path)) {
        // Made whole meanwhile: the shared inflating must not wait for this copy.
        m_inflater.reset();
        // Only read: other copies may be made from it at the same time.
        const bool has_area = m_take_image(std::fopen(img_path.c_str(), "rb"));
        m_image_size = m_image && seek_file(m_image, 0, SEEK_END) ? tell_file(m_image) : -1;
        if (!has_area || m_image_size < 0) {
            m_close_image();
            return outcome::no_area;
        }
        return outcome::written;
    }
    if (!QFileInfo::exists(QString::fromStdString(m_image_path)))
        return outcome::no_area;
    // A first flash inflates the download while it writes: alone, it inflates it for itself.
    if (!m_inflater) {
        image_stream own(m_image_path, 1);
        if (!own.start())
            return m_inflating_failure(own.failure(), outcome::no_area);
        m_inflater = own.take_reader(&m_canceled);
    }
    return outcome::written;
}

const char* image_burner::impl::failure_text(outcome result)
{
    switch (result) {
    case outcome::image_unreadable:
    case outcome::download_damaged:
        return ::failure_text(failure::download_damaged);
    case outcome::no_space:
        return ::failure_text(failure::no_space);
    default:
        return ::failure_text(failure::cannot_open);
    }
}
