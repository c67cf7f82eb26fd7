#include "gui/bubble_place.h"

#include <QWidget>

void show_bubble_above(QWidget* bubble, const QWidget* anchor, int left)
{
    const QPoint corner =
        anchor->parentWidget()->mapTo(anchor->window(), QPoint(left, anchor->y()));
    QWidget* parent = bubble->parentWidget();
    bubble->move(parent->mapFrom(parent->window(), corner) - QPoint(0, bubble->height()));
    bubble->show();
    bubble->raise();
}
