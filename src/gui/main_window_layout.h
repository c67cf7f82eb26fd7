#pragma once
// Sizes, places, timings and styles of the main window, shared by its form and its run.

namespace main_window_layout {

const int window_width = 610;
const int folded_height = 585;
// Unfolded, the window shows the whole form where the screen has room for it; a smaller
// screen gets a window as tall as it is, the form scrolling in what is left.
const int unfolded_height = 1036;
const int message_height = 620;
const int building_height = 665;
const int fold_duration_ms = 300;
const int message_animation_ms = 250;

// Where the blocks sit in the body, measured from its top or its bottom.
const int form_top = 200;
const int bottom_height = 110;
const int footer_height = 81;
const int optional_fields_top = 353;
const int form_height = 600;
// How far a field's drop shadow reaches beyond it.
const int shadow_margin = 11;

// Every style names the widgets it is for, so that none reaches the widgets inside another.
const char* const label_style = "QLabel {height: 20px; font-size: 14px; font-weight: normal; "
                                "line-height: 1.43; color: #959595;}";
const char* const section_style = "QLabel {height: 20px; font-size: 16px; font-weight: 500; "
                                  "line-height: 1.43; color: #3a3939;}";
const char* const warning_style = "QLabel {height: 20px;font-size: 12px;font-weight: normal;"
                                  "line-height: 1.33;color: #E92424;}";
const char* const message_style =
    "QLabel {background: transparent;border: none;font-size: 14px;font-weight: 500;"
    "font-style: normal;line-height: 1.43;color: %1;}";
const char* const version_style = "QLabel {font-size: 12px; line-height: 1.33; color: #959595;}";
const char* const scroll_bar_style =
    "QScrollBar::vertical {background: transparent; width: 8px;} "
    "QScrollBar::add-line:vertical {border: none;background: none;color: none;} "
    "QScrollBar::sub-line:vertical {border: none;background: none;color: none;} "
    "QScrollBar::handle:vertical {background: #cecdcd; border-radius: 4px} "
    "QScrollBar::handle:vertical::hover {background: #959595}";

} // namespace main_window_layout
