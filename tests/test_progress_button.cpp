#include "fake_main_window.h"
#include "gui/dialog_window.h"
#include "gui/progress_button.h"
#include "gui/transfer_rate.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class test_progress_button : public QObject {
    Q_OBJECT

    std::unique_ptr<fake_main_window> m_window;
    progress_button* m_button = nullptr;

    QFrame* face(const char* name) const { return m_button->findChild<QFrame*>(name); }

    // Faces stack in child order: the last face child is the one shown.
    QString top_face() const
    {
        const QObjectList& children = m_button->children();
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            if (qobject_cast<QFrame*>(*child) && !(*child)->objectName().isEmpty())
                return (*child)->objectName();
        return QString();
    }

    bool reacts_to_clicks() const
    {
        const QObjectList& children = m_button->children();
        auto* surface = m_button->findChild<QPushButton*>();
        return children.indexOf(surface) > children.indexOf(face(top_face().toLatin1()));
    }

    QLabel* progress_label(const char* face_name) const
    {
        for (QLabel* label : face(face_name)->findChildren<QLabel*>())
            if (label->size() == QSize(200, 14))
                return label;
        return nullptr;
    }

    QString progress_text() const
    {
        QString text = progress_label("fill")->text();
        return text == progress_label("track")->text() ? text : "labels differ: " + text;
    }

    int fill_width() const { return face("fill")->width(); }

    // Clicks whatever is uppermost in the middle of the button, as the user does.
    void click()
    {
        QPoint middle(278, 28);
        QWidget* target = m_button->childAt(middle);
        QTest::mouseClick(target, Qt::LeftButton, {}, target->mapFrom(m_button, middle));
    }

    void report(const char* slot, qint64 done, qint64 total)
    {
        QVERIFY(QMetaObject::invokeMethod(m_button, slot, Q_ARG(qint64, done), Q_ARG(qint64, total)));
    }

    void hover(bool inside)
    {
        QEvent event(inside ? QEvent::Enter : QEvent::Leave);
        QCoreApplication::sendEvent(m_button, &event);
    }

private slots:
    void init()
    {
        m_window = std::make_unique<fake_main_window>();
        auto* panel = new QWidget(m_window.get());
        auto* bottom = new QFrame(panel);
        m_button = new progress_button(bottom);
        m_button->disable();
        m_window->show();
    }

    void cleanup() { m_window.reset(); }

    void starts_disabled_and_ignores_clicks()
    {
        QSignalSpy clicked(m_button, SIGNAL(clicked()));
        QCOMPARE(m_button->size(), QSize(556, 56));
        QCOMPARE(top_face(), QString("disabled"));
        QVERIFY(!reacts_to_clicks());
        QCOMPARE(m_button->cursor().shape(), Qt::ForbiddenCursor);
        click();
        QCOMPARE(clicked.count(), 0);
    }

    void click_on_ready_button_starts_a_run()
    {
        QSignalSpy clicked(m_button, SIGNAL(clicked()));
        m_button->reset();
        QCOMPARE(top_face(), QString("ready"));
        QVERIFY(reacts_to_clicks());
        QCOMPARE(m_button->cursor().shape(), Qt::PointingHandCursor);
        click();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(top_face(), QString("fill"));
        QVERIFY(reacts_to_clicks());
        QCOMPARE(fill_width(), 0);
        QCOMPARE(progress_text(), QString("FLASH - 0%"));
    }

    void download_progress_widths_and_texts()
    {
        m_button->started_download();
        QCOMPARE(progress_text(), QString("DOWNLOADING - 0%"));

        report("report_download_progress", 0, 1000);
        QCOMPARE(fill_width(), 0);
        QCOMPARE(progress_text(), QString("DOWNLOADING - 0%"));
        report("report_download_progress", 500, 1000);
        QCOMPARE(fill_width(), 278);
        QCOMPARE(progress_text(), QString("DOWNLOADING - 50%"));
        QCOMPARE(top_face(), QString("fill"));
        report("report_download_progress", 1000, 1000);
        QCOMPARE(fill_width(), 556);
        QCOMPARE(progress_text(), QString("DOWNLOADING - 100%"));
        QCOMPARE(top_face(), QString("disabled"));
        QCOMPARE(m_button->cursor().shape(), Qt::ForbiddenCursor);
    }

    // Writing (with inflating, on a first flash) takes two thirds of the bar, reading back the
    // last third.
    void flash_stages_share_the_bar()
    {
        QSignalSpy done(m_button, SIGNAL(done()));
        m_button->started_progress();

        report("report_progress_inflate", 1, 2);
        QCOMPARE(fill_width(), 185);
        QCOMPARE(progress_text(), QString("FLASHING - 33%"));
        report("report_progress_inflate", 2, 2);
        QCOMPARE(fill_width(), 370);
        QCOMPARE(progress_text(), QString("FLASHING - 66%"));
        report("report_progress_verify", 1, 2);
        QCOMPARE(fill_width(), 463);
        QCOMPARE(progress_text(), QString("VERIFYING - 83%"));
        QCOMPARE(done.count(), 0);

        report("report_progress", 4, 4);
        QCOMPARE(fill_width(), 556);
        QCOMPARE(progress_text(), QString("FLASHING - 100%"));
        QCOMPARE(top_face(), QString("done"));
        QCOMPARE(done.count(), 1);
        QVERIFY(face("done")->findChild<QLabel*>() != nullptr);
        QVERIFY(widget_probe::shows_text(face("done"), "FLASH ANOTHER?"));
    }

    void download_then_flash_continues_from_downloaded_share()
    {
        m_button->started_download();
        report("report_download_progress", 1000, 1000);
        // While the download is checked and the disk prepared, the bar names the flash.
        m_button->started_progress();
        QCOMPARE(progress_text(), QString("FLASHING - 0%"));
        report("report_progress_inflate", 1, 2);
        QCOMPARE(progress_text(), QString("FLASHING - 33%"));
    }

    void unusable_totals_change_nothing_data()
    {
        QTest::addColumn<QByteArray>("slot");
        QTest::addColumn<qint64>("total");
        for (const char* slot : {"report_download_progress", "report_progress_inflate", "report_progress",
                                 "report_progress_verify"}) {
            QTest::addRow("%s, unknown total", slot) << QByteArray(slot) << qint64(-1);
            QTest::addRow("%s, total 0", slot) << QByteArray(slot) << qint64(0);
        }
    }

    void unusable_totals_change_nothing()
    {
        QFETCH(QByteArray, slot);
        QFETCH(qint64, total);
        QSignalSpy done(m_button, SIGNAL(done()));
        m_button->started_progress();
        report(slot.constData(), 3, 10);
        const QString text = progress_text();
        const int width = fill_width();

        report(slot.constData(), 0, total);
        report(slot.constData(), 5, total);
        QCOMPARE(progress_text(), text);
        QCOMPARE(fill_width(), width);
        QCOMPARE(top_face(), QString("fill"));
        QCOMPARE(done.count(), 0);
    }

    // A batch's speed and time left over its rows, from the bytes moved and the time taken.
    void batch_rate_text_data()
    {
        QTest::addColumn<qint64>("moved");
        QTest::addColumn<qint64>("left");
        QTest::addColumn<qint64>("elapsed_ns");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing moved yet") << qint64(0) << qint64(100) << qint64(1'000'000'000) << QString();
        QTest::newRow("no time taken yet") << qint64(100) << qint64(100) << qint64(0) << QString();
        QTest::newRow("nothing left") << qint64(25'000'000) << qint64(0) << qint64(1'000'000'000)
                                      << QString("25.0 MB/s");
        QTest::newRow("a part of a second") << qint64(3'000'000) << qint64(1) << qint64(500'000'000)
                                            << QString("6.0 MB/s, 1 s left");
        QTest::newRow("minutes") << qint64(10'000'000) << qint64(1'250'000'000) << qint64(1'000'000'000)
                                 << QString("10.0 MB/s, 2 min 5 s left");
        QTest::newRow("hours") << qint64(1'000'000) << qint64(3'930'000'000) << qint64(1'000'000'000)
                               << QString("1.0 MB/s, 1 h 5 min left");
    }

    void batch_rate_text()
    {
        QFETCH(qint64, moved);
        QFETCH(qint64, left);
        QFETCH(qint64, elapsed_ns);
        QFETCH(QString, text);
        QCOMPARE(transfer_rate::text(moved, left, elapsed_ns), text);
    }

    void hovering_shows_cancel_until_the_next_report()
    {
        m_button->started_progress();
        hover(true);
        QCOMPARE(progress_text(), QString("CANCEL"));
        report("report_progress", 1, 4);
        QCOMPARE(progress_text(), QString("CANCEL - 16%"));
        hover(false);
        QCOMPARE(progress_text(), QString("CANCEL - 16%"));
        report("report_progress", 2, 4);
        QCOMPARE(progress_text(), QString("FLASHING - 33%"));
        hover(true);
        report("report_progress_verify", 1, 2);
        QCOMPARE(progress_text(), QString("CANCEL - 83%"));
        hover(false);
        report("report_progress_verify", 2, 2);
        QCOMPARE(progress_text(), QString("VERIFYING - 100%"));
    }

    void decompression_report_restores_word_even_while_hovered()
    {
        m_button->started_progress();
        hover(true);
        report("report_progress_inflate", 1, 2);
        QCOMPARE(progress_text(), QString("FLASHING - 33%"));
        // Reading back under the pointer that still rests there.
        report("report_progress_verify", 1, 2);
        QCOMPARE(progress_text(), QString("CANCEL - 83%"));
    }

    void hovered_download_keeps_cancel()
    {
        m_button->started_download();
        hover(true);
        report("report_download_progress", 250, 1000);
        QCOMPARE(progress_text(), QString("CANCEL - 25%"));
    }

    void click_during_run_asks_before_cancelling()
    {
        QSignalSpy cancel(m_button, SIGNAL(cancel()));
        QSignalSpy clicked(m_button, SIGNAL(clicked()));
        m_button->started_progress();
        report("report_progress", 1, 4);

        click();
        QPointer<dialog_window> dialog = m_window->findChild<dialog_window*>();
        QVERIFY(dialog);
        QVERIFY(dialog->isVisible());
        QCOMPARE(m_window->opened, 1);
        QVERIFY(widget_probe::shows_text(dialog, "Stop flashing?"));
        QVERIFY(widget_probe::shows_text(dialog, "STOP FLASHING"));
        QVERIFY(widget_probe::shows_text(dialog, "CONTINUE"));
        QVERIFY(widget_probe::shows_text(
            dialog, "Flashing is in progress, are you certain you want to stop flashing? <font "
                    "color=\"#3a3939\">Progress will be lost!</font>"));

        QTest::mouseClick(widget_probe::button_at(dialog, QPoint(213, 158)), Qt::LeftButton);
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(cancel.count(), 0);
        report("report_progress", 2, 4);
        QCOMPARE(progress_text(), QString("FLASHING - 33%"));

        click();
        dialog = m_window->findChild<dialog_window*>();
        QVERIFY(dialog);
        QTest::mouseClick(widget_probe::button_at(dialog, QPoint(29, 158)), Qt::LeftButton);
        QCOMPARE(cancel.count(), 1);
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(m_window->closed, 2);
        QCOMPARE(clicked.count(), 0);
    }

    void reset_keeps_finished_face_until_disabled()
    {
        m_button->started_progress();
        report("report_progress", 4, 4);
        m_button->reset();
        QCOMPARE(top_face(), QString("done"));
        QVERIFY(reacts_to_clicks());
        QCOMPARE(m_button->cursor().shape(), Qt::PointingHandCursor);

        m_button->disable();
        QCOMPARE(top_face(), QString("disabled"));
        m_button->reset();
        QCOMPARE(top_face(), QString("ready"));
    }

    void click_after_finish_starts_a_new_run()
    {
        QSignalSpy clicked(m_button, SIGNAL(clicked()));
        m_button->started_progress();
        report("report_progress", 4, 4);
        m_button->reset();
        click();
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(top_face(), QString("fill"));
        QCOMPARE(fill_width(), 0);
    }
};

QTEST_MAIN(test_progress_button)
#include "test_progress_button.moc"
