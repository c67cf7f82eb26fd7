#include "config/field_rules.h"

#include "config/field_validation.h"

#include <regex>
#include <utility>

namespace field_rules {

std::string refusal(const inputs& values)
{
    if (values.btc.empty())
        return empty_btc_text;
    const std::pair<const std::string*, const field_rule*> fields[] = {
        {&values.btc, &btc},   {&values.worker, &worker},      {&values.group, &group},
        {&values.ssid, &ssid}, {&values.wireless_key, &key},   {&values.ssh_key, &ssh},
    };
    for (const auto& [text, rule] : fields)
        if (!field_validation::is_acceptable(*text, std::regex(rule->pattern, std::regex::ECMAScript)))
            return rule->error_text;
    return std::string();
}

} // namespace field_rules
