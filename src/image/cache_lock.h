#pragma once
// The short lock of a cache folder that the processes on one data folder share (windows,
// command lines, stations): the claims on its entries are taken and looked at under it, so that
// no claim is taken between a prune's look at an entry and the entry's removal. It is held for a
// few file calls; one whose process has died is taken over at once.

#include <QLockFile>
#include <QString>

class cache_lock {
public:
    enum class state {
        held,
        // Another process held it longer than a look takes.
        busy,
        // The lock file cannot be made: the folder is gone or may not be written.
        failed,
    };

    // Waits for the lock of `folder` as long as wait_lengths' cache_lock; held until destroyed.
    explicit cache_lock(const QString& folder);
    cache_lock(const cache_lock&) = delete;
    cache_lock& operator=(const cache_lock&) = delete;

    state result() const;
    bool held() const;

    // Whether `name`, a file of a cache folder, is the lock's own rather than an entry.
    static bool is_lock_file(const QString& name);

private:
    QLockFile m_lock;
    state m_state = state::failed;
};
