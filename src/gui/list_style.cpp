#include "gui/list_style.h"

#include <QFrame>
#include <QListWidget>
#include <QScrollBar>

namespace list_style {

void style_list(QListWidget* list_widget)
{
    list_widget->hide();
    list_widget->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_widget->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list_widget->setStyleSheet(list);
    list_widget->verticalScrollBar()->setStyleSheet(scroll_bar);
}

void append_separator(QListWidget* list_widget, int width)
{
    auto* item = new QListWidgetItem(list_widget);
    item->setSizeHint(QSize(width, 1));
    auto* holder = new QFrame;
    auto* line = new QFrame(holder);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet("QFrame {border: 0px; background: #eeeeee;}");
    line->setGeometry(16, 0, 520, 1);
    list_widget->setItemWidget(item, holder);
}

} // namespace list_style
