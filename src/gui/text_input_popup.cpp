#include "gui/text_input_popup.h"

#include "gui/bubble_text.h"
#include "gui/ui_style.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>

text_input_popup::text_input_popup(const std::string& error_text, QWidget* parent)
    : QFrame(parent)
{
    setStyleSheet(".text_input_popup {background: transparent;border-radius: 5px;}");
    auto* bubble = new QFrame(this);
    bubble->setObjectName("bubble");
    bubble->setStyleSheet("QFrame#bubble {background: #3a3939;border-radius: 5px}");
    bubble->setGraphicsEffect(ui_style::normal_shadow(bubble));

    m_text = new QLabel(tr(error_text.c_str()), bubble);
    m_text->setStyleSheet("QLabel {font-size: 12px;font-weight: normal;line-height: 1.33;"
                          "color: #fcfcfc;background: transparent;border: none;}");
    m_text->setFont(ui_style::ubuntu_regular());
    m_text->setWordWrap(true);
    m_text->move(16, 8);
    bubble->resize(fit_bubble_text(m_text) + QSize(32, 16));

    auto* arrow = ui_style::icon_label(":/icons/arrow-down-dark.svg", QSize(8, 5), this);
    arrow->setGraphicsEffect(ui_style::normal_shadow(arrow));
    arrow->move(20, bubble->height());

    resize(bubble->width(), bubble->height() + arrow->height());
}

QString text_input_popup::text() const
{
    return m_text->text();
}
