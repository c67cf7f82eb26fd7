#pragma once
// The shared look: fonts, shadows, divider lines, icon labels and the colour palette.

#include <QFont>
#include <QSize>
#include <QString>

class QFrame;
class QGraphicsDropShadowEffect;
class QLabel;
class QObject;
class QWidget;

namespace ui_style {

// Fonts from the resource bundle; size and weight come from the widget's style sheet.
QFont ubuntu_regular();
QFont ubuntu_medium();
QFont ubuntu_bold();
QFont roboto_regular();

// A new drop shadow per call, owned by `parent`.
QGraphicsDropShadowEffect* normal_shadow(QObject* parent);
QGraphicsDropShadowEffect* window_shadow(QObject* parent);
QGraphicsDropShadowEffect* error_shadow(QObject* parent);

QFrame* form_separator(QWidget* parent);
QFrame* dialog_separator(QWidget* parent);
QFrame* footer_separator(QWidget* parent);

// A label showing a bundled picture scaled to `size`.
QLabel* icon_label(const QString& resource, const QSize& size, QWidget* parent);

namespace colour {
const char* const main_text = "#3a3939";
const char* const secondary_text = "#959595";
const char* const error = "#e92424";
const char* const success = "#68b641";
const char* const link = "#128ede";
const char* const disabled_link = "#c4e3f7";
const char* const accent = "#fba342";
const char* const white = "#ffffff";
const char* const bubble_text = "#fcfcfc";
const char* const separator = "#eeeeee";
const char* const light_separator = "#f5f5f5";
const char* const highlight = "#fafafa";
const char* const handle = "#cecdcd";
} // namespace colour

} // namespace ui_style
