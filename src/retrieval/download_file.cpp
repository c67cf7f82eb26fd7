#include "retrieval/download_file.h"

bool download_file::open(const QString& path, bool resume)
{
    close();
    m_writer.setFileName(path);
    m_reader.setFileName(path);
    // Unbuffered, so that the reader sees every byte as soon as append() returns.
    const QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered
        | (resume ? QIODevice::Append : QIODevice::Truncate);
    if (!m_writer.open(mode) || !m_reader.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        close();
        return false;
    }
    m_size = m_writer.size();
    return true;
}

void download_file::close()
{
    m_writer.close();
    m_reader.close();
    m_hash.reset();
    m_size = 0;
    m_hashed = 0;
}

qint64 download_file::size() const
{
    return m_size;
}

bool download_file::append(const QByteArray& data)
{
    const qint64 written = m_writer.write(data);
    if (written > 0)
        m_size += written;
    return written == data.size();
}

bool download_file::restart()
{
    m_hash.reset();
    m_size = 0;
    m_hashed = 0;
    return m_writer.resize(0) && m_reader.seek(0);
}

qint64 download_file::hash_more(qint64 limit)
{
    if (m_hashed >= m_size)
        return 0;
    const QByteArray data = m_reader.read(qMin(limit, m_size - m_hashed));
    m_hash.addData(data);
    m_hashed += data.size();
    return data.size();
}

QByteArray download_file::md5_hex() const
{
    return m_hash.result().toHex();
}
