// Times FLASH-to-first-write through the real window with 16 sticks attached, each like real
// hardware: it brings no volume back once its layout is deleted. From the press of FLASH until
// the first write reaches a stick of the run, with one stick picked and with "All USB sticks",
// for a first flash (the download not yet decompressed) and for the flash after it (the
// decompressed image reused). Each round has its own hosts and data folders. Told apart, from
// the window's log: the window folding before the run starts.
//
// first_write_bench [rounds] [image size in MiB]

#include "window_driver.h"

#include "base/logger.h"
#include "win32/test_control.h"

#include "bench_support.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace bench;

namespace {

QTextStream out(stdout);

const int sticks = 16;
// What a flash may take on a machine under any load.
const int run_ms = 600000;

struct timings {
    std::vector<double> first;
    std::vector<double> cached;
    // Of each: the window's fold, from the press of FLASH until the run starts.
    std::vector<double> fold;
};

QDateTime logged_at(const QByteArray& line)
{
    return QDateTime::fromString(QString::fromLatin1(line.mid(1, 23)), "yyyy-MM-dd hh:mm:ss.zzz");
}

// The window logs "Animation" as it starts to fold at FLASH, and "pressed" as the run starts.
double last_fold_seconds(const window_driver& driver)
{
    QFile file(QString::fromStdString(driver.data_folder()) + logger::file_name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("the log cannot be read");
    QDateTime pressed;
    QDateTime started;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.endsWith("] Animation")) {
            pressed = logged_at(line);
            started = QDateTime();
        } else if (line.endsWith("] pressed") && started.isNull()) {
            started = logged_at(line);
        }
    }
    if (!pressed.isValid() || !started.isValid())
        qFatal("the log does not tell the fold");
    return pressed.msecsTo(started) / 1e3;
}

bool stick_written(bool any_stick)
{
    const auto journal = win32::test_control::journal();
    return std::any_of(journal.begin(), journal.end(), [any_stick](const auto& entry) {
        return entry.what == win32::test_control::call::write
            && (any_stick || entry.target == window_driver::stick_path);
    });
}

// The driver's stick is the first; the others come after it, named "Stick 2" and on.
void attach_other_sticks(window_driver& driver)
{
    for (int number = 2; number <= sticks; ++number) {
        fake_host::disk stick = fake_host::usb_stick();
        stick.model = QString("Stick %1").arg(number);
        stick.partitions = {{1 << 20, 64 << 20, QString()}};
        stick.rereads_partition_table = true;
        driver.host().add(stick);
    }
}

// Seconds from FLASH to the first write, then waits for the run to end.
double flash(window_driver& driver, bool all, int flashes_before)
{
    if (!(all ? driver.pick_all() : driver.pick("DataTraveler")))
        qFatal("the sticks cannot be picked");
    win32::test_control::clear_journal();
    if (!QTest::qWaitFor([&] { return driver.flash_clickable(); }, 30000))
        qFatal("FLASH cannot be pressed");
    QElapsedTimer timer;
    timer.start();
    driver.press_flash();
    if (!QTest::qWaitFor([all] { return stick_written(all); }, run_ms))
        qFatal("nothing was written");
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!QTest::qWaitFor([&] { return driver.log_count("Flashing finished") > flashes_before; }, run_ms))
        qFatal("the flash did not finish");
    // The success card covers FLASH until it is answered.
    if (!QTest::qWaitFor([&] { return driver.press_card_button("FLASH NEW USB"); }, 30000))
        qFatal("the success card cannot be answered");
    return seconds;
}

void round_of(const release_fixture& release, bool all, timings& measured)
{
    window_driver driver(release, 16'000'000'000, window_driver::stick_kind::like_hardware);
    attach_other_sticks(driver);
    driver.open_window();
    if (!driver.wait_for_start_up_reports())
        qFatal("the device watch did not report");
    if (!driver.accept_download())
        qFatal("the download failed");
    driver.fill_form("rig(%d)");
    measured.first.push_back(flash(driver, all, 0));
    measured.fold.push_back(last_fold_seconds(driver));
    measured.cached.push_back(flash(driver, all, 1));
    measured.fold.push_back(last_fold_seconds(driver));
    driver.close_window();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const int rounds = std::max(1, argc > 1 ? QByteArray(argv[1]).toInt() : 5);
    const int size_mib = std::max(16, argc > 2 ? QByteArray(argv[2]).toInt() : 64);
    const release_fixture release = release_fixture::make("v9", size_mib << 20, 1 << 20);

    timings one, all;
    for (int round = 0; round < rounds; ++round) {
        round_of(release, false, one);
        round_of(release, true, all);
        out << "round " << round + 1 << ", FLASH to first write in s (first flash, image decompressed): one of "
            << sticks << " sticks " << one.first.back() << ", " << one.cached.back() << "; all " << sticks
            << " sticks " << all.first.back() << ", " << all.cached.back() << "\n"
            << Qt::flush;
    }
    std::vector<double> folds = one.fold;
    folds.insert(folds.end(), all.fold.begin(), all.fold.end());
    out << "FLASH to first write with " << sticks << " sticks attached, median (min-max) seconds:\n"
        << "  one stick, first flash " << against_target(one.first, 0.15) << "\n"
        << "  one stick, image decompressed " << against_target(one.cached, 0.15) << "\n"
        << "  all sticks, first flash " << against_target(all.first, 0.15) << "\n"
        << "  all sticks, image decompressed " << against_target(all.cached, 0.15) << "\n"
        << "of which the window folding before the run starts " << spread(folds) << "\n";
    return 0;
}
