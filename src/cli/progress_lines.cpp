#include "cli/progress_lines.h"

#include <QString>

#include <algorithm>

namespace {

const char* const clear_line = "\r\x1b[K";
const char* const clear_below = "\x1b[J";

std::string cursor_up(std::size_t lines)
{
    return "\x1b[" + std::to_string(lines) + "A";
}

} // namespace

namespace cli {

progress_lines::progress_lines(std::ostream& out, std::ostream& err, bool terminal)
    : m_out(out), m_err(err), m_terminal(terminal)
{
    m_clock.start();
}

std::size_t progress_lines::add(const std::string& label)
{
    line added;
    added.label = label;
    m_lines.push_back(added);
    return m_lines.size() - 1;
}

void progress_lines::report(std::size_t index, const std::string& stage, qint64 done, qint64 total)
{
    line& shown = m_lines[index];
    if (stage != shown.stage) {
        shown.stage = stage;
        shown.stage_started_ms = m_clock.elapsed();
        shown.stage_started_done = done;
    }
    shown.done = done;
    shown.total = total;
    if (m_terminal)
        return;
    const int tenth = total > 0 ? static_cast<int>(done * 10 / total) : 0;
    if (stage == shown.printed_stage && tenth <= shown.printed_tenth)
        return;
    shown.printed_stage = stage;
    shown.printed_tenth = tenth;
    m_print(shown);
}

void progress_lines::settle(std::size_t index, const std::string& text)
{
    line& shown = m_lines[index];
    shown.settled = text;
    if (!m_terminal)
        m_print(shown);
}

void progress_lines::note(const std::string& text)
{
    m_rewind();
    m_out << text << '\n';
    draw();
}

void progress_lines::error(const std::string& text)
{
    m_rewind();
    // Out first: on a terminal both streams reach the same screen.
    m_out.flush();
    m_err << text << std::endl;
    draw();
}

void progress_lines::drop(std::size_t index)
{
    m_lines[index].dropped = true;
    m_dropped = true;
}

void progress_lines::m_rewind()
{
    if (!m_terminal)
        return;
    if (m_drawn > 0)
        m_out << cursor_up(m_drawn);
    m_out << clear_line;
    m_drawn = 0;
}

void progress_lines::draw()
{
    if (!m_terminal)
        return;
    if (m_drawn > 0)
        m_out << cursor_up(m_drawn);
    m_drawn = 0;
    for (const line& shown : m_lines)
        if (!shown.dropped) {
            m_out << clear_line << m_text(shown) << '\n';
            ++m_drawn;
        }
    // Fewer lines than last time: what the dropped ones left below goes.
    if (m_dropped)
        m_out << clear_below;
    m_out.flush();
}

std::string progress_lines::m_text(const line& shown) const
{
    int width = 0;
    for (const line& other : m_lines)
        if (!other.dropped)
            width = std::max(width, static_cast<int>(other.label.size()));
    QString text = QString("%1").arg(QString::fromStdString(shown.label), -width);
    if (!shown.settled.empty())
        return (text + "  " + QString::fromStdString(shown.settled)).toStdString();
    if (shown.stage.empty())
        return (text + "  waiting").toStdString();
    text += QString("  %1").arg(QString::fromStdString(shown.stage), -10);
    if (shown.total > 0)
        text += QString(" %1%").arg(shown.done * 100 / shown.total, 3);
    const qint64 elapsed_ms = m_clock.elapsed() - shown.stage_started_ms;
    if (elapsed_ms > 0 && shown.done > shown.stage_started_done)
        text += QString("  %1 MB/s")
                    .arg((shown.done - shown.stage_started_done) / 1e3 / elapsed_ms, 0, 'f', 1);
    return text.toStdString();
}

void progress_lines::m_print(const line& shown)
{
    m_out << m_text(shown) << '\n';
    m_out.flush();
}

} // namespace cli
