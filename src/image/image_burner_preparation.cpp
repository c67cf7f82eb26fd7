#include "image/image_burner_impl.h"

#include "device/device_windows.h"
#include "image/file_position.h"
#include "logger.h"

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
    // A first flash inflates the download while it writes.
    m_inflater = std::make_unique<image_manipulator>(&m_canceled);
    if (m_inflater->start_inflating(m_image_path))
        return outcome::written;
    return m_inflating_failure(outcome::no_area);
}

const char* image_burner::impl::failure_text(outcome result)
{
    switch (result) {
    case outcome::image_unreadable:
    case outcome::download_damaged:
        return "Downloaded image is damaged";
    case outcome::no_space:
        return "Not enough free space to unpack the image";
    default:
        return "Cannot open device!";
    }
}
