#include "gui/market_selection.h"
#include "gui/market_selection_element.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTest>

#include <memory>

class test_market_selection : public QObject {
    Q_OBJECT

    std::unique_ptr<QWidget> m_panel;
    market_selection* m_selection = nullptr;

    QListWidget* list() const { return m_selection->findChild<QListWidget*>(); }

    QString shown_name() const
    {
        for (QLabel* label : m_selection->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            if (label->pos() == QPoint(16, 12))
                return label->text();
        return QString();
    }

    QStringList offered() const
    {
        QStringList names;
        for (int index = 0; index < list()->count(); ++index)
            if (auto* element = qobject_cast<market_selection_element*>(list()->itemWidget(list()->item(index))))
                names << element->findChild<QLabel*>()->text();
        return names;
    }

    market_selection_element* first_element() const
    {
        return qobject_cast<market_selection_element*>(list()->itemWidget(list()->item(0)));
    }

    void click_header(Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(m_selection, button, {}, QPoint(300, 20));
    }

private slots:
    void init()
    {
        m_panel = std::make_unique<QWidget>();
        m_panel->resize(600, 400);
        m_selection = new market_selection(m_panel.get());
        m_selection->move(24, 296);
        m_panel->show();
    }

    void cleanup() { m_panel.reset(); }

    void starts_with_europe()
    {
        QCOMPARE(shown_name(), QString("Europe"));
        QCOMPARE(m_selection->code(), std::string("eu"));
        QCOMPARE(m_selection->size(), QSize(552, 40));
        QVERIFY(list()->isHidden());
        QCOMPARE(list()->count(), 2);
        QCOMPARE(list()->item(0)->sizeHint(), QSize(552, 40));
        QCOMPARE(list()->item(1)->sizeHint(), QSize(552, 1));
        QCOMPARE(offered(), QStringList{"United States of America"});
    }

    void left_click_unfolds_and_folds()
    {
        click_header();
        QVERIFY(list()->isVisible());
        QCOMPARE(m_selection->size(), QSize(552, 80));
        QCOMPARE(list()->geometry(), QRect(0, 40, 552, 42));
        click_header();
        QVERIFY(list()->isHidden());
        QCOMPARE(m_selection->size(), QSize(552, 40));
    }

    void other_buttons_do_nothing()
    {
        click_header(Qt::RightButton);
        click_header(Qt::MiddleButton);
        QVERIFY(list()->isHidden());
        QCOMPARE(m_selection->size(), QSize(552, 40));
    }

    void unfolding_takes_focus_from_the_form()
    {
        auto* field = new QLineEdit(m_panel.get());
        field->move(24, 8);
        field->show();
        m_panel->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_panel.get()));
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        click_header();
        QVERIFY(!field->hasFocus());
    }

    void picking_a_region_changes_the_code()
    {
        QSignalSpy item_selected(m_selection, SIGNAL(item_selected()));
        click_header();
        QTest::mouseClick(first_element(), Qt::LeftButton);
        QCOMPARE(item_selected.count(), 1);
        QCOMPARE(shown_name(), QString("United States of America"));
        QCOMPARE(m_selection->code(), std::string("usa"));
        QVERIFY(list()->isHidden());
        QCOMPARE(m_selection->size(), QSize(552, 40));
        QCOMPARE(offered(), QStringList{"Europe"});

        click_header();
        QTest::mouseClick(first_element(), Qt::LeftButton);
        QCOMPARE(item_selected.count(), 2);
        QCOMPARE(m_selection->code(), std::string("eu"));
    }

    void right_click_on_a_region_selects_nothing()
    {
        QSignalSpy item_selected(m_selection, SIGNAL(item_selected()));
        click_header();
        QTest::mouseClick(first_element(), Qt::RightButton);
        QCOMPARE(item_selected.count(), 0);
        QCOMPARE(m_selection->code(), std::string("eu"));
    }

    void set_code_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("code");
        QTest::newRow("usa") << "usa" << "usa" << "United States of America" << "usa";
        QTest::newRow("back to eu") << "usa" << "eu" << "Europe" << "eu";
        QTest::newRow("unknown keeps usa") << "usa" << "asia" << "United States of America" << "usa";
        QTest::newRow("empty keeps europe") << "" << "" << "Europe" << "eu";
        QTest::newRow("display name is no code") << "Europe" << "USA" << "Europe" << "eu";
    }

    void set_code()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, name);
        QFETCH(QString, code);
        m_selection->set_code(first.toStdString());
        m_selection->set_code(second.toStdString());
        QCOMPARE(shown_name(), name);
        QCOMPARE(QString::fromStdString(m_selection->code()), code);
        QVERIFY(list()->isHidden());
        QCOMPARE(list()->count(), 2);
    }

    void collapse_from_outside_folds()
    {
        click_header();
        m_selection->collapse();
        QVERIFY(list()->isHidden());
        QCOMPARE(m_selection->size(), QSize(552, 40));
        QCOMPARE(m_selection->code(), std::string("eu"));
    }
};

QTEST_MAIN(test_market_selection)
#include "test_market_selection.moc"
