// Times FLASH-to-first-write through the real window, on a stick that, like real hardware,
// brings no volume back once its layout is deleted: from the press of FLASH until the first
// write reaches the stick, for a first flash (the download not yet decompressed) and for the
// flash after it (the decompressed image reused). Each round has its own host and data folder.
//
// first_write_bench [rounds] [image size in MiB]

#include "window_driver.h"

#include "win32/test_control.h"

#include "bench_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTextStream>

#include <algorithm>
#include <vector>

using namespace bench;

namespace {

QTextStream out(stdout);

bool stick_written()
{
    const auto journal = win32::test_control::journal();
    return std::any_of(journal.begin(), journal.end(), [](const auto& entry) {
        return entry.what == win32::test_control::call::write && entry.target == window_driver::stick_path;
    });
}

// Seconds from FLASH to the first write, then waits for the run to end.
double flash(window_driver& driver, int flashes_before)
{
    win32::test_control::clear_journal();
    if (!QTest::qWaitFor([&] { return driver.flash_clickable(); }, 30000))
        qFatal("FLASH cannot be pressed");
    QElapsedTimer timer;
    timer.start();
    driver.press_flash();
    if (!QTest::qWaitFor(stick_written, 120000))
        qFatal("nothing was written");
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (!QTest::qWaitFor([&] { return driver.log_count("Flashing finished") > flashes_before; }, 300000))
        qFatal("the flash did not finish");
    // The success card covers FLASH until it is answered.
    if (!QTest::qWaitFor([&] { return driver.press_card_button("FLASH NEW USB"); }, 30000))
        qFatal("the success card cannot be answered");
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    const int rounds = std::max(1, argc > 1 ? QByteArray(argv[1]).toInt() : 5);
    const int size_mib = std::max(16, argc > 2 ? QByteArray(argv[2]).toInt() : 64);
    const release_fixture release = release_fixture::make("v9", size_mib << 20, 1 << 20);

    std::vector<double> first, cached;
    for (int round = 0; round < rounds; ++round) {
        window_driver driver(release, 16'000'000'000, window_driver::stick_kind::like_hardware);
        driver.open_window();
        if (!driver.accept_download())
            qFatal("the download failed");
        driver.fill_form("rig(%d)");
        first.push_back(flash(driver, 0));
        cached.push_back(flash(driver, 1));
        driver.close_window();
        out << "round " << round + 1 << ": FLASH to first write " << first.back()
            << " s on a first flash, " << cached.back() << " s with the image decompressed\n"
            << Qt::flush;
    }
    out << "FLASH to first write, median (min-max) seconds: first flash " << against_target(first, 3)
        << ", image decompressed " << against_target(cached, 3) << "\n";
    return 0;
}
