#include "device/device_manager.h"
#include "fake_host.h"
#include "thread_names.h"
#include "win32/test_control.h"
#include "scoped_waits.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>

using namespace std::chrono_literals;
using win32::test_control::call;

namespace {

// Far longer than any test runs: a watch that stops in time did not sleep it out.
const std::chrono::minutes endless_wait(10);
// What a step the watch takes at once may take on a machine under any load.
const int at_once_ms = 120000;

// Returns once the watch has counted the USB storage devices `polls` more times.
bool polled_again(int polls)
{
    const std::uint64_t before = win32::test_control::usb_storage_listings();
    return QTest::qWaitFor(
        [&] { return win32::test_control::usb_storage_listings() >= before + std::uint64_t(polls); },
        at_once_ms);
}

// When each devices_changed() arrived, and on which thread.
struct arrivals {
    QElapsedTimer clock;
    QList<qint64> times;
    QList<QThread*> threads;

    explicit arrivals(device_manager& manager)
    {
        clock.start();
        QObject::connect(&manager, &device_manager::devices_changed, &manager, [this] {
            times.append(clock.elapsed());
            threads.append(QThread::currentThread());
        });
    }
};

// The watch polls often, and lists the disks again a clear while after a change.
scoped_waits watch_lengths()
{
    return scoped_waits([](wait_lengths& lengths) {
        lengths.usb_poll = 20ms;
        lengths.repeat_delay = 1000ms;
    });
}

// The reports are timed as the window receives them, each maybe late on a busy machine: half
// the repeat delay tells it from no delay.
const qint64 repeat_delay_seen_ms = 500;

} // namespace

class test_device_watch : public QObject {
    Q_OBJECT

private slots:
    void adding_and_removing_a_stick_is_reported_twice_each()
    {
        scoped_waits waits = watch_lengths();
        fake_host host;
        device_manager manager;
        arrivals seen(manager);

        QVERIFY(polled_again(5));
        QCOMPARE(seen.times.size(), 0);

        QString stick = host.add(fake_host::usb_stick());
        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 2, at_once_ms);
        // The second report waits the repeat delay out.
        QVERIFY2(seen.times[1] - seen.times[0] >= repeat_delay_seen_ms,
                 qPrintable(QString::number(seen.times[1] - seen.times[0])));

        QVERIFY(polled_again(5));
        QCOMPARE(seen.times.size(), 2);

        host.remove(stick);
        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 4, at_once_ms);
        QVERIFY2(seen.times[3] - seen.times[2] >= repeat_delay_seen_ms,
                 qPrintable(QString::number(seen.times[3] - seen.times[2])));
        for (QThread* thread : seen.threads)
            QCOMPARE(thread, manager.thread());
    }

    void sticks_present_at_start_are_reported_at_once()
    {
        scoped_waits waits = watch_lengths();
        fake_host host;
        host.add(fake_host::usb_stick());
        device_manager manager;
        arrivals seen(manager);

        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 2, at_once_ms);
        QVERIFY(polled_again(5));
        QCOMPARE(seen.times.size(), 2);
    }

    // Both sticks carry the same make and serial, as cheap ones do, and come under the same
    // kernel name: only the disk number tells them apart.
    void a_stick_swapped_between_two_looks_is_reported_twice_data()
    {
        QTest::addColumn<bool>("plugged_back");
        QTest::newRow("another stick") << false;
        QTest::newRow("the same stick plugged back") << true;
    }

    void a_stick_swapped_between_two_looks_is_reported_twice()
    {
        QFETCH(bool, plugged_back);
        scoped_waits waits = watch_lengths();
        fake_host host;
        fake_host::disk stick = fake_host::usb_stick();
        stick.serial = "070B2F1C9A4E5D31";
        QString first = host.add(stick);
        device_manager manager;
        arrivals seen(manager);
        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 2, at_once_ms);

        win32::test_control::hold_call(call::usb_storage_listing, "USBSTOR");
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), at_once_ms);
        host.remove(first);
        const QString second = plugged_back ? host.plug_back(first) : host.add(stick);
        win32::test_control::release_held();
        QCOMPARE(second, first);
        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 4, at_once_ms);
        QVERIFY2(seen.times[3] - seen.times[2] >= repeat_delay_seen_ms,
                 qPrintable(QString::number(seen.times[3] - seen.times[2])));
        QVERIFY(polled_again(5));
        QCOMPARE(seen.times.size(), 4);
    }

    void destroying_the_manager_ends_its_watch_thread_data()
    {
        QTest::addColumn<bool>("stick_present");
        QTest::newRow("while polling") << false;
        QTest::newRow("between the two reports") << true;
    }

    void destroying_the_manager_ends_its_watch_thread()
    {
        QFETCH(bool, stick_present);
        scoped_waits waits([stick_present](wait_lengths& lengths) {
            lengths.usb_poll = stick_present ? 20ms : endless_wait;
            lengths.repeat_delay = endless_wait;
        });
        fake_host host;
        if (stick_present)
            host.add(fake_host::usb_stick());
        QVERIFY(no_thread_named("device watch"));
        auto manager = std::make_unique<device_manager>();
        arrivals seen(*manager);
        QTRY_COMPARE(threads_named("device watch"), 1);
        if (stick_present)
            QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 1, at_once_ms);

        QElapsedTimer stopping;
        stopping.start();
        manager.reset();
        // Far from the wait it was in.
        QVERIFY2(stopping.elapsed() < at_once_ms, qPrintable(QString::number(stopping.elapsed())));
        QTRY_COMPARE(threads_named("device watch"), 0);
    }
};

QTEST_GUILESS_MAIN(test_device_watch)
#include "test_device_watch.moc"
