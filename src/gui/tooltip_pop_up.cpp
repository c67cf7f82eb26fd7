#include "gui/tooltip_pop_up.h"

#include "gui/bubble_text.h"
#include "gui/ui_style.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>

tooltip_pop_up::tooltip_pop_up(const std::string& text, int arrow_x, QWidget* parent)
    : QFrame(parent)
{
    setStyleSheet(".tooltip_pop_up {background: transparent}");
    auto* bubble = new QFrame(this);
    bubble->setObjectName("bubble");
    bubble->setStyleSheet("QFrame#bubble {background: #3a3939;border-radius: 5px}");
    bubble->setGraphicsEffect(ui_style::normal_shadow(bubble));

    m_text = new QLabel(tr(text.c_str()), bubble);
    m_text->setStyleSheet("QLabel {font-size: 12px;font-weight: normal;line-height: 1.33;"
                          "color: #fcfcfc;background: transparent;}");
    m_text->setFont(ui_style::ubuntu_regular());
    m_text->move(16, 8);
    bubble->resize(fit_bubble_text(m_text) + QSize(32, 16));

    auto* arrow = ui_style::icon_label(":/icons/arrow-down-dark.svg", QSize(8, 5), this);
    arrow->setGraphicsEffect(ui_style::normal_shadow(arrow));
    arrow->move(arrow_x, bubble->height());

    resize(bubble->width(), bubble->height() + arrow->height());
}

QString tooltip_pop_up::text() const
{
    return m_text->text();
}
