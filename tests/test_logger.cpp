#include "base/logger.h"

#include "qt_warnings.h"
#include "unwritable_folder.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

class test_logger : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;

    std::string data_folder() const { return m_folder.path().toStdString(); }

    QByteArray log_content() const
    {
        QFile file(m_folder.path() + "/Kestrel Flash tool.log");
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    QList<QByteArray> log_lines() const
    {
        QList<QByteArray> lines = log_content().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private slots:
    void init()
    {
        QFile::remove(m_folder.path() + "/Kestrel Flash tool.log");
        logger::init(data_folder());
    }

    void cleanupTestCase() { logger::close(); }

    void line_carries_time_severity_position_and_function()
    {
        KESTREL_LOG(logger::info, "disk " << 3 << " ready");
        const int line = __LINE__ - 1;

        QList<QByteArray> lines = log_lines();
        QCOMPARE(lines.size(), 1);
        QRegularExpression layout(
            R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3}\] \[info\] \[(.+):(\d+)\] \[(.+)\] disk 3 ready$)");
        QRegularExpressionMatch match = layout.match(QString::fromUtf8(lines[0]));
        QVERIFY2(match.hasMatch(), lines[0].constData());
        QCOMPARE(match.captured(1), QString(__FILE__));
        QCOMPARE(match.captured(2).toInt(), line);
        QVERIFY(match.captured(3).contains("line_carries_time_severity_position_and_function"));
    }

    void every_severity_has_its_name()
    {
        for (int severity = logger::debug; severity <= logger::fatal; ++severity)
            logger::log(severity, "x");
        QList<QByteArray> lines = log_lines();
        QCOMPARE(lines.size(), 4);
        const char* names[] = {"] [debug] x", "] [info] x", "] [error] x", "] [fatal] x"};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(lines[i].endsWith(names[i]), lines[i].constData());
    }

    void empty_text_still_ends_the_line()
    {
        KESTREL_LOG(logger::fatal, "");
        QVERIFY(log_content().endsWith("] \n"));
        QCOMPARE(log_lines().size(), 1);
    }

    void second_start_appends()
    {
        logger::log(logger::fatal, "first start");
        logger::close();
        logger::init(data_folder());
        logger::log(logger::fatal, "second start");
        QList<QByteArray> lines = log_lines();
        QCOMPARE(lines.size(), 2);
        QVERIFY(lines[0].endsWith("first start"));
        QVERIFY(lines[1].endsWith("second start"));
    }

    void severity_out_of_range_raises_and_writes_nothing()
    {
        logger::log(logger::info, "before");
        QByteArray before = log_content();
        for (int severity : {4, -1}) {
            try {
                logger::log(severity, "never written");
                QFAIL("no exception");
            } catch (const std::out_of_range& error) {
                QCOMPARE(QString(error.what()), QString("severity value out of range"));
            }
        }
        QCOMPARE(log_content(), before);
    }

    void utf8_text_reads_back_unchanged()
    {
        const std::string name = "Überstick Kingstón 32 GB — 東芝";
        logger::log(logger::fatal, name);
        QVERIFY(log_content().endsWith(QByteArray::fromStdString(name) + "\n"));
    }

    void concurrent_writers_never_interleave()
    {
        const int threads = 8;
        const int lines_per_thread = 300;
        std::vector<std::thread> writers;
        for (int t = 0; t < threads; ++t) {
            writers.emplace_back([t] {
                const std::string text = "writer " + std::to_string(t) + " " + std::string(200, char('a' + t));
                for (int i = 0; i < lines_per_thread; ++i)
                    logger::log(logger::error, text);
            });
        }
        for (std::thread& writer : writers)
            writer.join();

        QList<QByteArray> lines = log_lines();
        QCOMPARE(lines.size(), threads * lines_per_thread);
        QRegularExpression whole_line(R"(^\[[-\d :.]{23}\] \[error\] writer (\d) ([a-h]{200})$)");
        for (const QByteArray& line : lines) {
            QRegularExpressionMatch match = whole_line.match(QString::fromUtf8(line));
            QVERIFY2(match.hasMatch(), line.constData());
            QCOMPARE(match.captured(2), QString(200, QChar('a' + match.captured(1).toInt())));
        }
    }

    void log_that_cannot_be_written_loses_lines_silently_data()
    {
        QTest::addColumn<QString>("where");
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("read-only folder") << "read-only";
        QTest::newRow("closed log") << "closed";
    }

    // Nothing is written, and Qt is not asked to write into a file that is not open.
    void log_that_cannot_be_written_loses_lines_silently()
    {
        QFETCH(QString, where);
        QTemporaryDir read_only;
        const QString folder = where == "missing" ? m_folder.path() + "/no such folder"
            : where == "read-only"                ? read_only.path()
                                                  : m_folder.path();
        const qt_warnings warnings;
        {
            std::unique_ptr<unwritable_folder> unwritable;
            if (where == "read-only")
                unwritable = std::make_unique<unwritable_folder>(folder);
            logger::init(folder.toStdString());
        }
        if (where == "closed") {
            logger::log(logger::fatal, "kept");
            logger::close();
        }
        logger::log(logger::fatal, "lost");
        QCOMPARE(warnings.texts(), QStringList());
        QVERIFY(!QFile::exists(m_folder.path() + "/no such folder"));
        QVERIFY(!QFile::exists(read_only.path() + "/Kestrel Flash tool.log"));
        QVERIFY(!log_content().contains("lost"));
    }
};

QTEST_GUILESS_MAIN(test_logger)
#include "test_logger.moc"
