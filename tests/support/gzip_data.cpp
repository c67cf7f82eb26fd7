#include "gzip_data.h"

#include <QRandomGenerator>

#include <zlib.h>

namespace {

// An extra field costs its length field (2 bytes) on top of its content.
constexpr int extra_length_size = 2;

QByteArray deflate_gzip(const QByteArray& data, QByteArray extra)
{
    z_stream stream {};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    gz_header header {};
    header.os = 3;
    if (!extra.isNull()) {
        header.extra = reinterpret_cast<Bytef*>(extra.data());
        header.extra_len = static_cast<uInt>(extra.size());
    }
    deflateSetHeader(&stream, &header);
    QByteArray result(static_cast<int>(deflateBound(&stream, data.size())) + extra.size() + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(result.data());
    stream.avail_out = static_cast<uInt>(result.size());
    deflate(&stream, Z_FINISH);
    result.resize(static_cast<int>(stream.total_out));
    deflateEnd(&stream);
    return result;
}

} // namespace

namespace gzip_data {

QByteArray compress(const QByteArray& data, int file_size)
{
    QByteArray plain = deflate_gzip(data, QByteArray());
    if (file_size < 0)
        return plain;
    return deflate_gzip(data, QByteArray(file_size - plain.size() - extra_length_size, 'x'));
}

QByteArray incompressible(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, '\0');
    for (char& byte : bytes)
        byte = static_cast<char>(generator.generate() & 0xff);
    return bytes;
}

} // namespace gzip_data
