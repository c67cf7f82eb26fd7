#include "writing/image_burner_impl.h"

#include "base/logger.h"
#include "device/device_windows.h"
#include "image/file_position.h"

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
    emit m_owner->failed(failure_of(result));
    KESTREL_LOG(logger::fatal,
                "Cannot open device '" << m_disk().name << "', or flashing canceled");
    return false;
}

image_burner::impl::outcome image_burner::impl::m_prepare_image()
{
    KESTREL_LOG(logger::fatal, "Prepare image");
    // The run's copies share the blocks they write.
    if (m_shared)
        return m_shared->inflating() ? outcome::written : m_open_complete_image();
    if (image_manipulator::is_complete(m_decompressed_path))
        return m_open_complete_image();
    if (!QFileInfo::exists(QString::fromStdString(m_image_path)))
        return outcome::no_area;
    // A first flash alone inflates the download for itself while it writes.
    const std::shared_ptr<image_stream> own = image_stream::inflating(m_image_path, m_decompressed_path, 1);
    if (!own->start())
        return m_inflating_failure(own->failure(), outcome::no_area);
    m_shared = own->take_reader(&m_canceled);
    return outcome::written;
}

image_burner::impl::outcome image_burner::impl::m_open_complete_image()
{
    // Only read: other copies may be made from it at the same time.
    FILE* image = std::fopen(m_decompressed_path.c_str(), "rb");
    m_image_size = image && seek_file(image, 0, SEEK_END) ? tell_file(image) : -1;
    if (m_image_size < 0) {
        if (image)
            std::fclose(image);
        return outcome::no_area;
    }
    return m_take_image(image) ? outcome::written : m_drop_image_without_area();
}

image_burner::impl::outcome image_burner::impl::m_drop_image_without_area()
{
    m_close_image();
    image_manipulator::remove_image(m_decompressed_path);
    return outcome::download_damaged;
}

burn_failure image_burner::impl::failure_of(outcome result)
{
    switch (result) {
    case outcome::image_unreadable:
    case outcome::download_damaged:
        return burn_failure::download_damaged;
    case outcome::no_space:
        return burn_failure::no_space;
    case outcome::folder_not_writable:
        return burn_failure::folder_not_writable;
    case outcome::disconnected:
        return burn_failure::disconnected;
    case outcome::mismatch:
        return burn_failure::verification_failed;
    default:
        return burn_failure::cannot_open;
    }
}
