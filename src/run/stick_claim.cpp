#include "run/stick_claim.h"

#include <QCryptographicHash>
#include <QDir>

namespace {

// What both stations see alike of one stick at one moment: disk numbers are each process's own.
QString claim_name(const device& stick)
{
    const QByteArray seen = QByteArray::fromStdString(stick.system_name + '\n' + stick.port + '\n' + stick.serial
                                                      + '\n' + std::to_string(stick.size));
    return QString::fromLatin1(QCryptographicHash::hash(seen, QCryptographicHash::Md5).toHex()) + ".lock";
}

} // namespace

stick_claim::stick_claim(const std::string& data_folder, const device& stick)
{
    const QString folder = QString::fromStdString(data_folder) + "/stations";
    QDir().mkpath(folder);
    m_lock = std::make_unique<QLockFile>(folder + "/" + claim_name(stick));
    // Held for as long as a flash takes; only a claimer that has gone makes it stale.
    m_lock->setStaleLockTime(0);
    m_lock->tryLock(0);
}

bool stick_claim::taken_by_other() const
{
    return !m_lock->isLocked() && m_lock->error() == QLockFile::LockFailedError;
}
