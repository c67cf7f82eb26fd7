#pragma once
// Where the latest release, its checksum and its image are fetched from.

#include <QUrl>

#include <string>

namespace release_endpoints {

// The base URLs fixed at build time (KESTREL_RELEASE_SERVICE_URL, KESTREL_FILE_SERVER_URL).
std::string default_release_service();
std::string default_file_server();

// `base` may carry a path prefix; the tag is taken literally, so "?", "#" or "%" in it stay
// part of the path.
QUrl latest_release(const std::string& base);
QUrl checksum(const std::string& base, const std::string& tag);
QUrl image(const std::string& base, const std::string& tag);

} // namespace release_endpoints
