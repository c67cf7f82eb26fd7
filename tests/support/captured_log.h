#pragma once
// The program's log, opened in a temporary data folder, read back line by line.

#include <QList>
#include <QString>
#include <QTemporaryDir>

class captured_log {
public:
    struct line {
        QString severity;
        QString text; // what follows the source position and the function
    };

    // Opens the log; only one captured_log should live at a time.
    captured_log();
    ~captured_log();
    captured_log(const captured_log&) = delete;
    captured_log& operator=(const captured_log&) = delete;

    // Forgets the lines written so far.
    void clear();
    QList<line> lines() const;
    // The texts of the lines of one severity, in order.
    QStringList texts(const QString& severity) const;

private:
    QTemporaryDir m_folder;
};
