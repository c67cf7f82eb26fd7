#pragma once
// The rules of the configuration values and the texts that refuse them: the form's fields and
// the command line check every value against these.

#include "config/inputs.h"

#include <string>

struct field_rule {
    // Matched against the whole text (ECMAScript).
    const char* pattern;
    const char* error_text;
    // The rule in words, for a refusal where no field shows which value is meant; empty where
    // every text passes.
    const char* rule_text;
};

namespace field_rules {

inline constexpr field_rule btc {"^[13][a-km-zA-HJ-NP-Z1-9]{25,34}$", "Invalid BTC Address",
                                 "1 or 3, then 25 to 34 letters and digits but 0, O, I and l"};
inline constexpr field_rule worker {"^(\\(%d\\)|\\(%d,[0-9]+\\)|[a-zA-Z0-9-_]){0,15}$",
                                    "Invalid Worker name",
                                    "letters, digits, - and _, and counters (%d) or (%d,N); at most 15 once counted"};
// The group shares the worker's error text: there is no group-specific one.
inline constexpr field_rule group {"^[a-zA-Z0-9-_]{0,15}$", "Invalid Worker name",
                                   "the group takes letters, digits, - and _, at most 15"};
inline constexpr field_rule ssid {"^[^!#;\\s\\t][^+[\\]\\/\"?$]{0,30}[^\\t\\s]$", "Invalid SSID",
                                  "2 to 32 characters, none of + [ ] / \" ? $, not starting with ! # ; "
                                  "nor starting or ending with a blank"};
inline constexpr field_rule key {".*", "Invalid wireless key", ""};
inline constexpr field_rule ssh {".*", "Invalid SSH key", ""};

// The address is the one value a flash cannot do without.
inline constexpr const char* empty_btc_text = "Empty BTC address!\xEF\xB8\x8F";

// The mining locations, as stored; the first is the default.
inline constexpr const char* location_codes[] = {"eu", "usa"};

// Why `values` cannot be flashed, checked in the form's order: the empty address, then each
// field's error text; empty when every value passes. The location is not looked at.
std::string refusal(const inputs& values);

// The same, with the rule that failed after the error text, as the command line tells it:
// "Invalid Worker name: letters, digits, ...".
std::string explained_refusal(const inputs& values);

} // namespace field_rules
