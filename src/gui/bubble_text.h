#pragma once
// Sizing of the text inside the dark speech bubbles.

#include <QSize>

class QLabel;

// Gives `text` its preferred size, wrapping it at 417 pixels when it would be wider than 416,
// and returns that size.
QSize fit_bubble_text(QLabel* text);
