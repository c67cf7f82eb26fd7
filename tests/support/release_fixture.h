#pragma once
// A small but complete release (a gzip disk image with its configuration trailer, its MD5 and
// a tag), served the way the release service and the file server serve one.

#include <QByteArray>
#include <QString>

class release_server;

struct release_fixture {
    QString tag;
    // The decompressed image, trailer included.
    QByteArray image;
    QByteArray compressed;
    // The checksum file's text: "hash  name\n".
    QByteArray checksum_text;
    quint64 config_offset = 0;

    // `content_size` bytes of image content with the configuration area at `config_offset`.
    static release_fixture make(const QString& tag, int content_size, quint64 config_offset);

    // Answers the latest-release query, the checksum and the image (GET and HEAD).
    void serve(release_server& server) const;
};
