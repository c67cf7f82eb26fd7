#include "throttled_sticks.h"

#include "bench_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTextStream>

#include <unistd.h>

namespace {

const char* const blkio = "/sys/fs/cgroup/blkio";

} // namespace

throttled_sticks::throttled_sticks(int count, qint64 room_mib, qint64 bytes_per_second)
{
    if (geteuid() != 0) {
        m_unavailable = "it needs root (loop devices, mounts, cgroups)";
        return;
    }
    if (!QFile::exists(QString(blkio) + "/blkio.throttle.write_bps_device")) {
        m_unavailable = "this machine has no cgroup v1 blkio hierarchy at /sys/fs/cgroup/blkio";
        return;
    }
    m_cgroup = QString("%1/kestrel-bench-%2").arg(blkio).arg(QCoreApplication::applicationPid());
    if (!QDir().mkpath(m_cgroup)) {
        m_unavailable = "no blkio cgroup can be made";
        return;
    }
    for (int stick = 0; stick < count; ++stick) {
        const QString backing = QString("/dev/shm/kestrel-bench-%1-stick%2")
                                    .arg(QCoreApplication::applicationPid()).arg(stick);
        const QString mount_point = backing + ".mnt";
        QString device;
        QString numbers;
        m_backing_files << backing;
        if (!m_run(QString("truncate -s %1M %2").arg(room_mib + room_mib / 8 + 32).arg(bench::quoted(backing)))
            || !m_run("losetup -f --show " + bench::quoted(backing), &device)) {
            m_unavailable = "no loop device can be set up";
            return;
        }
        m_loop_devices << device;
        if (!m_run("mkfs.ext4 -q -F " + device) || !QDir().mkpath(mount_point)
            || !m_run("mount " + device + " " + bench::quoted(mount_point))) {
            m_unavailable = "no file system can be made and mounted on " + device;
            return;
        }
        m_mount_points << mount_point;
        if (!m_run("lsblk -dno MAJ:MIN " + device, &numbers)) {
            m_unavailable = "the device numbers of " + device + " are unknown";
            return;
        }
        QFile limit(m_cgroup + "/blkio.throttle.write_bps_device");
        if (!limit.open(QIODevice::WriteOnly)
            || limit.write(QString("%1 %2\n").arg(numbers.remove(' ')).arg(bytes_per_second).toLatin1()) < 0) {
            m_unavailable = "the cgroup takes no write limit for " + device;
            return;
        }
    }
}

throttled_sticks::~throttled_sticks()
{
    // Each step is tried whatever the one before did; what stays is named, for the hand.
    QStringList left;
    for (const QString& node : m_bind_mounts)
        if (!m_run("umount " + bench::quoted(node)))
            left << "the mount on " + node;
    for (const QString& mount_point : m_mount_points)
        if (!m_run("umount " + bench::quoted(mount_point)) || !QDir().rmdir(mount_point))
            left << mount_point;
    for (const QString& device : m_loop_devices)
        if (!m_run("losetup -d " + device))
            left << device;
    for (const QString& backing : m_backing_files)
        if (QFile::exists(backing) && !QFile::remove(backing))
            left << backing;
    if (!m_cgroup.isEmpty() && !QDir().rmdir(m_cgroup))
        left << m_cgroup;
    if (!left.isEmpty())
        QTextStream(stderr) << "throttled sticks: could not undo " << left.join(", ") << "\n";
}

QString throttled_sticks::unavailable() const
{
    return m_unavailable;
}

void throttled_sticks::place(int stick, const QString& node_path, qint64 size, qint64 allocated)
{
    const QString file = m_mount_points.at(stick) + "/stick";
    bench::allocate_disk_file(file, size, allocated);
    if (!m_run("mount --bind " + bench::quoted(file) + " " + bench::quoted(node_path)))
        throw bench::failure("cannot put the throttled stick in place of " + node_path.toStdString());
    m_bind_mounts << node_path;
}

QString throttled_sticks::limited(const QString& command) const
{
    return "echo $$ > " + bench::quoted(m_cgroup + "/cgroup.procs") + " && " + command;
}

bool throttled_sticks::m_run(const QString& command, QString* output)
{
    QProcess process;
    process.start("/bin/sh", {"-c", command});
    const bool done = process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
    if (output)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    return done;
}
