#include "device/device_manager.h"
#include "fake_host.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

int thread_count()
{
    return QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
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

} // namespace

class test_device_watch : public QObject {
    Q_OBJECT

private slots:
    void adding_and_removing_a_stick_is_reported_twice_each()
    {
        fake_host host;
        device_manager manager;
        arrivals seen(manager);

        QTest::qWait(2500);
        QCOMPARE(seen.times.size(), 0);

        const qint64 plugged = seen.clock.elapsed();
        QString stick = host.add(fake_host::usb_stick());
        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 2, 10000);
        QVERIFY(seen.times[0] - plugged < 2000);
        QVERIFY2(seen.times[1] - seen.times[0] >= 1200 && seen.times[1] - seen.times[0] <= 3500,
                 qPrintable(QString::number(seen.times[1] - seen.times[0])));

        QTest::qWait(2500);
        QCOMPARE(seen.times.size(), 2);

        host.remove(stick);
        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 4, 10000);
        QVERIFY(seen.times[3] - seen.times[2] >= 1200 && seen.times[3] - seen.times[2] <= 3500);
        for (QThread* thread : seen.threads)
            QCOMPARE(thread, manager.thread());
    }

    void sticks_present_at_start_are_reported_at_once()
    {
        fake_host host;
        host.add(fake_host::usb_stick());
        device_manager manager;
        arrivals seen(manager);

        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 2, 10000);
        QVERIFY2(seen.times[1] < 4000, qPrintable(QString::number(seen.times[1])));
        QTest::qWait(2000);
        QCOMPARE(seen.times.size(), 2);
    }

    void swapping_one_stick_for_another_is_not_reported()
    {
        fake_host host;
        QString first = host.add(fake_host::usb_stick());
        device_manager manager;
        arrivals seen(manager);
        QTRY_COMPARE_WITH_TIMEOUT(seen.times.size(), 2, 10000);

        host.remove(first);
        host.add(fake_host::usb_stick());
        QTest::qWait(2500);
        QCOMPARE(seen.times.size(), 2);
    }

    void destroying_the_manager_ends_its_watch_thread_data()
    {
        QTest::addColumn<bool>("stick_present");
        QTest::addColumn<int>("wait_ms");
        QTest::newRow("while polling") << false << 700;
        QTest::newRow("between the two reports") << true << 1200;
    }

    void destroying_the_manager_ends_its_watch_thread()
    {
        QFETCH(bool, stick_present);
        QFETCH(int, wait_ms);
        fake_host host;
        if (stick_present)
            host.add(fake_host::usb_stick());
        const int before = thread_count();
        auto manager = std::make_unique<device_manager>();
        QTRY_COMPARE(thread_count(), before + 1);
        QTest::qWait(wait_ms);

        QElapsedTimer stopping;
        stopping.start();
        manager.reset();
        QVERIFY2(stopping.elapsed() < 1000, qPrintable(QString::number(stopping.elapsed())));
        QTRY_COMPARE(thread_count(), before);
    }
};

QTEST_GUILESS_MAIN(test_device_watch)
#include "test_device_watch.moc"
