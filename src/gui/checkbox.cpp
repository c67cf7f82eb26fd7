#include "gui/checkbox.h"

#include "gui/ui_style.h"

#include <QLabel>
#include <QPushButton>

checkbox::checkbox(const std::string& text, QWidget* parent) : QFrame(parent)
{
    setStyleSheet(".checkbox {border: none; background-color: #ffffff;}");
    resize(300, 24);

    auto* label = new QLabel(QString::fromStdString(text), this);
    label->move(24, 4);
    label->setFixedSize(255, 32);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(ui_style::ubuntu_regular());
    label->setStyleSheet("QLabel {font-size: 12px; text-align: center; line-height: 1.43; "
                         "color: #3a3939; letter-spacing: -0.03px;}");

    m_checked_icon = ui_style::icon_label(":/icons/check-on.svg", QSize(20, 20), this);
    m_checked_icon->move(0, 0);
    m_checked_icon->hide();
    m_unchecked_icon = ui_style::icon_label(":/icons/check-off.svg", QSize(20, 20), this);
    m_unchecked_icon->move(0, 0);

    auto* button = new QPushButton(this);
    button->setFlat(true);
    button->setFixedSize(300, 24);
    button->setStyleSheet("QPushButton:pressed{border: none}");
    button->setCursor(Qt::PointingHandCursor);
    connect(button, SIGNAL(clicked()), this, SLOT(changed()));
}

bool checkbox::is_checked() const
{
    return m_checked;
}

void checkbox::changed()
{
    m_checked = !m_checked;
    m_checked_icon->setVisible(m_checked);
    m_unchecked_icon->setVisible(!m_checked);
}
