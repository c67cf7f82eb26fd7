#include "fake_main_window.h"

#include <QLabel>
#include <QPushButton>

fake_main_window::fake_main_window()
{
    resize(610, 510);
}

void fake_main_window::hide_window()
{
    ++hidden;
    showMinimized();
}

void fake_main_window::dialog_window_open()
{
    ++opened;
}

void fake_main_window::dialog_window_closed()
{
    ++closed;
}

void fake_main_window::dont_show_again()
{
    ++dont_show;
}

namespace widget_probe {

QPushButton* button_at(QWidget* parent, const QPoint& position)
{
    for (QPushButton* button : parent->findChildren<QPushButton*>())
        if (button->pos() == position)
            return button;
    return nullptr;
}

bool shows_text(QWidget* parent, const QString& text)
{
    for (QLabel* label : parent->findChildren<QLabel*>())
        if (label->text() == text)
            return true;
    return false;
}

} // namespace widget_probe
