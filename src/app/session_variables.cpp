#include "app/session_variables.h"

#include <QByteArray>

#include <algorithm>
#include <cstdlib>

namespace session_variables {

const char* const option = "--session-variable";

const std::vector<std::string>& names()
{
    static const std::vector<std::string> taken {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY",
                                                 "XDG_RUNTIME_DIR", "HOME", "XDG_DATA_HOME"};
    return taken;
}

std::string refusal(const std::string& assignment)
{
    const std::string::size_type equals = assignment.find('=');
    const std::string name = assignment.substr(0, equals);
    if (equals != std::string::npos
        && std::find(names().begin(), names().end(), name) != names().end())
        return std::string();
    return std::string(option) + ": refusing \"" + assignment
        + "\": give NAME=VALUE with DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR, HOME"
          " or XDG_DATA_HOME as the name";
}

void apply(const std::vector<std::string>& assignments)
{
    for (const std::string& assignment : assignments) {
        const std::string::size_type equals = assignment.find('=');
        qputenv(assignment.substr(0, equals).c_str(), QByteArray::fromStdString(assignment.substr(equals + 1)));
    }
}

std::vector<std::string> to_pass_on()
{
    std::vector<std::string> options;
    const char* home = std::getenv("HOME");
    for (const std::string& name : names()) {
        const char* value = std::getenv(name.c_str());
        std::string text = value ? value : "";
        if (!value && name == "XDG_DATA_HOME" && home)
            text = std::string(home) + "/.local/share";
        if (!text.empty()) {
            options.push_back(option);
            options.push_back(name + "=" + text);
        }
    }
    return options;
}

} // namespace session_variables
