#pragma once
// Progress on the terminal, one line per task (the download, each disk): percentage and MB/s.
// On a terminal the lines are redrawn in place; otherwise a line is printed when its stage
// changes and at every tenth of the way, so that a log file stays short. Failures go to the
// error stream, above the lines on a terminal.

#include <QElapsedTimer>
#include <QtGlobal>

#include <ostream>
#include <string>
#include <vector>

namespace cli {

class progress_lines {
public:
    progress_lines(std::ostream& out, std::ostream& err, bool terminal);

    // A new line, below the others; returns its index.
    std::size_t add(const std::string& label);
    // `done` of `total` bytes in `stage`; the rate counts from the stage's first report.
    void report(std::size_t line, const std::string& stage, qint64 done, qint64 total);
    // The line's last word, instead of the progress.
    void settle(std::size_t line, const std::string& text);
    // The line is no longer drawn: its task has ended, and a message of its own told how.
    void drop(std::size_t line);
    // A message of its own, above the lines on a terminal.
    void note(const std::string& text);
    // A failure, on the error stream; above the lines on a terminal.
    void error(const std::string& text);
    // Brings the terminal up to date; nothing to do elsewhere.
    void draw();

private:
    struct line {
        std::string label;
        std::string stage;
        std::string settled;
        qint64 done = 0;
        qint64 total = 0;
        qint64 stage_started_ms = 0;
        qint64 stage_started_done = 0;
        // Plain output: the stage and the tenth last printed.
        std::string printed_stage;
        int printed_tenth = -1;
        bool dropped = false;
    };

    // Terminal: back over the lines last drawn, to write above them.
    void m_rewind();
    std::string m_text(const line& shown) const;
    void m_print(const line& shown);

    std::ostream& m_out;
    std::ostream& m_err;
    const bool m_terminal;
    QElapsedTimer m_clock;
    std::vector<line> m_lines;
    // Terminal: how many lines the last draw left above the cursor.
    std::size_t m_drawn = 0;
    // A line was dropped: a draw may leave fewer lines than the one before.
    bool m_dropped = false;
};

} // namespace cli
