#include "app/permission_manager.h"

#include "app/command_line.h"
#include "app/session_variables.h"

#include <windows.h>
#include <shellapi.h>

class permission_manager::impl {
public:
    bool is_elevated() const
    {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
            return false;
        TOKEN_ELEVATION elevation {};
        DWORD size = sizeof elevation;
        bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size)
            && elevation.TokenIsElevated != 0;
        CloseHandle(token);
        return elevated;
    }

    // The session's variables go first, as options: the elevation may clear the environment.
    relaunch relaunch_elevated(const std::string& program_path,
                               const std::vector<std::string>& arguments) const
    {
        std::vector<std::string> options = session_variables::to_pass_on();
        options.insert(options.end(), arguments.begin(), arguments.end());
        const std::string parameters = command_line::windows_parameters(options);
        const auto result = reinterpret_cast<LONG_PTR>(ShellExecuteA(
            nullptr, "runas", program_path.c_str(), parameters.empty() ? nullptr : parameters.c_str(),
            nullptr, SW_SHOWNORMAL));
        // Above 32 is a start; below, the cause.
        if (result > 32)
            return relaunch::started;
        if (result == ERROR_FILE_NOT_FOUND)
            return relaunch::unavailable;
        return GetLastError() == ERROR_CANCELLED ? relaunch::declined : relaunch::refused;
    }
};

permission_manager::permission_manager()
    : m_impl(std::make_shared<impl>())
{
}

bool permission_manager::is_elevated() const
{
    return m_impl->is_elevated();
}

permission_manager::relaunch permission_manager::relaunch_elevated(
    const std::string& program_path, const std::vector<std::string>& arguments) const
{
    return m_impl->relaunch_elevated(program_path, arguments);
}
