#include "fake_main_window.h"
#include "gui/checkbox.h"
#include "gui/dialog_window.h"
#include "gui/titlebar.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

const QPoint close_cross(570, 17);
const QPoint minimise(536, 26);

} // namespace

class test_titlebar_checkbox : public QObject {
    Q_OBJECT

    std::unique_ptr<fake_main_window> m_window;
    titlebar* m_bar = nullptr;

    // The pointer at a screen position, seen by the bar wherever the window is at that moment.
    void send_mouse(QEvent::Type type, const QPoint& global, Qt::MouseButtons buttons)
    {
        QPoint local = m_bar->mapFromGlobal(global);
        QMouseEvent event(type, local, global, type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(m_bar, &event);
    }

private slots:
    void init()
    {
        m_window = std::make_unique<fake_main_window>();
        m_bar = new titlebar(m_window.get(), [this] { return m_window->busy; });
        m_bar->move(5, 5);
        m_window->move(200, 150);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    }

    void cleanup() { m_window.reset(); }

    void close_while_idle_needs_no_confirmation()
    {
        QTest::mouseClick(widget_probe::button_at(m_bar, close_cross), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!m_window->findChild<dialog_window*>());
    }

    void close_while_busy_asks_first()
    {
        m_window->busy = true;
        QTest::mouseClick(widget_probe::button_at(m_bar, close_cross), Qt::LeftButton);
        QPointer<dialog_window> dialog = m_window->findChild<dialog_window*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QVERIFY(widget_probe::shows_text(dialog, "Stop flashing?"));
        QCOMPARE(m_window->opened, 1);

        QTest::mouseClick(widget_probe::button_at(dialog, QPoint(213, 158)), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(m_window->isVisible());

        QTest::mouseClick(widget_probe::button_at(m_bar, close_cross), Qt::LeftButton);
        dialog = m_window->findChild<dialog_window*>();
        QTest::mouseClick(widget_probe::button_at(dialog, QPoint(375, 30)), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
        QVERIFY(m_window->isVisible());

        QTest::mouseClick(widget_probe::button_at(m_bar, close_cross), Qt::LeftButton);
        dialog = m_window->findChild<dialog_window*>();
        QTest::mouseClick(widget_probe::button_at(dialog, QPoint(29, 158)), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
    }

    void close_cursor_follows_dialogs()
    {
        QPushButton* close = widget_probe::button_at(m_bar, close_cross);
        QCOMPARE(close->cursor().shape(), Qt::PointingHandCursor);
        m_bar->set_close_forbidden_cursor();
        QCOMPARE(close->cursor().shape(), Qt::ForbiddenCursor);
        m_bar->set_close_pointing_cursor();
        QCOMPARE(close->cursor().shape(), Qt::PointingHandCursor);
    }

    void minimise_button_minimises_through_the_window()
    {
        QTest::mouseClick(widget_probe::button_at(m_bar, minimise), Qt::LeftButton);
        QCOMPARE(m_window->hidden, 1);
        QTRY_VERIFY(m_window->windowState() & Qt::WindowMinimized);
    }

    void drag_follows_the_pointer_without_jump()
    {
        const QPoint start = m_window->pos();
        const QPoint press = m_bar->mapToGlobal(QPoint(100, 20));

        send_mouse(QEvent::MouseButtonPress, press, Qt::LeftButton);
        QCOMPARE(m_bar->cursor().shape(), Qt::ClosedHandCursor);
        send_mouse(QEvent::MouseMove, press + QPoint(1, 0), Qt::LeftButton);
        QCOMPARE(m_window->pos(), start + QPoint(1, 0));
        send_mouse(QEvent::MouseMove, press + QPoint(31, 15), Qt::LeftButton);
        QCOMPARE(m_window->pos(), start + QPoint(31, 15));
        send_mouse(QEvent::MouseMove, press + QPoint(-40, -7), Qt::LeftButton);
        QCOMPARE(m_window->pos(), start + QPoint(-40, -7));

        send_mouse(QEvent::MouseButtonRelease, press + QPoint(-40, -7), Qt::NoButton);
        QCOMPARE(m_bar->cursor().shape(), Qt::ArrowCursor);
        send_mouse(QEvent::MouseMove, press + QPoint(60, 60), Qt::NoButton);
        QCOMPARE(m_window->pos(), start + QPoint(-40, -7));
    }

    void check_box_toggles()
    {
        checkbox box("Dont show this again", m_window.get());
        box.show();
        QCOMPARE(box.size(), QSize(300, 24));
        QVERIFY(!box.is_checked());
        QLabel* ticked = nullptr;
        QLabel* unticked = nullptr;
        for (QLabel* label : box.findChildren<QLabel*>()) {
            if (label->size() != QSize(20, 20))
                continue;
            (ticked ? unticked : ticked) = label;
        }
        QVERIFY(ticked && unticked);
        QVERIFY(ticked->isHidden());
        QVERIFY(!unticked->isHidden());
        QVERIFY(widget_probe::shows_text(&box, "Dont show this again"));

        auto* button = box.findChild<QPushButton*>();
        QCOMPARE(button->size(), QSize(300, 24));
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(box.is_checked());
        QVERIFY(!ticked->isHidden());
        QVERIFY(unticked->isHidden());
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(!box.is_checked());
        QVERIFY(ticked->isHidden());
        QVERIFY(!unticked->isHidden());
    }
};

QTEST_MAIN(test_titlebar_checkbox)
#include "test_titlebar_checkbox.moc"
