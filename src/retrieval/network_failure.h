#pragma once
// What a failed request means to the user: its reason in plain words, and whether the server
// could not be reached at all (as opposed to answering something unusable).

#include <QNetworkReply>
#include <QString>

namespace network_failure {

// "connection refused", "host not found", ...; NoError stands for an image file that cannot
// be written.
QString words(QNetworkReply::NetworkError code);

// No answer came, or only a server failure: the network, the host, the connection or the
// server itself is down.
bool unreachable(QNetworkReply::NetworkError code);

} // namespace network_failure
