#include "gui/market_selection_element.h"

#include "gui/device_size_text.h"
#include "gui/market_selection.h"
#include "gui/ui_style.h"

#include <QLabel>
#include <QMouseEvent>

market_selection_element::market_selection_element(const std::string& value,
                                                   market_selection* owner)
    : m_value(value), m_owner(owner)
{
    setFixedSize(552, 40);
    auto* label = new QLabel(QString::fromStdString(m_value), this);
    label->move(16, 16);
    label->setFont(ui_style::ubuntu_regular());
    label->setStyleSheet(device_size_text::dark_title);
    label->adjustSize();
}

void market_selection_element::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // Selecting rebuilds the list, which schedules this element's deletion: keep what is needed.
    market_selection* owner = m_owner;
    emit clicked(m_value);
    emit owner->item_selected();
}
