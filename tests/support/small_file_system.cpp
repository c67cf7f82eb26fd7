#include "small_file_system.h"

#include <QByteArray>
#include <QFile>

#include <sys/mount.h>

small_file_system::small_file_system(qint64 size)
{
    const QByteArray options = "size=" + QByteArray::number(size);
    m_mounted = m_mount_point.isValid()
        && mount("tmpfs", m_mount_point.path().toUtf8().constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                 options.constData())
            == 0;
}

small_file_system::~small_file_system()
{
    if (m_mounted)
        umount2(m_mount_point.path().toUtf8().constData(), MNT_DETACH);
}

bool small_file_system::mounted() const
{
    return m_mounted;
}

QString small_file_system::path() const
{
    return m_mount_point.path();
}

bool small_file_system::fill(qint64 left)
{
    QFile filler(path() + "/filler");
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'x');
    qint64 written = 0;
    while (filler.write(block) == block.size())
        written += block.size();
    return written >= left && filler.resize(written - left);
}
