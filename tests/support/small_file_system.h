#pragma once
// A file system of its own for a test, in memory and small, that the test can fill: a data
// folder on a full disk, as a farm's flashing PC has now and then. Needs the right to mount
// (the tests run as root); mounted() is false without it, and the test skips.

#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

class small_file_system {
public:
    explicit small_file_system(qint64 size);
    ~small_file_system();
    small_file_system(const small_file_system&) = delete;
    small_file_system& operator=(const small_file_system&) = delete;

    bool mounted() const;
    QString path() const;
    // Takes every byte but the last `left` with a file of its own.
    bool fill(qint64 left);

private:
    QTemporaryDir m_mount_point;
    bool m_mounted = false;
};
