#include "bench_support.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryFile>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace bench {
namespace {

volatile std::sig_atomic_t stop_signal = 0;

void note_stop(int number)
{
    stop_signal = number;
}

// From the first run on, SIGINT, SIGTERM and SIGHUP end the run in progress and throw, so that
// the benchmark undoes what it set up instead of dying with it.
void catch_stops()
{
    static bool caught = false;
    if (caught)
        return;
    caught = true;
    struct sigaction action {};
    action.sa_handler = note_stop;
    sigemptyset(&action.sa_mask);
    for (int number : {SIGINT, SIGTERM, SIGHUP})
        sigaction(number, &action, nullptr);
}

// A process group of its own, so that a stop reaches every process of the run, the program
// under the shell under /usr/bin/time, and only them.
class grouped_process : public QProcess {
protected:
    void setupChildProcess() override { setpgid(0, 0); }
};

// Figures as the tables show them: seconds and ratios to the millisecond, KiB whole.
QString figure(double value)
{
    return std::fabs(value) < 1000 ? QString::number(value, 'f', 3) : QString::number(value, 'f', 0);
}

// One row for bench/bench_table.py, tab-separated, where KESTREL_BENCH_TABLE names its file.
void add_table_row(const QString& measured, double median_value, double lowest, double highest, double target,
                   const QString& shown)
{
    const QString table = qEnvironmentVariable("KESTREL_BENCH_TABLE");
    if (table.isEmpty())
        return;
    QFile rows(table);
    if (!rows.open(QIODevice::WriteOnly | QIODevice::Append))
        throw failure("cannot append to " + table.toStdString());
    const auto field = [](QString text) { return text.replace('\t', ' ').replace('\n', ' '); };
    const QStringList row {field(QCoreApplication::applicationName()), field(measured), figure(median_value),
                           figure(lowest), figure(highest), QString::number(target),
                           median_value > target ? "MISSED" : "ok", field(shown)};
    rows.write((row.join('\t') + '\n').toUtf8());
}

// The regular files below /usr/bin, /usr/lib and /usr/libexec, read one after another.
class usr_binaries {
public:
    usr_binaries() { m_start(); }

    void fill(QByteArray& block)
    {
        int filled = 0;
        while (filled < block.size()) {
            if (!m_file.isOpen() || m_file.atEnd()) {
                m_file.close();
                m_open_next();
                continue;
            }
            const qint64 read = m_file.read(block.data() + filled, block.size() - filled);
            filled += int(std::max<qint64>(read, 0));
            if (read <= 0)
                m_file.close();
        }
    }

private:
    void m_start()
    {
        m_files.clear();
        for (const char* folder : {"/usr/bin", "/usr/lib", "/usr/libexec"}) {
            QDirIterator found(folder, QDir::Files | QDir::NoSymLinks, QDirIterator::Subdirectories);
            while (found.hasNext())
                m_files.append(found.next());
        }
        std::sort(m_files.begin(), m_files.end());
        m_next = 0;
    }

    void m_open_next()
    {
        for (int tries = 0; tries < m_files.size(); ++tries) {
            m_file.setFileName(m_files[m_next]);
            m_next = (m_next + 1) % m_files.size();
            if (m_file.open(QIODevice::ReadOnly) && m_file.size() > 0)
                return;
        }
        throw failure("no file under /usr can be read");
    }

    QStringList m_files;
    int m_next = 0;
    QFile m_file;
};

} // namespace

QString write_realistic_image(const QString& path, qint64 size_mib, quint64 area_offset)
{
    QFile image(path);
    if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw failure("cannot write " + path.toStdString());
    QRandomGenerator generator(2026);
    usr_binaries binaries;
    QByteArray block(mebibyte, '\0');
    qint64 index = 0;
    qint64 random_mib = 0;
    qint64 binary_mib = 0;
    // Runs as a file system lays out files and free space: data runs of 4 to 40 MiB, 30 % of
    // their MiB random, each followed by zeros 0.4 to 1.0 times as long (0.7 on average).
    while (index < size_mib) {
        const qint64 data_run = generator.bounded(4, 40);
        for (qint64 end = std::min(size_mib, index + data_run); index < end; ++index) {
            if (generator.bounded(100) < 30) {
                generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
                ++random_mib;
            } else {
                binaries.fill(block);
                ++binary_mib;
            }
            image.seek(index * mebibyte);
            image.write(block);
        }
        index += generator.bounded(8, 21) * data_run / 20;
    }
    QByteArray trailer(8, '\0');
    for (int byte = 0; byte < 8; ++byte)
        trailer[7 - byte] = static_cast<char>((area_offset >> (8 * byte)) & 0xff);
    image.resize(size_mib * mebibyte);
    image.seek(size_mib * mebibyte - trailer.size());
    image.write(trailer);
    const auto share = [size_mib](qint64 mib) { return QString::number(qRound(100.0 * mib / size_mib)); };
    return share(binary_mib) + " % binaries, " + share(random_mib) + " % random, "
        + share(size_mib - binary_mib - random_mib) + " % zeros";
}

void make_release(const QString& source, const QString& gz, qint64 size_mib, quint64 area_offset,
                  QTextStream& report)
{
    if (QFileInfo(source).size() != size_mib * mebibyte) {
        report << "generating a " << size_mib << " MiB image: "
               << write_realistic_image(source, size_mib, area_offset) << "\n" << Qt::flush;
        QFile::remove(gz);
    }
    if (!QFile::exists(gz) && !shell("gzip -6 -c " + quoted(source) + " > " + quoted(gz)))
        throw failure("gzip failed");
    report << "image " << QFileInfo(source).size() << " bytes, compressed " << QFileInfo(gz).size()
           << " bytes\n" << Qt::flush;
}

void allocate_disk_file(const QString& path, qint64 size, qint64 allocated_size)
{
    const int file = open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool allocated = file >= 0 && ftruncate(file, size) == 0
        && posix_fallocate(file, 0, allocated_size < 0 ? size : allocated_size) == 0;
    if (file >= 0)
        close(file);
    if (!allocated)
        throw failure("cannot allocate " + path.toStdString());
}

qint64 status_kib(const QString& field)
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field.toLatin1() + ":"))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    return -1;
}

void reset_peak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

bool shell(const QString& command)
{
    return QProcess::execute("/bin/sh", {"-c", command}) == 0;
}

QString quoted(const QString& path)
{
    return "'" + path + "'";
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    // Of an even count, the mean of the middle two: the upper one alone reads every ratio worse.
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

QString spread(const std::vector<double>& values)
{
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    return QString("%1 (%2-%3)").arg(figure(median(values)), figure(*lowest), figure(*highest));
}

std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> result;
    for (std::size_t index = 0; index < a.size() && index < b.size(); ++index)
        result.push_back(a[index] / b[index]);
    return result;
}

process_run run_process(const QString& command)
{
    catch_stops();
    if (stop_signal != 0)
        throw failure("stopped by signal " + std::to_string(stop_signal));
    QTemporaryFile usage_file;
    if (!usage_file.open())
        throw failure("cannot make a temporary file");
    grouped_process process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start("/usr/bin/time", {"-f", "%M %U %S", "-o", usage_file.fileName(), "/bin/sh", "-c", command});
    bool stopped = false;
    while (!process.waitForFinished(100) && process.state() != QProcess::NotRunning) {
        if (stop_signal != 0 && !stopped) {
            ::kill(-static_cast<pid_t>(process.processId()), static_cast<int>(stop_signal));
            stopped = true;
        }
    }
    if (stop_signal != 0)
        throw failure("stopped by signal " + std::to_string(stop_signal) + " while running: " + command.toStdString());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        throw failure("failed: " + command.toStdString());
    process_run run;
    run.seconds = timer.nsecsElapsed() / 1e9;
    run.output = process.readAllStandardOutput();
    // GNU time puts "Command exited with non-zero status" lines first; its figures come last.
    const QList<QByteArray> usage = usage_file.readAll().trimmed().split('\n').last().split(' ');
    if (usage.size() != 3)
        throw failure("/usr/bin/time reported no usage for: " + command.toStdString());
    run.peak_kib = usage[0].toLongLong();
    run.user_seconds = usage[1].toDouble();
    run.system_seconds = usage[2].toDouble();
    return run;
}

std::vector<double> paired_runs::ours_seconds() const
{
    std::vector<double> seconds;
    for (const process_run& run : ours)
        seconds.push_back(run.seconds);
    return seconds;
}

std::vector<double> paired_runs::peer_seconds() const
{
    std::vector<double> seconds;
    for (const process_run& run : peer)
        seconds.push_back(run.seconds);
    return seconds;
}

std::vector<double> paired_runs::ratios() const
{
    return bench::ratios(ours_seconds(), peer_seconds());
}

std::vector<double> paired_runs::cpu_ratios() const
{
    std::vector<double> ours_cpu, peer_cpu;
    for (const process_run& run : ours)
        ours_cpu.push_back(run.cpu_seconds());
    for (const process_run& run : peer)
        peer_cpu.push_back(run.cpu_seconds());
    return bench::ratios(ours_cpu, peer_cpu);
}

std::vector<double> paired_runs::ours_peak_kib() const
{
    std::vector<double> peaks;
    for (const process_run& run : ours)
        peaks.push_back(run.peak_kib);
    return peaks;
}

paired_runs run_pairs(const QString& ours, const QString& peer, int rounds, const std::function<void()>& before)
{
    paired_runs pairs;
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            before();
            if ((round + turn) % 2 == 0)
                pairs.ours.push_back(run_process(ours));
            else
                pairs.peer.push_back(run_process(peer));
        }
    }
    return pairs;
}

QString against_target(const std::vector<double>& values, double target, const QString& measured)
{
    if (values.empty())
        throw failure("no figures for a target");
    const QString shown = spread(values) + QString(" (target at most %1)").arg(target)
        + (median(values) > target ? " MISSED" : "");
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    add_table_row(measured, median(values), *lowest, *highest, target, shown);
    return shown;
}

QString against_target(double value, double target, const QString& measured)
{
    const QString shown = QString("%1 (target at most %2)").arg(figure(value)).arg(target)
        + (value > target ? " MISSED" : "");
    add_table_row(measured, value, value, value, target, shown);
    return shown;
}

} // namespace bench
