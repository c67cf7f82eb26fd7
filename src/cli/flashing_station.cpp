#include "cli/flashing_station.h"

#include "base/logger.h"
#include "cli/exit_status.h"
#include "cli/interruption.h"
#include "run/outcome_words.h"

#include <QJsonDocument>

namespace {

const char bell = '\a';

} // namespace

namespace cli {

flashing_station::flashing_station(const std::string& data_folder, const flash_station::options& asked, bool json,
                                   console& io)
    : m_fetches_release(asked.request.image_file.empty())
    , m_json(json)
    , m_io(io)
    , m_station(data_folder, asked)
    , m_progress(io.out, io.err, io.terminal && !json)
{
    connect(&m_interrupt_poll, &QTimer::timeout, this, [this] { m_look_for_interrupt(); });
    connect(&m_station, &flash_station::download_started, this, [this](const QString& tag) {
        m_json ? m_event({{"event", "downloading"}, {"release", tag}}) : m_line("Downloading release " + tag.toStdString());
    });
    connect(&m_station, &flash_station::message, this, [this](const QString& text, bool is_error) {
        if (m_json)
            m_event({{"event", "message"}, {"text", text}, {"error", is_error}});
        else
            m_progress.error(text.toStdString());
    });
    connect(&m_station, &flash_station::watching, this, [this] {
        m_json ? m_event({{"event", "watching"}}) : m_line("Waiting for USB sticks; Ctrl-C stops");
    });
    connect(&m_station, &flash_station::stick_started, this, &flashing_station::m_started);
    connect(&m_station, &flash_station::stick_progress, this, &flashing_station::m_progress_of);
    connect(&m_station, &flash_station::stick_ended, this, &flashing_station::m_ended);
    connect(&m_station, &flash_station::stick_left_alone, this, &flashing_station::m_left_alone);
    connect(&m_station, &flash_station::finished, this, &flashing_station::m_finished);
}

int flashing_station::run()
{
    m_interrupt_poll.start(interruption::poll_ms);
    if (m_fetches_release && !m_json)
        m_line("Looking for the latest release");
    QTimer::singleShot(0, &m_station, &flash_station::start);
    m_loop.exec();
    return m_status;
}

void flashing_station::m_started(const station_stick& stick)
{
    if (m_json) {
        m_event(stick_event("started", stick));
        return;
    }
    m_line(stick_name(stick) + " started" + bell);
    if (m_io.terminal)
        m_lines[stick.disk->path] = m_progress.add(stick_name(stick));
}

void flashing_station::m_progress_of(const station_stick& stick, disk_progress_kind kind, qint64 done, qint64 total)
{
    const auto line = m_lines.find(stick.disk->path);
    if (line != m_lines.end())
        m_progress.report(line->second, kind == disk_progress_kind::verifying ? "verifying" : "writing", done, total);
}

void flashing_station::m_ended(const station_stick& stick)
{
    m_tally.count(stick);
    const bool failed = stick.outcome == disk_outcome::failed || stick.outcome == disk_outcome::pending;
    if (m_json) {
        QJsonObject event = stick_event("ended", stick);
        event["outcome"] = outcome_word(stick.outcome);
        if (failed)
            event["failure"] = QString::fromStdString(stick.failure);
        m_event(event);
        return;
    }
    const auto line = m_lines.find(stick.disk->path);
    if (line != m_lines.end()) {
        m_progress.drop(line->second);
        m_lines.erase(line);
    }
    // Told once: why, on the error stream.
    if (failed)
        m_progress.error(stick_name(stick) + " failed: " + stick.failure + bell);
    else
        m_line(stick_name(stick) + ' ' + outcome_summary(stick.outcome) + bell);
}

void flashing_station::m_left_alone(const station_stick& stick, station_leave why, const QString& words)
{
    ++m_tally.left_alone;
    if (m_json) {
        QJsonObject event = stick_event("left_alone", stick);
        event["reason"] = words;
        m_event(event);
        return;
    }
    std::string line = stick_place(stick) + ": left out, " + words.toStdString();
    if (why == station_leave::just_flashed)
        line += "; --again flashes it again";
    m_line(line);
}

void flashing_station::m_finished(run_outcome outcome)
{
    if (outcome == run_outcome::failed) {
        if (!m_station.failure().isEmpty())
            m_json ? m_event({{"event", "message"}, {"text", m_station.failure()}, {"error", true}})
                   : m_progress.error(m_station.failure().toStdString());
        m_status = exit_status::failed;
    } else {
        m_json ? m_event(m_tally.json()) : m_line(m_tally.text());
        m_status = exit_status::interrupted;
    }
    m_loop.quit();
}

void flashing_station::m_look_for_interrupt()
{
    if (!interruption::requested() || m_interrupted)
        return;
    m_interrupted = true;
    if (!m_json)
        m_line("Interrupted: stopping");
    KESTREL_LOG(logger::fatal, "Flashing canceled from the command line");
    m_station.stop();
}

void flashing_station::m_line(const std::string& text)
{
    m_progress.note(text);
    // Read as it comes, by a person or by a script at the other end of a pipe.
    m_io.out.flush();
}

void flashing_station::m_event(const QJsonObject& event)
{
    m_io.out << QJsonDocument(event).toJson(QJsonDocument::Compact).toStdString() << std::endl;
}

} // namespace cli
