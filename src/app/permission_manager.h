#pragma once
// Administrator rights: the test for them and the relaunch that asks for them.

#include <memory>
#include <string>
#include <vector>

class permission_manager {
public:
    enum class relaunch {
        started,
        // The user dismissed the password dialog.
        declined,
        // The system could not ask for the password (no agent), or refused the rights.
        refused,
        // The means to ask for them is not installed.
        unavailable,
    };

    permission_manager();

    bool is_elevated() const;
    // Asks the system to start the program again with administrator rights and `arguments`.
    relaunch relaunch_elevated(const std::string& program_path,
                               const std::vector<std::string>& arguments) const;

private:
    class impl;
    std::shared_ptr<impl> m_impl;
};
