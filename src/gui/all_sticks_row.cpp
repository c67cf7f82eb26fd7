#include "gui/all_sticks_row.h"

#include "gui/device_selection.h"
#include "gui/device_size_text.h"
#include "gui/ui_style.h"

#include <QLabel>
#include <QMouseEvent>

all_sticks_row::all_sticks_row(int count, std::uint64_t total_size, device_selection* owner)
    : m_owner(owner)
{
    setFixedSize(552, 72);
    ui_style::icon_label(":/usb-head/usb-head-circle.svg", QSize(40, 40), this)->move(16, 19);

    auto* name = new QLabel(title(count), this);
    name->move(72, 16);
    name->setFont(ui_style::ubuntu_regular());
    name->setStyleSheet(device_size_text::dark_title);
    name->adjustSize();

    auto* size = new QLabel(device_size_text::gigabytes(total_size) + tr(" in all"), this);
    size->move(73, 40);
    size->setFont(ui_style::ubuntu_regular());
    size->setStyleSheet(device_size_text::grey_info);
    size->adjustSize();
}

QString all_sticks_row::title(int count)
{
    return tr("All USB sticks (%1)").arg(count);
}

void all_sticks_row::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    emit clicked();
    emit m_owner->item_selected();
}
