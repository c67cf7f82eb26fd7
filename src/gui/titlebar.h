#pragma once
// The frameless window's title bar: drags the window, minimises it, and closes it (asking
// "Stop flashing?" first while a run is under way).

#include <QFrame>
#include <QPoint>

#include <functional>

class QPushButton;

class titlebar : public QFrame {
    Q_OBJECT

public:
    // `window` is the main window the bar moves, minimises (through its `hide_window()` slot)
    // and closes; `is_busy` tells whether a download or a flash is under way.
    titlebar(QWidget* window, std::function<bool()> is_busy);

    // While a confirmation card is up the close cross shows it cannot be used.
    void set_close_forbidden_cursor();
    void set_close_pointing_cursor();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private slots:
    void m_close_dialog();

private:
    QWidget* m_window;
    std::function<bool()> m_is_busy;
    QPushButton* m_close;
    bool m_dragging = false;
    QPoint m_press_position;
};
