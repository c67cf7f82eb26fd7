#include "cli/flashing_station.h"

#include "base/logger.h"
#include "cli/exit_status.h"
#include "cli/interruption.h"
#include "run/outcome_words.h"

namespace {

const char bell = '\a';

} // namespace

namespace cli {

flashing_station::flashing_station(const std::string& data_folder, const flash_station::options& asked,
                                   console& io)
    : m_fetches_release(asked.request.image_file.empty())
    , m_io(io)
    , m_station(data_folder, asked)
{
    connect(&m_interrupt_poll, &QTimer::timeout, this, [this] { m_look_for_interrupt(); });
    connect(&m_station, &flash_station::download_started, this,
            [this](const QString& tag) { m_line("Downloading release " + tag.toStdString()); });
    connect(&m_station, &flash_station::message, this, [this](const QString& text, bool is_error) {
        (is_error ? m_io.err : m_io.out) << text.toStdString() << std::endl;
    });
    connect(&m_station, &flash_station::watching, this, [this] { m_line("Waiting for USB sticks; Ctrl-C stops"); });
    connect(&m_station, &flash_station::stick_started, this,
            [this](const station_stick& stick) { m_line(m_name(stick) + " started"); });
    connect(&m_station, &flash_station::stick_ended, this, &flashing_station::m_ended);
    connect(&m_station, &flash_station::stick_left_alone, this, &flashing_station::m_left_alone);
    connect(&m_station, &flash_station::finished, this, &flashing_station::m_finished);
}

int flashing_station::run()
{
    m_interrupt_poll.start(interruption::poll_ms);
    if (m_fetches_release)
        m_line("Looking for the latest release");
    QTimer::singleShot(0, &m_station, &flash_station::start);
    m_loop.exec();
    return m_status;
}

void flashing_station::m_ended(const station_stick& stick)
{
    if (stick.outcome == disk_outcome::failed || stick.outcome == disk_outcome::pending) {
        m_io.out.flush();
        m_io.err << m_name(stick) << " failed: " << stick.failure << std::endl;
    }
    m_line(m_name(stick) + ' ' + outcome_summary(stick.outcome) + bell);
}

void flashing_station::m_left_alone(const station_stick& stick, station_leave why, const QString& words)
{
    std::string line = "disk " + std::to_string(stick.number) + " (" + stick.disk->path + "): left out, "
        + words.toStdString();
    if (why == station_leave::just_flashed)
        line += "; --again flashes it again";
    m_line(line);
}

void flashing_station::m_finished(run_outcome outcome)
{
    if (outcome == run_outcome::failed) {
        if (!m_station.failure().isEmpty())
            m_io.err << m_station.failure().toStdString() << std::endl;
        m_status = exit_status::failed;
    } else {
        m_status = exit_status::interrupted;
    }
    m_loop.quit();
}

void flashing_station::m_look_for_interrupt()
{
    if (!interruption::requested() || m_interrupted)
        return;
    m_interrupted = true;
    m_line("Interrupted: stopping");
    KESTREL_LOG(logger::fatal, "Flashing canceled from the command line");
    m_station.stop();
}

void flashing_station::m_line(const std::string& text)
{
    m_io.out << text << std::endl;
}

std::string flashing_station::m_name(const station_stick& stick)
{
    return "disk " + std::to_string(stick.number) + " (" + stick.disk->path + "): \"" + stick.worker_name + '"';
}

} // namespace cli
