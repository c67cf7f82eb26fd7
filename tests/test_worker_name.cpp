#include "config/worker_name.h"

#include <QTest>

class test_worker_name : public QObject {
    Q_OBJECT

    static std::string advanced(const std::string& worker)
    {
        inputs values;
        values.worker = worker;
        advance_worker_name(values);
        return values.worker;
    }

private slots:
    void successive_flashes_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written_1");
        QTest::addColumn<QString>("template_1");
        QTest::addColumn<QString>("written_2");
        QTest::addColumn<QString>("template_2");
        QTest::newRow("first value") << "rig(%d)" << "rig1" << "rig(%d,2)" << "rig2" << "rig(%d,3)";
        QTest::newRow("given value") << "rig(%d,5)" << "rig5" << "rig(%d,6)" << "rig6" << "rig(%d,7)";
        QTest::newRow("plain name") << "rig" << "rig" << "rig1" << "rig1" << "rig2";
        QTest::newRow("trailing number") << "rig7" << "rig7" << "rig8" << "rig8" << "rig9";
        QTest::newRow("leading zero") << "rig09" << "rig09" << "rig10" << "rig10" << "rig11";
        QTest::newRow("two placeholders")
            << "a(%d)b(%d,5)" << "a1b5" << "a(%d,2)b(%d,6)" << "a2b6" << "a(%d,3)b(%d,7)";
        QTest::newRow("digits only") << "19" << "19" << "20" << "20" << "21";
    }

    void successive_flashes()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written_1);
        QFETCH(QString, template_1);
        QFETCH(QString, written_2);
        QFETCH(QString, template_2);

        std::string worker = typed.toStdString();
        QCOMPARE(QString::fromStdString(expand_worker_name(worker)), written_1);
        worker = advanced(worker);
        QCOMPARE(QString::fromStdString(worker), template_1);
        QCOMPARE(QString::fromStdString(expand_worker_name(worker)), written_2);
        QCOMPARE(QString::fromStdString(advanced(worker)), template_2);
    }

    void edge_cases_data()
    {
        QTest::addColumn<QString>("worker");
        QTest::addColumn<QString>("expanded");
        QTest::addColumn<QString>("advanced");
        QTest::newRow("repeated placeholder") << "r(%d,3)x(%d,3)" << "r3x3" << "r(%d,4)x(%d,4)";
        QTest::newRow("leading zeros stay literal") << "r(%d,07)" << "r(%d,07)" << "r(%d,07)";
        QTest::newRow("leading zeros beside a counter")
            << "(%d,07)(%d,7)" << "(%d,07)7" << "(%d,07)(%d,8)";
        QTest::newRow("no digits") << "r(%d,)" << "r(%d,)" << "r(%d,)";
        QTest::newRow("blank inside") << "r( %d)" << "r( %d)" << "r( %d)";
        QTest::newRow("zero") << "r(%d,0)" << "r0" << "r(%d,1)";
        QTest::newRow("nines grow a digit") << "rig99" << "rig99" << "rig100";
        QTest::newRow("placeholder nines grow a digit") << "r(%d,99)" << "r99" << "r(%d,100)";
        QTest::newRow("15 characters grow to 16") << "abcdefghijklmno" << "abcdefghijklmno"
                                                  << "abcdefghijklmno1";
        QTest::newRow("16 characters are not a plain name")
            << "abcdefghijklmnop" << "abcdefghijklmnop" << "abcdefghijklmnop";
        QTest::newRow("dash and underscore") << "my-rig_7" << "my-rig_7" << "my-rig_8";
        QTest::newRow("empty") << "" << "" << "1";
        QTest::newRow("beyond 32 bits") << "r99999999999" << "r99999999999" << "r100000000000";
        // Counting one placeholder up to the number of the next must not count that one twice.
        QTest::newRow("neighbouring numbers") << "(%d,1)(%d,2)" << "12" << "(%d,2)(%d,3)";
        QTest::newRow("first value beside 1") << "(%d)(%d,1)" << "11" << "(%d,2)(%d,2)";
    }

    void edge_cases()
    {
        QFETCH(QString, worker);
        QFETCH(QString, expanded);
        QFETCH(QString, advanced);
        QCOMPARE(QString::fromStdString(expand_worker_name(worker.toStdString())), expanded);
        QCOMPARE(QString::fromStdString(test_worker_name::advanced(worker.toStdString())), advanced);
    }

    void a_template_named_again_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("saved");
        QTest::addColumn<QString>("continued");
        QTest::newRow("counted on") << "rig(%d)" << "rig(%d,4)" << "rig(%d,4)";
        QTest::newRow("named further on") << "rig(%d,9)" << "rig(%d,4)" << "rig(%d,9)";
        QTest::newRow("as saved") << "rig(%d,4)" << "rig(%d,4)" << "rig(%d,4)";
        QTest::newRow("another template") << "farm(%d)" << "rig(%d,4)" << "farm(%d)";
        QTest::newRow("another text around it") << "rig(%d)x" << "rig(%d,4)" << "rig(%d)x";
        QTest::newRow("plain name counted on") << "rig" << "rig3" << "rig3";
        QTest::newRow("leading zeros counted on") << "rig09" << "rig11" << "rig11";
        QTest::newRow("plain name further on") << "rig12" << "rig3" << "rig12";
        QTest::newRow("plain name and template") << "rig" << "rig(%d,2)" << "rig";
        QTest::newRow("counters apart") << "a(%d,5)b(%d)" << "a(%d,3)b(%d,4)" << "a(%d,5)b(%d,4)";
        QTest::newRow("more counters") << "a(%d)b(%d)" << "a(%d,3)" << "a(%d)b(%d)";
        QTest::newRow("leading zeros are no counter") << "r(%d,07)" << "r(%d,9)" << "r(%d,07)";
        QTest::newRow("beyond 32 bits") << "r(%d)" << "r(%d,99999999999)" << "r(%d,99999999999)";
        QTest::newRow("nothing saved") << "rig(%d)" << "" << "rig(%d)";
    }

    // A farm names the same template again, on the command line after a restart: the rigs go
    // on being numbered from where the settings are, never from 1 again.
    void a_template_named_again()
    {
        QFETCH(QString, given);
        QFETCH(QString, saved);
        QFETCH(QString, continued);
        QCOMPARE(QString::fromStdString(continued_worker_name(given.toStdString(), saved.toStdString())), continued);
    }
};

QTEST_APPLESS_MAIN(test_worker_name)
#include "test_worker_name.moc"
