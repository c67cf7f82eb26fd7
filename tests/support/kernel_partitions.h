#pragma once
// What the kernel does when it reads a disk's partition table again and finds a partition:
// the partition's sysfs folder appears under the disk.

#include <QString>

class fake_host;

namespace kernel_partitions {

void bring_up(const fake_host& host, const QString& disk_name, int number, qint64 start, qint64 size);

} // namespace kernel_partitions
