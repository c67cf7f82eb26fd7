#pragma once
// Why a copy did not end written, as the burner reports it: the run turns it into the user's
// words.

#include <QMetaType>

enum class burn_failure {
    // No disk handle, or no image to write.
    cannot_open,
    // The disk went, or refused a write.
    disconnected,
    // The download cannot be inflated, or the image it gives cannot be read or has no
    // configuration area.
    download_damaged,
    // The decompressed image could not be written, as on a full disk.
    no_space,
    // The decompressed image's folder may not be written.
    folder_not_writable,
    // The stick read back differs from the image, or cannot be read though attached.
    verification_failed,
};

Q_DECLARE_METATYPE(burn_failure)
