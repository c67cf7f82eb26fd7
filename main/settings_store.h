#pragma once
// The settings file, data folder + "/configuration.txt".

#include "config/inputs.h"

#include <memory>
#include <string>

namespace settings_store {

// Missing, unreadable, malformed or wrongly typed members load as defaults; bytes that are
// not UTF-8 are replaced.
std::unique_ptr<inputs> load_settings(const std::string& data_folder);

// Replaces the file only once the new content is completely written, after keeping a file it
// could not read as "configuration.txt.bad"; failures are ignored.
void save_settings(const std::string& data_folder, inputs values);

} // namespace settings_store
