#include "gui/device_selection_widget.h"

#include "gui/device_selection.h"
#include "gui/device_size_text.h"
#include "gui/ui_style.h"
#include "run/disk_offer.h"

#include <QLabel>
#include <QMouseEvent>

device_selection_widget::device_selection_widget(std::shared_ptr<device> device, const QString& name_text,
                                                 device_selection* owner)
    : m_device(std::move(device)), m_owner(owner)
{
    setFixedSize(552, 72);
    bool large_enough = disk_offer::verdict_for(*m_device) != disk_offer::verdict::too_small;

    auto* icon = ui_style::icon_label(large_enough ? ":/usb-head/usb-head-circle.svg"
                                                   : ":/usb-head/usb-head-circle-grey.svg",
                                      QSize(40, 40), this);
    icon->move(16, 19);

    auto* name = new QLabel(name_text, this);
    name->move(72, 16);
    name->setFont(ui_style::ubuntu_regular());
    name->setStyleSheet(large_enough ? device_size_text::dark_title : device_size_text::grey_title);
    name->adjustSize();

    QString size_text = device_size_text::gigabytes(m_device->size);
    if (!large_enough) {
        size_text = m_device->size > 1000000000
                        ? QString::number(m_device->size / 1e9, 'f', 2) + " GB - "
                        : QString::number(m_device->size / 1e6, 'f', 2) + " MB - ";
        size_text += device_size_text::red_note(" " + tr("Not enough space (2GB minimum)"));
    }
    auto* size = new QLabel(size_text, this);
    size->move(73, 40);
    size->setFont(ui_style::ubuntu_regular());
    size->setStyleSheet(device_size_text::grey_info);
    size->adjustSize();
}

void device_selection_widget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    emit clicked(m_device);
    emit m_owner->item_selected();
}
