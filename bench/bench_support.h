#pragma once
// What every benchmark here needs: medians, shell commands and the process's memory.

#include <QString>

#include <vector>

namespace bench {

constexpr qint64 mebibyte = 1 << 20;

// A value in kB from /proc/self/status ("VmRSS", "VmHWM").
qint64 status_kib(const QString& field);

// Lets the peak resident size start again from the current one.
void reset_peak();

bool shell(const QString& command);
QString quoted(const QString& path);
double median(std::vector<double> values);

} // namespace bench
