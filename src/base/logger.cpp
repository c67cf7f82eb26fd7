#include "base/logger.h"

#include <QDateTime>
#include <QFile>
#include <QTextStream>

#include <mutex>
#include <stdexcept>

namespace {
const std::string severity_names[] = {"debug", "info", "error", "fatal"};
}

class logger::logger_impl {
public:
    explicit logger_impl(const std::string& data_folder)
        : file(new QFile(QString::fromStdString(data_folder + file_name)))
    {
        open = file->open(QIODevice::WriteOnly | QIODevice::Append);
    }

    std::unique_ptr<QFile> file;
    // A log that cannot be opened (a missing or read-only data folder), or was closed, is done
    // without: no line is written to it.
    bool open = false;
    // Keeps lines from the GUI and worker threads whole.
    std::mutex mutex;
};

const char* const logger::file_name = "/Kestrel Flash tool.log";
std::shared_ptr<logger::logger_impl> logger::m_instance;

void logger::init(const std::string& data_folder)
{
    m_instance.reset(new logger_impl(data_folder));
}

void logger::log(int severity, const std::string& message)
{
    if (severity < debug || severity > fatal)
        throw std::out_of_range("severity value out of range");
    std::shared_ptr<logger_impl> instance = m_instance;
    if (!instance)
        return;

    std::lock_guard<std::mutex> lock(instance->mutex);
    if (!instance->open)
        return;
    QTextStream stream(instance->file.get());
    stream.setCodec("UTF-8");
    stream << QDateTime::currentDateTime().toString("[yyyy-MM-dd hh:mm:ss.zzz]") << " ["
           << QString::fromStdString(severity_names[severity]) << "] "
           << QString::fromStdString(message) << Qt::endl;
}

void logger::close()
{
    std::shared_ptr<logger_impl> instance = m_instance;
    if (!instance)
        return;
    std::lock_guard<std::mutex> lock(instance->mutex);
    instance->file->close();
    instance->open = false;
}
