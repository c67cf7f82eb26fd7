#pragma once
// Sticks as slow as real ones, where the machine allows it: each an ext4 file system on a loop
// device of its own (over a file in /dev/shm), written by processes in a cgroup (v1 blkio) that
// limits the writes to each device. A fake host's stick node is bind-mounted from such a file
// system, so the tool and dd write it at the same limited speed, every stick at its own.

#include <QString>
#include <QStringList>

class throttled_sticks {
public:
    // `room_mib` on every stick's file system.
    throttled_sticks(int count, qint64 room_mib, qint64 bytes_per_second);
    // Unmounts, detaches and removes what it made.
    ~throttled_sticks();
    throttled_sticks(const throttled_sticks&) = delete;
    throttled_sticks& operator=(const throttled_sticks&) = delete;

    // Empty when every stick is ready; otherwise why there are none.
    QString unavailable() const;
    // Puts stick `stick`'s file of `size` bytes, its first `allocated` bytes allocated, in
    // place of `node_path` (a fake host's node) until the sticks go.
    void place(int stick, const QString& node_path, qint64 size, qint64 allocated);
    // `command` as run in the limited cgroup, for /bin/sh.
    QString limited(const QString& command) const;

private:
    bool m_run(const QString& command, QString* output = nullptr);

    QString m_unavailable;
    QString m_cgroup;
    QStringList m_loop_devices;
    QStringList m_backing_files;
    QStringList m_mount_points;
    QStringList m_bind_mounts;
};
