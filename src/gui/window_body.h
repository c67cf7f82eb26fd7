#pragma once
// The main window shows everything inside one white body frame that carries the window's
// shadow. The body repaints through that shadow as a whole picture of itself, over anything
// stacked on it from outside, so whatever lies over the form must lie inside the body.

class QWidget;

namespace window_body {

// The body frame's object name.
const char* const name = "white_background";

// Moves `widget`, a child of a window, into that window's body at the same place on the
// window. Without a body (a bare test window) the widget stays where it is.
void take_in(QWidget* widget);

} // namespace window_body
