#include "journal.h"

#include "disk_registry.h"
#include "host_root.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace win32 {
namespace {

struct pending_failure {
    test_control::call what;
    std::string target;
    DWORD error;
    int calls_to_pass;
};

struct pending_hold {
    test_control::call what;
    std::string target;
    int calls_to_pass = 0;
    bool armed = false;
    bool waiting = false;
};

std::mutex journal_mutex;
std::condition_variable hold_released;
std::vector<test_control::journal_entry> entries;
std::vector<pending_failure> failures;
pending_hold hold;
std::atomic<std::uint64_t> drive_listing_count {0};

} // namespace

void wait_if_held(test_control::call what, const std::string& target)
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

DWORD injected_failure(test_control::call what, const std::string& target)
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    for (auto failure = failures.begin(); failure != failures.end(); ++failure) {
        if (failure->what != what || failure->target != target)
            continue;
        if (failure->calls_to_pass-- > 0)
            return 0;
        DWORD error = failure->error;
        failures.erase(failure);
        return error;
    }
    return 0;
}

void note_drive_listing()
{
    ++drive_listing_count;
}

void journal_call(test_control::call what, const std::string& target, DWORD error,
                  std::uint64_t offset, std::uint64_t length)
{
    std::lock_guard<std::mutex> lock(journal_mutex);
    entries.push_back({what, target, offset, length, error});
}

namespace test_control {

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

void reset()
{
    release_held();
    reread_host_root();
    forget_disk_registry();
    std::lock_guard<std::mutex> lock(journal_mutex);
    entries.clear();
    failures.clear();
}

} // namespace test_control
} // namespace win32
