#include "unwritable_folder.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Sets whether this thread's CAP_DAC_OVERRIDE is in effect; true when it was changed.
bool set_dac_override(bool in_effect)
{
    __user_cap_header_struct header {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const unsigned bit = 1u << (CAP_DAC_OVERRIDE % 32);
    __u32& effective = data[CAP_DAC_OVERRIDE / 32].effective;
    effective = in_effect ? effective | bit : effective & ~bit;
    // Raw capset: it changes this thread only, as the tests want.
    return syscall(SYS_capset, &header, data) == 0;
}

} // namespace

unwritable_folder::unwritable_folder(const QString& path)
    : m_path(path)
    , m_before(QFile::permissions(path))
{
    QFile::setPermissions(m_path, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                      | QFile::ReadOther | QFile::ExeOther);
    if (geteuid() == 0)
        m_override_dropped = set_dac_override(false);
}

unwritable_folder::~unwritable_folder()
{
    if (m_override_dropped)
        set_dac_override(true);
    QFile::setPermissions(m_path, m_before);
}
