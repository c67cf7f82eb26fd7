#pragma once
// A run's claim on an entry of a cache that the processes on one data folder share: a kept
// image, a partial download, a release's files. While any run holds an entry, no prune removes
// it. Each claim is a lock file of its own beside the entry, "<entry>.hold-<pid>-<n>"; the
// system tells when its process has died, and such a claim no longer counts: the next look
// removes it. Claims are taken and looked at under the folder's cache_lock.

#include <QLockFile>
#include <QString>

#include <memory>

class cache_hold {
public:
    // Claims `entry` (the path of a file or folder) for this run; null when the claim cannot be
    // made, as in a folder that may not be written.
    static std::unique_ptr<cache_hold> take(const QString& entry);
    // Lets go of the claim.
    ~cache_hold();
    cache_hold(const cache_hold&) = delete;
    cache_hold& operator=(const cache_hold&) = delete;

    // Whether a run of any process, this one included, holds `entry`. The claims of processes
    // that have died are removed on the way.
    static bool is_held(const QString& entry);
    // The name of the entry that the file `name` of a cache folder claims; empty when it is no
    // claim.
    static QString claimed_entry(const QString& name);

private:
    explicit cache_hold(std::unique_ptr<QLockFile> claim);

    std::unique_ptr<QLockFile> m_claim;
};
