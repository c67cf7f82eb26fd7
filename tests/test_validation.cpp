#include "config/field_validation.h"
#include "gui/input_field.h"
#include "gui/resources_loader.h"
#include "gui/text_input.h"
#include "gui/text_input_popup.h"

#include <QApplication>
#include <QGraphicsDropShadowEffect>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(const input_field*)

class test_validation : public QObject {
    Q_OBJECT

    static std::unique_ptr<text_input> make_input(const input_field& field, QWidget* panel)
    {
        return std::make_unique<text_input>(field.placeholder, field.pattern, field.error_text,
                                            panel);
    }

    static QColor shadow_colour(const text_input& input)
    {
        auto* shadow = qobject_cast<QGraphicsDropShadowEffect*>(input.graphicsEffect());
        return shadow ? shadow->color() : QColor();
    }

private slots:
    void initTestCase()
    {
        load_resources();
    }

    void counted_length_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("length");
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("plain") << "rig" << 3;
        QTest::newRow("counter") << "rig(%d)" << 4;
        QTest::newRow("counter with width first") << "(%d,12)abc" << 5;
        QTest::newRow("14 plain and a 2-digit counter") << "abcdefghijklmn(%d,12)" << 16;
        QTest::newRow("two counters") << "(%d)(%d,123)" << 4;
        QTest::newRow("bracket closed inside the head") << "a(b)c" << 5;
        QTest::newRow("brackets around plain text") << "a(bcd)e" << 2;
        QTest::newRow("unfinished head") << "(%d" << 3;
        QTest::newRow("bracket at the end") << "ab(" << 3;
        QTest::newRow("bracket and percent at the end") << "ab(%" << 4;
        QTest::newRow("unfinished width") << "x(%d,12" << 7;
        QTest::newRow("closing bracket inside the head") << "a()%" << 4;
        QTest::newRow("finished then unfinished") << "(%d)ab(%d,1" << 8;
    }

    void counted_length()
    {
        QFETCH(QString, text);
        QFETCH(int, length);
        QCOMPARE(field_validation::counted_length(text.toStdString()), length);
    }

    void field_rules_data()
    {
        QTest::addColumn<const input_field*>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");

        const input_field* btc = &input_fields::btc;
        QTest::newRow("btc empty") << btc << "" << true;
        QTest::newRow("btc legacy") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpyT" << true;
        QTest::newRow("btc script") << btc << "3J98t1WpEZ73CNmQviecrnyiWrnqRhWNLy" << true;
        QTest::newRow("btc bech32") << btc << "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq" << false;
        QTest::newRow("btc 25 characters") << btc << "1BoatSLRHtKNngkdXEeobR76b" << false;
        QTest::newRow("btc 26 characters") << btc << "1BoatSLRHtKNngkdXEeobR76b5" << true;
        QTest::newRow("btc 35 characters") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpyTa" << true;
        QTest::newRow("btc 36 characters") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpyTab" << false;
        QTest::newRow("btc with 0") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpy0" << false;
        QTest::newRow("btc with O") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpyO" << false;
        QTest::newRow("btc with I") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpyI" << false;
        QTest::newRow("btc with l") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpyl" << false;
        QTest::newRow("btc trailing blank") << btc << "1BoatSLRHtKNngkdXEeobR76b53LETtpyT " << false;

        const input_field* worker = &input_fields::worker;
        QTest::newRow("worker empty") << worker << "" << true;
        QTest::newRow("worker counter") << worker << "(%d)" << true;
        QTest::newRow("worker counter with width") << worker << "(%d,7)" << true;
        QTest::newRow("worker unfinished counter") << worker << "(%d" << false;
        QTest::newRow("worker empty width") << worker << "(%d,)" << false;
        QTest::newRow("worker hyphen underscore") << worker << "rig-_1" << true;
        QTest::newRow("worker blank") << worker << "rig 1" << false;
        QTest::newRow("worker 15 plain") << worker << "abcdefghijklmno" << true;
        QTest::newRow("worker 16 plain") << worker << "abcdefghijklmnop" << false;
        QTest::newRow("worker 14 plain and counter") << worker << "abcdefghijklmn(%d)" << true;
        QTest::newRow("worker 14 plain and (%d,12)") << worker << "abcdefghijklmn(%d,12)" << false;
        QTest::newRow("worker 13 plain and (%d,12)") << worker << "abcdefghijklm(%d,12)" << true;

        const input_field* group = &input_fields::group;
        QTest::newRow("group 15") << group << "abcdefghijklmn_" << true;
        QTest::newRow("group 16") << group << "abcdefghijklmno-" << false;
        QTest::newRow("group blank") << group << "my group" << false;
        QTest::newRow("group counter") << group << "(%d)" << false;

        const input_field* ssid = &input_fields::ssid;
        QTest::newRow("ssid 1") << ssid << "a" << false;
        QTest::newRow("ssid 2") << ssid << "ab" << true;
        QTest::newRow("ssid 32") << ssid << QString(32, 'w') << true;
        QTest::newRow("ssid 33") << ssid << QString(33, 'w') << false;
        QTest::newRow("ssid trailing blank") << ssid << "ab " << false;
        QTest::newRow("ssid leading blank") << ssid << " ab" << false;
        QTest::newRow("ssid inner blank") << ssid << "my wifi" << true;
        QTest::newRow("ssid leading !") << ssid << "!ab" << false;
        QTest::newRow("ssid inner ?") << ssid << "a?b" << false;
        QTest::newRow("ssid inner ]") << ssid << "a]b" << false;
        QTest::newRow("ssid percent short") << ssid << "net%work" << true;
        QTest::newRow("ssid percent 16") << ssid << "abcdefghijklmn%o" << false;
        QTest::newRow("ssid unfinished bracket") << ssid << "wifi(%d" << true;
        QTest::newRow("ssid unfinished bracket long") << ssid << "wireless-net(%d,1" << false;

        const input_field* key = &input_fields::key;
        QTest::newRow("key 16 with percent") << key << "abcdefghijklmno%" << false;
        QTest::newRow("key 16 without percent") << key << "abcdefghijklmnop" << true;
        QTest::newRow("key 15 with percent") << key << "abcdefghijklmn%" << true;
        QTest::newRow("key long") << key << QString(64, 'k') << true;
        QTest::newRow("key bracket at the end") << key << "pass%(" << true;

        const input_field* ssh = &input_fields::ssh;
        QTest::newRow("ssh key") << ssh << "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIG user@rig" << true;
        QTest::newRow("ssh key with percent") << ssh << "ssh-ed25519 AAAA%C3NzaC1lZDI1NTE5" << false;
    }

    void field_rules()
    {
        QFETCH(const input_field*, field);
        QFETCH(QString, text);
        QFETCH(bool, valid);

        QWidget panel;
        auto input = make_input(*field, &panel);
        input->setText(text);
        QCOMPARE(input->is_valid(), valid);
        QCOMPARE(input->styleSheet().contains("border: 1px solid #e92424;color: #e92424;"), !valid);
        QCOMPARE(shadow_colour(*input), valid ? QColor(35, 35, 35, 40) : QColor(233, 36, 36, 40));
    }

    void validity_follows_every_change()
    {
        QWidget panel;
        auto input = make_input(input_fields::worker, &panel);
        QVERIFY(input->is_valid());
        input->setText("rig 1");
        QVERIFY(!input->is_valid());
        input->setText("");
        QVERIFY(input->is_valid());
        QVERIFY(input->styleSheet().contains("border: none;color: #3a3939;"));
    }

    void group_error_shows_the_worker_text()
    {
        QWidget panel;
        auto group = make_input(input_fields::group, &panel);
        panel.show();
        group->setText("my group");
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(group.get(), &enter);
        QVERIFY(group->popup()->isVisible());
        QCOMPARE(group->popup()->text(), QString("Invalid Worker name"));
    }
};

QTEST_MAIN(test_validation)
#include "test_validation.moc"
