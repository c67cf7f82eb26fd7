#pragma once
// What the user is told when a run, or one disk of it, does not succeed: one text per cause,
// for the window, the command line and the burner alike. The form's own texts are its rules'
// (config/field_rules.h), the network's its failures' (image/network_failure.h).

#include "base/data_file.h"
#include "config/settings_store.h"
#include "writing/burn_failure.h"

#include <string>

enum class failure_cause {
    // The disk went while it was prepared or written.
    device_disconnected,
    // The disk is there but could not be opened, or is no longer the one chosen.
    cannot_prepare,
    // Another run, of this program or another copy of it, is writing the disk.
    disk_in_use,
    // The download, or the image made from it, cannot be read whole.
    download_damaged,
    // The decompressed image could not be written.
    no_space,
    // A folder of the data folder may not be written: no rights, or a read-only file system.
    // Its text is followed by the folder (folder_failure_text).
    folder_not_writable,
    // No space is left in the data folder for what a run must keep there; followed by the
    // folder.
    folder_full,
    configuration_too_large,
    // The writer could not be started.
    cannot_write,
    // The burner had no disk handle or no image to write.
    cannot_open,
    // The stick read back differs from the image.
    verification_failed,
    // The settings, and with them the worker counter, could not be locked for the run.
    settings_locked,
    // Another process held the data folder longer than a change takes.
    data_folder_locked,
    // Stopped by the user.
    canceled,
};

const char* failure_text(failure_cause cause);
// The text of a failure that names the folder it happened in.
std::string folder_failure_text(failure_cause cause, const std::string& folder);
// Why a change of the settings in `data_folder` was not written.
std::string settings_failure_text(settings_store::update why, const std::string& data_folder);
// Why a copy failed as its burner reports it; `decompressed` is where its decompressed image is
// made.
std::string burn_failure_text(burn_failure cause, const std::string& decompressed);
// Why `file`, in the data folder, was not written; empty when it was.
std::string data_folder_failure_text(data_file::outcome why, const std::string& file);
