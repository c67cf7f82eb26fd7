#include "local_endpoints.h"

#include <QByteArray>

namespace {

const char* const port_variable = "KESTREL_LOCAL_SERVER_PORT";

} // namespace

namespace local_endpoints {

void announce_port(quint16 port)
{
    qputenv(port_variable, QByteArray::number(port));
}

std::string url()
{
    return "http://127.0.0.1:" + std::to_string(qEnvironmentVariableIntValue(port_variable));
}

} // namespace local_endpoints
