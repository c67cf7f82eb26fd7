// Compiled apart from the library, once with the product's endpoints for the program and once
// with the local test server's for the tests, so that the window's own path is what tests drive.

#include "retrieval/release_endpoints.h"

namespace release_endpoints {

std::string default_release_service()
{
    return KESTREL_RELEASE_SERVICE_URL;
}

std::string default_file_server()
{
    return KESTREL_FILE_SERVER_URL;
}

} // namespace release_endpoints
