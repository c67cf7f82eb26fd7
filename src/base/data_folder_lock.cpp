#include "base/data_folder_lock.h"

#include "base/logger.h"
#include "base/wait_lengths.h"

namespace {

// One held longer than any change takes belongs to a process that hangs.
constexpr int stale_after_ms = 30000;

} // namespace

data_folder_lock::data_folder_lock(const std::string& data_folder)
    : m_lock(QString::fromStdString(data_folder + "/configuration.txt.lock"))
{
    m_lock.setStaleLockTime(stale_after_ms);
    if (m_lock.tryLock(int(wait_lengths::current().settings_lock.count()))) {
        m_refusal = data_file::outcome::written;
        return;
    }
    KESTREL_LOG(logger::fatal, "Cannot lock the data folder: " << int(m_lock.error()));
    switch (m_lock.error()) {
    case QLockFile::LockFailedError:
        m_refusal = data_file::outcome::locked;
        break;
    case QLockFile::PermissionError:
        m_refusal = data_file::outcome::not_allowed;
        break;
    default:
        m_refusal = data_file::outcome::failed;
        break;
    }
}

bool data_folder_lock::held() const
{
    return m_lock.isLocked();
}

data_file::outcome data_folder_lock::refusal() const
{
    return m_refusal;
}
