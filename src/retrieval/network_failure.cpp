#include "retrieval/network_failure.h"

namespace network_failure {

QString words(QNetworkReply::NetworkError code)
{
    switch (code) {
    case QNetworkReply::NoError: return "cannot write the image file";
    case QNetworkReply::ConnectionRefusedError: return "connection refused";
    case QNetworkReply::RemoteHostClosedError: return "connection closed by the server";
    case QNetworkReply::HostNotFoundError: return "host not found";
    case QNetworkReply::TimeoutError: return "no answer from the server";
    case QNetworkReply::OperationCanceledError: return "request cancelled";
    case QNetworkReply::SslHandshakeFailedError: return "secure connection failed";
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::BackgroundRequestNotAllowedError: return "no network connection";
    case QNetworkReply::TooManyRedirectsError: return "too many redirects";
    case QNetworkReply::InsecureRedirectError: return "redirected to an insecure address";
    case QNetworkReply::ProxyConnectionRefusedError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyNotFoundError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::UnknownProxyError: return "proxy failure";
    case QNetworkReply::ProxyAuthenticationRequiredError: return "proxy asks for a login";
    case QNetworkReply::ContentAccessDenied: return "access denied by the server";
    case QNetworkReply::ContentNotFoundError: return "not found on the server";
    case QNetworkReply::ContentGoneError: return "no longer on the server";
    case QNetworkReply::AuthenticationRequiredError: return "the server asks for a login";
    case QNetworkReply::ProtocolUnknownError: return "unsupported address";
    case QNetworkReply::InternalServerError:
    case QNetworkReply::UnknownServerError: return "server failure";
    case QNetworkReply::ServiceUnavailableError: return "server unavailable";
    default: break;
    }
    if (code >= QNetworkReply::ContentAccessDenied && code <= QNetworkReply::UnknownContentError)
        return "refused by the server";
    if (code >= QNetworkReply::ProtocolUnknownError && code <= QNetworkReply::ProtocolFailure)
        return "unreadable answer";
    if (code >= QNetworkReply::InternalServerError)
        return "server failure";
    return "network failure";
}

bool unreachable(QNetworkReply::NetworkError code)
{
    switch (code) {
    case QNetworkReply::NoError:
    case QNetworkReply::OperationCanceledError:
    case QNetworkReply::TooManyRedirectsError:
    case QNetworkReply::InsecureRedirectError:
        return false;
    default:
        break;
    }
    // Below the content errors: transport and proxy failures. From InternalServerError on:
    // the server's own failures (HTTP 5xx).
    return code < QNetworkReply::ContentAccessDenied || code >= QNetworkReply::InternalServerError;
}

} // namespace network_failure
