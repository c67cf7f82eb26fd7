#include "image/cache_lock.h"

#include "base/logger.h"
#include "base/wait_lengths.h"

namespace {

const QString lock_name = "holds.lock";

} // namespace

cache_lock::cache_lock(const QString& folder)
    : m_lock(folder + "/" + lock_name)
{
    // Never stale while its process lives: a look that takes long still ends.
    m_lock.setStaleLockTime(0);
    if (m_lock.tryLock(int(wait_lengths::current().cache_lock.count()))) {
        m_state = state::held;
        return;
    }
    KESTREL_LOG(logger::fatal, "Cannot lock " << folder.toStdString() << "/" << lock_name.toStdString() << ": "
                                              << int(m_lock.error()));
    m_state = m_lock.error() == QLockFile::LockFailedError ? state::busy : state::failed;
}

cache_lock::state cache_lock::result() const
{
    return m_state;
}

bool cache_lock::held() const
{
    return m_state == state::held;
}

bool cache_lock::is_lock_file(const QString& name)
{
    // With the file Qt makes beside it while it takes over a lock whose process has died.
    return name.startsWith(lock_name);
}
