#include "writing/image_burner.h"

#include "writing/image_burner_impl.h"

image_burner::image_burner(const std::string& image_path, std::shared_ptr<device> disk,
                           const QByteArray& configuration)
    : QObject(nullptr)
    , m_impl(std::make_shared<impl>(this, image_path, std::move(disk), configuration))
{
    // Sent from the burner's thread.
    qRegisterMetaType<burn_failure>();
}

void image_burner::skip_verification()
{
    m_impl->m_verification = false;
}

void image_burner::share_blocks_of(image_stream& stream)
{
    m_impl->m_shared = stream.take_reader(&m_impl->m_canceled);
}

void image_burner::use_decompressed_image(const std::string& img_path)
{
    m_impl->m_decompressed_path = img_path;
}

void image_burner::burn_image()
{
    m_impl->burn_image();
}

std::uint64_t image_burner::configuration_offset() const
{
    return m_impl->area_offset();
}

void image_burner::cancel()
{
    m_impl->m_canceled = true;
}

image_burner::impl::impl(image_burner* owner, const std::string& image_path,
                         std::shared_ptr<device> disk, const QByteArray& configuration)
    : m_owner(owner)
    , m_image_path(image_path)
    , m_decompressed_path(image_manipulator::decompressed_path(image_path))
    , m_device(std::move(disk))
    , m_configuration(configuration)
{
}

image_burner::impl::~impl()
{
    m_close_image();
}
