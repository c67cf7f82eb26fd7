#pragma once
// The configuration form's fields: texts, rules and places, kept in one table.

struct input_field {
    const char* label;
    // Empty for the location drop-down, which has none.
    const char* placeholder;
    // Empty when the label carries no help bubble.
    const char* help_text;
    // Matched against the whole text; empty for the location drop-down.
    const char* pattern;
    const char* error_text;
    const char* settings_key;
    // Row of the label in the panel; the input goes `input_offset` pixels below it.
    int label_y;
    int input_offset;
};

namespace input_fields {

extern const input_field btc;
extern const input_field worker;
extern const input_field group;
extern const input_field location;
extern const input_field ssid;
extern const input_field key;
extern const input_field ssh;

} // namespace input_fields
