// The layer's hooks as the tests steer them. Everything kept here lives in test_control, so that
// a program's symbols show whether it holds any of it: the program itself must not.

#include "win32/test_control.h"

#include "platform/win32/disk_registry.h"
#include "platform/win32/host_root.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace win32 {
namespace test_control {
namespace {

struct pending_fault {
    call what;
    std::string target;
    DWORD error;
    int calls_to_pass;
};

struct pending_hold {
    call what;
    std::string target;
    int calls_to_pass = 0;
    bool armed = false;
    bool waiting = false;
};

std::mutex journal_mutex;
std::condition_variable hold_released;
std::vector<journal_entry> entries;
std::vector<pending_fault> failures;
std::vector<pending_fault> drops;
pending_hold hold;
std::function<void(const std::string&)> partition_table_reread;
std::atomic<std::uint64_t> drive_listing_count {0};
std::atomic<std::uint64_t> usb_storage_listing_count {0};
std::atomic<std::uint64_t> host_scan_count {0};
std::atomic<std::uint64_t> host_lookup_count {0};

// Counts this call against the first fault pending for it; true (with the fault's error) when
// the fault hits this call, which forgets it.
bool hits(std::vector<pending_fault>& pending, call what, const std::string& target, DWORD& error)
{
    for (auto fault = pending.begin(); fault != pending.end(); ++fault) {
        if (fault->what != what || fault->target != target)
            continue;
        if (fault->calls_to_pass-- > 0)
            return false;
        error = fault->error;
        pending.erase(fault);
        return true;
    }
    return false;
}

void wait_if_held(call what, const std::string& target)
{
    std::unique_lock<std::mutex> lock(journal_mutex);
    if (!hold.armed || hold.what != what || hold.target != target)
        return;
    if (hold.calls_to_pass-- > 0)
        return;
    hold.waiting = true;
    hold_released.wait(lock, [] { return !hold.armed; });
    hold.waiting = false;
}

void count_listing(call what)
{
    if (what == call::drive_listing)
        ++drive_listing_count;
    else if (what == call::usb_storage_listing)
        ++usb_storage_listing_count;
    else if (what == call::host_scan)
        ++host_scan_count;
    else if (what == call::host_lookup)
        ++host_lookup_count;
}

hooks::verdict injected_verdict(call what, const std::string& target)
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    DWORD error = ERROR_SUCCESS;
    if (hits(failures, what, target, error))
        return {false, error};
    if (what == call::write && hits(drops, what, target, error))
        return {false, ERROR_SUCCESS};
    return {};
}

} // namespace

std::vector<journal_entry> journal()
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    return entries;
}

void clear_journal()
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    entries.clear();
}

void fail_call(call what, const std::string& target, DWORD error, int calls_to_pass)
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    failures.push_back({what, target, error, calls_to_pass});
}

void drop_call(call what, const std::string& target, int calls_to_pass)
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    drops.push_back({what, target, ERROR_SUCCESS, calls_to_pass});
}

void on_partition_table_reread(std::function<void(const std::string& node_path)> reread)
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    partition_table_reread = std::move(reread);
}

void hold_call(call what, const std::string& target, int calls_to_pass)
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    hold = {what, target, calls_to_pass, true, false};
}

bool call_held()
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    return hold.waiting;
}

void release_held()
{
    {
        std::lock_guard<std::mutex> lock(journal_mutex);
        hold.armed = false;
    }
    hold_released.notify_all();
}

std::uint64_t drive_listings()
{
    return drive_listing_count;
}

std::uint64_t usb_storage_listings()
{
    return usb_storage_listing_count;
}

std::uint64_t host_scans()
{
    return host_scan_count;
}

std::uint64_t host_lookups()
{
    return host_lookup_count;
}

void reset()
{
    release_held();
    reread_host_root();
    forget_disk_registry();
    std::lock_guard<std::mutex> lock(journal_mutex);
    entries.clear();
    failures.clear();
    drops.clear();
}

} // namespace test_control

namespace hooks {

verdict before(call what, const std::string& target)
{
    test_control::wait_if_held(what, target);
    test_control::count_listing(what);
    return test_control::injected_verdict(what, target);
}

void after(call what, const std::string& target, DWORD error, std::uint64_t offset,
           std::uint64_t length)
{
    std::lock_guard<std::mutex> lock(test_control::journal_mutex);
    test_control::entries.push_back({what, target, offset, length, error});
}

void reread_fake_partition_table(const std::string& node_path)
{
    std::function<void(const std::string&)> reread;
    {
        std::lock_guard<std::mutex> lock(test_control::journal_mutex);
        reread = test_control::partition_table_reread;
    }
    if (reread)
        reread(node_path);
}

} // namespace hooks
} // namespace win32
