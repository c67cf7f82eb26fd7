#include "gui/input_field.h"

namespace {

const char* const btc_pattern = "^[13][a-km-zA-HJ-NP-Z1-9]{25,34}$";
const char* const worker_pattern = "^(\\(%d\\)|\\(%d,[0-9]+\\)|[a-zA-Z0-9-_]){0,15}$";
const char* const group_pattern = "^[a-zA-Z0-9-_]{0,15}$";
const char* const network_name_pattern = "^[^!#;\\s\\t][^+[\\]\\/\"?$]{0,30}[^\\t\\s]$";
const char* const any_text_pattern = ".*";

} // namespace

namespace input_fields {

const input_field btc{"BTC Address", "BTC Address", "", btc_pattern, "Invalid BTC Address", "btc",
                      40, 24};

const input_field worker{
    "Worker name", "Worker name",
    "Name your mining machine (sometimes referred to as rig name). Have in mind, that worker name "
    "is limited to alphanumeric characters from English alphabet, a to z, A to Z, 0 to 9 and "
    "characters - (hyphen), _(underscore).",
    worker_pattern, "Invalid Worker name", "worker", 112, 24};

// The group field shares the worker field's error text: there is no group-specific one.
const input_field group{"Group name", "Group name", "Put your mining machine into group.",
                        group_pattern, "Invalid Worker name", "group", 192, 23};

const input_field location{"Mining location", "", "", "", "", "location", 272, 24};

const input_field ssid{"Wireless ssid", "Wireless ssid",
                       "SSID to provide the name for a wireless network access.",
                       network_name_pattern, "Invalid SSID", "ssid", 352, 24};

const input_field key{"Wireless key", "Wireless key",
                      "Security key for wireless network access authentication.",
                      any_text_pattern, "Invalid wireless key", "key", 432, 24};

const input_field ssh{"SSH key", "SSH key", "SSH public key for user authentication.",
                      any_text_pattern, "Invalid SSH key", "ssh", 512, 24};

} // namespace input_fields
