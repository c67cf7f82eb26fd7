#include "run/disk_writer.h"

#include "run/failure_texts.h"
#include "writing/burner_thread.h"
#include "writing/image_burner.h"

#include <QThread>

disk_writer::disk_writer(std::shared_ptr<device> disk, const std::string& image,
                         const std::string& decompressed, const QByteArray& configuration, bool verify,
                         image_stream* stream)
    : m_burner(std::make_shared<image_burner>(image, std::move(disk), configuration))
    , m_decompressed(decompressed)
{
    m_burner->use_decompressed_image(decompressed);
    if (!verify)
        m_burner->skip_verification();
    if (stream)
        m_burner->share_blocks_of(*stream);
}

disk_writer::~disk_writer()
{
    if (!m_thread)
        return;
    m_burner->cancel();
    m_thread->wait();
}

void disk_writer::start()
{
    m_thread = burner_thread::make(*m_burner);
    connect(m_burner.get(), &image_burner::finished, this, [this] { m_succeeded = true; });
    connect(m_burner.get(), &image_burner::failed, this, [this](burn_failure cause) {
        m_failure = QString::fromStdString(burn_failure_text(cause, m_decompressed));
    });
    // The burner reports the whole write once more at its end: after the read-back, that
    // would put the progress back to writing.
    connect(m_burner.get(), &image_burner::report_progress, this, [this](qint64 done, qint64 total) {
        if (!m_verifying)
            emit progress(disk_progress_kind::writing, done, total);
    });
    connect(m_burner.get(), &image_burner::report_progress_inflate, this,
            [this](qint64 done, qint64 total) { emit progress(disk_progress_kind::inflating, done, total); });
    connect(m_burner.get(), &image_burner::report_progress_verify, this,
            [this](qint64 done, qint64 total) {
                m_verifying = true;
                emit progress(disk_progress_kind::verifying, done, total);
            });
    // Queued behind every signal of the burner: the outcome is known once the thread ends.
    connect(m_thread, &QThread::finished, this, [this] { emit done(m_succeeded, m_failure); });
    burner_thread::start(m_thread);
}

void disk_writer::cancel()
{
    m_burner->cancel();
}

void disk_writer::wait()
{
    if (m_thread)
        m_thread->wait();
}

bool disk_writer::succeeded() const
{
    return m_succeeded;
}

std::uint64_t disk_writer::configuration_offset() const
{
    return m_burner->configuration_offset();
}

const QString& disk_writer::failure() const
{
    return m_failure;
}
