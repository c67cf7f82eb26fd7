#pragma once
// The data folder's lock. What the processes on one data folder share and change (windows,
// command lines, stations, an elevated copy: the settings with their worker counter, the record
// of sticks flashed) is changed under it alone, so that no change is lost and no counter goes
// back. A lock whose process has gone is taken over at once.

#include "base/data_file.h"

#include <QLockFile>

#include <string>

class data_folder_lock {
public:
    // Waits for the lock as long as wait_lengths' settings_lock; held until destroyed.
    explicit data_folder_lock(const std::string& data_folder);
    data_folder_lock(const data_folder_lock&) = delete;
    data_folder_lock& operator=(const data_folder_lock&) = delete;

    bool held() const;
    // Why it is not held: locked by another process, or a lock file that cannot be made (a data
    // folder that may not be written, or no room; Qt tells these apart only by rights).
    data_file::outcome refusal() const;

private:
    QLockFile m_lock;
    data_file::outcome m_refusal = data_file::outcome::failed;
};
