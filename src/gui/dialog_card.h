#pragma once
// The parts every confirmation card shares: the white card, its close cross, title, body and
// the transparent push buttons laid over the faces.

class QFrame;
class QPushButton;
class QRect;
class QString;
class QWidget;

namespace dialog_card {

// Builds the card inside `dialog` (which becomes a translucent 410 x 227 widget at (95, 174) of
// its parent window, inside the window's body) and returns the close cross button.
QPushButton* build(QFrame* dialog, const QString& title, const QString& body);

// A flat, transparent, pointing-hand push button covering `geometry`.
QPushButton* click_surface(QWidget* parent, const QRect& geometry);

// Calls the slot `hook` of the window the dialog lies in, the main window ("dialog_window_open",
// "dialog_window_closed", "dont_show_again").
void notify_parent(QWidget* dialog, const char* hook);

// Hides the card, tells its window ("dialog_window_closed") and deletes it later. Hidden
// first: the window looks at the cards still on show to know whether the form is covered.
void close(QWidget* dialog);

} // namespace dialog_card
