// The real window on a real X server, stage by stage: the server must show what the window
// paints, with no text cut off and no icon turned into a block of one colour.

#include "window_driver.h"

#include "gui/all_sticks_row.h"
#include "gui/batch_panel.h"
#include "gui/device_selection.h"
#include "gui/device_selection_widget.h"
#include "gui/dialog_window.h"
#include "gui/download_dialog.h"
#include "gui/end_dialog.h"
#include "gui/main_window.h"
#include "gui/more_settings.h"
#include "gui/progress_button.h"
#include "gui/text_input.h"
#include "gui/text_input_popup.h"
#include "gui/titlebar.h"
#include "gui/tooltip.h"
#include "gui/tooltip_pop_up.h"
#include "win32/test_control.h"

#include <QAbstractAnimation>
#include <QCursor>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

namespace {

using win32::test_control::call;

// Whether the X server shows what the window paints. The shadow around the body is translucent:
// where two partial repaints overlap it on a busy machine, Qt may draw it twice into the
// window's buffer, a few levels darker. That is Qt's drawing, not ours; everything the window
// paints opaque must be on the screen as painted.
bool screen_shows_what_is_painted(QWidget* window)
{
    const QImage painted = window->grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRect frame = window->geometry();
    const QImage shown = window->screen()
                             ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                             .toImage()
                             .convertToFormat(QImage::Format_RGB32);
    if (shown.size() != painted.size())
        return false;
    for (int y = 0; y < painted.height(); ++y) {
        const auto* drawn = reinterpret_cast<const QRgb*>(painted.constScanLine(y));
        const auto* seen = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
        for (int x = 0; x < painted.width(); ++x)
            if (qAlpha(drawn[x]) == 255 && drawn[x] != seen[x])
                return false;
    }
    return true;
}

// A word-wrapped text wraps onto hidden lines below its box; another runs past its edge.
bool text_cut_off(const QLabel* label)
{
    if (!label->isVisible() || label->text().isEmpty())
        return false;
    return label->wordWrap() ? label->heightForWidth(label->width()) > label->height()
                             : label->sizeHint().width() > label->width();
}

bool one_colour(const QImage& picture)
{
    QImage solid(picture.size(), picture.format());
    solid.fill(picture.pixel(0, 0));
    return picture == solid;
}

// No frame that holds `widget` (the form's scroll area above all) cuts any of it away.
bool wholly_shown(const QWidget* widget)
{
    const QWidget* window = widget->window();
    const QRect whole(widget->mapTo(window, QPoint()), widget->size());
    QRect shown = whole;
    for (const QWidget* holder = widget->parentWidget(); holder; holder = holder->parentWidget())
        shown &= QRect(holder->mapTo(window, QPoint()), holder->size());
    return shown == whole;
}

// The bubble's foot, where its arrow points, is on the top edge of `anchor`.
bool stands_on(const QWidget* bubble, const QWidget* anchor)
{
    const QWidget* window = anchor->window();
    return bubble->mapTo(window, QPoint(0, bubble->height())).y() == anchor->mapTo(window, QPoint()).y();
}

// All of `widget` lies on the screen, where the user can reach it.
bool on_screen(const QWidget* widget)
{
    const QRect whole(widget->mapToGlobal(QPoint()), widget->size());
    return widget->screen()->availableGeometry().contains(whole);
}

// Unfolded on a screen 1024 pixels high, the form shows nearly whole: scrolled to its last
// field, its first shows too; the window lies on the screen with FLASH.
QString unfolded_form_fits(main_window* window, const window_driver& driver)
{
    auto* form = window->findChild<QScrollArea*>();
    form->verticalScrollBar()->setValue(form->verticalScrollBar()->maximum());
    if (!wholly_shown(driver.input("SSH key")) || !wholly_shown(driver.input("BTC Address")))
        return QString("the form shows %1 of its %2 pixels").arg(form->viewport()->height()).arg(form->widget()->height());
    if (!on_screen(window) || !on_screen(driver.flash_button()))
        return "off the screen";
    return QString();
}

QtMessageHandler qt_output = nullptr;
QStringList unknown_properties;

void note_unknown_properties(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith("Unknown property"))
        unknown_properties << text;
    qt_output(type, context, text);
}

// What is wrong with the window at this stage; empty when nothing is.
QString look_at(main_window* window)
{
    if (window->findChild<QAbstractAnimation*>())
        return "still moving";
    // As when the pointer crosses the title bar's minimise bar while the button at the foot
    // changes: two far-apart parts of the window repaint at once.
    window_driver::click_surface(window->findChild<titlebar*>(), QPoint(540, 28))->update();
    window->findChild<progress_button*>()->update();
    // The server shows a change once the window has flushed it; a wrong picture stays. On a
    // busy machine, under the sanitizers, a grab of both takes a good part of a second: the
    // bound is far from what a right picture needs.
    if (!QTest::qWaitFor([window] { return screen_shows_what_is_painted(window); }, 20000))
        return "the screen differs from the window";
    for (QLabel* label : window->findChildren<QLabel*>())
        if (text_cut_off(label))
            return "cut off: " + label->text();
    for (text_input_popup* bubble : window->findChildren<text_input_popup*>())
        if (bubble->isVisible() && !wholly_shown(bubble))
            return "cut off: the bubble " + bubble->text();
    for (tooltip_pop_up* bubble : window->findChildren<tooltip_pop_up*>())
        if (bubble->isVisible() && !wholly_shown(bubble))
            return "cut off: the bubble " + bubble->text();
    for (QWidget* holder : QList<QWidget*> {window->findChild<progress_button*>(),
                                            window->findChild<dialog_window*>(),
                                            window->findChild<download_dialog*>(),
                                            window->findChild<end_dialog*>()})
        for (QLabel* icon : holder ? holder->findChildren<QLabel*>() : QList<QLabel*>())
            if (icon->hasScaledContents() && one_colour(icon->grab().toImage()))
                return "one colour: an icon on " + icon->parentWidget()->objectName();
    return QString();
}

// Puts the pointer on the middle of `widget`, as the user moves the mouse there.
void point_at(const QWidget* widget)
{
    QCursor::setPos(widget->mapToGlobal(widget->rect().center()));
}

// Takes the pointer off the window.
void point_away(const QWidget* window)
{
    QCursor::setPos(window->mapToGlobal(QPoint(window->width() + 50, 50)));
}

// Scrolls `form` so that `widget` lies at its top edge.
void scroll_to_top_edge(QScrollArea* form, const QWidget* widget)
{
    form->verticalScrollBar()->setValue(widget->mapTo(form->widget(), QPoint()).y());
}

// The first place from the top of `page` down to the window's bottom where a click would reach
// a button other than the page's own, or an empty text.
QString click_behind(main_window* window, const QWidget* page)
{
    for (int y = page->mapTo(window, QPoint()).y(); y < window->height(); y += 2)
        for (int x = 0; x < window->width(); x += 2) {
            if (!window_driver::clickable(window, QPoint(x, y)))
                continue;
            QPushButton* surface = window_driver::click_surface(window, QPoint(x, y));
            if (!page->isAncestorOf(surface))
                return QString("(%1, %2) reaches a button of %3").arg(x).arg(y).arg(surface->parent()->metaObject()->className());
        }
    return QString();
}

template <class card>
card* wait_for(main_window* window)
{
    return QTest::qWaitFor([window] { return window->findChild<card*>() != nullptr; }, 20000)
        ? window->findChild<card*>()
        : nullptr;
}

} // namespace

class test_main_window_on_screen : public QObject {
    Q_OBJECT

private slots:
    void every_stage_shows_what_the_window_paints()
    {
        qt_output = qInstallMessageHandler(note_unknown_properties);
        window_driver driver(release_fixture::make("v3", 20 << 20, 1 << 20));
        driver.server().answer_for(release_server::image_path("v3")).hold_after = 1000;
        main_window* window = driver.open_window();

        // The start-up offer, once the device watch has refreshed the window twice.
        QVERIFY(wait_for<download_dialog>(window));
        QVERIFY(driver.wait_for_start_up_reports());
        QCOMPARE(look_at(window), QString());
        QVERIFY(driver.press_card_button("CANCEL"));
        QTRY_VERIFY(!window->findChild<download_dialog*>());

        // The form, folded and unfolded; a field being typed in, and the fields unfolded, show.
        driver.fill_form("rig(%d)");
        QTRY_VERIFY(driver.flash_clickable());
        auto* form = window->findChild<QScrollArea*>();
        QVERIFY(!wholly_shown(driver.input("Worker name")));
        QTest::keyClicks(driver.input("Worker name"), "1");
        QVERIFY(wholly_shown(driver.input("Worker name")));
        QCOMPARE(look_at(window), QString());
        form->verticalScrollBar()->setValue(0);
        // Placed low on the screen, the window moves up as it grows.
        window->move(window->x(), 300);
        QTRY_COMPARE(window->y(), 300);
        QTest::mouseClick(window->findChild<more_settings*>(), Qt::LeftButton);
        QTRY_VERIFY(!window->findChild<QAbstractAnimation*>());
        QVERIFY(wholly_shown(driver.input("SSH key")));
        QCOMPARE(unfolded_form_fits(window, driver), QString());
        QCOMPARE(look_at(window), QString());
        // A message that comes meanwhile takes its line from the screen's room, not the form's.
        window->set_error_msg_text("Release server unreachable: flashing the cached v3", false);
        QTRY_VERIFY(!window->findChild<QAbstractAnimation*>());
        QCOMPARE(unfolded_form_fits(window, driver), QString());
        QCOMPARE(look_at(window), QString());

        // Unfolded, with the field at the top edge of the form: the worker's help and the
        // BTC address's error show whole, and go when the form scrolls.
        tooltip* worker_help = nullptr;
        for (tooltip* help : window->findChildren<tooltip*>())
            if (help->pop_up()->text().startsWith("Name your mining machine"))
                worker_help = help;
        QVERIFY(worker_help);
        scroll_to_top_edge(form, worker_help);
        point_at(worker_help);
        QTRY_VERIFY(worker_help->pop_up()->isVisible());
        QVERIFY(stands_on(worker_help->pop_up(), worker_help));
        QCOMPARE(look_at(window), QString());
        point_away(window);
        QTRY_VERIFY(worker_help->pop_up()->isHidden());
        text_input* btc = driver.input("BTC Address");
        btc->setText("bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq");
        scroll_to_top_edge(form, btc);
        point_at(btc);
        QTRY_VERIFY(btc->popup()->isVisible());
        QVERIFY(stands_on(btc->popup(), btc));
        QCOMPARE(look_at(window), QString());
        form->verticalScrollBar()->setValue(0);
        QVERIFY(btc->popup()->isHidden());
        point_away(window);
        btc->setText(window_driver::btc_address);
        QTest::mouseClick(window->findChild<more_settings*>(), Qt::LeftButton);
        QTRY_VERIFY(!window->findChild<QAbstractAnimation*>());

        // A second, large stick: the list opens, and flashing that stick asks first.
        const int refreshes = driver.log_count("Updated window");
        driver.host().add(fake_host::usb_stick(128'000'000'000));
        QTRY_VERIFY_WITH_TIMEOUT(driver.log_count("Updated window") >= refreshes + 2, 10000);
        auto* list = window->findChild<device_selection*>();
        driver.open_device_list();
        QCOMPARE(look_at(window), QString());
        QTest::mouseClick(list->findChildren<device_selection_widget*>().last(), Qt::LeftButton);
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QVERIFY(wait_for<dialog_window>(window));
        QCOMPARE(look_at(window), QString());
        QVERIFY(wait_for<dialog_window>(window));
        QVERIFY(driver.press_card_button("CANCEL"));
        QTRY_VERIFY(!window->findChild<dialog_window*>());

        // The first stick, from a scrolled form: download, flash, "Stop flashing?", success.
        driver.open_device_list();
        QTest::mouseClick(list->findChildren<device_selection_widget*>().first(), Qt::LeftButton);
        form->verticalScrollBar()->setValue(form->verticalScrollBar()->maximum());
        QTRY_VERIFY(driver.flash_clickable());
        QVERIFY(driver.press_flash());
        QVERIFY(wait_for<download_dialog>(window));
        QVERIFY(driver.press_card_button("UPDATE"));
        QTRY_COMPARE_WITH_TIMEOUT(driver.server().held_transfers(), 1, 10000);
        QCOMPARE(look_at(window), QString());
        win32::test_control::hold_call(call::write, window_driver::stick_path, 1);
        driver.server().release_held();
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 30000);
        QCOMPARE(look_at(window), QString());
        QVERIFY(driver.press_flash());
        QVERIFY(wait_for<dialog_window>(window));
        QCOMPARE(look_at(window), QString());
        QVERIFY(wait_for<dialog_window>(window));
        QVERIFY(driver.press_card_button("CONTINUE"));
        win32::test_control::release_held();
        QVERIFY(wait_for<end_dialog>(window));
        QTRY_VERIFY(!window->findChild<QAbstractAnimation*>());
        QCOMPARE(look_at(window), QString());
        // The worker's name under the form makes the window taller than the page: what peeks out
        // below it takes no click.
        QVERIFY(driver.last_message().startsWith("Worker name on the stick"));
        QCOMPARE(click_behind(window, window->findChild<end_dialog*>()), QString());

        // A third stick: the list offers them all at once, and the batch ends on a page that
        // lists the three.
        QVERIFY(driver.press_card_button("FLASH NEW USB"));
        QTRY_VERIFY(!window->findChild<end_dialog*>());
        const int before_third = driver.log_count("Updated window");
        driver.add_stick("Third Stick");
        QTRY_VERIFY_WITH_TIMEOUT(driver.log_count("Updated window") >= before_third + 2, 10000);
        driver.open_device_list();
        QTRY_VERIFY(window->findChild<all_sticks_row*>() && window->findChild<all_sticks_row*>()->isVisible());
        QCOMPARE(look_at(window), QString());
        QVERIFY(driver.pick_all());
        QTRY_VERIFY(driver.flash_clickable());
        win32::test_control::hold_call(call::write, "\\\\.\\PhysicalDrive2", 1);
        QVERIFY(driver.press_flash());
        QVERIFY(wait_for<dialog_window>(window));
        QVERIFY(driver.press_card_button("CONTINUE"));
        // Meanwhile a row for each stick lies where the form was.
        QTRY_VERIFY_WITH_TIMEOUT(win32::test_control::call_held(), 30000);
        QTRY_VERIFY(!window->findChild<QAbstractAnimation*>());
        QVERIFY(window->findChild<batch_panel*>()->isVisible());
        QCOMPARE(look_at(window), QString());
        win32::test_control::release_held();
        QTRY_VERIFY_WITH_TIMEOUT(window->findChild<end_dialog*>() && window->findChild<end_dialog*>()->isVisible(),
                                 60000);
        QTRY_VERIFY(!window->findChild<QAbstractAnimation*>());
        int verified = 0;
        for (QLabel* label : window->findChild<end_dialog*>()->findChildren<QLabel*>())
            verified += label->text() == "verified";
        QCOMPARE(verified, 3);
        QCOMPARE(look_at(window), QString());
        QCOMPARE(unknown_properties, QStringList());
    }
};

QTEST_MAIN(test_main_window_on_screen)
#include "test_main_window_on_screen.moc"
