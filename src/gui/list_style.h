#pragma once
// The look shared by the unfolding lists of the form (disk list, mining location).

class QFrame;
class QListWidget;

namespace list_style {

const char* const list =
    "QListWidget::item:selected {background: white; border-radius: 4px;} QListWidget::item "
    "{border-radius: 4px;} QListWidget {background: #ffffff; border : none; border-radius: 4px;}";

const char* const scroll_bar =
    "QScrollBar::vertical {background: transparent; width: 8px;} QScrollBar::add-line:vertical "
    "{border: none;background: none;color: none;} QScrollBar::sub-line:vertical {border: "
    "none;background: none;color: none;} QScrollBar::handle:vertical {background: #cecdcd; "
    "border-radius: 4px} QScrollBar::handle:vertical::hover {background: #959595}";

// Hidden list, scrolling vertically only, with the thin grey scroll handle.
void style_list(QListWidget* list_widget);

// Appends a one-pixel row holding the indented grey line drawn between two entries.
void append_separator(QListWidget* list_widget, int width);

} // namespace list_style
