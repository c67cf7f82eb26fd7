#include "release_endpoints.h"

namespace {

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
