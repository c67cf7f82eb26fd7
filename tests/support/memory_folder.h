#pragma once
// Where a test's large scratch files go: the memory-backed /dev/shm when it has room for
// `needed` bytes, else the system's temporary folder. Writes there cost no disk, so a copy of
// gigabytes takes seconds even on a busy machine.

#include <QString>
#include <QtGlobal>

QString memory_folder(qint64 needed = qint64(1) << 30);
