#include "config/worker_name.h"
#include "gui/input_field.h"
#include "gui/resources_loader.h"
#include "gui/tooltip.h"
#include "gui/tooltip_pop_up.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

class test_tooltip : public QObject {
    Q_OBJECT

    static void hover(QWidget* widget, QEvent::Type type)
    {
        QEvent event(type);
        QApplication::sendEvent(widget, &event);
    }

    static QLabel* text_label(const tooltip_pop_up& pop_up)
    {
        for (QLabel* child : pop_up.findChildren<QLabel*>())
            if (child->text() == pop_up.text())
                return child;
        return nullptr;
    }

    static QLabel* arrow_label(const tooltip_pop_up& pop_up)
    {
        for (QLabel* child : pop_up.findChildren<QLabel*>())
            if (child->size() == QSize(8, 5))
                return child;
        return nullptr;
    }

private slots:
    void initTestCase()
    {
        load_resources();
    }

    void icon_and_bubble_placed_above_the_row()
    {
        QWidget panel;
        tooltip tip(input_fields::group.help_text, 110, 192, &panel);
        QCOMPARE(tip.geometry(), QRect(110, 192, 11, 11));
        QVERIFY(!tip.pixmap(Qt::ReturnByValue).isNull());
        QVERIFY(tip.hasMouseTracking());

        tooltip_pop_up* pop_up = tip.pop_up();
        QCOMPARE(pop_up->parentWidget(), &panel);
        QVERIFY(pop_up->isHidden());
        QCOMPARE(pop_up->pos(), QPoint(24, 192 - pop_up->height()));
        QCOMPARE(pop_up->text(), QString("Put your mining machine into group."));
        QLabel* arrow = arrow_label(*pop_up);
        QVERIFY(arrow);
        QCOMPARE(arrow->pos(), QPoint(110 - 23, pop_up->height() - 5));
    }

    void hover_shows_and_hides_the_bubble()
    {
        QWidget panel;
        auto* input = new QLineEdit(&panel);
        tooltip tip(input_fields::ssid.help_text, 120, 352, &panel);
        panel.show();
        input->setFocus();
        QCOMPARE(panel.focusWidget(), input);

        hover(&tip, QEvent::Enter);
        QVERIFY(tip.pop_up()->isVisible());
        QCOMPARE(tip.cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!input->hasFocus());
        QCOMPARE(panel.focusWidget(), nullptr);

        hover(&tip, QEvent::Leave);
        QVERIFY(tip.pop_up()->isHidden());
    }

    void bubble_wraps_only_long_texts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("wraps");
        QTest::newRow("group help") << input_fields::group.help_text << false;
        QTest::newRow("worker help") << input_fields::worker.help_text << true;
    }

    void bubble_wraps_only_long_texts()
    {
        QFETCH(QString, text);
        QFETCH(bool, wraps);
        QWidget panel;
        tooltip_pop_up pop_up(text.toStdString(), 10, &panel);
        QLabel* label = text_label(pop_up);
        QVERIFY(label);
        QCOMPARE(label->pos(), QPoint(16, 8));
        QCOMPARE(label->wordWrap(), wraps);
        if (wraps)
            QCOMPARE(label->width(), 417);
        else
            QCOMPARE(label->height(), label->sizeHint().height());
        QCOMPARE(pop_up.size(), QSize(label->width() + 32, label->height() + 16 + 5));
    }

    // The worker help's examples of counters are the names that stick after stick gets.
    void worker_help_shows_counters_data()
    {
        QTest::addColumn<QString>("example");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("first value") << "rig(%d) gives rig1, rig2, ..." << "rig(%d)"
                                     << QStringList {"rig1", "rig2", "rig3"};
        QTest::newRow("given value") << "rig(%d,5) starts at rig5" << "rig(%d,5)"
                                     << QStringList {"rig5", "rig6"};
    }

    void worker_help_shows_counters()
    {
        QFETCH(QString, example);
        QFETCH(QString, typed);
        QFETCH(QStringList, names);
        QWidget panel;
        tooltip tip(input_fields::worker.help_text, 110, 112, &panel);
        QVERIFY2(tip.pop_up()->text().contains(example), qPrintable(tip.pop_up()->text()));
        inputs values;
        values.worker = typed.toStdString();
        for (const QString& name : names) {
            QCOMPARE(QString::fromStdString(expand_worker_name(values.worker)), name);
            advance_worker_name(values);
        }
    }
};

QTEST_MAIN(test_tooltip)
#include "test_tooltip.moc"
