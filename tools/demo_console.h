#pragma once
// The demo's terminal: commands that plug sticks in and pull them out of the demo host while
// the program runs, so that every sequence a farm goes through can be tried by hand.
//
//     add            plugs in another 16 GB stick
//     pull [NAME]    unplugs a stick (the one plugged in last when no name is given)
//     plug [NAME]    plugs an unplugged stick in again (the one pulled last by default)
//     list           the sticks plugged in, with the files that stand for them, and pulled out
//     help           this list

#include <QByteArray>
#include <QObject>
#include <QStringList>

class QSocketNotifier;
class fake_host;

class demo_console : public QObject {
    Q_OBJECT

public:
    // Reads commands from standard input; `host` must outlive the console.
    explicit demo_console(fake_host& host);

    // Adds a demo stick with a mounted volume, says where its file is and returns its kernel
    // name.
    QString add_stick();

private slots:
    void m_read_command();

private:
    void m_run(const QStringList& words);
    void m_pull(const QString& name);
    void m_plug(const QString& name);
    void m_list() const;

    fake_host& m_host;
    QSocketNotifier* m_input;
    // What came in after the last complete line.
    QByteArray m_pending;
    QStringList m_attached;
    QStringList m_pulled;
    int m_added = 0;
};
