#include "base/data_file.h"

#include <QSaveFile>

#include <cerrno>
#include <system_error>

namespace data_file {

outcome outcome_of(int error_number)
{
    const std::error_code error(error_number, std::generic_category());
    if (error == std::errc::no_space_on_device || error == std::errc::file_too_large)
        return outcome::full;
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted
        || error == std::errc::read_only_file_system)
        return outcome::not_allowed;
    return outcome::failed;
}

outcome outcome_of_last_call()
{
    return errno == 0 ? outcome::failed : outcome_of(errno);
}

outcome replace(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    errno = 0;
    // commit() alone would still put in place a file whose buffered bytes never reached the
    // disk: every byte is written and flushed first, and the errno of the call that failed is
    // taken before anything else can change it.
    const bool written = file.open(QIODevice::WriteOnly) && file.write(content) == content.size()
        && file.flush() && file.commit();
    if (written)
        return outcome::written;
    // The temporary file goes with `file`.
    return outcome_of_last_call();
}

} // namespace data_file
