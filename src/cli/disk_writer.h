#pragma once
// One disk of a batch: its burner on a thread of its own, reported as progress and outcome.

#include "device/device.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <string>

class QThread;
class image_burner;

namespace cli {

class disk_writer : public QObject {
    Q_OBJECT

public:
    // `image` is the compressed image, whose complete decompressed image is beside it;
    // without `verify` the disk is not read back.
    disk_writer(std::shared_ptr<device> disk, const std::string& image,
                const QByteArray& configuration, bool verify);
    // Waits for the burner's thread: the disk is let go before the writer is gone.
    ~disk_writer() override;

    void start();
    // Safe while the burner writes; done() follows once it has stopped.
    void cancel();

signals:
    void progress(QString stage, qint64 done, qint64 total);
    // Once, after the burner has released the disk.
    void done(bool succeeded, QString failure);

private:
    std::shared_ptr<image_burner> m_burner;
    QPointer<QThread> m_thread;
    bool m_succeeded = false;
    bool m_verifying = false;
    // The burner's last message; empty while it has none.
    QString m_failure;
};

} // namespace cli
