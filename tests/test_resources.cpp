#include "gui/input_field.h"
#include "gui/more_settings.h"
#include "gui/resources_loader.h"
#include "gui/text_input.h"
#include "gui/text_input_popup.h"
#include "gui/tooltip.h"
#include "gui/tooltip_pop_up.h"
#include "gui/ui_style.h"

#include <QDirIterator>
#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSvgRenderer>
#include <QTest>

#include <functional>

class test_resources : public QObject {
    Q_OBJECT

    struct picture {
        const char* path;
        QSize size;
    };

    static const QList<picture>& pictures()
    {
        static const QList<picture> list{
            {":/button-progress/rectangle.svg", {556, 56}},
            {":/button-progress/rectangle-done.svg", {556, 56}},
            {":/button-progress/rectangle-empty.svg", {558, 58}},
            {":/icons/lightning-white.svg", {10, 19}},
            {":/icons/lightning-orange.svg", {10, 19}},
            {":/icons/done.svg", {18, 18}},
            {":/icons/flash-icon-success.svg", {41, 41}},
            {":/icons/number-1.svg", {20, 20}},
            {":/icons/number-2.svg", {20, 20}},
            {":/icons/close.svg", {14, 14}},
            {":/icons/hide.svg", {16, 2}},
            {":/icons/check-on.svg", {24, 24}},
            {":/icons/check-off.svg", {24, 24}},
            {":/icons/arrow-down.svg", {8, 5}},
            {":/icons/arrow-down-light.svg", {8, 5}},
            {":/icons/arrow-down-dark.svg", {8, 5}},
            {":/icons/arrow-up.png", {8, 5}},
            {":/icons/arrow-up-down.svg", {10, 13}},
            {":/icons/info-circle.png", {11, 11}},
            {":/icons/card-information.svg", {24, 24}},
            {":/usb-head/usb-head.svg", {16, 20}},
            {":/usb-head/usb-head-circle.svg", {40, 40}},
            {":/usb-head/usb-head-circle-grey.svg", {40, 40}},
            {":/Kestrel/group.svg", {150, 32}},
        };
        return list;
    }

    static QStringList font_paths()
    {
        return {":/fonts/Ubuntu/Ubuntu-Regular.ttf", ":/fonts/Ubuntu/Ubuntu-Medium.ttf",
                ":/fonts/Ubuntu/Ubuntu-Bold.ttf", ":/fonts/Roboto/Roboto-Regular.ttf"};
    }

    static bool has_visible_pixel(const QImage& image)
    {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 0)
                    return true;
        return false;
    }

    // The colour of the most opaque pixel.
    static QString strongest_colour(const QString& path)
    {
        QImage image = QImage(path).convertToFormat(QImage::Format_ARGB32);
        QRgb strongest = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > qAlpha(strongest))
                    strongest = image.pixel(x, y);
        return QColor(strongest).name();
    }

    // True when some pixel differs from the widget's plain background.
    static bool has_drawing(const QImage& image)
    {
        QRgb background = image.pixel(0, 0);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixel(x, y) != background)
                    return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        load_resources();
    }

    void bundle_holds_exactly_the_listed_files()
    {
        QStringList expected = font_paths();
        for (const picture& entry : pictures())
            expected << entry.path;
        QStringList found;
        for (const char* folder : {":/fonts", ":/icons", ":/button-progress", ":/usb-head", ":/Kestrel"}) {
            QDirIterator files(folder, QDir::Files, QDirIterator::Subdirectories);
            while (files.hasNext())
                found << files.next();
        }
        expected.sort();
        found.sort();
        QCOMPARE(found, expected);
    }

    void every_picture_loads_at_its_size()
    {
        for (const picture& entry : pictures()) {
            QPixmap pixmap(entry.path);
            QVERIFY2(!pixmap.isNull(), entry.path);
            QCOMPARE(pixmap.size(), entry.size);
            QVERIFY2(has_visible_pixel(pixmap.toImage()), entry.path);
            if (QString(entry.path).endsWith(".svg")) {
                QSvgRenderer renderer(QString(entry.path));
                QVERIFY2(renderer.isValid(), entry.path);
                QCOMPARE(renderer.defaultSize(), entry.size);
            }
        }
    }

    void pictures_carry_their_colours()
    {
        QImage bar = QPixmap(":/button-progress/rectangle.svg").toImage();
        QCOMPARE(QColor(bar.pixel(2, 28)).name(), QString("#fba342"));
        QCOMPARE(QColor(bar.pixel(553, 28)).name(), QString("#fbc241"));
        int half = qAlpha(QPixmap(":/button-progress/rectangle-done.svg").toImage().pixel(278, 28));
        QVERIFY(qAbs(half - 128) <= 1);
        QCOMPARE(strongest_colour(":/icons/info-circle.png"), QString("#959595"));
        QCOMPARE(strongest_colour(":/icons/arrow-up.png"), QString("#128ede"));
    }

    void every_font_registers_its_family()
    {
        const QStringList families{"Ubuntu", "Ubuntu", "Ubuntu", "Roboto"};
        for (int i = 0; i < font_paths().size(); ++i) {
            int id = QFontDatabase::addApplicationFont(font_paths()[i]);
            QVERIFY2(id != -1, qPrintable(font_paths()[i]));
            QVERIFY(QFontDatabase::applicationFontFamilies(id).first().startsWith(families[i]));
        }
    }

    void font_factories_data()
    {
        QTest::addColumn<QFont>("font");
        QTest::addColumn<QString>("family");
        QTest::addColumn<qreal>("spacing");
        QTest::newRow("Ubuntu Regular") << ui_style::ubuntu_regular() << "Ubuntu" << -0.02;
        QTest::newRow("Ubuntu Medium") << ui_style::ubuntu_medium() << "Ubuntu" << -0.03;
        QTest::newRow("Ubuntu Bold") << ui_style::ubuntu_bold() << "Ubuntu" << 1.0;
        QTest::newRow("Roboto Regular") << ui_style::roboto_regular() << "Roboto" << 2.0;
    }

    void font_factories()
    {
        QFETCH(QFont, font);
        QFETCH(QString, family);
        QFETCH(qreal, spacing);
        QVERIFY(font.family().startsWith(family));
        QVERIFY(QFontDatabase().families().contains(font.family()));
        QCOMPARE(QFontInfo(font).family(), font.family());
        QCOMPARE(font.letterSpacingType(), QFont::AbsoluteSpacing);
        // QFont keeps the spacing in 1/64 pixel steps.
        QVERIFY(qAbs(font.letterSpacing() - spacing) <= 1.0 / 64);
    }

    void widgets_render_with_bundled_icons_and_fonts()
    {
        QWidget panel;
        panel.resize(600, 700);
        panel.setStyleSheet("background: #ffffff;");

        const input_field& ssid = input_fields::ssid;
        auto* input = new text_input(ssid.placeholder, ssid.pattern, ssid.error_text, &panel);
        input->move(24, 376);
        input->setText("a");
        input->popup()->move(24, 376 - input->popup()->height());
        input->popup()->show();
        auto* tip = new tooltip(ssid.help_text, 120, 352, &panel);
        tip->pop_up()->show();
        auto* link = new more_settings(&panel);
        link->move(24, 600);

        int x = 0;
        for (const picture& entry : pictures()) {
            QLabel* icon = ui_style::icon_label(entry.path, entry.size, &panel);
            icon->move(x % 560, 420 + (x / 560) * 60);
            x += entry.size.width() + 4;
            QVERIFY2(!icon->pixmap(Qt::ReturnByValue).isNull(), entry.path);
        }

        QVERIFY(!panel.grab().isNull());
        QCOMPARE(QFontInfo(input->font()).family(), ui_style::ubuntu_regular().family());
        for (QWidget* widget : std::initializer_list<QWidget*>{input, input->popup(), tip, tip->pop_up()})
            QVERIFY(has_drawing(widget->grab().toImage()));
        for (auto show : std::initializer_list<std::function<void()>>{
                 [&] { link->show_more(); }, [&] { link->show_less(); }, [&] { link->disable(); }}) {
            show();
            QVERIFY(has_drawing(link->grab().toImage()));
        }
    }
};

QTEST_MAIN(test_resources)
#include "test_resources.moc"
