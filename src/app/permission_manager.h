#pragma once
// Administrator rights: the test for them and the relaunch that asks for them.

#include <memory>
#include <string>
#include <vector>

class permission_manager {
public:
    permission_manager();

    bool is_elevated() const;
    // Asks the system to start the program again with administrator rights and `arguments`;
    // the outcome is not reported.
    void relaunch_elevated(const std::string& program_path,
                           const std::vector<std::string>& arguments) const;

private:
    class impl;
    std::shared_ptr<impl> m_impl;
};
