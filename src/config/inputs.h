#pragma once
// The user's rig configuration: the settings record and the input of the configuration document.

#include <string>

struct inputs {
    std::string btc;
    std::string worker;
    std::string group;
    std::string location;
    std::string ssh_key;
    std::string ssid;
    std::string wireless_key;
    bool dont_show_again = false;
};
