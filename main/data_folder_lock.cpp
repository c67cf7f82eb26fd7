#include "data_folder_lock.h"

#include "logger.h"
#include "wait_lengths.h"

namespace {

// One held longer than any change takes belongs to a process that hangs.
constexpr int stale_after_ms = 30000;

} // namespace

data_folder_lock::data_folder_lock(const std::string& data_folder)
    : m_lock(QString::fromStdString(data_folder + "/configuration.txt.lock"))
{
    m_lock.setStaleLockTime(stale_after_ms);
    if (m_lock.tryLock(int(wait_lengths::current().settings_lock.count()))) {
        m_state = state::held;
        return;
    }
    KESTREL_LOG(logger::fatal, "Cannot lock the data folder: " << int(m_lock.error()));
    switch (m_lock.error()) {
    case QLockFile::LockFailedError:
        m_state = state::busy;
        break;
    case QLockFile::PermissionError:
        m_state = state::not_allowed;
        break;
    default:
        m_state = state::failed;
        break;
    }
}

data_folder_lock::state data_folder_lock::result() const
{
    return m_state;
}
