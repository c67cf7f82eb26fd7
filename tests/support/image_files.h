#pragma once
// Decompressed images and the files around them, as the image tests lay them out.

#include <QByteArray>
#include <QString>

namespace image_files {

// `content_size` bytes of a repeating non-zero pattern followed by the 8-byte big-endian
// trailer holding `offset`.
QByteArray disk_image(int content_size, quint64 offset);

QByteArray trailer(quint64 offset);

bool write_file(const QString& path, const QByteArray& content);
QByteArray read_file(const QString& path);

} // namespace image_files
