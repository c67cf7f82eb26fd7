#pragma once
// What every benchmark here needs: realistic images, medians with their range, whole processes
// timed in pairs, targets, shell commands and the process's memory.

#include <QString>
#include <QTextStream>

#include <functional>
#include <stdexcept>
#include <vector>

namespace bench {

// A run that failed: thrown rather than aborting, so that what a benchmark set up on the machine
// (mounts, loop devices, cgroups) is undone as the stack unwinds to main, which says why.
class failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr qint64 mebibyte = 1 << 20;

// A disk image as a release is one: real binaries from /usr as file data, random data
// (compressed or encrypted files) and long runs of zeros (free space), about 41 %, 18 % and 41 %
// of it, ending with the big-endian trailer that locates the configuration area at
// `area_offset`. Returns the mix it wrote, as "41 % binaries, ...".
QString write_realistic_image(const QString& path, qint64 size_mib, quint64 area_offset);

// Such an image at `source` and its `gzip -6` at `gz`, both made again only when the size asked
// for changed; says on `report` what it made and their sizes.
void make_release(const QString& source, const QString& gz, qint64 size_mib, quint64 area_offset,
                  QTextStream& report);

// Makes `path` a file of `size` bytes whose blocks exist, as a stick's do: written into, a
// sparse file would charge each write the file system's block allocation, which no stick has.
// Only the first `allocated` bytes are, when given: those a copy writes.
void allocate_disk_file(const QString& path, qint64 size, qint64 allocated = -1);

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

// A shell command run as a whole process under /usr/bin/time.
struct process_run {
    double seconds = 0;
    // CPU time of the shell and every process it waited for.
    double user_seconds = 0;
    double system_seconds = 0;
    // The peak resident size of the largest process it started.
    qint64 peak_kib = 0;
    QByteArray output;

    double cpu_seconds() const { return user_seconds + system_seconds; }
};
// Runs `command` through /bin/sh; a command that fails, or SIGINT, SIGTERM or SIGHUP to the
// benchmark while it runs, throws failure.
process_run run_process(const QString& command);

// Ours against a peer, whole processes both, one pair a round with the order turning from round
// to round; `before` runs, untimed, ahead of every run (removing outputs, sync).
struct paired_runs {
    std::vector<process_run> ours;
    std::vector<process_run> peer;
    std::vector<double> ours_seconds() const;
    std::vector<double> peer_seconds() const;
    // ours / peer, pair by pair.
    std::vector<double> ratios() const;
    // Of CPU time (user and system), ours / peer, pair by pair.
    std::vector<double> cpu_ratios() const;
    // The peak resident size of each of ours.
    std::vector<double> ours_peak_kib() const;
};
paired_runs run_pairs(const QString& ours, const QString& peer, int rounds,
                      const std::function<void()>& before);

// "median (lowest-highest) (target at most `target`)", with " MISSED" when the median is above.
// Where the environment names a file in KESTREL_BENCH_TABLE, also appends the target's row to
// it for bench/bench_table.py: this program's name, `measured` (what is measured; where empty,
// the table takes the words printed before the figures), the figures and the verdict.
QString against_target(const std::vector<double>& values, double target, const QString& measured = QString());
// The same for one value.
QString against_target(double value, double target, const QString& measured = QString());

} // namespace bench
