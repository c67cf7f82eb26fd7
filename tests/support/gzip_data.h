#pragma once
// gzip files for the image tests, made in memory with zlib.

#include <QByteArray>

namespace gzip_data {

// `data` as one gzip member. With `file_size` set, the header carries an extra field sized
// so that the whole file is exactly that long (at most 65535 bytes above the plain size).
QByteArray compress(const QByteArray& data, int file_size = -1);

// Bytes that deflate cannot shrink; the same for the same seed.
QByteArray incompressible(int size, quint32 seed = 1);

} // namespace gzip_data
