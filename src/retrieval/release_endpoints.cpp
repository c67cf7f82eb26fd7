#include "retrieval/release_endpoints.h"

#include <QHostAddress>

namespace {

std::string release_service_override;
std::string file_server_override;

QUrl with_path(const std::string& base, const std::string& path)
{
    QUrl url(QString::fromStdString(base));
    QString prefix = url.path(QUrl::FullyDecoded);
    while (prefix.endsWith('/'))
        prefix.chop(1);
    url.setPath(prefix + QString::fromStdString(path), QUrl::DecodedMode);
    return url;
}

std::string image_path(const std::string& tag)
{
    return "/brindleminer/kestrel/kestrel-" + tag + "/image/kestrel-" + tag + ".img.gz";
}

} // namespace

namespace release_endpoints {

std::string release_service()
{
    return release_service_override.empty() ? default_release_service() : release_service_override;
}

std::string file_server()
{
    return file_server_override.empty() ? default_file_server() : file_server_override;
}

void override_bases(const std::string& release_service_url, const std::string& file_server_url)
{
    release_service_override = release_service_url;
    file_server_override = file_server_url;
}

bool is_allowed_base(const std::string& url)
{
    const QUrl base(QString::fromStdString(url), QUrl::StrictMode);
    if (!base.isValid() || base.host().isEmpty() || !base.userInfo().isEmpty() || base.hasQuery()
        || base.hasFragment())
        return false;
    if (base.scheme() == "https")
        return true;
    const QString host = base.host();
    return base.scheme() == "http"
        && (host.compare("localhost", Qt::CaseInsensitive) == 0 || QHostAddress(host).isLoopback());
}

QUrl latest_release(const std::string& base)
{
    return with_path(base, "/repos/brindle/Kestrel/releases/latest");
}

QUrl checksum(const std::string& base, const std::string& tag)
{
    return with_path(base, image_path(tag) + ".md5");
}

QUrl image(const std::string& base, const std::string& tag)
{
    return with_path(base, image_path(tag));
}

} // namespace release_endpoints
