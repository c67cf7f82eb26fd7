#include "image_retriever.h"

#include "image/release_endpoints.h"
#include "image/release_tag.h"
#include "logger.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QRegularExpression>

image_retriever::image_retriever(const std::string& data_folder)
    : image_retriever(data_folder, release_endpoints::default_release_service(),
                      release_endpoints::default_file_server())
{
}

image_retriever::image_retriever(const std::string& data_folder,
                                 const std::string& release_service_url,
                                 const std::string& file_server_url)
    : m_data_folder(data_folder)
    , m_release_service_url(release_service_url)
    , m_file_server_url(file_server_url)
{
    qRegisterMetaType<std::string>();
    qRegisterMetaType<uint64_t>("uint64_t");
}

image_retriever::~image_retriever()
{
    if (m_manager) {
        for (QNetworkReply* reply : m_manager->findChildren<QNetworkReply*>())
            reply->disconnect(this);
        delete m_manager;
    }
    delete m_file;
}

void image_retriever::check_latest()
{
    // A new query supersedes a download still running from an earlier one; its partial
    // file must not stay behind.
    if (m_downloading)
        cancel();
    m_release_manager();

    m_manager = new QNetworkAccessManager();
    // File servers often hand downloads to a mirror; never from HTTPS down to HTTP.
    m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    m_latest_reply = m_manager->get(
        QNetworkRequest(release_endpoints::latest_release(m_release_service_url)));
    connect(m_latest_reply, SIGNAL(finished()), this, SLOT(latest_reply_finished()));
    connect(m_latest_reply, SIGNAL(error(QNetworkReply::NetworkError)), this,
            SLOT(reply_error(QNetworkReply::NetworkError)));
}

void image_retriever::latest_reply_finished()
{
    // The failure has been reported by reply_error; an error page names no release.
    if (m_latest_reply->error() != QNetworkReply::NoError)
        return;

    QJsonDocument answer = QJsonDocument::fromJson(m_latest_reply->readAll());
    m_tag = answer.object()["tag_name"].toString().toUtf8().toStdString();
    if (m_reject_unsafe_tag())
        return;

    m_checksum_reply =
        m_manager->get(QNetworkRequest(release_endpoints::checksum(m_file_server_url, m_tag)));
    connect(m_checksum_reply, SIGNAL(finished()), this, SLOT(download_checksum_finished()));
    connect(m_checksum_reply, SIGNAL(error(QNetworkReply::NetworkError)), this,
            SLOT(reply_error(QNetworkReply::NetworkError)));
}

void image_retriever::download_checksum_finished()
{
    // An error page is no checksum: it must neither match nor end up in "checksum.md5".
    if (m_checksum_reply->error() != QNetworkReply::NoError)
        return;

    const QByteArray text = m_checksum_reply->readAll();
    const int blank = text.indexOf(' ');
    m_checksum = (blank < 0 ? text : text.left(blank)).toStdString();

    QFile stored(m_checksum_file());
    if (stored.open(QIODevice::ReadOnly)
        && stored.readAll() == QByteArray::fromStdString(m_checksum)) {
        emit finished_download(m_data_folder + "/downloads/" + m_tag + ".gz");
        return;
    }

    KESTREL_LOG(logger::debug, "Starting download");
    m_image_reply =
        m_manager->head(QNetworkRequest(release_endpoints::image(m_file_server_url, m_tag)));
    connect(m_image_reply, SIGNAL(finished()), this, SLOT(recieved_size()));
}

void image_retriever::recieved_size()
{
    // The offer may be accepted at once, which replaces m_image_reply by the download.
    QNetworkReply* size_reply = m_image_reply;
    bool known = false;
    const qint64 length = size_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    // An error page's length is not the image's size.
    const bool answered = size_reply->error() == QNetworkReply::NoError;
    const uint64_t size = answered && known && length > 0 ? static_cast<uint64_t>(length) : 0;

    emit image_not_downloaded(size, m_tag);

    if (size_reply->isRunning()) {
        KESTREL_LOG(logger::info, "Download canceled");
        size_reply->abort();
    }
}

void image_retriever::reply_error(QNetworkReply::NetworkError err)
{
    KESTREL_LOG(logger::fatal, "Network error: " << static_cast<int>(err));
    emit error_msg("Network error: " + QString::number(static_cast<int>(err)), true);
}

void image_retriever::download_image()
{
    if (m_reject_unsafe_tag())
        return;
    // Neither the size probe nor a download still running may write into the new one.
    if (m_image_reply)
        m_stop_image_reply();
    m_downloading = false;
    delete m_file;
    m_file = nullptr;

    const QString folder = m_downloads_folder();
    QDir(folder).removeRecursively();
    m_total = 0;
    if (!QDir(folder).exists())
        QDir().mkdir(folder);

    const QUrl url = release_endpoints::image(m_file_server_url, m_tag);
    m_file = new QFile();
    m_hash.reset();

    KESTREL_LOG(logger::debug, "Starting download");
    m_image_reply = m_manager->get(QNetworkRequest(url));
    connect(m_image_reply, SIGNAL(readyRead()), this, SLOT(recived_data()));
    connect(m_image_reply, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(show_progress(qint64, qint64)));
    connect(m_image_reply, SIGNAL(finished()), this, SLOT(download_finished()));
    connect(m_image_reply, SIGNAL(error(QNetworkReply::NetworkError)), this,
            SLOT(reply_error(QNetworkReply::NetworkError)));

    m_downloading = true;
    m_download_started = true;
}

void image_retriever::recived_data()
{
    if (m_file->isOpen()) {
        const QByteArray data = m_image_reply->readAll();
        m_hash.addData(data);
        m_file->write(data);
    } else {
        const std::string name = m_tag + ".gz";
        m_file_path = m_data_folder + "/downloads/" + name;
        m_file->setFileName(QString::fromStdString(m_file_path));
        if (m_file->open(QIODevice::WriteOnly)) {
            const QByteArray data = m_image_reply->readAll();
            m_hash.addData(data);
            m_file->write(data);
        } else {
            KESTREL_LOG(logger::fatal, "Cannot open file" << name);
        }
    }

    // A directory in the way also counts: the image must be in a file of its own.
    const bool cannot_store = !m_file->isOpen();
    if (m_image_reply->error() != QNetworkReply::NoError || cannot_store) {
        reply_error(cannot_store ? QNetworkReply::NoError : m_image_reply->error());
        // Nothing more can be kept; the receiver of the message may already have cancelled.
        if (cannot_store && m_downloading) {
            m_downloading = false;
            m_stop_image_reply();
        }
    }
}

void image_retriever::show_progress(qint64 recieved, qint64 total)
{
    m_total = total;
    emit progress_updated(recieved, total);
}

void image_retriever::download_finished()
{
    m_downloading = false;
    m_file->close();
    KESTREL_LOG(logger::debug, "Download Finished");

    // Without a length nothing shows that the transfer was not cut short.
    const bool complete = m_image_reply->error() == QNetworkReply::NoError
        && m_image_reply->header(QNetworkRequest::ContentLengthHeader).isValid()
        && !m_file->fileName().isEmpty() && m_file->size() == m_total;
    if (complete && m_matches_release_checksum()) {
        // Written only now: "checksum.md5" marks a verified, complete image as current.
        QFile stored(m_checksum_file());
        if (stored.open(QIODevice::WriteOnly | QIODevice::Truncate))
            stored.write(QByteArray::fromStdString(m_checksum));
        stored.close();
        emit finished_download(m_file_path);
        return;
    }

    KESTREL_LOG(logger::fatal, "Downloading image error");
    m_remove_image();
    QFile::remove(m_checksum_file());
    emit error_msg("Error downloading image", true);
}

void image_retriever::cancel()
{
    if (!m_download_started)
        return;

    if (m_downloading) {
        m_downloading = false;
        if (m_image_reply && m_image_reply->isRunning())
            KESTREL_LOG(logger::info, "Download canceled");
        if (m_image_reply)
            m_stop_image_reply();
    }

    m_remove_image();
    if (QFile::exists(m_checksum_file()))
        QFile::remove(m_checksum_file());
}

QString image_retriever::m_downloads_folder() const
{
    return QString::fromStdString(m_data_folder + "/downloads");
}

QString image_retriever::m_checksum_file() const
{
    return m_downloads_folder() + "/checksum.md5";
}

bool image_retriever::m_reject_unsafe_tag()
{
    if (release_tag::is_safe(m_tag))
        return false;
    // The tag names files and URLs; a cleared tag keeps a later download_image() out too.
    m_tag.clear();
    KESTREL_LOG(logger::fatal, "Invalid release tag");
    emit error_msg("Invalid release tag", true);
    return true;
}

bool image_retriever::m_matches_release_checksum()
{
    static const QRegularExpression md5_digits("^[0-9A-Fa-f]{32}$");
    const QByteArray expected = QByteArray::fromStdString(m_checksum).trimmed();
    // A release that publishes no MD5 can only be recognised, not verified.
    if (!md5_digits.match(QString::fromLatin1(expected)).hasMatch())
        return true;
    return m_hash.result().toHex() == expected.toLower();
}

void image_retriever::m_stop_image_reply()
{
    // Stopped on purpose: its abort must reach neither the user nor download_finished().
    m_image_reply->disconnect(this);
    // A reply that already failed is ending by itself; aborting it would report again.
    if (m_image_reply->isRunning() && m_image_reply->error() == QNetworkReply::NoError)
        m_image_reply->abort();
    m_image_reply->deleteLater();
    m_image_reply = nullptr;
}

void image_retriever::m_remove_image()
{
    // Before the first data the file has no name yet.
    if (m_file->fileName().isEmpty())
        return;
    m_file->close();
    m_file->remove();
}

void image_retriever::m_release_manager()
{
    if (!m_manager)
        return;
    // Replies are children of their manager; deferred, since this may run inside one of
    // their signals.
    for (QNetworkReply* reply : m_manager->findChildren<QNetworkReply*>())
        reply->disconnect(this);
    m_manager->deleteLater();
    m_manager = nullptr;
    m_latest_reply = nullptr;
    m_checksum_reply = nullptr;
    m_image_reply = nullptr;
}
