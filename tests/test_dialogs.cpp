#include "fake_main_window.h"
#include "gui/checkbox.h"
#include "gui/dialog_window.h"
#include "gui/download_dialog.h"
#include "gui/end_dialog.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

const QPoint left_button(29, 158);
const QPoint right_button(213, 158);
const QPoint close_cross(375, 30);
const QPoint flash_new_usb(188, 362);

const char* const confirm_body =
    "Large storage device selected, are you sure you would like to write on this device? <font "
    "color=\"#3a3939\">All data on selected USB device will be lost!</font>";

QLabel* label_showing(QWidget* parent, const QString& text)
{
    for (QLabel* label : parent->findChildren<QLabel*>())
        if (label->text() == text)
            return label;
    return nullptr;
}

} // namespace

class test_dialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<fake_main_window> m_window;

    void press(QWidget* dialog, const QPoint& position)
    {
        QPushButton* button = widget_probe::button_at(dialog, position);
        QVERIFY(button);
        QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(button, Qt::LeftButton);
    }

private slots:
    void init()
    {
        m_window = std::make_unique<fake_main_window>();
        m_window->show();
    }

    void cleanup() { m_window.reset(); }

    void confirmation_card_tells_the_window_it_opened()
    {
        auto* dialog = new dialog_window(confirm_body, "Confirm flashing", "CONTINUE", "CANCEL",
                                         false, m_window.get());
        QCOMPARE(m_window->opened, 1);
        QCOMPARE(m_window->closed, 0);
        QVERIFY(label_showing(dialog, "Confirm flashing"));
        QVERIFY(label_showing(dialog, confirm_body));
        QCOMPARE(label_showing(dialog, "CANCEL")->pos(), QPoint(55, 13));
    }

    void long_left_text_moves_its_label()
    {
        auto* dialog = new dialog_window("body", "Stop flashing?", "CONTINUE", "STOP FLASHING", true,
                                         m_window.get());
        QCOMPARE(label_showing(dialog, "STOP FLASHING")->pos(), QPoint(30, 13));
    }

    void confirmation_buttons_data()
    {
        QTest::addColumn<QPoint>("button");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<int>("declined");
        QTest::addColumn<int>("closed");
        QTest::newRow("red left") << left_button << 1 << 0 << 0;
        QTest::newRow("white right") << right_button << 0 << 1 << 0;
        QTest::newRow("close cross") << close_cross << 0 << 0 << 1;
    }

    void confirmation_buttons()
    {
        QFETCH(QPoint, button);
        QFETCH(int, accepted);
        QFETCH(int, declined);
        QFETCH(int, closed);
        QPointer<dialog_window> dialog = new dialog_window(
            confirm_body, "Confirm flashing", "CONTINUE", "CANCEL", false, m_window.get());
        dialog->show();
        QSignalSpy accepted_spy(dialog, SIGNAL(accepted()));
        QSignalSpy declined_spy(dialog, SIGNAL(declined()));
        QSignalSpy closed_spy(dialog, SIGNAL(closed()));
        // The window sees the answer before it learns that the card went away.
        int closed_hooks_at_answer = -1;
        auto remember = [&] { closed_hooks_at_answer = m_window->closed; };
        connect(dialog, &dialog_window::accepted, remember);
        connect(dialog, &dialog_window::declined, remember);
        connect(dialog, &dialog_window::closed, remember);

        press(dialog, button);
        QCOMPARE(accepted_spy.count(), accepted);
        QCOMPARE(declined_spy.count(), declined);
        QCOMPARE(closed_spy.count(), closed);
        QCOMPARE(closed_hooks_at_answer, 0);
        QCOMPARE(m_window->closed, 1);
        QVERIFY(!dialog->isVisible());
        QTRY_VERIFY(dialog.isNull());

        QPointer<dialog_window> second = new dialog_window(
            confirm_body, "Confirm flashing", "CONTINUE", "CANCEL", false, m_window.get());
        QCOMPARE(m_window->opened, 2);
        QVERIFY(second);
    }

    void download_offer_text_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("size_text");
        QTest::newRow("1 GiB") << quint64(1073741824) << "(1024MB)?";
        QTest::newRow("one byte less") << quint64(1073741823) << "(1023MB)?";
        QTest::newRow("small") << quint64(1048575) << "(0MB)?";
    }

    void download_offer_text()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, size_text);
        auto* dialog = new download_dialog(bytes >> 20, "v1.2.3", m_window.get());
        QCOMPARE(m_window->opened, 1);
        QVERIFY(label_showing(dialog, "Update Kestrel"));
        QVERIFY(label_showing(
            dialog, "Update Kestrel to latest version <font color=\"#3a3939\">v1.2.3</font> " + size_text));
    }

    void download_offer_buttons_data()
    {
        QTest::addColumn<QPoint>("button");
        QTest::addColumn<int>("accepted");
        QTest::addColumn<int>("closed");
        QTest::newRow("update") << right_button << 1 << 0;
        QTest::newRow("cancel") << left_button << 0 << 0;
        QTest::newRow("close cross") << close_cross << 0 << 1;
    }

    void download_offer_buttons()
    {
        QFETCH(QPoint, button);
        QFETCH(int, accepted);
        QFETCH(int, closed);
        QPointer<download_dialog> dialog = new download_dialog(1024, "v1", m_window.get());
        dialog->show();
        QSignalSpy accepted_spy(dialog, SIGNAL(accepted()));
        QSignalSpy closed_spy(dialog, SIGNAL(closed()));

        press(dialog, button);
        QCOMPARE(accepted_spy.count(), accepted);
        QCOMPARE(closed_spy.count(), closed);
        QCOMPARE(m_window->closed, 1);
        QTRY_VERIFY(dialog.isNull());
    }

    void success_page_links_open_outside()
    {
        auto* dialog = new end_dialog(m_window.get());
        QCOMPARE(m_window->opened, 0);
        QCOMPARE(dialog->geometry(), QRect(5, 53, 600, 444));
        QVERIFY(label_showing(dialog, "USB Flashing Successful!"));
        QVERIFY(label_showing(dialog, "You are almost ready to start mining!"));
        QVERIFY(label_showing(dialog, "Plug the USB drive into your mining rig."));
        QVERIFY(label_showing(dialog, "Change the primary boot device on your mining rig to a USB drive."));
        QVERIFY(label_showing(dialog, "FLASH NEW USB"));
        QCOMPARE(dialog->findChild<checkbox*>()->pos(), QPoint(226, 418));
        // Without a worker name there is no line for it; with one, it is named.
        for (QLabel* label : dialog->findChildren<QLabel*>())
            QVERIFY(!label->text().startsWith("Worker name"));
        QVERIFY(label_showing(new end_dialog(m_window.get(), QString("rig7")), "Worker name on the stick: rig7"));

        int links = 0;
        for (QLabel* label : dialog->findChildren<QLabel*>()) {
            if (!label->text().contains("<a "))
                continue;
            ++links;
            QVERIFY(label->openExternalLinks());
            QVERIFY(label->text().contains(QString(">here. ") + QChar(0x2197) + QChar(0xFE0E) + "</a>"));
            QVERIFY(label->text().contains(".example/"));
            QVERIFY(label->text().contains("style=\"color: #128ede; text-decoration: none;\""));
        }
        QCOMPARE(links, 2);
    }

    // The batch's page tells how it ended, in its title and its picture: the green check only
    // when every stick was flashed.
    void batch_page_tells_the_outcome_data()
    {
        QTest::addColumn<QString>("outcomes");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("subtitle");
        QTest::addColumn<bool>("check");
        QTest::newRow("all verified") << "vvv" << "USB Flashing Successful!" << "You are almost ready to start mining!" << true;
        QTest::newRow("some failed") << "vfvv" << "Some USB sticks failed" << "3 of 4 USB sticks flashed" << false;
        QTest::newRow("some stopped") << "vcc" << "Some USB sticks were stopped" << "1 of 3 USB sticks flashed" << false;
        QTest::newRow("none flashed") << "ffffff" << "No USB stick flashed" << "0 of 6 USB sticks flashed" << false;
    }

    void batch_page_tells_the_outcome()
    {
        QFETCH(QString, outcomes);
        QFETCH(QString, title);
        QFETCH(QString, subtitle);
        QFETCH(bool, check);
        std::vector<end_dialog::stick_row> rows;
        for (QChar outcome : outcomes) {
            end_dialog::stick_row row;
            row.name = "Stick";
            row.flashed = outcome == 'v';
            row.failed = outcome == 'f';
            rows.push_back(row);
        }
        auto* dialog = new end_dialog(m_window.get(), rows);
        QVERIFY(label_showing(dialog, title));
        QVERIFY(label_showing(dialog, subtitle));
        const QImage success = QPixmap(":/icons/flash-icon-success.svg").scaled(41, 41).toImage();
        int checks = 0;
        int pictures = 0;
        for (QLabel* label : dialog->findChildren<QLabel*>())
            if (label->hasScaledContents() && label->pos() == QPoint(280, 8)) {
                ++pictures;
                checks += label->pixmap(Qt::ReturnByValue).scaled(41, 41).toImage() == success;
            }
        QCOMPARE(pictures, 1);
        QCOMPARE(checks, check ? 1 : 0);
    }

    void success_page_records_dont_show_again_data()
    {
        QTest::addColumn<int>("ticks");
        QTest::addColumn<int>("recorded");
        QTest::newRow("not ticked") << 0 << 0;
        QTest::newRow("ticked") << 1 << 1;
        QTest::newRow("ticked and unticked") << 2 << 0;
    }

    void success_page_records_dont_show_again()
    {
        QFETCH(int, ticks);
        QFETCH(int, recorded);
        QPointer<end_dialog> dialog = new end_dialog(m_window.get());
        dialog->show();
        auto* box = dialog->findChild<checkbox*>();
        for (int tick = 0; tick < ticks; ++tick)
            QTest::mouseClick(box->findChild<QPushButton*>(), Qt::LeftButton);

        press(dialog, flash_new_usb);
        QCOMPARE(m_window->closed, 1);
        QCOMPARE(m_window->dont_show, recorded);
        QVERIFY(!dialog->isVisible());
        QTRY_VERIFY(dialog.isNull());
    }
};

QTEST_MAIN(test_dialogs)
#include "test_dialogs.moc"
