#include "gui/device_selection.h"

#include "base/logger.h"
#include "gui/all_sticks_row.h"
#include "gui/device_selection_widget.h"
#include "gui/device_size_text.h"
#include "gui/list_style.h"
#include "gui/stick_identity.h"
#include "gui/ui_style.h"
#include "run/disk_offer.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>

#include <algorithm>

namespace {

// The frame around the header; the rows and labels inside keep theirs.
const char* const framed_style = "QFrame#header {border: 1px solid #eeeeee; border-radius : 4px;}";
const char* const unframed_style = "QFrame#header {border: 0px; border-radius : 4px;}";

int list_height(std::size_t rows)
{
    int n = static_cast<int>(rows);
    return n < 3 ? 73 * n - 1 : 216 + n;
}

} // namespace

device_selection::device_selection(QWidget* parent) : QFrame(parent), m_parent(parent)
{
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(unframed_style);

    m_list = new QListWidget(this);
    m_list->move(0, 72);
    list_style::style_list(m_list);

    auto* header = new QFrame(this);
    header->setObjectName("header");
    header->setStyleSheet("QFrame#header {background: #ffffff;}");
    header->setFixedSize(552, 72);
    header->setGraphicsEffect(ui_style::normal_shadow(header));

    m_title = new QLabel(this);
    m_title->move(16, 16);
    m_title->setStyleSheet(device_size_text::dark_title);
    m_title->setFont(ui_style::ubuntu_regular());
    m_info = new QLabel(this);
    m_info->move(16, 40);
    m_info->setFont(ui_style::ubuntu_regular());

    m_arrow = ui_style::icon_label(":/icons/arrow-up-down.svg", QSize(9, 13), this);
    m_arrow->move(527, 30);

    resize(552, 72);
    m_show_no_device();
}

void device_selection::m_fit_labels()
{
    m_title->resize(m_title->sizeHint().width(), 20);
    m_info->resize(m_info->sizeHint().width(), 16);
}

void device_selection::m_show_no_device()
{
    m_title->setText(tr("No external USB flash drive detected!"));
    m_info->setText(tr("To continue, insert USB flash drive"));
    m_info->setStyleSheet(device_size_text::red_info);
    m_arrow->hide();
    m_fit_labels();
}

void device_selection::m_show_prompt()
{
    m_title->setText(tr("Select external USB flash drive"));
    m_title->setStyleSheet(device_size_text::dark_title);
    m_info->setText(tr("Make sure that selected USB flash drive is empty!"));
    m_info->setStyleSheet(device_size_text::grey_info);
    setEnabled(true);
    m_fit_labels();
}

void device_selection::m_device_selected()
{
    m_device_ok = false;
    if (m_all_selected) {
        const std::vector<std::shared_ptr<device>> sticks = m_batch.empty() ? m_usable() : m_batch;
        std::uint64_t total = 0;
        for (const std::shared_ptr<device>& stick : sticks)
            total += stick->size;
        KESTREL_LOG(logger::info, "Shown devices: all " << sticks.size() << " sticks");
        m_title->setText(all_sticks_row::title(int(sticks.size())));
        m_title->setStyleSheet(device_size_text::dark_title);
        m_info->setText(device_size_text::gigabytes(total) + tr(" in all"));
        m_info->setStyleSheet(device_size_text::grey_info);
        m_device_ok = true;
        m_fit_labels();
        return;
    }
    if (!m_selected) {
        m_show_prompt();
        return;
    }
    KESTREL_LOG(logger::info, "Shown device: " << m_selected->name << ", size: " << m_selected->size);
    m_title->setText(stick_identity::text(*m_selected, m_devices));
    if (disk_offer::verdict_for(*m_selected) != disk_offer::verdict::too_small) {
        m_device_ok = true;
        m_title->setStyleSheet(device_size_text::dark_title);
        m_info->setText(device_size_text::gigabytes(m_selected->size));
        m_info->setStyleSheet(device_size_text::grey_info);
    } else {
        m_title->setStyleSheet(device_size_text::grey_title);
        QString note = tr("Not enough space (4GB minimum)");
        m_info->setText(m_selected->size < device_size_text::minimum_size
                            ? QString::asprintf("%f", m_selected->size / 1e9) + " GB -" +
                                  device_size_text::red_note(" " + note)
                            : QString::asprintf("%f", m_selected->size / 1e6) + " MB -" +
                                  device_size_text::red_note(note));
    }
    m_fit_labels();
}

// Forgetting the shown disk also forgets that it was usable.
void device_selection::m_deselect()
{
    m_selected.reset();
    m_all_selected = false;
    m_device_ok = false;
}

std::vector<std::shared_ptr<device>> device_selection::m_usable() const
{
    std::vector<std::shared_ptr<device>> usable;
    for (const std::shared_ptr<device>& disk : m_devices)
        if (disk_offer::verdict_for(*disk) != disk_offer::verdict::too_small)
            usable.push_back(disk);
    return usable;
}

void device_selection::m_resize_unfolded()
{
    // The row of every stick at once follows the disks, where there is one.
    int height = list_height(m_devices.size() + (m_usable().size() >= 2 ? 1 : 0));
    resize(552, height + 72);
    m_list->resize(552, height);
}

void device_selection::update_devices_list(std::vector<std::shared_ptr<device>> devices)
{
    m_devices = std::move(devices);
    m_list->clear();

    m_resize_unfolded();
    collapse();

    // A selection found again keeps its record; one whose disk is gone is dropped, and once the
    // user has picked a disk nothing but the user selects one again.
    if (m_selected
        && std::none_of(m_devices.begin(), m_devices.end(),
                        [&](const std::shared_ptr<device>& disk) {
                            return same_disk(*disk, *m_selected);
                        }))
        m_deselect();
    // Every stick at once while there are two or more to flash.
    if (m_all_selected && m_usable().size() < 2 && m_batch.empty())
        m_deselect();
    const bool choice_to_make =
        m_devices.size() >= 2 || (m_devices.size() == 1 && m_user_picked && !m_selected);

    if (!choice_to_make) {
        m_clickable = false;
        m_arrow->hide();
        setCursor(Qt::ForbiddenCursor);
        setStyleSheet(framed_style);
        setGraphicsEffect(nullptr);
        if (m_devices.size() == 1) {
            KESTREL_LOG(logger::debug, "Found 1 device");
            if (!m_selected)
                m_selected = m_devices.front();
            m_device_selected();
        } else {
            KESTREL_LOG(logger::debug, "No device found");
            m_show_no_device();
            m_deselect();
        }
    } else {
        setStyleSheet(unframed_style);
        setGraphicsEffect(ui_style::normal_shadow(this));
        m_clickable = true;
        m_arrow->show();
        m_device_selected();
        setCursor(Qt::PointingHandCursor);
    }

    for (std::size_t index = 0; index < m_devices.size(); ++index) {
        const std::shared_ptr<device>& disk = m_devices[index];
        auto* row = new device_selection_widget(disk, stick_identity::text(*disk, m_devices), this);
        auto* item = new QListWidgetItem(m_list);
        item->setSizeHint(QSize(552, 72));
        m_list->setItemWidget(item, row);

        if (disk_offer::verdict_for(*disk) != disk_offer::verdict::too_small)
            connect(row, SIGNAL(clicked(std::shared_ptr<device>)), this,
                    SLOT(select_device(std::shared_ptr<device>)));

        if (index + 1 < m_devices.size())
            list_style::append_separator(m_list, 552);
    }
    const std::vector<std::shared_ptr<device>> usable = m_usable();
    if (usable.size() >= 2) {
        std::uint64_t total = 0;
        for (const std::shared_ptr<device>& stick : usable)
            total += stick->size;
        list_style::append_separator(m_list, 552);
        auto* row = new all_sticks_row(int(usable.size()), total, this);
        auto* item = new QListWidgetItem(m_list);
        item->setSizeHint(QSize(552, 72));
        m_list->setItemWidget(item, row);
        connect(row, &all_sticks_row::clicked, this, &device_selection::select_all);
    }
}

void device_selection::select_device(std::shared_ptr<device> device)
{
    m_user_picked = true;
    m_all_selected = false;
    m_selected = std::move(device);
    m_list->hide();
    m_device_selected();
    resize(552, 72);
}

void device_selection::select_all()
{
    m_user_picked = true;
    m_all_selected = true;
    m_selected.reset();
    m_list->hide();
    m_device_selected();
    resize(552, 72);
}

std::shared_ptr<device> device_selection::selected_device() const
{
    return m_selected;
}

std::vector<std::shared_ptr<device>> device_selection::selected_devices() const
{
    if (m_all_selected)
        return m_usable();
    if (m_selected)
        return {m_selected};
    return {};
}

bool device_selection::all_selected() const
{
    return m_all_selected;
}

void device_selection::hold_batch(std::vector<std::shared_ptr<device>> batch)
{
    m_batch = std::move(batch);
    collapse();
}

bool device_selection::is_device_ok() const
{
    return m_device_ok;
}

void device_selection::collapse()
{
    m_list->hide();
    if (m_devices.empty())
        m_show_no_device();
    else
        m_device_selected();
    resize(552, 72);
}

void device_selection::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_clickable)
        return;
    if (m_list->isVisible()) {
        collapse();
        m_device_selected();
        return;
    }
    m_show_prompt();
    if (QWidget* focused = m_parent ? m_parent->focusWidget() : nullptr)
        focused->clearFocus();
    m_resize_unfolded();
    m_list->show();
}
