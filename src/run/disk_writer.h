#pragma once
// One disk of a run: its burner on a thread of its own, reported as progress and outcome.

#include "device/device.h"
#include "run/job_stage.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>

class QThread;
class image_burner;
class image_stream;

class disk_writer : public QObject {
    Q_OBJECT

public:
    // `image` is the compressed image, `decompressed` its decompressed image. The copy writes
    // the blocks of `stream`, shared by the run's copies; without one, it reads or inflates the
    // image for itself. Without `verify` the disk is not read back.
    disk_writer(std::shared_ptr<device> disk, const std::string& image, const std::string& decompressed,
                const QByteArray& configuration, bool verify, image_stream* stream);
    // Stops the burner and waits for its thread: the disk is let go before the writer is gone.
    ~disk_writer() override;

    void start();
    // Safe while the burner writes; done() follows once it has stopped.
    void cancel();
    // Returns once the burner has let go of the disk; done() is then on its way.
    void wait();
    bool succeeded() const;
    // Why the burner failed, in the user's words; empty when it did not.
    const QString& failure() const;
    // Where the configuration block went on the disk, once done() came.
    std::uint64_t configuration_offset() const;

signals:
    void progress(disk_progress_kind kind, qint64 done, qint64 total);
    // Once, after the burner has released the disk; `failure` is empty when it succeeded or
    // was stopped without a fault of its own.
    void done(bool succeeded, QString failure);

private:
    std::shared_ptr<image_burner> m_burner;
    QPointer<QThread> m_thread;
    bool m_succeeded = false;
    bool m_verifying = false;
    const std::string m_decompressed;
    QString m_failure;
};
