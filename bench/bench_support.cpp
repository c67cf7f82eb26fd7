#include "bench_support.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>

#include <algorithm>
#include <fstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace bench {
namespace {

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
        qFatal("no file under /usr can be read");
    }

    QStringList m_files;
    int m_next = 0;
    QFile m_file;
};

} // namespace

void write_realistic_image(const QString& path, qint64 size_mib, quint64 area_offset)
{
    QFile image(path);
    if (!image.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(path));
    QRandomGenerator generator(2026);
    usr_binaries binaries;
    QByteArray block(mebibyte, '\0');
    qint64 index = 0;
    // Runs as a file system lays out files and free space: about 45 % binaries, 5 % random
    // data (compressed or encrypted files) and 50 % zeros in long runs.
    while (index < size_mib) {
        const qint64 data_run = generator.bounded(4, 40);
        for (qint64 end = std::min(size_mib, index + data_run); index < end; ++index) {
            if (generator.bounded(10) == 0)
                generator.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            else
                binaries.fill(block);
            image.seek(index * mebibyte);
            image.write(block);
        }
        index += generator.bounded(8, 32) * data_run / 20;
    }
    QByteArray trailer(8, '\0');
    for (int byte = 0; byte < 8; ++byte)
        trailer[7 - byte] = static_cast<char>((area_offset >> (8 * byte)) & 0xff);
    image.resize(size_mib * mebibyte);
    image.seek(size_mib * mebibyte - trailer.size());
    image.write(trailer);
}

void allocate_disk_file(const QString& path, qint64 size)
{
    const int file = open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const bool allocated = file >= 0 && ftruncate(file, size) == 0 && posix_fallocate(file, 0, size) == 0;
    if (file >= 0)
        close(file);
    if (!allocated)
        qFatal("cannot allocate %s", qPrintable(path));
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
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString spread(const std::vector<double>& values)
{
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    return QString("%1 (%2-%3)")
        .arg(median(values), 0, 'f', 3)
        .arg(*lowest, 0, 'f', 3)
        .arg(*highest, 0, 'f', 3);
}

std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> result;
    for (std::size_t index = 0; index < a.size() && index < b.size(); ++index)
        result.push_back(a[index] / b[index]);
    return result;
}

double seconds_of(const QString& command)
{
    QElapsedTimer timer;
    timer.start();
    if (!shell(command))
        qFatal("failed: %s", qPrintable(command));
    return timer.nsecsElapsed() / 1e9;
}

double processor_seconds()
{
    rusage used {};
    getrusage(RUSAGE_SELF, &used);
    return used.ru_utime.tv_sec + used.ru_stime.tv_sec + (used.ru_utime.tv_usec + used.ru_stime.tv_usec) / 1e6;
}

} // namespace bench
