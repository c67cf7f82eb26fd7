// The window's fixed parts: the body with the form, the bottom frame and the footer, and
// where they sit for the window's current height.

#include "gui/main_window.h"

#include "gui/batch_panel.h"
#include "gui/device_selection.h"
#include "gui/input_field.h"
#include "gui/main_window_layout.h"
#include "gui/market_selection.h"
#include "gui/more_settings.h"
#include "gui/progress_button.h"
#include "gui/text_input.h"
#include "gui/text_input_popup.h"
#include "gui/titlebar.h"
#include "gui/tooltip.h"
#include "gui/tooltip_pop_up.h"
#include "gui/ui_style.h"
#include "gui/window_body.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

using namespace main_window_layout;

namespace {

QLabel* text_label(const QString& text, const char* style, const QFont& font, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(font);
    label->setStyleSheet(style);
    label->adjustSize();
    return label;
}

// Scrolls the form so that `field` shows whole with its shadow, and `above` pixels over it
// (its label) where there is room.
void show_whole(QScrollArea* form, const QWidget* field, int above)
{
    const int top = field->mapTo(form->widget(), QPoint()).y();
    form->ensureVisible(0, top + field->height(), 0, shadow_margin);
    form->ensureVisible(0, top, 0, above);
}

} // namespace

void main_window::m_build_form()
{
    window_body::take_in(m_titlebar);
    m_body->setFont(ui_style::ubuntu_regular());
    ui_style::icon_label(":/icons/number-1.svg", QSize(20, 20), m_body)->move(24, 70);
    text_label(tr("Select USB flash drive"), section_style, ui_style::ubuntu_medium(), m_body)
        ->move(52, 70);
    ui_style::form_separator(m_body)->move(24, form_top - 10);

    m_form_area = new QScrollArea(m_body);
    m_form_area->setFrameShape(QFrame::NoFrame);
    m_form_area->setStyleSheet("QScrollArea {background: #ffffff; border: none;}");
    m_form_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_form_area->verticalScrollBar()->setStyleSheet(scroll_bar_style);
    m_form = new QFrame;
    m_form->setObjectName("form");
    m_form->setStyleSheet("QFrame#form {background: #ffffff;}");
    m_form->setFixedSize(600, form_height);
    m_form_area->setWidget(m_form);
    m_batch_panel = new batch_panel(m_body);
    m_batch_panel->hide();

    ui_style::icon_label(":/icons/number-2.svg", QSize(20, 20), m_form)->move(24, 8);
    text_label(tr("Brindle OS configuration"), section_style, ui_style::ubuntu_medium(), m_form)
        ->move(52, 8);
    ui_style::icon_label(":/icons/card-information.svg", QSize(24, 24), m_form)->move(552, 6);

    m_optional_fields = new QFrame(m_form);
    m_optional_fields->setObjectName("optional_fields");
    m_optional_fields->setStyleSheet("QFrame#optional_fields {background: #ffffff;}");
    m_optional_fields->setGeometry(0, optional_fields_top + 20, 600,
                                   form_height - optional_fields_top - 20);

    // The form area cuts off what lies in it: the fields' bubbles lie over it, in the body, so
    // that a field at the area's top edge shows them whole.
    QList<QWidget*> bubbles;
    auto lift_over_form = [this, &bubbles](QWidget* bubble) {
        bubble->setParent(m_body);
        bubble->hide();
        bubbles << bubble;
    };
    auto make_input = [this, &lift_over_form](const input_field& field) {
        QWidget* panel = field.label_y >= optional_fields_top ? m_optional_fields : m_form;
        int top = field.label_y >= optional_fields_top ? optional_fields_top + 20 : 0;
        // The wireless name is optional although its row lies above the folding panel: it
        // folds away with the panel, out of sight and out of the focus chain.
        const bool folds_alone = panel == m_form && field.label_y >= input_fields::ssid.label_y;
        QLabel* label = text_label(tr(field.label), label_style, ui_style::ubuntu_regular(), panel);
        label->move(24, field.label_y - top);
        if (folds_alone)
            m_folded_rows << label;
        if (*field.help_text) {
            auto* help = new tooltip(field.help_text, label->width() + 28, field.label_y - top + 4, panel);
            lift_over_form(help->pop_up());
            if (folds_alone)
                m_folded_rows << help;
        }
        if (!*field.pattern)
            return static_cast<text_input*>(nullptr);
        auto* input = new text_input(field.placeholder, field.pattern, field.error_text, panel);
        int input_y = field.label_y - top + field.input_offset;
        input->move(24, input_y);
        lift_over_form(input->popup());
        if (folds_alone)
            m_folded_rows << input;
        // Typing in a field that the form area cuts off brings it into view, label and all.
        connect(input, &QLineEdit::textEdited, this, [this, input, above = field.input_offset] {
            show_whole(m_form_area, input, above);
        });
        return input;
    };
    m_btc = make_input(input_fields::btc);
    m_worker = make_input(input_fields::worker);
    m_group = make_input(input_fields::group);
    make_input(input_fields::location);
    m_wireless_ssid = make_input(input_fields::ssid);
    m_wireless_key = make_input(input_fields::key);
    m_ssh_key = make_input(input_fields::ssh);
    // Scrolled, a field leaves the pointer and its bubble, which would stay behind.
    connect(m_form_area->verticalScrollBar(), &QScrollBar::valueChanged, this, [bubbles] {
        for (QWidget* bubble : bubbles)
            bubble->hide();
    });

    m_market = new market_selection(m_form);
    m_market->move(24, input_fields::location.label_y + input_fields::location.input_offset);
    m_market->setGraphicsEffect(ui_style::normal_shadow(m_form));

    m_more_settings = new more_settings(m_body);

    m_bottom = new QFrame(m_body);
    m_bottom->setObjectName("bottom");
    m_bottom->setStyleSheet("QFrame#bottom {background: #ffffff;}");
    m_message = new QLabel(m_bottom);
    m_message->setObjectName("message");
    m_message->setFont(ui_style::ubuntu_medium());
    m_message->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    m_message->setGeometry(0, 4, 600, 24);
    m_message->hide();
    m_warning = text_label(tr("All data on selected device will be lost."), warning_style,
                           ui_style::ubuntu_regular(), m_bottom);
    m_progress_button = new progress_button(m_bottom);
    m_progress_button->disable();

    m_device_list = new device_selection(this);
    m_device_list->move(29, 117);
    m_device_list->setGraphicsEffect(ui_style::normal_shadow(this));
    window_body::take_in(m_device_list);
    m_layout_blocks();
}

void main_window::m_build_footer(const std::string& version)
{
    m_footer = new QFrame(m_body);
    m_footer->setObjectName("footer");
    m_footer->setStyleSheet("QFrame#footer {background: #ffffff; border-radius: 5px;}");
    ui_style::form_separator(m_footer)->move(24, 0);
    ui_style::icon_label(":/Kestrel/group.svg", QSize(150, 32), m_footer)->move(24, 28);
    ui_style::footer_separator(m_footer)->move(190, 32);
    text_label(QString("FLASH TOOL V") + QString::fromStdString(version), version_style,
               ui_style::roboto_regular(), m_footer)
        ->move(206, 36);
    m_layout_blocks();
}

void main_window::m_layout_blocks()
{
    if (!m_footer || !m_bottom)
        return;
    int body_height = height() - 10;
    m_body->resize(600, body_height);
    int extra = m_message_shown ? message_height - folded_height : 0;
    int bottom_top = body_height - footer_height - bottom_height + 5 - extra;
    m_footer->setGeometry(0, body_height - footer_height, 600, footer_height);
    m_bottom->setGeometry(0, bottom_top, 600, bottom_height + extra);
    m_warning->move(24, 8 + extra);
    m_progress_button->move(22, 40 + extra);
    m_message->setGeometry(0, 4, 600, 24);
    int link_top = bottom_top - 36;
    m_more_settings->move(24, link_top);
    m_form_area->setGeometry(0, form_top, 600, link_top - form_top - 4);
    m_batch_panel->setGeometry(m_form_area->geometry());
    m_form->setFixedHeight(m_unfolded ? form_height : optional_fields_top + 20);
    m_optional_fields->setVisible(m_unfolded);
    for (QWidget* row : m_folded_rows)
        row->setVisible(m_unfolded);
    // Unfolded, the form is taller than its area: show the fields just unfolded whole.
    if (m_unfolded && height() == m_window_height())
        show_whole(m_form_area, m_ssh_key, input_fields::ssh.input_offset);
}
