#pragma once
// The small files of the data folder (settings, records, checksums) are replaced whole or not
// at all, and a write that did not reach the disk says why: the user is told a full disk apart
// from a folder that may not be written.

#include <QByteArray>
#include <QString>

namespace data_file {

enum class outcome {
    written,
    // No space left, or a file-size limit reached.
    full,
    // No rights, or a read-only file system.
    not_allowed,
    // Any other failure of the file system.
    failed,
    // Another process held the data folder's lock longer than a change takes.
    locked,
};

// What a failed call that left `error_number` (errno) in the C library means.
outcome outcome_of(int error_number);
// What the failed call just made means, by the errno it left; failed when it left none.
outcome outcome_of_last_call();

// Writes `content` to a temporary file beside `path`, flushed to the disk, then puts it in
// place of `path`: a crash or a full disk midway leaves `path` as it was.
outcome replace(const QString& path, const QByteArray& content);

} // namespace data_file
