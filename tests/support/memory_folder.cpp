#include "memory_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

QString memory_folder(qint64 needed)
{
    const QString shared_memory = "/dev/shm";
    const QFileInfo folder(shared_memory);
    if (folder.isDir() && folder.isWritable() && QStorageInfo(shared_memory).bytesAvailable() >= needed)
        return shared_memory;
    return QDir::tempPath();
}
