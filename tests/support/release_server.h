#pragma once
// A local stand-in for the release service and the maker's file server: HTTP or HTTPS on
// 127.0.0.1 at a free port, with answers set per path. It depends on Qt Core and Network
// only, so that tests and developer tools can both run it.

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>

#include <memory>

class release_server : public QObject {
    Q_OBJECT

public:
    struct answer {
        int status = 200;
        QByteArray body;
        // Sent as the Location header when not empty (with a redirect status).
        QByteArray location;
        // Without a Content-Length the GET body ends when the server closes the connection.
        bool send_length = true;
        // The Content-Length a HEAD answer announces; -1 takes the body's size (none at all
        // when send_length is false).
        qint64 head_length = -1;
        // Closes the connection after this many body bytes although more were announced.
        qint64 cut_after = -1;
        // Sends this many body bytes, then waits for release_held() before the rest.
        qint64 hold_after = -1;
        // A slow body: pieces of this many bytes, one every piece_delay_ms.
        qint64 piece_size = 0;
        int piece_delay_ms = 0;
        // Reads the request and never answers, keeping the connection open.
        bool silent = false;
        // Announces "Accept-Ranges: bytes" and answers "Range: bytes=N-" with 206 and the
        // body from N on (416 when N lies beyond it); cut_after and hold_after then count
        // from the part's start.
        bool accept_ranges = false;
        // Such a server gone wrong: it answers "bytes=N-" with 200 and the whole body, or with
        // a 206 that starts at this offset instead of N (-1: at N, as asked).
        bool ranges_ignored = false;
        qint64 range_served_from = -1;
    };

    explicit release_server(QObject* parent = nullptr);
    ~release_server() override;

    // Listens on 127.0.0.1 at `port`, or at a port the system picks when it is 0.
    bool start(quint16 port = 0);
    bool start_tls(const QSslCertificate& certificate, const QSslKey& key);
    // Stops listening and drops every connection.
    void stop();
    // "http://127.0.0.1:port" or "https://127.0.0.1:port"; empty before start.
    QString base_url() const;
    quint16 port() const;

    // `path` as decoded from the request; paths without an answer get 404.
    void set_answer(const QString& path, const answer& reply);
    // The answer to change in place; a path without one gets a 200 with an empty body.
    answer& answer_for(const QString& path);
    // The latest-release JSON naming `tag`, the checksum text and the image.
    void publish_release(const QString& tag, const QByteArray& image,
                         const QByteArray& checksum_text);
    // Lets every body held by hold_after go on.
    void release_held();

    static QString latest_path();
    static QString checksum_path(const QString& tag);
    static QString image_path(const QString& tag);
    // A port on 127.0.0.1 where nothing listens (for refused connections).
    static quint16 unused_port();

    // "METHOD path" of every request, in order of arrival.
    QStringList requests() const;
    // The Range header of every request that had one, in order of arrival.
    QStringList ranges() const;
    int open_connections() const;
    // Transfers the client ended before the whole body was sent.
    int abandoned_transfers() const;
    // Connections that are waiting in a hold.
    int held_transfers() const;

private:
    class listener;
    class connection;

    std::unique_ptr<listener> m_listener;
    QList<connection*> m_connections;
    QHash<QString, answer> m_answers;
    QStringList m_requests;
    QStringList m_ranges;
    int m_abandoned = 0;
    bool m_tls = false;
    QSslCertificate m_certificate;
    QSslKey m_key;

    bool m_listen(quint16 port = 0);
    void m_accept(qintptr descriptor);
};
