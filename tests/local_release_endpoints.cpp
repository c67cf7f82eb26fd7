// The test build's endpoints in place of the product's: the local release server of the test,
// so that no test reaches beyond 127.0.0.1.

#include "retrieval/release_endpoints.h"
#include "local_endpoints.h"

namespace release_endpoints {

std::string default_release_service()
{
    return local_endpoints::url();
}

std::string default_file_server()
{
    return local_endpoints::url();
}

} // namespace release_endpoints
