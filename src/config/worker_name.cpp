#include "config/worker_name.h"

#include <regex>

namespace {

const std::regex counter_placeholder(R"(\(%d,[0-9]+\))");
const std::regex first_value_placeholder(R"(\(%d\))");
const std::regex plain_name("^[a-zA-Z0-9-_]{0,15}$");

// Numbers are kept as digit strings, so that no count overflows however long it grows.
std::string without_leading_zeros(const std::string& digits)
{
    std::string::size_type first = digits.find_first_not_of('0');
    return first == std::string::npos ? "0" : digits.substr(first);
}

std::string incremented(std::string digits)
{
    for (auto position = digits.rbegin(); position != digits.rend(); ++position) {
        if (*position != '9') {
            ++*position;
            return digits;
        }
        *position = '0';
    }
    return "1" + digits;
}

std::string digits_of(const std::string& placeholder)
{
    std::string::size_type comma = placeholder.find(',');
    return placeholder.substr(comma + 1, placeholder.find(')') - comma - 1);
}

// A placeholder whose number is written with leading zeros is not a counter: it stays literal.
bool is_counter(const std::string& placeholder)
{
    std::string digits = digits_of(placeholder);
    return digits == without_leading_zeros(digits);
}

// Rewrites each counter placeholder of `text` in one left-to-right pass. A pass over the
// original text keeps a renumbered placeholder from being renumbered again when it meets a
// later one that carried its new number.
template <typename rewrite>
std::string rewrite_counters(const std::string& text, rewrite counter_text)
{
    std::string result;
    std::string::size_type copied = 0;
    for (std::sregex_iterator match(text.begin(), text.end(), counter_placeholder), end;
         match != end; ++match) {
        std::string placeholder = match->str();
        if (!is_counter(placeholder))
            continue;
        result += text.substr(copied, match->position() - copied);
        result += counter_text(digits_of(placeholder));
        copied = match->position() + match->length();
    }
    return result + text.substr(copied);
}

} // namespace

std::string expand_worker_name(const std::string& worker)
{
    std::string work = rewrite_counters(worker, [](const std::string& digits) { return digits; });
    return std::regex_replace(work, first_value_placeholder, "1");
}

void advance_worker_name(inputs& values)
{
    std::string& worker = values.worker;
    if (std::regex_match(worker, plain_name)) {
        std::string::size_type run = worker.find_last_not_of("0123456789") + 1;
        if (worker.empty())
            worker = "1";
        else if (run == worker.size())
            worker += "1";
        else
            worker = worker.substr(0, run) + incremented(without_leading_zeros(worker.substr(run)));
        return;
    }
    worker = rewrite_counters(worker, [](const std::string& digits) {
        return "(%d," + incremented(digits) + ")";
    });
    worker = std::regex_replace(worker, first_value_placeholder, "(%d,2)");
}
