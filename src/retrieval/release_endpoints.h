#pragma once
// Where the latest release, its checksum and its image are fetched from.

#include <QUrl>

#include <string>

namespace release_endpoints {

// The base URLs fixed at build time (KESTREL_RELEASE_SERVICE_URL, KESTREL_FILE_SERVER_URL).
std::string default_release_service();
std::string default_file_server();

// The base URLs of this run: those set by override_bases(), or else the defaults.
std::string release_service();
std::string file_server();
// An empty URL keeps the default.
void override_bases(const std::string& release_service_url, const std::string& file_server_url);

// Whether `url` may serve as a base: an https:// URL, or http:// to a loopback address (a
// local mirror), without user name, password, query or fragment.
bool is_allowed_base(const std::string& url);

// `base` may carry a path prefix; the tag is taken literally, so "?", "#" or "%" in it stay
// part of the path.
QUrl latest_release(const std::string& base);
QUrl checksum(const std::string& base, const std::string& tag);
QUrl image(const std::string& base, const std::string& tag);

} // namespace release_endpoints
