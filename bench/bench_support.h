#pragma once
// What every benchmark here needs: realistic images, medians with their range, shell commands
// and the process's memory.

#include <QString>

#include <vector>

namespace bench {

constexpr qint64 mebibyte = 1 << 20;

// A disk image as a release is one: real binaries from /usr as file data, some random data and
// long runs of zeros (free space), ending with the big-endian trailer that locates the
// configuration area at `area_offset`.
void write_realistic_image(const QString& path, qint64 size_mib, quint64 area_offset);

// Makes `path` a file of `size` bytes whose blocks all exist, as a stick's do: written into, a
// sparse file would charge each write the file system's block allocation, which no stick has.
void allocate_disk_file(const QString& path, qint64 size);

// A value in kB from /proc/self/status ("VmRSS", "VmHWM").
qint64 status_kib(const QString& field);

// Lets the peak resident size start again from the current one.
void reset_peak();

bool shell(const QString& command);
QString quoted(const QString& path);
double median(std::vector<double> values);
// "median (lowest-highest)".
QString spread(const std::vector<double>& values);
// The ratio of each pair a[i] / b[i].
std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b);
// Seconds a shell command takes.
double seconds_of(const QString& command);
// Processor seconds (user and system) this process has used so far, every thread counted.
double processor_seconds();

} // namespace bench
