#include "config/worker_name.h"

#include <regex>
#include <vector>

namespace {

const std::regex counter_placeholder(R"(\(%d,[0-9]+\))");
const std::regex any_placeholder(R"(\(%d(,[0-9]+)?\))");
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

// What a template counts: its text with the counters taken out, and their numbers in order.
// Two templates of one text name the same rigs, one further on than the other or not.
struct counted {
    std::string text;
    // Without leading zeros; empty for a plain name without a trailing number, which names
    // the rig before its first number.
    std::vector<std::string> numbers;
};

const char counter_mark = '\x01';

counted counted_in(const std::string& worker)
{
    counted result;
    if (std::regex_match(worker, plain_name)) {
        const std::string::size_type run = worker.find_last_not_of("0123456789") + 1;
        result.text = worker.substr(0, run);
        result.numbers.push_back(run == worker.size() ? std::string() : without_leading_zeros(worker.substr(run)));
        return result;
    }
    std::string::size_type copied = 0;
    for (std::sregex_iterator match(worker.begin(), worker.end(), any_placeholder), end; match != end; ++match) {
        const std::string placeholder = match->str();
        const bool first_value = !(*match)[1].matched;
        if (!first_value && !is_counter(placeholder))
            continue;
        result.text += worker.substr(copied, match->position() - copied) + counter_mark;
        result.numbers.push_back(first_value ? "1" : digits_of(placeholder));
        copied = match->position() + match->length();
    }
    result.text += worker.substr(copied);
    return result;
}

bool below(const std::string& number, const std::string& other)
{
    if (number.size() != other.size())
        return number.size() < other.size();
    return number < other;
}

bool nowhere_below(const std::vector<std::string>& numbers, const std::vector<std::string>& others)
{
    for (std::size_t index = 0; index < numbers.size(); ++index)
        if (below(numbers[index], others[index]))
            return false;
    return true;
}

} // namespace

std::string continued_worker_name(const std::string& given, const std::string& saved)
{
    const counted named = counted_in(given);
    const counted held = counted_in(saved);
    if (named.text != held.text || named.numbers.size() != held.numbers.size())
        return given;
    if (nowhere_below(held.numbers, named.numbers))
        return saved;
    if (nowhere_below(named.numbers, held.numbers))
        return given;
    // Some counters further on in each: every one goes on from the further of the two.
    std::string result;
    std::size_t counter = 0;
    for (char c : named.text) {
        if (c != counter_mark) {
            result += c;
            continue;
        }
        const std::string& further = below(named.numbers[counter], held.numbers[counter]) ? held.numbers[counter]
                                                                                             : named.numbers[counter];
        result += "(%d," + further + ")";
        ++counter;
    }
    return result;
}

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
