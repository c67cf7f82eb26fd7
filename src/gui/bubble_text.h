#pragma once
// Sizing of the text inside the dark speech bubbles.

#include <QSize>

class QLabel;

// Gives `text` its one-line size, or wraps it at 417 pixels when one line would be wider
// than 416, and returns the size it got.
QSize fit_bubble_text(QLabel* text);
