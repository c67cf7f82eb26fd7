#include "gui/input_field.h"

#include "config/field_rules.h"

namespace input_fields {

const input_field btc{"BTC Address", "BTC Address", "", field_rules::btc.pattern,
                      field_rules::btc.error_text, "btc", 40, 24};

const input_field worker{
    "Worker name", "Worker name",
    "Name your mining machine (sometimes referred to as rig name). Have in mind, that worker name "
    "is limited to alphanumeric characters from English alphabet, a to z, A to Z, 0 to 9 and "
    "characters - (hyphen), _(underscore). A counter numbers your machines, one up with every "
    "flashed stick: rig(%d) gives rig1, rig2, ...; rig(%d,5) starts at rig5.",
    field_rules::worker.pattern, field_rules::worker.error_text, "worker", 112, 24};

const input_field group{"Group name", "Group name", "Put your mining machine into group.",
                        field_rules::group.pattern, field_rules::group.error_text, "group", 192, 23};

const input_field location{"Mining location", "", "", "", "", "location", 272, 24};

const input_field ssid{"Wireless ssid", "Wireless ssid",
                       "SSID to provide the name for a wireless network access.",
                       field_rules::ssid.pattern, field_rules::ssid.error_text, "ssid", 352, 24};

const input_field key{"Wireless key", "Wireless key",
                      "Security key for wireless network access authentication.",
                      field_rules::key.pattern, field_rules::key.error_text, "key", 432, 24};

const input_field ssh{"SSH key", "SSH key", "SSH public key for user authentication.",
                      field_rules::ssh.pattern, field_rules::ssh.error_text, "ssh", 512, 24};

} // namespace input_fields
