#include "gui/titlebar.h"

#include "gui/dialog_window.h"
#include "gui/ui_style.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

titlebar::titlebar(QWidget* window, std::function<bool()> is_busy)
    : QFrame(window), m_window(window), m_is_busy(std::move(is_busy))
{
    setObjectName("title_bar");
    setStyleSheet("QFrame#title_bar {border-radius: 5px;}");
    setMouseTracking(true);
    resize(600, 47);

    ui_style::icon_label(":/icons/hide.svg", QSize(16, 2), this)->move(536, 29);
    auto* minimise = new QPushButton(this);
    minimise->setFlat(true);
    minimise->setGeometry(536, 26, 16, 6);
    minimise->setStyleSheet("QPushButton:pressed{border: none}");
    minimise->setCursor(Qt::PointingHandCursor);
    connect(minimise, SIGNAL(clicked()), m_window, SLOT(hide_window()));

    ui_style::icon_label(":/icons/close.svg", QSize(14, 14), this)->move(570, 17);
    m_close = new QPushButton(this);
    // An icon has no text to be found by.
    m_close->setObjectName("close");
    m_close->setFlat(true);
    m_close->setGeometry(570, 17, 14, 14);
    m_close->setCursor(Qt::PointingHandCursor);
    connect(m_close, SIGNAL(clicked()), this, SLOT(m_close_dialog()));
}

void titlebar::set_close_forbidden_cursor()
{
    m_close->setCursor(Qt::ForbiddenCursor);
}

void titlebar::set_close_pointing_cursor()
{
    m_close->setCursor(Qt::PointingHandCursor);
}

void titlebar::mousePressEvent(QMouseEvent* event)
{
    setCursor(Qt::ClosedHandCursor);
    m_dragging = true;
    m_press_position = event->pos();
}

void titlebar::mouseMoveEvent(QMouseEvent* event)
{
    // The bar moves with the window, so the offset from the press point is the whole step.
    if (m_dragging)
        m_window->move(m_window->pos() + (event->pos() - m_press_position));
}

void titlebar::mouseReleaseEvent(QMouseEvent*)
{
    m_dragging = false;
    setCursor(Qt::ArrowCursor);
}

void titlebar::m_close_dialog()
{
    if (!m_is_busy()) {
        m_window->close();
        return;
    }
    auto* dialog = new dialog_window(
        "Flashing is in progress, are you certain you want to stop flashing? <font "
        "color=\"#3a3939\">Progress will be lost!</font>",
        tr("Stop flashing?").toStdString(), tr("CONTINUE").toStdString(),
        tr("STOP FLASHING").toStdString(), true, m_window);
    dialog->ask_about_run();
    dialog->show();
    connect(dialog, SIGNAL(accepted()), m_window, SLOT(close()));
}
