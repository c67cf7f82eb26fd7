#pragma once
// The settings file, data folder + "/configuration.txt".

#include "config/inputs.h"

#include <functional>
#include <memory>
#include <string>

namespace settings_store {

// Missing, unreadable, malformed or wrongly typed members load as defaults; bytes that are
// not UTF-8 are replaced.
std::unique_ptr<inputs> load_settings(const std::string& data_folder);

// Replaces the file only once the new content is completely written, after keeping a file it
// could not read as "configuration.txt.bad"; failures are ignored.
void save_settings(const std::string& data_folder, inputs values);

// How update_settings ended: written, or why nothing was.
enum class update {
    written,
    // `change` returned false.
    declined,
    // Another process held the lock longer than a change takes.
    locked,
    // The lock file cannot be made: the data folder may not be written.
    folder_not_writable,
};

// One change of the file among every process that shares the data folder (windows, command
// lines, an elevated copy): under the folder's lock file, the settings as the file holds them
// now are read, `change` is applied, and the file written, so that nobody's change is lost and
// no counter goes back. `change` returns false to write nothing.
update update_settings(const std::string& data_folder, const std::function<bool(inputs&)>& change);

} // namespace settings_store
