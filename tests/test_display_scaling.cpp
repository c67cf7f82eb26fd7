#include "app/display_scaling.h"

#include <QCoreApplication>
#include <QTest>

// Runs without an application object: the attribute only counts before one exists.
class test_display_scaling : public QObject {
    Q_OBJECT

private slots:
    void scaling_variable_keeps_scaling_off_data()
    {
        QTest::addColumn<QByteArray>("variable");
        QTest::newRow("pixel ratio") << QByteArray("QT_DEVICE_PIXEL_RATIO");
        QTest::newRow("auto factor") << QByteArray("QT_AUTO_SCREEN_SCALE_FACTOR");
        QTest::newRow("scale factor") << QByteArray("QT_SCALE_FACTOR");
        QTest::newRow("screen factors") << QByteArray("QT_SCREEN_SCALE_FACTORS");
    }

    void scaling_variable_keeps_scaling_off()
    {
        QFETCH(QByteArray, variable);
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, false);
        qputenv(variable, "1");
        enable_high_dpi_scaling_unless_configured();
        qunsetenv(variable);
        QVERIFY(!QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling));
    }

    void no_scaling_variable_turns_scaling_on()
    {
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, false);
        enable_high_dpi_scaling_unless_configured();
        QVERIFY(QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling));
    }
};

int main(int argc, char* argv[])
{
    for (const char* variable : {"QT_DEVICE_PIXEL_RATIO", "QT_AUTO_SCREEN_SCALE_FACTOR",
                                 "QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS"})
        qunsetenv(variable);
    test_display_scaling suite;
    return QTest::qExec(&suite, argc, argv);
}
#include "test_display_scaling.moc"
