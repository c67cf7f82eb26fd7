#include "cli/cli_request.h"

#include <algorithm>
#include <regex>

namespace {

// A configuration value: where the command line keeps it and where the settings do.
struct value_option {
    const char* name;
    std::optional<std::string> cli::request::*value;
    std::string inputs::*setting;
};

const value_option value_options[] = {
    {"--btc", &cli::request::btc, &inputs::btc},
    {"--worker", &cli::request::worker, &inputs::worker},
    {"--group", &cli::request::group, &inputs::group},
    {"--location", &cli::request::location, &inputs::location},
    {"--ssid", &cli::request::ssid, &inputs::ssid},
    {"--wifi-key", &cli::request::wireless_key, &inputs::wireless_key},
    {"--ssh-key", &cli::request::ssh_key, &inputs::ssh_key},
};

struct flag_option {
    const char* name;
    bool cli::request::*flag;
    bool value;
};

const flag_option flash_flags[] = {
    {"--all", &cli::request::all, true},
    {"--yes", &cli::request::yes, true},
    {"--no-verify", &cli::request::verify, false},
    {"--latest-only", &cli::request::latest_only, true},
};

// Splits "--name=value"; `value` stays empty without "=".
std::string option_name(const std::string& argument, std::optional<std::string>& value)
{
    const std::string::size_type equals = argument.find('=');
    if (argument.rfind("--", 0) != 0 || equals == std::string::npos)
        return argument;
    value = argument.substr(equals + 1);
    return argument.substr(0, equals);
}

bool is_disk_number(const std::string& text)
{
    return !text.empty() && text.size() <= 9
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Adds the disk `given` with --disk to `disks`; why not, when it names none or one named before.
std::string take_disk(const std::string& given, std::vector<std::string>& disks)
{
    // A USB disk's kernel name, as lsblk shows it, stands for its device.
    const bool kernel_name = std::regex_match(given, std::regex("sd[a-z]+"));
    const std::string text = kernel_name ? "/dev/" + given : given;
    if (!is_disk_number(text) && text.rfind("/dev/", 0) != 0)
        return "--disk: \"" + text + "\" is no disk number or device (see --cli list)";
    // Named twice is most likely a typo for another disk: flashing one fewer would hide it.
    if (std::find(disks.begin(), disks.end(), text) != disks.end())
        return "--disk: " + text + " is named twice";
    disks.push_back(text);
    return std::string();
}

// The command that shows what is on the sticks: the disks named, or every one; nothing else but --json.
std::string parse_contents(const std::vector<std::string>& arguments, cli::request& parsed)
{
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        std::optional<std::string> value;
        const std::string name = option_name(arguments[index], value);
        if (arguments[index] == "--json" || arguments[index] == "--all") {
            (arguments[index] == "--json" ? parsed.json : parsed.all) = true;
            continue;
        }
        if (name != "--disk")
            return "inspect: unknown argument \"" + arguments[index] + "\"";
        if (!value) {
            if (index + 1 >= arguments.size())
                return "--disk needs a value";
            value = arguments[++index];
        }
        const std::string refusal = take_disk(*value, parsed.disks);
        if (!refusal.empty())
            return refusal;
    }
    if (parsed.all && !parsed.disks.empty())
        return "inspect: give --disk or --all, not both";
    return std::string();
}

// The options of flash, and of watch, which flashes every stick plugged in: no disk is named.
class flash_parser {
public:
    flash_parser(const std::vector<std::string>& arguments, cli::request& parsed)
        : m_arguments(arguments), m_parsed(parsed), m_command(arguments.front())
    {
    }

    std::string run()
    {
        for (m_index = 1; m_index < m_arguments.size(); ++m_index) {
            const std::string error = m_take(m_arguments[m_index]);
            if (!error.empty())
                return error;
        }
        if (m_parsed.what == cli::request::command::watch)
            return std::string();
        if (m_parsed.all && !m_parsed.disks.empty())
            return "flash: give --disk or --all, not both";
        if (!m_parsed.all && m_parsed.disks.empty())
            return "flash: name the disks with --disk N (as often as needed), or give --all";
        return std::string();
    }

private:
    std::string m_take(const std::string& argument)
    {
        std::optional<std::string> value;
        const std::string name = option_name(argument, value);
        const bool watching = m_parsed.what == cli::request::command::watch;
        if (watching && (name == "--disk" || argument == "--all"))
            return "watch: flashes every stick plugged in; it takes no " + name;
        if (watching && argument == "--again") {
            m_parsed.again = true;
            return std::string();
        }
        if (watching && argument == "--json") {
            m_parsed.json = true;
            return std::string();
        }
        for (const flag_option& option : flash_flags)
            if (argument == option.name) {
                m_parsed.*(option.flag) = option.value;
                return std::string();
            }
        const bool takes_value = name == "--disk" || name == "--image"
            || std::any_of(std::begin(value_options), std::end(value_options),
                           [&](const value_option& option) { return name == option.name; });
        if (!takes_value)
            return m_command + ": unknown argument \"" + argument + "\"";
        if (!value) {
            if (m_index + 1 >= m_arguments.size())
                return name + " needs a value";
            value = m_arguments[++m_index];
        }
        if (name == "--disk")
            return m_take_disk(*value);
        if (name == "--image") {
            // Most likely an unset shell variable: flashing the latest release instead would
            // write what nobody asked for.
            if (value->empty())
                return "--image: the file name is empty";
            m_parsed.image = *value;
        }
        for (const value_option& option : value_options)
            if (name == option.name)
                m_parsed.*(option.value) = *value;
        return std::string();
    }

    std::string m_take_disk(const std::string& given)
    {
        return take_disk(given, m_parsed.disks);
    }

    const std::vector<std::string>& m_arguments;
    cli::request& m_parsed;
    const std::string m_command;
    std::size_t m_index = 1;
};

} // namespace

namespace cli {

inputs request::values_over(inputs saved) const
{
    for (const value_option& option : value_options)
        if (this->*(option.value))
            saved.*(option.setting) = *(this->*(option.value));
    return saved;
}

parse_result parse(const std::vector<std::string>& arguments)
{
    parse_result result;
    const std::string command = arguments.empty() ? std::string() : arguments.front();
    if (command == "list" || command == "history") {
        result.parsed.what = command == "list" ? request::command::list : request::command::history;
        for (std::size_t index = 1; index < arguments.size(); ++index) {
            if (arguments[index] != "--json") {
                result.error = command + ": unknown argument \"" + arguments[index] + "\"";
                return result;
            }
            result.parsed.json = true;
        }
    } else if (command == "inspect") {
        result.parsed.what = request::command::contents;
        result.error = parse_contents(arguments, result.parsed);
    } else if (command == "flash" || command == "watch") {
        result.parsed.what = command == "flash" ? request::command::flash : request::command::watch;
        result.error = flash_parser(arguments, result.parsed).run();
    } else {
        result.error = command.empty() ? "--cli needs a command: list, history, flash, watch or inspect"
                                       : "unknown command \"" + command + "\": give list, history, flash, watch or inspect";
    }
    return result;
}

} // namespace cli
