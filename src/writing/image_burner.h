#pragma once
// One flash: writes the downloaded image to the disk, inflating it on the way the first time,
// then reads the disk back to prove it, on a worker thread. The partition table (in the first
// chunk) is written last, so that a disk whose copy did not end holds no valid layout.

#include "device/device.h"
#include "image/image_stream.h"
#include "writing/burn_failure.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

class image_burner : public QObject {
    Q_OBJECT

public:
    // `image_path` is the downloaded, compressed image; `configuration` the 2048-byte block.
    image_burner(const std::string& image_path, std::shared_ptr<device> disk,
                 const QByteArray& configuration);

    // The copy counts as done once written, without the read-back; call before burn_image().
    void skip_verification();
    // The copy writes the blocks `stream` makes once for every copy of its run (inflating the
    // download, or reading the decompressed image), rather than reading or inflating the image
    // for itself; call before burn_image(). The copy takes its reader at once.
    void share_blocks_of(image_stream& stream);
    // Where the decompressed image is, or is made: beside the download unless this names
    // another place (an image file's is kept in the data folder); call before burn_image().
    void use_decompressed_image(const std::string& img_path);
    // Where the configuration block went on the disk, once finished() came: the image's own
    // place for it, read from its trailer; 0 while unknown.
    std::uint64_t configuration_offset() const;

signals:
    void finished();
    void canceled();
    // Instead of finished() or canceled(): why the copy failed.
    void failed(burn_failure cause);
    void report_progress(qint64 done, qint64 total);
    void report_progress_inflate(qint64 done, qint64 total);
    void device_disconected();
    void report_progress_verify(qint64 done, qint64 total);

public slots:
    void burn_image();
    // Safe to call from any thread, also directly while burn_image() runs.
    void cancel();

private:
    class impl;
    std::shared_ptr<impl> m_impl;
};
