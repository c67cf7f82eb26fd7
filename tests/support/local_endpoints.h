#pragma once
// The test build's release endpoints: the release server a test started on 127.0.0.1, at the
// port the test hands on through the environment, so that test programs can run side by side.

#include <QtGlobal>

#include <string>

namespace local_endpoints {

// Points the test build's endpoints at 127.0.0.1:`port`, for this process and those it starts.
void announce_port(quint16 port);

// "http://127.0.0.1:<port>"; port 0, where no connection is ever accepted, until a port was
// announced.
std::string url();

} // namespace local_endpoints
