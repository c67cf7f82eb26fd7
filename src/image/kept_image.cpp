#include "image/kept_image.h"

#include "image/image_manipulator.h"
#include "image/sparse_output.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <atomic>
#include <cerrno>

namespace {

// A name of this program's own for the image being made.
std::string partial_name(const std::string& img_path)
{
    static std::atomic<unsigned> made {0};
    return img_path + ".part-" + std::to_string(QCoreApplication::applicationPid()) + "-"
        + std::to_string(made++);
}

// The lock a program holds on the image it is making; never stale while that program runs,
// however long it takes.
std::unique_ptr<QLockFile> owner_of(const std::string& partial_path)
{
    auto lock = std::make_unique<QLockFile>(QString::fromStdString(partial_path) + ".lock");
    lock->setStaleLockTime(0);
    return lock;
}

// Images that a program left half made when it ended: nobody will finish them.
void remove_abandoned_images(const std::string& img_path)
{
    const QFileInfo image(QString::fromStdString(img_path));
    QDir folder = image.dir();
    for (const QString& name : folder.entryList({image.fileName() + ".part*"}, QDir::Files)) {
        if (name.endsWith(".lock"))
            continue;
        const std::unique_ptr<QLockFile> owner = owner_of(folder.filePath(name).toStdString());
        if (owner->tryLock(0))
            folder.remove(name);
    }
}

} // namespace

kept_image::kept_image() = default;

kept_image::~kept_image()
{
    give_up();
}

bool kept_image::start(const std::string& img_path)
{
    give_up();
    m_img_path = img_path;
    m_partial_path = partial_name(img_path);
    remove_abandoned_images(img_path);
    m_owner = owner_of(m_partial_path);
    m_owner->lock();
    // An image that another program completed meanwhile stays until this one replaces it whole:
    // that program's copies may still open it.
    m_output.reset(std::fopen(m_partial_path.c_str(), "wb"));
    if (!m_output) {
        const int error_number = errno;
        give_up();
        errno = error_number;
        return false;
    }
    m_image = std::make_unique<sparse_output>(m_output.get());
    return true;
}

bool kept_image::write(const unsigned char* data, std::size_t size)
{
    return m_image && m_image->write(data, size);
}

kept_image::ending kept_image::finish()
{
    if (!m_image || !m_image->finish() || std::fclose(m_output.release()) != 0
        || std::rename(m_partial_path.c_str(), m_img_path.c_str()) != 0) {
        const int error_number = errno;
        give_up();
        errno = error_number;
        return ending::not_written;
    }
    m_image.reset();
    m_partial_path.clear();
    m_owner.reset();
    return image_manipulator::record_complete(m_img_path) ? ending::kept : ending::not_recorded;
}

void kept_image::give_up()
{
    m_image.reset();
    m_output.reset();
    if (!m_partial_path.empty())
        std::remove(m_partial_path.c_str());
    m_partial_path.clear();
    m_owner.reset();
}
