#include "gui/input_field.h"
#include "gui/resources_loader.h"
#include "gui/text_input.h"
#include "gui/text_input_popup.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

class test_text_input : public QObject {
    Q_OBJECT

    QWidget* m_panel = nullptr;
    text_input* m_input = nullptr;

    // Opens the input's context menu, hands it to `use` while it runs, then closes it;
    // returns the entry labels.
    QStringList run_context_menu(const std::function<void(QMenu*)>& use = {})
    {
        QStringList labels;
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            seen = true;
            for (QAction* action : menu->actions()) {
                labels << action->text();
                if (!action->shortcut().isEmpty())
                    labels << "shortcut!";
            }
            if (use)
                use(menu);
            menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                                m_input->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(m_input, &event);
        if (!seen)
            labels << "no menu";
        return labels;
    }

    static void trigger(QMenu* menu, const QString& label)
    {
        for (QAction* action : menu->actions())
            if (action->text() == label)
                action->trigger();
    }

    static void hover(QWidget* widget, QEvent::Type type)
    {
        QEvent event(type);
        QApplication::sendEvent(widget, &event);
    }

private slots:
    void initTestCase()
    {
        load_resources();
    }

    void init()
    {
        m_panel = new QWidget;
        m_panel->resize(600, 200);
        const input_field& worker = input_fields::worker;
        m_input = new text_input(worker.placeholder, worker.pattern, worker.error_text, m_panel);
        QApplication::clipboard()->clear();
    }

    void cleanup()
    {
        delete m_panel;
        m_panel = nullptr;
        m_input = nullptr;
    }

    void looks_as_built()
    {
        QCOMPARE(m_input->geometry(), QRect(24, 8, 552, 40));
        QCOMPARE(m_input->placeholderText(), QString("Worker name"));
        QVERIFY(!m_input->hasFrame());
        QVERIFY(m_input->hasMouseTracking());
        QCOMPARE(m_input->palette().color(QPalette::Inactive, QPalette::Mid), QColor(206, 205, 205));
        QCOMPARE(m_input->popup()->parentWidget(), m_panel);
        QVERIFY(m_input->popup()->isHidden());
    }

    void context_menu_entries_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("empty, clipboard empty") << "" << "" << QStringList{"Undo"};
        QTest::newRow("empty, clipboard text") << "" << "rig" << QStringList{"Paste", "Undo"};
        QTest::newRow("text, clipboard empty") << "rig" << "" << QStringList{"Copy", "Cut", "Undo"};
        QTest::newRow("text, clipboard text")
            << "rig" << "x" << QStringList{"Copy", "Cut", "Paste", "Undo"};
    }

    void context_menu_entries()
    {
        QFETCH(QString, text);
        QFETCH(QString, clipboard);
        QFETCH(QStringList, entries);
        m_input->setText(text);
        if (!clipboard.isEmpty())
            QApplication::clipboard()->setText(clipboard);
        QCOMPARE(run_context_menu(), entries);
    }

    void copy_without_selection_takes_everything()
    {
        m_input->setText("rig-1");
        m_input->deselect();
        run_context_menu([](QMenu* menu) { trigger(menu, "Copy"); });
        QCOMPARE(QApplication::clipboard()->text(), QString("rig-1"));
        QCOMPARE(m_input->selectedText(), QString("rig-1"));
        QCOMPARE(m_input->text(), QString("rig-1"));
    }

    void copy_and_cut_keep_to_the_selection()
    {
        m_input->setText("rig-1");
        m_input->setSelection(0, 3);
        run_context_menu([](QMenu* menu) { trigger(menu, "Copy"); });
        QCOMPARE(QApplication::clipboard()->text(), QString("rig"));
        run_context_menu([](QMenu* menu) { trigger(menu, "Cut"); });
        QCOMPARE(m_input->text(), QString("-1"));
    }

    void paste_cut_and_undo_revalidate()
    {
        QApplication::clipboard()->setText("bad name");
        run_context_menu([](QMenu* menu) { trigger(menu, "Paste"); });
        QCOMPARE(m_input->text(), QString("bad name"));
        QVERIFY(!m_input->is_valid());

        run_context_menu([](QMenu* menu) { trigger(menu, "Undo"); });
        QCOMPARE(m_input->text(), QString());
        QVERIFY(m_input->is_valid());

        m_input->setText("bad name");
        run_context_menu([](QMenu* menu) { trigger(menu, "Cut"); });
        QCOMPARE(m_input->text(), QString());
        QCOMPARE(QApplication::clipboard()->text(), QString("bad name"));
        QVERIFY(m_input->is_valid());
    }

    void error_bubble_follows_the_pointer()
    {
        m_panel->show();
        hover(m_input, QEvent::Enter);
        QVERIFY(m_input->popup()->isHidden());
        hover(m_input, QEvent::Leave);

        m_input->setText("bad name");
        QVERIFY(m_input->popup()->isHidden());
        hover(m_input, QEvent::Enter);
        QVERIFY(m_input->popup()->isVisible());
        hover(m_input, QEvent::Leave);
        QVERIFY(m_input->popup()->isHidden());

        hover(m_input, QEvent::Enter);
        m_input->setText("good-name");
        QVERIFY(m_input->popup()->isHidden());
    }

    void pressed_only_on_mouse_focus()
    {
        m_panel->show();
        QApplication::setActiveWindow(m_panel);
        QVERIFY(QTest::qWaitForWindowActive(m_panel));
        QSignalSpy pressed(m_input, SIGNAL(pressed()));
        m_input->setFocus(Qt::TabFocusReason);
        QCOMPARE(pressed.count(), 0);
        m_input->clearFocus();
        QTest::mouseClick(m_input, Qt::LeftButton, Qt::NoModifier, QPoint(30, 20));
        QTRY_COMPARE(pressed.count(), 1);
    }

    void popup_bubble_layout_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("long_text");
        QTest::newRow("short") << "Invalid SSID" << false;
        QTest::newRow("long") << QString("Invalid wireless key, ").repeated(8) << true;
    }

    void popup_bubble_layout()
    {
        QFETCH(QString, text);
        QFETCH(bool, long_text);
        text_input_popup popup(text.toStdString(), m_panel);
        QLabel* label = nullptr;
        for (QLabel* child : popup.findChildren<QLabel*>())
            if (child->text() == text)
                label = child;
        QVERIFY(label);
        QCOMPARE(label->pos(), QPoint(16, 8));
        QVERIFY(label->wordWrap());
        QCOMPARE(label->width() == 417, long_text);
        QVERIFY(label->width() <= 417);
        QCOMPARE(popup.size(), QSize(label->width() + 32, label->height() + 16 + 5));
        if (long_text)
            QVERIFY(label->height() > 2 * label->fontMetrics().lineSpacing());
    }
};

QTEST_MAIN(test_text_input)
#include "test_text_input.moc"
