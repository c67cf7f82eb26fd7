#pragma once
// Stands in for the main window where widgets call back into it: counts the hooks the dialogs
// and the title bar call on their parent and answers whether a run is under way.

#include <QPoint>
#include <QWidget>

class QPushButton;

class fake_main_window : public QWidget {
    Q_OBJECT

public:
    fake_main_window();

    int opened = 0;
    int closed = 0;
    int dont_show = 0;
    int hidden = 0;
    bool busy = false;

public slots:
    // Minimises, as the main window does.
    void hide_window();
    void dialog_window_open();
    void dialog_window_closed();
    void dont_show_again();
};

namespace widget_probe {

// The push button of `parent` whose top-left corner is `position`, or null.
QPushButton* button_at(QWidget* parent, const QPoint& position);

// Whether some label under `parent` shows exactly `text`.
bool shows_text(QWidget* parent, const QString& text);

} // namespace widget_probe
