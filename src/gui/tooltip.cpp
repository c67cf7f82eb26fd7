#include "gui/tooltip.h"

#include "gui/bubble_place.h"
#include "gui/tooltip_pop_up.h"

#include <QPixmap>

namespace {

// The bubble starts at the form's left margin; its arrow sits this far left of the icon.
const int bubble_left = 24;
const int arrow_shift = 23;

} // namespace

tooltip::tooltip(const std::string& help_text, int x, int y, QWidget* parent)
    : QLabel(parent)
{
    setPixmap(QPixmap(":/icons/info-circle.png"));
    setScaledContents(true);
    setFixedSize(11, 11);
    move(x, y);
    setMouseTracking(true);

    m_pop_up = new tooltip_pop_up(help_text, x - arrow_shift, parent);
    m_pop_up->move(bubble_left, y - m_pop_up->height());
    m_pop_up->hide();
}

tooltip_pop_up* tooltip::pop_up() const
{
    return m_pop_up;
}

void tooltip::enterEvent(QEvent* event)
{
    show_bubble_above(m_pop_up, this, bubble_left);
    setCursor(Qt::PointingHandCursor);
    // A focused input would keep its blinking cursor drawn over the bubble.
    if (QWidget* focused = parentWidget()->focusWidget())
        focused->clearFocus();
    QLabel::enterEvent(event);
}

void tooltip::leaveEvent(QEvent* event)
{
    m_pop_up->hide();
    QLabel::leaveEvent(event);
}
