#include "image/image_burner_impl.h"

#include "device/device_windows.h"
#include "image/image_manipulator.h"
#include "logger.h"

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
    if (result == canceled) {
        emit m_owner->canceled();
        KESTREL_LOG(logger::info, "Burning canceled");
        m_release_disk();
        return false;
    }
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
    auto manipulator = std::make_shared<image_manipulator>(&m_canceled);
    QObject::connect(manipulator.get(), SIGNAL(report_progress(qint64,qint64)), m_owner,
                     SIGNAL(report_progress_inflate(qint64,qint64)));
    m_image = manipulator->inflate_image(m_image_path);
    switch (manipulator->last_failure()) {
    case image_manipulator::failure::download_damaged:
        return image_damaged;
    case image_manipulator::failure::output_failed:
        return no_space;
    case image_manipulator::failure::canceled:
        return canceled;
    case image_manipulator::failure::none:
        break;
    }
    KESTREL_LOG(logger::debug, "Image decompressed");
    if (!image_manipulator::write_configuration(m_image, m_configuration)) {
        m_close_image();
        return not_prepared;
    }
    return prepared;
}
