#include "demo_console.h"

#include "fake_host.h"

#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTextStream>

#include <cstdio>

#include <unistd.h>

namespace {

const char* const help_text =
    "commands: add | pull [NAME] | plug [NAME] | list | help\n"
    "  add          plug in another 16 GB stick\n"
    "  pull [NAME]  unplug a stick (the one plugged in last by default)\n"
    "  plug [NAME]  plug a pulled stick in again (the one pulled last by default)\n"
    "  list         the sticks plugged in, with the files that stand for them, and pulled out\n";

void say(const QString& text)
{
    QTextStream(stdout) << text << Qt::endl;
}

} // namespace

demo_console::demo_console(fake_host& host)
    : m_host(host)
    , m_input(new QSocketNotifier(fileno(stdin), QSocketNotifier::Read, this))
{
    connect(m_input, &QSocketNotifier::activated, this, &demo_console::m_read_command);
    say(QString(help_text).trimmed());
}

QString demo_console::add_stick()
{
    ++m_added;
    fake_host::disk stick = fake_host::usb_stick(16'000'000'000);
    stick.vendor = "Kestrel";
    stick.model = m_added == 1 ? QString("Demo Stick") : QString("Demo Stick %1").arg(m_added);
    const QString mount_point = m_added == 1 ? QString("/media/demo/KESTREL")
                                             : QString("/media/demo/KESTREL%1").arg(m_added);
    stick.partitions = {{1 << 20, 1'000'000'000, mount_point}};
    // A serial number of its own, as every real stick has: the record of sticks flashed in the
    // data folder outlives the demo, and a stick of a later demo is another stick.
    stick.serial = QString("DEMO%1").arg(QRandomGenerator::global()->generate64() % 1000000000000ULL, 12, 10, QChar('0'));
    const QString name = m_host.add(stick);
    m_attached << name;
    say("plugged in " + name + ", its file " + m_host.node_path(name));
    return name;
}

// Read from the descriptor itself: lines that arrive together (piped in) are all run, none
// waits in a stream buffer that the notifier knows nothing of.
void demo_console::m_read_command()
{
    char chunk[4096];
    const ssize_t received = read(fileno(stdin), chunk, sizeof chunk);
    if (received <= 0) {
        // The terminal is gone; the demo goes on without commands.
        m_input->setEnabled(false);
        return;
    }
    m_pending.append(chunk, static_cast<int>(received));
    for (int end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        const QStringList words = QString::fromUtf8(m_pending.left(end)).split(' ', Qt::SkipEmptyParts);
        m_pending.remove(0, end + 1);
        if (!words.isEmpty())
            m_run(words);
    }
}

void demo_console::m_run(const QStringList& words)
{
    const QString command = words.first();
    const QString name = words.value(1);
    if (command == "add")
        add_stick();
    else if (command == "pull")
        m_pull(name.isEmpty() ? m_attached.value(m_attached.size() - 1) : name);
    else if (command == "plug")
        m_plug(name.isEmpty() ? m_pulled.value(m_pulled.size() - 1) : name);
    else if (command == "list")
        m_list();
    else
        say(help_text);
}

void demo_console::m_pull(const QString& name)
{
    if (!m_attached.contains(name)) {
        say("no stick " + (name.isEmpty() ? QString("plugged in") : name));
        return;
    }
    m_host.remove(name);
    m_attached.removeAll(name);
    m_pulled << name;
    say("pulled out " + name);
}

void demo_console::m_plug(const QString& name)
{
    if (!m_pulled.contains(name)) {
        say("no stick " + (name.isEmpty() ? QString("pulled out") : name));
        return;
    }
    m_pulled.removeAll(name);
    const QString plugged = m_host.plug_back(name);
    m_attached << plugged;
    say("plugged in " + plugged + " again, its file " + m_host.node_path(plugged));
}

void demo_console::m_list() const
{
    say("plugged in:" + QString(m_attached.isEmpty() ? " none" : ""));
    for (const QString& name : m_attached)
        say("  " + name + "  " + m_host.node_path(name));
    say("pulled out: " + (m_pulled.isEmpty() ? QString("none") : m_pulled.join(' ')));
}
