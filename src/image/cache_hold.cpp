#include "image/cache_hold.h"

#include "base/logger.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>

namespace {

// Never stale while its process lives, however long the run takes.
std::unique_ptr<QLockFile> claim_file(const QString& path)
{
    auto claim = std::make_unique<QLockFile>(path);
    claim->setStaleLockTime(0);
    return claim;
}

} // namespace

std::unique_ptr<cache_hold> cache_hold::take(const QString& entry)
{
    // Several runs of one process may hold the same entry.
    static std::atomic<unsigned> taken {0};
    std::unique_ptr<QLockFile> claim = claim_file(entry + ".hold-" + QString::number(QCoreApplication::applicationPid())
                                                  + "-" + QString::number(taken++));
    if (!claim->tryLock(0)) {
        KESTREL_LOG(logger::fatal, "Cannot hold " << entry.toStdString() << ": " << int(claim->error()));
        return nullptr;
    }
    return std::unique_ptr<cache_hold>(new cache_hold(std::move(claim)));
}

cache_hold::cache_hold(std::unique_ptr<QLockFile> claim)
    : m_claim(std::move(claim))
{
}

cache_hold::~cache_hold()
{
    m_claim->unlock();
}

bool cache_hold::is_held(const QString& entry)
{
    const QFileInfo place(entry);
    const QDir folder = place.dir();
    bool held = false;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (claimed_entry(name) != place.fileName())
            continue;
        // Only the claim of a process that has died can be taken; taken, it goes.
        const std::unique_ptr<QLockFile> claim = claim_file(folder.filePath(name));
        if (claim->tryLock(0))
            claim->unlock();
        else
            held = true;
    }
    return held;
}

QString cache_hold::claimed_entry(const QString& name)
{
    static const QRegularExpression claim_name("^(.+)\\.hold-[0-9]+-[0-9]+$");
    return claim_name.match(name).captured(1);
}
