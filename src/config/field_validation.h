#pragma once
// The acceptance rule every text input applies to its text.

#include <regex>
#include <string>

namespace field_validation {

// Length of a worker-name template once expanded: plain characters plus the digits of each
// counter token, "(%d)" counting 1 and "(%d,N)" counting the digits of N. A "(" without a
// closing ")" counts itself and everything after it as plain characters.
int counted_length(const std::string& text);

// An empty text always passes; a text that matches `pattern` passes unless it holds "%" and
// counts more than 15 characters.
bool is_acceptable(const std::string& text, const std::regex& pattern);

} // namespace field_validation
