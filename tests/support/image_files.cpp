#include "image_files.h"

#include <QFile>

namespace image_files {

QByteArray trailer(quint64 offset)
{
    QByteArray bytes(8, '\0');
    for (int index = 7; index >= 0; --index, offset >>= 8)
        bytes[index] = static_cast<char>(offset & 0xff);
    return bytes;
}

QByteArray disk_image(int content_size, quint64 offset)
{
    QByteArray content(content_size, '\0');
    for (int index = 0; index < content_size; ++index)
        content[index] = static_cast<char>(1 + index % 251);
    return content + trailer(offset);
}

bool write_file(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QByteArray read_file(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace image_files
