#pragma once
// The data folder's lock. What the processes on one data folder share and change (windows,
// command lines, stations, an elevated copy: the settings with their worker counter, the record
// of sticks flashed) is changed under it alone, so that no change is lost and no counter goes
// back. A lock whose process has gone is taken over at once.

#include <QLockFile>

#include <string>

class data_folder_lock {
public:
    enum class state {
        held,
        // Another process held it longer than a change takes.
        busy,
        // The lock file cannot be made: the data folder may not be written.
        not_allowed,
        // The lock file cannot be made for another reason, such as a full disk.
        failed,
    };

    // Waits for the lock as long as wait_lengths' settings_lock; held until destroyed.
    explicit data_folder_lock(const std::string& data_folder);
    data_folder_lock(const data_folder_lock&) = delete;
    data_folder_lock& operator=(const data_folder_lock&) = delete;

    state result() const;

private:
    QLockFile m_lock;
    state m_state = state::failed;
};
