#pragma once
// A folder that nothing of this test may write while it lives, as a folder without write rights
// or on a read-only mount is to the user: its write bits are taken away and, when the tests run
// as root, whom they would not stop, the capability that overrides them is dropped from this
// thread. Threads started from this thread meanwhile are bound the same way; threads started
// before are not. Both are given back at its end.

#include <QFile>
#include <QString>

class unwritable_folder {
public:
    explicit unwritable_folder(const QString& path);
    ~unwritable_folder();
    unwritable_folder(const unwritable_folder&) = delete;
    unwritable_folder& operator=(const unwritable_folder&) = delete;

private:
    QString m_path;
    QFile::Permissions m_before;
    bool m_override_dropped = false;
};
