#include "run/flash_record.h"

#include "base/data_file.h"
#include "base/data_folder_lock.h"
#include "base/logger.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>

#include <cerrno>
#include <cstdlib>

namespace {

const flash_record::outcome all_outcomes[] = {flash_record::outcome::verified, flash_record::outcome::written,
                                              flash_record::outcome::failed, flash_record::outcome::stopped};

QString flash_record_path(const std::string& data_folder)
{
    return QString::fromStdString(data_folder + "/" + flash_record::file_name);
}

std::optional<flash_record::outcome> outcome_named(const QString& word)
{
    for (flash_record::outcome result : all_outcomes)
        if (word == flash_record::outcome_word(result))
            return result;
    return std::nullopt;
}

// A JSON object with a known outcome; nothing for anything else.
std::optional<flash_record::entry> entry_in(const QByteArray& line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const std::optional<flash_record::outcome> result = outcome_named(object["outcome"].toString());
    if (!result)
        return std::nullopt;
    const auto text = [&object](const char* name) { return object[name].toString().toStdString(); };
    flash_record::entry found;
    found.time = text("time");
    found.path = text("path");
    found.device = text("device");
    found.model = text("model");
    found.serial = text("serial");
    found.port = text("port");
    // A size spoilt by hand is none rather than a number no disk has.
    const double size = object["size"].toDouble();
    found.size = size > 0 && size < 1e18 ? std::uint64_t(size) : 0;
    found.worker = text("worker");
    found.image = text("image");
    found.md5 = text("md5");
    found.result = *result;
    found.failure = text("failure");
    const double area = object["area"].toDouble();
    found.area = area > 0 && area < 1e18 ? std::uint64_t(area) : 0;
    return found;
}

// A line that a crash cut short ends without its line break: the next line must not be glued
// to it, or both would be lost.
bool ends_mid_line(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0 || !file.seek(file.size() - 1))
        return false;
    return file.read(1) != "\n";
}

// ISO 8601 with the UTC offset, "+00:00" for none as for any other: a local time says nothing
// without it, and Qt writes none for a local time and "Z" for UTC.
std::string time_text(const QDateTime& time)
{
    const int offset = time.offsetFromUtc();
    const QString zone = QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 3600,
                                           std::abs(offset) % 3600 / 60);
    return (QLocale::c().toString(time, "yyyy-MM-dd'T'HH:mm:ss") + zone).toStdString();
}

data_file::outcome append_locked(const std::string& data_folder, const std::vector<flash_record::entry>& entries)
{
    const QString path = flash_record_path(data_folder);
    bool mid_line = ends_mid_line(path);
    QFile file(path);
    errno = 0;
    // Unbuffered: each line goes to the system in one write as it is made, so that another
    // process reading meanwhile sees whole lines, and a failure is the write's own.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return data_file::outcome_of_last_call();
    for (const flash_record::entry& line : entries) {
        QByteArray text = QJsonDocument(flash_record::to_json(line)).toJson(QJsonDocument::Compact) + '\n';
        if (mid_line)
            text.prepend('\n');
        mid_line = false;
        errno = 0;
        if (file.write(text) != text.size())
            return data_file::outcome_of_last_call();
    }
    return data_file::outcome::written;
}

} // namespace

namespace flash_record {

const char* const file_name = "sticks flashed.jsonl";

const char* outcome_word(outcome result)
{
    switch (result) {
    case outcome::verified:
        return "verified";
    case outcome::written:
        return "written";
    case outcome::failed:
        return "failed";
    case outcome::stopped:
        return "stopped";
    }
    return "";
}

outcome outcome_of(disk_outcome result)
{
    switch (result) {
    case disk_outcome::verified:
        return outcome::verified;
    case disk_outcome::written:
        return outcome::written;
    case disk_outcome::canceled:
        return outcome::stopped;
    case disk_outcome::failed:
    case disk_outcome::pending:
        break;
    }
    return outcome::failed;
}

entry entry_for(const device& disk)
{
    entry line;
    line.time = time_text(QDateTime::currentDateTime());
    line.path = disk.path;
    line.device = disk.system_name;
    line.model = disk.name;
    line.serial = disk.serial;
    line.port = disk.port;
    line.size = disk.size;
    return line;
}

QJsonObject to_json(const entry& line)
{
    return QJsonObject {
        {"time", QString::fromStdString(line.time)},
        {"path", QString::fromStdString(line.path)},
        {"device", QString::fromStdString(line.device)},
        {"model", QString::fromStdString(line.model)},
        {"serial", QString::fromStdString(line.serial)},
        {"port", QString::fromStdString(line.port)},
        {"size", static_cast<qint64>(line.size)},
        {"worker", QString::fromStdString(line.worker)},
        {"image", QString::fromStdString(line.image)},
        {"md5", QString::fromStdString(line.md5)},
        {"outcome", outcome_word(line.result)},
        {"failure", QString::fromStdString(line.failure)},
        {"area", static_cast<qint64>(line.area)},
    };
}

data_file::outcome append(const std::string& data_folder, const std::vector<entry>& entries)
{
    if (entries.empty())
        return data_file::outcome::written;
    const data_folder_lock lock(data_folder);
    const data_file::outcome done = lock.held() ? append_locked(data_folder, entries) : lock.refusal();
    if (done != data_file::outcome::written)
        KESTREL_LOG(logger::fatal, "Cannot append to " << file_name << ": " << int(done));
    return done;
}

std::vector<entry> read(const std::string& data_folder)
{
    std::vector<entry> entries;
    QFile file(flash_record_path(data_folder));
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const std::optional<entry> found = entry_in(file.readLine());
        if (found)
            entries.push_back(*found);
    }
    return entries;
}

std::optional<entry> last_written(const std::string& data_folder, const device& stick)
{
    std::optional<entry> newest;
    for (const entry& line : read(data_folder)) {
        const bool same = line.size == stick.size
            && (stick.serial.empty() ? line.device == stick.system_name : line.serial == stick.serial);
        // Lines are appended as sticks end: the later one is the newer.
        if (same && (line.result == outcome::verified || line.result == outcome::written))
            newest = line;
    }
    return newest;
}

std::optional<entry> recently_verified(const std::string& data_folder, const device& stick,
                                       std::chrono::milliseconds window)
{
    if (stick.serial.empty())
        return std::nullopt;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::optional<entry> newest;
    QDateTime newest_time;
    for (const entry& line : read(data_folder)) {
        if (line.result != outcome::verified || line.serial != stick.serial || line.size != stick.size
            || line.port != stick.port)
            continue;
        const QDateTime time = QDateTime::fromString(QString::fromStdString(line.time), Qt::ISODate);
        if (!time.isValid() || std::chrono::milliseconds(std::abs(time.msecsTo(now))) > window)
            continue;
        // Equal times: the line appended later.
        if (!newest || time >= newest_time) {
            newest = line;
            newest_time = time;
        }
    }
    return newest;
}

} // namespace flash_record
