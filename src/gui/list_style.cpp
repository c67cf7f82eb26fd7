#include "gui/list_style.h"

#include <QFrame>
#include <QListWidget>
#include <QScrollBar>

namespace list_style {

void style_list(QListWidget* list)
{
    list->hide();
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    list->setStyleSheet(list_style::list);
    list->verticalScrollBar()->setStyleSheet(scroll_bar);
}

void append_separator(QListWidget* list, int width)
{
    auto* item = new QListWidgetItem(list);
    item->setSizeHint(QSize(width, 1));
    auto* holder = new QFrame;
    auto* line = new QFrame(holder);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setStyleSheet("QFrame {border: 0px; background: #eeeeee;}");
    line->setGeometry(16, 0, 520, 1);
    list->setItemWidget(item, holder);
}

} // namespace list_style
