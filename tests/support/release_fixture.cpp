#include "release_fixture.h"

#include "gzip_data.h"
#include "image_files.h"
#include "release_server.h"

#include <QCryptographicHash>

release_fixture release_fixture::make(const QString& tag, int content_size, quint64 config_offset)
{
    release_fixture release;
    release.tag = tag;
    release.config_offset = config_offset;
    release.image = image_files::disk_image(content_size, config_offset);
    release.compressed = gzip_data::compress(release.image);
    release.checksum_text = QCryptographicHash::hash(release.compressed, QCryptographicHash::Md5).toHex()
        + "  kestrel-" + tag.toUtf8() + ".img.gz\n";
    return release;
}

void release_fixture::serve(release_server& server) const
{
    release_server::answer latest;
    latest.body = "{\"tag_name\": \"" + tag.toUtf8() + "\", \"name\": \"Kestrel " + tag.toUtf8() + "\"}";
    server.set_answer(release_server::latest_path(), latest);
    release_server::answer checksum;
    checksum.body = checksum_text;
    server.set_answer(release_server::checksum_path(tag), checksum);
    release_server::answer image_file;
    image_file.body = compressed;
    server.set_answer(release_server::image_path(tag), image_file);
}
