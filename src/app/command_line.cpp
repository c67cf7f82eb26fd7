#include "app/command_line.h"

#include "app/session_variables.h"
#include "retrieval/release_endpoints.h"

namespace {

struct url_option {
    const char* name;
    std::string command_line::options::*value;
};

const url_option url_options[] = {
    {"--release-service", &command_line::options::release_service},
    {"--file-server", &command_line::options::file_server},
};

std::string refusal(const std::string& option, const std::string& url)
{
    return option + ": refusing \"" + url
        + "\": give an https:// URL, or an http:// URL to a loopback address such as"
          " http://127.0.0.1:8080";
}

} // namespace

namespace command_line {

options parse(int argc, char* argv[])
{
    options parsed;
    if (argc > 0)
        parsed.remaining.push_back(argv[0]);
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        const url_option* matched = nullptr;
        std::string url;
        for (const url_option& option : url_options) {
            const std::string name = option.name;
            if (argument == name) {
                matched = &option;
                if (index + 1 >= argc) {
                    parsed.error = name + " needs a URL";
                    return parsed;
                }
                url = argv[++index];
            } else if (argument.rfind(name + "=", 0) == 0) {
                matched = &option;
                url = argument.substr(name.size() + 1);
            }
        }
        const std::string variable_option = session_variables::option;
        if (argument == variable_option || argument.rfind(variable_option + "=", 0) == 0) {
            if (argument == variable_option && index + 1 >= argc) {
                parsed.error = variable_option + " needs NAME=VALUE";
                return parsed;
            }
            const std::string assignment = argument == variable_option
                ? std::string(argv[++index]) : argument.substr(variable_option.size() + 1);
            parsed.error = session_variables::refusal(assignment);
            if (!parsed.error.empty())
                return parsed;
            parsed.session_variables.push_back(assignment);
            continue;
        }
        if (!matched) {
            if (argument == "--help")
                parsed.help = true;
            else if (argument == "--version")
                parsed.version = true;
            else if (parsed.cli)
                parsed.cli_arguments.push_back(argument);
            else if (argument == "--cli")
                parsed.cli = true;
            else
                parsed.remaining.push_back(argv[index]);
            continue;
        }
        if (!release_endpoints::is_allowed_base(url)) {
            parsed.error = refusal(matched->name, url);
            return parsed;
        }
        parsed.*(matched->value) = url;
    }
    return parsed;
}

std::vector<std::string> options::to_pass_on() const
{
    std::vector<std::string> arguments;
    for (const url_option& option : url_options) {
        if (!(this->*(option.value)).empty()) {
            arguments.push_back(option.name);
            arguments.push_back(this->*(option.value));
        }
    }
    return arguments;
}

std::string windows_parameters(const std::vector<std::string>& arguments)
{
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty())
            line += ' ';
        if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += argument;
            continue;
        }
        // Backslashes are literal unless they precede a quote: those are doubled, and the
        // quote escaped.
        line += '"';
        size_t backslashes = 0;
        for (char character : argument) {
            if (character == '\\') {
                ++backslashes;
                continue;
            }
            const size_t doubled = character == '"' ? 2 * backslashes + 1 : backslashes;
            line.append(doubled, '\\');
            line += character;
            backslashes = 0;
        }
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

} // namespace command_line
