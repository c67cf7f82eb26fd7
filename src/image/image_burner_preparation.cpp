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
    int result = not_prepared;
    if (!m_disk().handles.empty() && !m_canceled)
        result = m_prepare_image();
    if (result == prepared)
        return true;
    emit m_owner->error_msg(result == image_damaged ? "Downloaded image is damaged"
                                                    : "Cannot open device!",
                            true);
    KESTREL_LOG(logger::fatal,
                "Cannot open device '" << m_disk().name << "', or flashing canceled");
    return false;
}

int image_burner::impl::m_prepare_image()
{
    KESTREL_LOG(logger::fatal, "Prepare image");
    auto manipulator = std::make_shared<image_manipulator>();
    QObject::connect(manipulator.get(), SIGNAL(report_progress(qint64,qint64)), m_owner,
                     SIGNAL(report_progress_inflate(qint64,qint64)));
    m_image = manipulator->inflate_image(m_image_path);
    if (manipulator->image_damaged())
        return image_damaged;
    KESTREL_LOG(logger::debug, "Image decompressed");
    if (!image_manipulator::write_configuration(m_image, m_configuration)) {
        if (m_image)
            std::fclose(m_image);
        m_image = nullptr;
        return not_prepared;
    }
    return prepared;
}
