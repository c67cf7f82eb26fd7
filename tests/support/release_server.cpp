#include "release_server.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>

#include <functional>

class release_server::listener : public QTcpServer {
public:
    explicit listener(std::function<void(qintptr)> accept) : m_accept(std::move(accept)) {}

protected:
    void incomingConnection(qintptr descriptor) override { m_accept(descriptor); }

private:
    std::function<void(qintptr)> m_accept;
};

// One client connection: reads requests one after another (keep-alive) and sends each
// answer, slowly, held or cut off as the answer says.
class release_server::connection : public QObject {
public:
    connection(release_server* server, QTcpSocket* socket) : m_server(server), m_socket(socket)
    {
        m_socket->setParent(this);
        QObject::connect(m_socket, &QTcpSocket::readyRead, this, [this] { m_read(); });
        QObject::connect(m_socket, &QTcpSocket::disconnected, this, [this] { m_closed(); });
        QObject::connect(m_socket, &QTcpSocket::bytesWritten, this, [this] { m_client_took_data(); });
    }

    void release()
    {
        if (!m_held)
            return;
        m_held = false;
        m_hold_done = true;
        m_send_more();
    }

    // Closes at once, without counting the connection as left by the client.
    void drop()
    {
        m_socket->disconnect(this);
        m_socket->abort();
    }

    bool held() const { return m_held; }

private:
    release_server* m_server;
    QTcpSocket* m_socket;
    QByteArray m_input;
    bool m_sending = false;
    bool m_finished = false;
    answer m_answer;
    qint64 m_sent = 0;
    bool m_held = false;
    bool m_hold_done = false;
    bool m_close_after = false;
    bool m_waiting_for_client = false;

    static constexpr qint64 send_window = 1 << 20;

    void m_read()
    {
        m_input += m_socket->readAll();
        while (!m_sending && !m_finished) {
            const int end = m_input.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            const QByteArray head = m_input.left(end);
            m_input.remove(0, end + 4);
            m_answer_request(head);
        }
    }

    void m_answer_request(const QByteArray& head)
    {
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> request_line = lines.value(0).trimmed().split(' ');
        const QString method = QString::fromLatin1(request_line.value(0));
        QByteArray target = request_line.value(1);
        if (target.contains('?'))
            target.truncate(target.indexOf('?'));
        const QString path = QUrl::fromPercentEncoding(target);
        m_server->m_requests << method + " " + path;
        QByteArray range;
        for (const QByteArray& line : lines.mid(1)) {
            if (line.toLower().startsWith("range:"))
                range = line.mid(6).trimmed();
        }
        if (!range.isEmpty())
            m_server->m_ranges << QString::fromLatin1(range);

        if (m_server->m_answers.contains(path)) {
            m_answer = m_server->m_answers.value(path);
        } else {
            m_answer = answer();
            m_answer.status = 404;
            m_answer.body = "not found\n";
        }
        if (m_answer.silent) {
            m_finished = true;
            return;
        }

        const bool head_only = method == "HEAD";
        QByteArray extra_headers;
        if (m_answer.accept_ranges) {
            extra_headers += "Accept-Ranges: bytes\r\n";
            if (!head_only && m_answer.status == 200 && range.startsWith("bytes=")
                && !m_answer.ranges_ignored)
                extra_headers += m_take_range(range);
        }
        m_close_after = !head_only && (!m_answer.send_length || m_answer.cut_after >= 0);
        QByteArray header = "HTTP/1.1 " + QByteArray::number(m_answer.status) + " "
            + m_reason(m_answer.status) + "\r\nContent-Type: application/octet-stream\r\n"
            + extra_headers;
        qint64 length = m_answer.send_length ? m_answer.body.size() : -1;
        if (head_only && m_answer.head_length >= 0)
            length = m_answer.head_length;
        if (length >= 0)
            header += "Content-Length: " + QByteArray::number(length) + "\r\n";
        if (!m_answer.location.isEmpty())
            header += "Location: " + m_answer.location + "\r\n";
        if (m_close_after)
            header += "Connection: close\r\n";
        m_socket->write(header + "\r\n");

        m_sent = 0;
        m_hold_done = false;
        m_sending = true;
        if (head_only)
            m_answer.body.clear();
        m_send_more();
    }

    // Turns the answer into the part that "bytes=N-" asks for; returns its Content-Range.
    QByteArray m_take_range(const QByteArray& range)
    {
        const QByteArray whole = QByteArray::number(m_answer.body.size());
        bool number = false;
        const qint64 start = range.mid(6, range.indexOf('-') - 6).toLongLong(&number);
        if (!number || !range.endsWith('-') || start >= m_answer.body.size()) {
            m_answer.status = 416;
            m_answer.body.clear();
            return "Content-Range: bytes */" + whole + "\r\n";
        }
        const qint64 served = m_answer.range_served_from >= 0 ? m_answer.range_served_from : start;
        m_answer.status = 206;
        m_answer.body = m_answer.body.mid(served);
        return "Content-Range: bytes " + QByteArray::number(served) + "-"
            + QByteArray::number(served + m_answer.body.size() - 1) + "/" + whole + "\r\n";
    }

    void m_send_more()
    {
        if (m_finished)
            return;
        const qint64 size = m_answer.body.size();
        const qint64 end = m_answer.cut_after >= 0 ? qMin(m_answer.cut_after, size) : size;
        while (m_sent < end) {
            qint64 limit = end;
            if (m_answer.hold_after >= 0 && !m_hold_done) {
                if (m_sent >= m_answer.hold_after) {
                    m_held = true;
                    return;
                }
                limit = qMin(limit, m_answer.hold_after);
            }
            // Large bodies go out as the client takes them, not all into the socket's buffer.
            if (m_socket->bytesToWrite() >= send_window) {
                m_waiting_for_client = true;
                return;
            }
            qint64 piece = qMin(limit - m_sent, send_window);
            if (m_answer.piece_size > 0)
                piece = qMin(piece, m_answer.piece_size);
            m_socket->write(m_answer.body.constData() + m_sent, piece);
            m_sent += piece;
            if (m_answer.piece_delay_ms > 0 && m_sent < end) {
                QTimer::singleShot(m_answer.piece_delay_ms, this, [this] { m_send_more(); });
                return;
            }
        }
        m_sending = false;
        if (m_close_after) {
            m_finished = true;
            m_socket->disconnectFromHost();
            return;
        }
        m_read();
    }

    void m_client_took_data()
    {
        if (!m_waiting_for_client || m_socket->bytesToWrite() >= send_window)
            return;
        m_waiting_for_client = false;
        m_send_more();
    }

    void m_closed()
    {
        const qint64 end = m_answer.cut_after >= 0 ? qMin(m_answer.cut_after, qint64(m_answer.body.size()))
                                                   : m_answer.body.size();
        if (m_sending && m_sent < end)
            ++m_server->m_abandoned;
        m_server->m_connections.removeOne(this);
        deleteLater();
    }

    static QByteArray m_reason(int status)
    {
        switch (status) {
        case 200: return "OK";
        case 206: return "Partial Content";
        case 302: return "Found";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 416: return "Range Not Satisfiable";
        case 500: return "Internal Server Error";
        case 503: return "Service Unavailable";
        default: return "Status";
        }
    }
};

release_server::release_server(QObject* parent)
    : QObject(parent)
{
}

release_server::~release_server()
{
    stop();
}

bool release_server::start(quint16 port)
{
    m_tls = false;
    return m_listen(port);
}

bool release_server::start_tls(const QSslCertificate& certificate, const QSslKey& key)
{
    m_tls = true;
    m_certificate = certificate;
    m_key = key;
    return m_listen();
}

bool release_server::m_listen(quint16 port)
{
    m_listener = std::make_unique<listener>([this](qintptr descriptor) { m_accept(descriptor); });
    return m_listener->listen(QHostAddress::LocalHost, port);
}

void release_server::stop()
{
    if (m_listener)
        m_listener->close();
    const QList<connection*> connections = m_connections;
    m_connections.clear();
    for (connection* client : connections) {
        client->drop();
        delete client;
    }
}

QString release_server::base_url() const
{
    if (!m_listener || !m_listener->isListening())
        return QString();
    return QString(m_tls ? "https" : "http") + "://127.0.0.1:" + QString::number(port());
}

quint16 release_server::port() const
{
    return m_listener ? m_listener->serverPort() : 0;
}

void release_server::m_accept(qintptr descriptor)
{
    QTcpSocket* socket = nullptr;
    if (m_tls) {
        auto* secure = new QSslSocket();
        if (!secure->setSocketDescriptor(descriptor)) {
            delete secure;
            return;
        }
        secure->setLocalCertificate(m_certificate);
        secure->setPrivateKey(m_key);
        secure->startServerEncryption();
        socket = secure;
    } else {
        socket = new QTcpSocket();
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
    }
    m_connections << new connection(this, socket);
}

void release_server::set_answer(const QString& path, const answer& reply)
{
    m_answers[path] = reply;
}

release_server::answer& release_server::answer_for(const QString& path)
{
    return m_answers[path];
}

void release_server::publish_release(const QString& tag, const QByteArray& image,
                                     const QByteArray& checksum_text)
{
    answer latest;
    latest.body = QJsonDocument(QJsonObject {{"tag_name", tag}, {"name", "Kestrel " + tag}})
                      .toJson(QJsonDocument::Compact);
    set_answer(latest_path(), latest);
    answer checksum;
    checksum.body = checksum_text;
    set_answer(checksum_path(tag), checksum);
    answer body;
    body.body = image;
    set_answer(image_path(tag), body);
}

void release_server::release_held()
{
    for (connection* client : m_connections)
        client->release();
}

QString release_server::latest_path()
{
    return "/repos/brindle/Kestrel/releases/latest";
}

QString release_server::checksum_path(const QString& tag)
{
    return image_path(tag) + ".md5";
}

QString release_server::image_path(const QString& tag)
{
    return "/brindleminer/kestrel/kestrel-" + tag + "/image/kestrel-" + tag + ".img.gz";
}

quint16 release_server::unused_port()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

QStringList release_server::requests() const
{
    return m_requests;
}

QStringList release_server::ranges() const
{
    return m_ranges;
}

int release_server::open_connections() const
{
    return m_connections.size();
}

int release_server::abandoned_transfers() const
{
    return m_abandoned;
}

int release_server::held_transfers() const
{
    int held = 0;
    for (connection* client : m_connections)
        held += client->held() ? 1 : 0;
    return held;
}
