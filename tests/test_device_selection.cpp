#include "base/logger.h"
#include "device/device_windows.h"
#include "gui/all_sticks_row.h"
#include "gui/device_selection.h"
#include "gui/device_selection_widget.h"

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

std::shared_ptr<device> disk(const std::string& path, const std::string& name, std::uint64_t size)
{
    auto record = std::make_shared<device_windows>();
    record->path = path;
    record->name = name;
    record->size = size;
    return record;
}

// A disk as the device manager lists it: its path names its number.
std::shared_ptr<device> numbered_disk(std::uint16_t number, const std::string& name)
{
    auto record = std::static_pointer_cast<device_windows>(
        disk("\\\\.\\PhysicalDrive" + std::to_string(number), name, 8000000000));
    record->number = number;
    return record;
}

const QString red_4gb = "<font color=\"#e92424\">Not enough space (4GB minimum)</font>";
const QString red_4gb_spaced = "<font color=\"#e92424\"> Not enough space (4GB minimum)</font>";
const QString red_2gb_spaced = "<font color=\"#e92424\"> Not enough space (2GB minimum)</font>";

} // namespace

class test_device_selection : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<QWidget> m_window;
    device_selection* m_selection = nullptr;

    QLabel* label_at(QWidget* parent, const QPoint& position) const
    {
        for (QLabel* label : parent->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            if (label->pos() == position)
                return label;
        return nullptr;
    }

    QString title() const { return label_at(m_selection, QPoint(16, 16))->text(); }
    QString info() const { return label_at(m_selection, QPoint(16, 40))->text(); }
    QLabel* arrow() const { return label_at(m_selection, QPoint(527, 30)); }
    QListWidget* list() const { return m_selection->findChild<QListWidget*>(); }

    std::vector<device_selection_widget*> rows() const
    {
        std::vector<device_selection_widget*> found;
        for (int index = 0; index < list()->count(); ++index)
            if (auto* row = qobject_cast<device_selection_widget*>(list()->itemWidget(list()->item(index))))
                found.push_back(row);
        return found;
    }

    void click_header() { QTest::mouseClick(m_selection, Qt::LeftButton, {}, QPoint(300, 36)); }

    QByteArray log_content() const
    {
        QFile file(m_folder.path() + "/Kestrel Flash tool.log");
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

private slots:
    void initTestCase() { logger::init(m_folder.path().toStdString()); }

    void cleanupTestCase() { logger::close(); }

    void init()
    {
        QFile::resize(m_folder.path() + "/Kestrel Flash tool.log", 0);
        m_window = std::make_unique<QWidget>();
        m_window->resize(600, 500);
        m_selection = new device_selection(m_window.get());
        m_window->show();
    }

    void cleanup() { m_window.reset(); }

    void no_disk_shows_insert_prompt_and_ignores_clicks()
    {
        QCOMPARE(title(), QString("No external USB flash drive detected!"));
        m_selection->update_devices_list({});
        QCOMPARE(title(), QString("No external USB flash drive detected!"));
        QCOMPARE(info(), QString("To continue, insert USB flash drive"));
        QVERIFY(label_at(m_selection, QPoint(16, 40))->styleSheet().contains("color: #e92424;"));
        QVERIFY(arrow()->isHidden());
        QCOMPARE(m_selection->cursor().shape(), Qt::ForbiddenCursor);
        QVERIFY(!m_selection->is_device_ok());
        QVERIFY(!m_selection->selected_device());

        click_header();
        QCOMPARE(m_selection->size(), QSize(552, 72));
        QVERIFY(list()->isHidden());
        QByteArray log = log_content();
        QCOMPARE(log.count("[debug]"), 1);
        QVERIFY(log.contains("] No device found\n"));
    }

    void single_disk_is_selected_at_once_data()
    {
        QTest::addColumn<quint64>("size");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("header_info");
        QTest::addColumn<QString>("row_info");
        QTest::newRow("16 GB") << quint64(16000000000) << true << "16.00 GB" << "16.00 GB";
        QTest::newRow("15.38 GB") << quint64(15376000000) << true << "15.38 GB" << "15.38 GB";
        QTest::newRow("one byte over the limit")
            << quint64(2000000001) << true << "2.00 GB" << "2.00 GB";
        QTest::newRow("exactly 2,000,000,000") << quint64(2000000000) << false
                                               << "2000.000000 MB -" + red_4gb
                                               << "2.00 GB - " + red_2gb_spaced;
        QTest::newRow("1.5 GB") << quint64(1500000000) << false << "1.500000 GB -" + red_4gb_spaced
                                << "1.50 GB - " + red_2gb_spaced;
        QTest::newRow("exactly 1 GB") << quint64(1000000000) << false
                                      << "1.000000 GB -" + red_4gb_spaced
                                      << "1000.00 MB - " + red_2gb_spaced;
        QTest::newRow("512 MB") << quint64(512000000) << false << "0.512000 GB -" + red_4gb_spaced
                                << "512.00 MB - " + red_2gb_spaced;
    }

    void single_disk_is_selected_at_once()
    {
        QFETCH(quint64, size);
        QFETCH(bool, ok);
        QFETCH(QString, header_info);
        QFETCH(QString, row_info);

        auto stick = disk("\\\\.\\PhysicalDrive1", "SanDisk Cruzer USB Device", size);
        m_selection->update_devices_list({stick});
        QCOMPARE(m_selection->selected_device(), stick);
        QCOMPARE(m_selection->is_device_ok(), ok);
        QCOMPARE(title(), QString("SanDisk Cruzer USB Device"));
        QCOMPARE(info(), header_info);
        QVERIFY(label_at(m_selection, QPoint(16, 16))->styleSheet().contains(ok ? "#3a3939" : "#959595"));
        QVERIFY(arrow()->isHidden());
        QCOMPARE(m_selection->cursor().shape(), Qt::ForbiddenCursor);

        click_header();
        QCOMPARE(m_selection->size(), QSize(552, 72));
        QVERIFY(list()->isHidden());

        QCOMPARE(rows().size(), std::size_t(1));
        device_selection_widget* row = rows().front();
        QCOMPARE(row->size(), QSize(552, 72));
        QCOMPARE(label_at(row, QPoint(72, 16))->text(), QString("SanDisk Cruzer USB Device"));
        QCOMPARE(label_at(row, QPoint(73, 40))->text(), row_info);

        QByteArray log = log_content();
        QVERIFY(log.contains("[debug]"));
        QVERIFY(log.contains("] Found 1 device\n"));
        QVERIFY(log.contains("] Shown device: SanDisk Cruzer USB Device, size: " +
                             QByteArray::number(size) + "\n"));
    }

    void several_disks_unfold_to_their_height_data()
    {
        QTest::addColumn<int>("disks");
        QTest::addColumn<int>("list_height");
        QTest::addColumn<bool>("scrolls");
        // With the row that takes every stick at once after the disks.
        QTest::newRow("2") << 2 << 219 << false;
        QTest::newRow("3") << 3 << 220 << true;
        QTest::newRow("4") << 4 << 221 << true;
    }

    void several_disks_unfold_to_their_height()
    {
        QFETCH(int, disks);
        QFETCH(int, list_height);
        QFETCH(bool, scrolls);
        std::vector<std::shared_ptr<device>> list_of_disks;
        for (int index = 0; index < disks; ++index)
            list_of_disks.push_back(disk("disk" + std::to_string(index), "Stick " + std::to_string(index),
                                         8000000000));
        m_selection->update_devices_list(list_of_disks);

        QCOMPARE(title(), QString("Select external USB flash drive"));
        QCOMPARE(info(), QString("Make sure that selected USB flash drive is empty!"));
        QVERIFY(!m_selection->selected_device());
        QVERIFY(!m_selection->is_device_ok());
        QVERIFY(!arrow()->isHidden());
        QCOMPARE(m_selection->cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(m_selection->size(), QSize(552, 72));
        QCOMPARE(list()->count(), 2 * disks + 1);
        QCOMPARE(list()->item(1)->sizeHint(), QSize(552, 1));

        click_header();
        QVERIFY(list()->isVisible());
        QCOMPARE(list()->geometry(), QRect(0, 72, 552, list_height));
        QCOMPARE(m_selection->size(), QSize(552, list_height + 72));
        QTRY_COMPARE(list()->verticalScrollBar()->maximum() > 0, scrolls);

        click_header();
        QVERIFY(list()->isHidden());
        QCOMPARE(m_selection->size(), QSize(552, 72));
    }

    // Two sticks or more that can be flashed: one more row takes them all, counted and summed;
    // a stick too small is not among them. The choice goes once fewer than two are left.
    void every_stick_at_once()
    {
        m_selection->update_devices_list({disk("sdb", "Stick A", 16000000000), disk("sdc", "Stick B", 8000000000),
                                          disk("sdd", "Tiny", 1000000000)});
        click_header();
        auto* all = list()->findChild<all_sticks_row*>();
        QVERIFY(all);
        const QStringList texts = [&] {
            QStringList found;
            for (QLabel* label : all->findChildren<QLabel*>())
                found << label->text();
            return found;
        }();
        QVERIFY2(texts.contains("All USB sticks (2)") && texts.contains("24.00 GB in all"), qPrintable(texts.join('|')));
        QTest::mouseClick(all, Qt::LeftButton);
        QVERIFY(list()->isHidden());
        QCOMPARE(title(), QString("All USB sticks (2)"));
        QCOMPARE(info(), QString("24.00 GB in all"));
        QVERIFY(m_selection->all_selected());
        QVERIFY(m_selection->is_device_ok());
        QVERIFY(!m_selection->selected_device());
        QCOMPARE(m_selection->selected_devices().size(), std::size_t(2));

        // A third stick joins the choice as it comes; with one left, nothing is chosen.
        m_selection->update_devices_list({disk("sdb", "Stick A", 16000000000), disk("sdc", "Stick B", 8000000000),
                                          disk("sde", "Stick C", 8000000000)});
        QCOMPARE(m_selection->selected_devices().size(), std::size_t(3));
        m_selection->update_devices_list({disk("sdb", "Stick A", 16000000000)});
        QVERIFY(!m_selection->all_selected());
        QVERIFY(m_selection->selected_devices().empty());
    }

    // Sticks of one model are told apart by their port, or by the end of their serial number
    // where no port is known; a stick of its own model needs neither.
    void identical_sticks_are_told_apart()
    {
        auto first = disk("sdb", "Kingston DataTraveler USB Device", 16000000000);
        first->port = "1-2";
        auto second = disk("sdc", "Kingston DataTraveler USB Device", 16000000000);
        second->serial = "0019E06B9C85F9A0A7A1";
        auto other = disk("sdd", "SanDisk Cruzer USB Device", 16000000000);
        other->port = "1-4";
        m_selection->update_devices_list({first, second, other});
        click_header();
        QStringList names;
        for (device_selection_widget* row : rows())
            names << label_at(row, QPoint(72, 16))->text();
        QCOMPARE(names, (QStringList {"Kingston DataTraveler USB Device (port 1-2)",
                                      QString("Kingston DataTraveler USB Device (serial ") + QChar(0x2026) + "A0A7A1)",
                                      "SanDisk Cruzer USB Device"}));
        m_selection->select_device(first);
        QCOMPARE(title(), QString("Kingston DataTraveler USB Device (port 1-2)"));
    }

    // While a batch runs, its entry counts the batch: a stick plugged in or pulled out meanwhile
    // changes neither the count nor the choice. Once it is over, the attached sticks count again.
    void a_running_batch_keeps_its_count()
    {
        const std::vector<std::shared_ptr<device>> batch {disk("sdb", "Stick A", 16000000000),
                                                          disk("sdc", "Stick B", 8000000000)};
        m_selection->update_devices_list(batch);
        m_selection->select_all();
        m_selection->hold_batch(batch);
        m_selection->update_devices_list({batch[0], batch[1], disk("sdd", "Stick C", 8000000000)});
        QCOMPARE(title(), QString("All USB sticks (2)"));
        QCOMPARE(info(), QString("24.00 GB in all"));
        m_selection->update_devices_list({batch[0]});
        QVERIFY(m_selection->all_selected());
        QCOMPARE(title(), QString("All USB sticks (2)"));
        m_selection->update_devices_list({batch[0], batch[1], disk("sdd", "Stick C", 8000000000)});
        m_selection->hold_batch({});
        QCOMPARE(title(), QString("All USB sticks (3)"));
    }

    void right_click_does_not_unfold()
    {
        m_selection->update_devices_list({disk("a", "A", 8000000000), disk("b", "B", 8000000000)});
        QTest::mouseClick(m_selection, Qt::RightButton, {}, QPoint(300, 36));
        QVERIFY(list()->isHidden());
    }

    void row_click_selects_a_large_disk()
    {
        auto small = disk("a", "Small", 1500000000);
        auto large = disk("b", "Large", 32000000000);
        m_selection->update_devices_list({small, large});
        QSignalSpy item_selected(m_selection, SIGNAL(item_selected()));
        std::vector<std::shared_ptr<device>> clicked;
        for (device_selection_widget* row : rows())
            connect(row, &device_selection_widget::clicked,
                    [&clicked](std::shared_ptr<device> device) { clicked.push_back(device); });

        click_header();
        QTest::mouseClick(rows()[0], Qt::LeftButton);
        QCOMPARE(clicked.size(), std::size_t(1));
        QCOMPARE(clicked[0], small);
        QCOMPARE(item_selected.count(), 1);
        QVERIFY(!m_selection->selected_device());
        QVERIFY(!m_selection->is_device_ok());
        QVERIFY(list()->isVisible());

        int selected_when_signalled = 0;
        connect(m_selection, &device_selection::item_selected, [&] {
            selected_when_signalled += m_selection->selected_device() == large;
        });
        QTest::mouseClick(rows()[1], Qt::LeftButton, {}, QPoint(300, 36));
        QCOMPARE(clicked.size(), std::size_t(2));
        QCOMPARE(item_selected.count(), 2);
        QCOMPARE(selected_when_signalled, 1);
        QCOMPARE(m_selection->selected_device(), large);
        QVERIFY(m_selection->is_device_ok());
        QCOMPARE(title(), QString("Large"));
        QCOMPARE(info(), QString("32.00 GB"));
        QVERIFY(list()->isHidden());
        QCOMPARE(m_selection->size(), QSize(552, 72));

        QTest::mouseClick(rows()[1], Qt::RightButton);
        QCOMPARE(clicked.size(), std::size_t(2));
    }

    void selection_survives_refresh_by_path()
    {
        auto first = disk("\\\\.\\PhysicalDrive1", "First", 8000000000);
        m_selection->update_devices_list({first, disk("\\\\.\\PhysicalDrive2", "Second", 8000000000)});
        m_selection->select_device(first);

        auto same_path_new_record = disk("\\\\.\\PhysicalDrive1", "First", 8000000000);
        m_selection->update_devices_list({disk("\\\\.\\PhysicalDrive2", "Second", 8000000000),
                                          same_path_new_record,
                                          disk("\\\\.\\PhysicalDrive3", "Third", 8000000000)});
        QCOMPARE(m_selection->selected_device(), first);
        QVERIFY(m_selection->is_device_ok());
        QCOMPARE(title(), QString("First"));
        QCOMPARE(info(), QString("8.00 GB"));
    }

    void unplugged_selection_falls_back_to_prompt()
    {
        auto first = disk("\\\\.\\PhysicalDrive1", "First", 8000000000);
        m_selection->update_devices_list({first, disk("\\\\.\\PhysicalDrive2", "Second", 8000000000),
                                          disk("\\\\.\\PhysicalDrive3", "Third", 8000000000)});
        m_selection->select_device(first);
        QVERIFY(m_selection->is_device_ok());

        m_selection->update_devices_list({disk("\\\\.\\PhysicalDrive2", "Second", 8000000000),
                                          disk("\\\\.\\PhysicalDrive3", "Third", 8000000000)});
        QVERIFY(!m_selection->selected_device());
        QVERIFY(!m_selection->is_device_ok());
        QCOMPARE(title(), QString("Select external USB flash drive"));
        QCOMPARE(info(), QString("Make sure that selected USB flash drive is empty!"));
    }

    void last_disk_unplugged_is_not_usable()
    {
        m_selection->update_devices_list({disk("a", "Only", 8000000000)});
        QVERIFY(m_selection->is_device_ok());
        m_selection->update_devices_list({});
        QVERIFY(!m_selection->selected_device());
        QVERIFY(!m_selection->is_device_ok());
        QCOMPARE(title(), QString("No external USB flash drive detected!"));
    }

    // Two sticks; the user picks B; B drops off and comes back as a new disk.
    void a_lost_pick_is_never_replaced_by_itself()
    {
        m_selection->update_devices_list({numbered_disk(1, "A"), numbered_disk(2, "B")});
        m_selection->select_device(numbered_disk(2, "B"));

        m_selection->update_devices_list({numbered_disk(1, "A")});
        QVERIFY(!m_selection->selected_device());
        QVERIFY(!m_selection->is_device_ok());
        QCOMPARE(title(), QString("Select external USB flash drive"));
        m_selection->update_devices_list({numbered_disk(1, "A"), numbered_disk(3, "B")});
        QVERIFY(!m_selection->selected_device());
        m_selection->update_devices_list({});
        auto returned = numbered_disk(3, "B");
        m_selection->update_devices_list({returned});
        QVERIFY(!m_selection->selected_device());

        // The one disk left can be picked from the list.
        click_header();
        QCOMPARE(rows().size(), size_t(1));
        QTest::mouseClick(rows()[0], Qt::LeftButton);
        QCOMPARE(m_selection->selected_device(), returned);
        QVERIFY(m_selection->is_device_ok());
    }

    void collapse_folds_and_restores_header()
    {
        auto first = disk("a", "First", 8000000000);
        m_selection->update_devices_list({first, disk("b", "Second", 8000000000)});
        m_selection->select_device(first);
        click_header();
        QCOMPARE(title(), QString("Select external USB flash drive"));
        m_selection->collapse();
        QVERIFY(list()->isHidden());
        QCOMPARE(m_selection->size(), QSize(552, 72));
        QCOMPARE(title(), QString("First"));
    }
};

QTEST_MAIN(test_device_selection)
#include "test_device_selection.moc"
