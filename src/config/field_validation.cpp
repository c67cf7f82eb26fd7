#include "config/field_validation.h"

#include <cctype>

namespace {

const int max_counted_length = 15;
// "(%d" precedes both forms of a counter token.
const std::string::size_type token_head_length = 3;

} // namespace

namespace field_validation {

int counted_length(const std::string& text)
{
    int plain = 0;
    int counter_width = 0;
    std::string::size_type position = 0;
    while (position < text.size()) {
        if (text[position] != '(') {
            ++plain;
            ++position;
            continue;
        }
        std::string::size_type close = text.find(')', position + token_head_length);
        if (position + token_head_length >= text.size() || close == std::string::npos) {
            plain += static_cast<int>(text.size() - position);
            break;
        }
        std::string::size_type number = position + token_head_length;
        if (number == close) {
            ++counter_width;
        } else {
            for (; number < close; ++number)
                if (std::isdigit(static_cast<unsigned char>(text[number])))
                    ++counter_width;
        }
        position = close + 1;
    }
    return plain + counter_width;
}

bool is_acceptable(const std::string& text, const std::regex& pattern)
{
    if (!text.empty() && !std::regex_match(text, pattern))
        return false;
    if (text.find('%') == std::string::npos)
        return true;
    return counted_length(text) <= max_counted_length;
}

} // namespace field_validation
