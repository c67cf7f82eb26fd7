#include "config/field_rules.h"

#include "config/field_validation.h"

#include <regex>
#include <utility>

namespace field_rules {

namespace {

// The rule `values` breaks first, in the form's order; none when every value passes.
const field_rule* broken_rule(const inputs& values)
{
    const std::pair<const std::string*, const field_rule*> fields[] = {
        {&values.btc, &btc},   {&values.worker, &worker},      {&values.group, &group},
        {&values.ssid, &ssid}, {&values.wireless_key, &key},   {&values.ssh_key, &ssh},
    };
    for (const auto& [text, rule] : fields)
        if (!field_validation::is_acceptable(*text, std::regex(rule->pattern, std::regex::ECMAScript)))
            return rule;
    return nullptr;
}

} // namespace

std::string refusal(const inputs& values)
{
    if (values.btc.empty())
        return empty_btc_text;
    const field_rule* broken = broken_rule(values);
    return broken ? broken->error_text : std::string();
}

std::string explained_refusal(const inputs& values)
{
    if (values.btc.empty())
        return empty_btc_text;
    const field_rule* broken = broken_rule(values);
    return broken ? std::string(broken->error_text) + ": " + broken->rule_text : std::string();
}

} // namespace field_rules
