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
    preparation result = not_prepared;
    if (!m_disk().handles.empty() && !m_canceled)
        result = m_prepare_image();
    if (result == prepared)
        return true;
    const char* text = result == image_damaged ? "Downloaded image is damaged"
        : result == no_space                   ? "Not enough free space to unpack the image"
                                               : "Cannot open device!";
    emit m_owner->error_msg(text, true);
    KESTREL_LOG(logger::fatal,
                "Cannot open device '" << m_disk().name << "', or flashing canceled");
    return false;
}

image_burner::impl::preparation image_burner::impl::m_prepare_image()
{
    KESTREL_LOG(logger::fatal, "Prepare image");
    const std::string img_path = image_manipulator::decompressed_path(m_image_path);
    if (image_manipulator::is_complete(img_path)) {
        // Only read: other copies may be made from it at the same time.
        m_image = std::fopen(img_path.c_str(), "rb");
        KESTREL_LOG(logger::debug, "Image decompressed");
        m_area_offset = image_manipulator::config_offset(m_image, std::uint64_t(m_configuration.size()));
        m_image_size = m_image && seek_file(m_image, 0, SEEK_END) ? tell_file(m_image) : -1;
        if (m_area_offset == image_manipulator::no_offset || m_image_size < 0) {
            m_close_image();
            return not_prepared;
        }
        return prepared;
    }
    if (!QFileInfo::exists(QString::fromStdString(m_image_path)))
        return not_prepared;
    // A first flash inflates the download while it writes.
    m_inflater = std::make_unique<image_manipulator>(&m_canceled);
    if (m_inflater->start_inflating(m_image_path))
        return prepared;
    switch (m_inflater->last_failure()) {
    case image_manipulator::failure::download_damaged:
        return image_damaged;
    case image_manipulator::failure::output_failed:
        return no_space;
    default:
        return not_prepared;
    }
}
