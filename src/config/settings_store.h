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

// How a change of the settings ended: written, or why nothing was.
enum class update {
    written,
    // `change` returned false.
    declined,
    // Another process held the data folder's lock longer than a change takes.
    locked,
    // The data folder may not be written: no rights, or a read-only file system.
    not_allowed,
    // No space is left for the file.
    full,
    // The file system failed otherwise.
    failed,
};

// One change of the file among every process that shares the data folder (windows, command
// lines, an elevated copy): under the data folder's lock, the settings as the file holds them
// now are read, `change` is applied, and the file replaced, once the new content is completely
// written, after keeping a file it could not read as "configuration.txt.bad". Nobody's change
// is lost and no counter goes back. `change` returns false to write nothing.
update update_settings(const std::string& data_folder, const std::function<bool(inputs&)>& change);

// update_settings() that replaces every value by `values`.
update save_settings(const std::string& data_folder, const inputs& values);

// Removes the temporary file that a save left when its process ended midway: under the lock,
// no save of another process is under way.
void remove_unfinished_saves(const std::string& data_folder);

} // namespace settings_store
