#include "gui/end_dialog.h"

#include "gui/checkbox.h"
#include "gui/dialog_card.h"
#include "gui/ui_style.h"
#include "gui/window_body.h"

#include <QGraphicsDropShadowEffect>
#include <QGridLayout>
#include <QScrollArea>

#include <algorithm>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

// The maker's pages behind the two "here." links.
const char* const bios_settings_url = "https://support.kestrel.example/recommended-bios-settings";
const char* const overclocking_guide_url = "https://blog.kestrel.example/overclocking-guide";

QLabel* text_label(const QString& text, const QRect& geometry, const QFont& font, const char* style,
                   Qt::Alignment alignment, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    label->setFixedSize(geometry.size());
    label->setFont(font);
    label->setStyleSheet(style);
    label->setAlignment(alignment);
    label->setWordWrap(true);
    return label;
}

QString with_link(const char* text, const char* url)
{
    return QString(text) + "<a style=\"color: #128ede; text-decoration: none;\" href=\"" + url +
           "\">here. " + QChar(0x2197) + QChar(0xFE0E) + "</a>";
}

// A line across the page with its text centred: a box just as wide as the text wraps its
// last word ("here. ↗") onto a second, hidden line as soon as the font runs a little wider.
QLabel* link_label(const QString& text, int top, QWidget* parent)
{
    QLabel* label = text_label(text, QRect(24, top, 552, 16), ui_style::ubuntu_regular(),
                               "QLabel {font-size: 12px; text-align: center; line-height: 1.43; "
                               "color: #959595; letter-spacing: -0.03px;}",
                               Qt::AlignCenter, parent);
    label->setTextFormat(Qt::RichText);
    label->setOpenExternalLinks(true);
    return label;
}

} // namespace

end_dialog::end_dialog(QWidget* parent, const QString& worker) : QFrame(parent)
{
    m_build({});
    // Under the heading, before the steps: the name the rig will show up with.
    if (!worker.isEmpty())
        text_label(tr("Worker name on the stick: %1").arg(worker), QRect(24, 115, 552, 18), ui_style::ubuntu_medium(),
                   "QLabel {font-size: 12px; line-height: 1.43; color: #68b641; letter-spacing: -0.03px;}",
                   Qt::AlignTop | Qt::AlignHCenter, this);
}

end_dialog::end_dialog(QWidget* parent, const std::vector<stick_row>& batch) : QFrame(parent)
{
    m_build(batch);
}

void end_dialog::m_build(const std::vector<stick_row>& batch)
{
    setFixedSize(600, 444);
    move(5, 53);
    window_body::take_in(this);
    // The page's white reaches neither its icons nor its check box.
    setStyleSheet(".end_dialog {border-radius: 4px;border: none;background-color: #ffffff;}");

    const Qt::Alignment top_centre = Qt::AlignTop | Qt::AlignVCenter;
    const char* const title_style = "QLabel {font-size: 16px; line-height: 1.43; color: #3a3939; "
                                    "letter-spacing: -0.03px;}";
    const char* const subtitle_style = "QLabel {font-size: 14px; line-height: 1.43; color: #3a3939; "
                                       "letter-spacing: -0.03px;}";
    const long flashed = std::count_if(batch.begin(), batch.end(), [](const stick_row& row) { return row.flashed; });
    if (batch.empty() || flashed == long(batch.size())) {
        ui_style::icon_label(":/icons/flash-icon-success.svg", QSize(41, 41), this)->move(280, 8);
        text_label("USB Flashing Successful!", QRect(209, 65, 300, 24), ui_style::ubuntu_medium(), title_style,
                   top_centre, this);
        text_label("You are almost ready to start mining!", QRect(183, 93, 235, 20), ui_style::ubuntu_regular(),
                   subtitle_style, top_centre, this);
    } else {
        // Not the green check: a stick that is not flashed, greyed out.
        ui_style::icon_label(":/usb-head/usb-head-circle-grey.svg", QSize(41, 41), this)->move(280, 8);
        const bool any_failed =
            std::any_of(batch.begin(), batch.end(), [](const stick_row& row) { return row.failed; });
        const QString title = flashed == 0 ? tr("No USB stick flashed")
            : any_failed                   ? tr("Some USB sticks failed")
                                           : tr("Some USB sticks were stopped");
        text_label(title, QRect(150, 65, 300, 24), ui_style::ubuntu_medium(), title_style,
                   Qt::AlignTop | Qt::AlignHCenter, this);
        text_label(tr("%1 of %2 USB sticks flashed").arg(flashed).arg(batch.size()), QRect(150, 93, 300, 20),
                   ui_style::ubuntu_regular(), subtitle_style, Qt::AlignTop | Qt::AlignHCenter, this);
    }
    if (!batch.empty())
        m_add_batch(batch);
    else
        m_add_steps();
    link_label(with_link("Learn more about recommended BIOS settings ", bios_settings_url),
               298, this);
    link_label(with_link("Learn more about Kestrel overclocking guide ", overclocking_guide_url),
               318, this);

    m_dont_show_again = new checkbox("Dont show this again", this);
    m_dont_show_again->move(226, 418);

    auto* face = new QLabel(this);
    face->setObjectName("acpt");
    face->setPixmap(QPixmap(":/button-progress/rectangle.svg"));
    face->setScaledContents(true);
    face->setGeometry(188, 362, 224, 40);
    face->setStyleSheet("QFrame#acpt{border-radius:4px;background: #ffffff;}");
    face->setGraphicsEffect(ui_style::normal_shadow(face));
    auto* face_text = new QLabel("FLASH NEW USB", face);
    face_text->move(61, 13);
    face_text->setStyleSheet(
        "QLabel {background:transparent; color: #ffffff;font-size: 12px;border: none;}");
    face_text->setFont(ui_style::ubuntu_bold());
    face_text->adjustSize();

    QPushButton* button = dialog_card::click_surface(this, face->geometry());
    connect(button, SIGNAL(clicked()), this, SLOT(m_clicked()));
}

void end_dialog::m_add_steps()
{
    const Qt::Alignment top_centre = Qt::AlignTop | Qt::AlignVCenter;
    ui_style::icon_label(":/icons/number-1.svg", QSize(20, 20), this)->move(280, 137);
    text_label("Plug the USB drive into your mining rig.", QRect(194, 165, 250, 16),
               ui_style::ubuntu_regular(),
               "QLabel {font-size: 12px; line-height: 1.43; color: #3a3939; "
               "letter-spacing: -0.03px;}",
               top_centre, this);
    ui_style::icon_label(":/icons/number-2.svg", QSize(20, 20), this)->move(280, 213);
    text_label("Change the primary boot device on your mining rig to a USB drive.",
               QRect(173, 242, 255, 32), ui_style::ubuntu_regular(),
               "QLabel {font-size: 12px; text-align: center; line-height: 1.43; color: #3a3939; "
               "letter-spacing: -0.03px;}",
               Qt::AlignCenter, this);
}

void end_dialog::m_add_batch(const std::vector<stick_row>& batch)
{
    // A row per stick, scrolled where there are more than room shows.
    auto* area = new QScrollArea(this);
    area->setObjectName("batch");
    area->setGeometry(24, 130, 552, 156);
    area->setFrameShape(QFrame::NoFrame);
    area->setStyleSheet("QScrollArea#batch {background: #ffffff; border: none;}");
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* rows = new QWidget(area);
    rows->setObjectName("rows");
    rows->setStyleSheet("QWidget#rows {background: #ffffff;}");
    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(4);
    const char* const dark = "QLabel {font-size: 12px; color: #3a3939;}";
    for (int index = 0; index < int(batch.size()); ++index) {
        const stick_row& stick = batch[std::size_t(index)];
        const QStringList cells {stick.name, stick.size, stick.worker, stick.outcome};
        for (int column = 0; column < cells.size(); ++column) {
            auto* cell = new QLabel(cells[column], rows);
            cell->setFont(ui_style::ubuntu_regular());
            cell->setStyleSheet(column < 3 ? dark
                                : stick.flashed ? "QLabel {font-size: 12px; color: #68b641;}"
                                                : "QLabel {font-size: 12px; color: #e92424;}");
            grid->addWidget(cell, index, column);
        }
    }
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(int(batch.size()), 1);
    area->setWidget(rows);
    area->setWidgetResizable(true);
}

void end_dialog::m_clicked()
{
    if (m_dont_show_again->is_checked())
        dialog_card::notify_parent(this, "dont_show_again");
    dialog_card::close(this);
}
