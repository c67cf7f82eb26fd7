#include "gui/more_settings.h"
#include "gui/resources_loader.h"

#include <QLabel>
#include <QSignalSpy>
#include <QTest>

class test_more_settings : public QObject {
    Q_OBJECT

    static QLabel* text_label(const more_settings& link)
    {
        for (QLabel* child : link.findChildren<QLabel*>())
            if (!child->text().isEmpty())
                return child;
        return nullptr;
    }

    static QLabel* arrow_label(const more_settings& link)
    {
        for (QLabel* child : link.findChildren<QLabel*>())
            if (child->text().isEmpty())
                return child;
        return nullptr;
    }

    static void verify_layout(const more_settings& link)
    {
        QLabel* text = text_label(link);
        QLabel* arrow = arrow_label(link);
        QVERIFY(text && arrow);
        int text_width = text->sizeHint().width();
        QCOMPARE(text->size(), QSize(text_width, 20));
        QCOMPARE(arrow->geometry(), QRect(text_width + 8, 6, 8, 5));
        QCOMPARE(link.size(), QSize(text_width + 16, 20));
        QVERIFY(!arrow->pixmap(Qt::ReturnByValue).isNull());
    }

private slots:
    void initTestCase()
    {
        load_resources();
    }

    void looks_data()
    {
        QTest::addColumn<QString>("slot");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("colour");
        QTest::addColumn<int>("cursor");
        QTest::newRow("folded") << "show_more" << "Additional settings (optional)" << "#128ede"
                                << int(Qt::PointingHandCursor);
        QTest::newRow("unfolded") << "show_less" << "Less settings" << "#128ede"
                                  << int(Qt::PointingHandCursor);
        QTest::newRow("disabled") << "disable" << "Additional settings (optional)" << "#c4e3f7"
                                  << int(Qt::ForbiddenCursor);
    }

    void looks()
    {
        QFETCH(QString, slot);
        QFETCH(QString, text);
        QFETCH(QString, colour);
        QFETCH(int, cursor);
        QWidget panel;
        more_settings link(&panel);
        verify_layout(link);
        QVERIFY(QMetaObject::invokeMethod(&link, slot.toLatin1().constData()));
        QCOMPARE(link.text(), text);
        QCOMPARE(text_label(link)->styleSheet(),
                 "QLabel {height: 20px; font-size: 14px; line-height: 1.43; color: " + colour
                     + ";}");
        QCOMPARE(int(link.cursor().shape()), cursor);
        verify_layout(link);
    }

    void clicks_count_only_while_enabled()
    {
        QWidget panel;
        more_settings link(&panel);
        QSignalSpy clicked(&link, SIGNAL(clicked()));
        QTest::mousePress(&link, Qt::LeftButton);
        QCOMPARE(clicked.count(), 1);
        link.show_less();
        QTest::mousePress(&link, Qt::RightButton);
        QCOMPARE(clicked.count(), 2);
        link.disable();
        QTest::mousePress(&link, Qt::LeftButton);
        QCOMPARE(clicked.count(), 2);
        link.show_more();
        QTest::mousePress(&link, Qt::LeftButton);
        QCOMPARE(clicked.count(), 3);
    }
};

QTEST_MAIN(test_more_settings)
#include "test_more_settings.moc"
