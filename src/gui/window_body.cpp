#include "gui/window_body.h"

#include <QWidget>

namespace window_body {

void take_in(QWidget* widget)
{
    QWidget* window = widget->parentWidget();
    QWidget* body =
        window ? window->findChild<QWidget*>(name, Qt::FindDirectChildrenOnly) : nullptr;
    if (!body || body == widget)
        return;
    const QPoint place = widget->pos() - body->pos();
    widget->setParent(body);
    widget->move(place);
}

} // namespace window_body
