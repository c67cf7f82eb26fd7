#pragma once
// The program's constants and its per-user data folder.

#include <string>

namespace app_paths {

extern const char* const application_name;
extern const char* const version;

// The per-user application-data location + "/Kestrel Flash Tool".
std::string default_data_folder();

// Creates the "downloads" folder and touches the settings file and the log, keeping any
// content they already have; failures are ignored.
void prepare_data_folder(const std::string& data_folder);

} // namespace app_paths
