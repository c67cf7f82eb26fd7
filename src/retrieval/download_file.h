#pragma once
// The file an image download goes into. Data are appended as they arrive and hashed from what
// reached the file, both in steps of bounded size, so that no step holds the event loop up for
// long, and a resumed download is hashed whole.

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>

class download_file {
public:
    // Opens `path`, keeping what it holds when `resume`, empty otherwise.
    bool open(const QString& path, bool resume);
    void close();
    qint64 size() const;
    bool append(const QByteArray& data);
    // Drops everything written so far.
    bool restart();
    // Hashes up to `limit` bytes that are not hashed yet; returns how many it hashed.
    qint64 hash_more(qint64 limit);
    // MD5 of the file in lower-case hex, valid once hash_more() has nothing left.
    QByteArray md5_hex() const;

private:
    QFile m_writer;
    QFile m_reader;
    QCryptographicHash m_hash {QCryptographicHash::Md5};
    qint64 m_size = 0;
    qint64 m_hashed = 0;
};
