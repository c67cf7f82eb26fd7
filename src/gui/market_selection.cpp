#include "gui/market_selection.h"

#include "gui/device_size_text.h"
#include "gui/list_style.h"
#include "gui/market_selection_element.h"
#include "gui/ui_style.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>

market_selection::market_selection(QWidget* parent)
    : QFrame(parent), m_regions{{"Europe", "eu"}, {"United States of America", "usa"}},
      m_owner(parent)
{
    setStyleSheet(".market_selection {background: #ffffff; border-radius : 4px; border: 0px}");
    setCursor(Qt::PointingHandCursor);
    resize(552, 40);

    auto* header = new QFrame(this);
    header->setGeometry(0, 0, 552, 40);
    header->setStyleSheet("QFrame {background: #ffffff;}");
    header->setGraphicsEffect(ui_style::normal_shadow(header));

    m_name = new QLabel(this);
    m_name->move(16, 12);
    m_name->setFont(ui_style::ubuntu_medium());
    m_name->setStyleSheet(device_size_text::dark_title);

    ui_style::icon_label(":/icons/arrow-up-down.svg", QSize(9, 13), this)->move(527, 15);

    m_list = new QListWidget(this);
    m_list->move(0, 40);
    list_style::style_list(m_list);

    m_show_current();
    m_rebuild_list();
}

void market_selection::m_show_current()
{
    m_name->setText(QString::fromStdString(m_current));
    m_name->resize(m_name->sizeHint().width(), 20);
}

void market_selection::m_rebuild_list()
{
    m_list->clear();
    m_list->hide();
    resize(552, 40);
    for (const auto& region : m_regions) {
        if (region.first == m_current)
            continue;
        auto* item = new QListWidgetItem(m_list);
        item->setSizeHint(QSize(552, 40));
        auto* element = new market_selection_element(region.first, this);
        m_list->setItemWidget(item, element);
        list_style::append_separator(m_list, 552);
        connect(element, SIGNAL(clicked(std::string)), this, SLOT(select_value(std::string)));
    }
}

void market_selection::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_list->isVisible()) {
        collapse();
        return;
    }
    setEnabled(true);
    if (QWidget* focused = m_owner ? m_owner->focusWidget() : nullptr)
        focused->clearFocus();
    resize(552, 80);
    m_list->resize(552, 42);
    m_list->show();
}

void market_selection::collapse()
{
    m_list->hide();
    resize(552, 40);
}

void market_selection::select_value(const std::string& name)
{
    m_current = name;
    m_show_current();
    m_rebuild_list();
}

void market_selection::set_code(const std::string& code)
{
    for (const auto& region : m_regions) {
        if (region.second == code) {
            m_current = region.first;
            m_show_current();
        }
    }
    m_rebuild_list();
}

std::string market_selection::code() const
{
    auto region = m_regions.find(m_current);
    return region == m_regions.end() ? std::string() : region->second;
}
