#include "retrieval/image_retriever.h"

#include "base/logger.h"
#include "base/wait_lengths.h"
#include "retrieval/network_failure.h"
#include "retrieval/release_endpoints.h"
#include "retrieval/release_tag.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

// A checksum answer is one line; anything longer is not one.
constexpr qint64 checksum_answer_limit = 4096;

} // namespace

image_retriever::image_retriever(const std::string& data_folder)
    : image_retriever(data_folder, release_endpoints::release_service(),
                      release_endpoints::file_server())
{
}

image_retriever::image_retriever(const std::string& data_folder,
                                 const std::string& release_service_url,
                                 const std::string& file_server_url)
    : m_release_service_url(release_service_url)
    , m_file_server_url(file_server_url)
    , m_cache(data_folder)
{
    qRegisterMetaType<std::string>();
    qRegisterMetaType<uint64_t>("uint64_t");
    m_stall_timer.setSingleShot(true);
    connect(&m_stall_timer, SIGNAL(timeout()), this, SLOT(m_stalled()));
    m_write_timer.setSingleShot(true);
    m_write_timer.setInterval(0);
    connect(&m_write_timer, SIGNAL(timeout()), this, SLOT(m_write_received()));
    connect(&m_pace, SIGNAL(too_slow()), this, SLOT(m_too_slow()));
    m_other_download_timer.setSingleShot(true);
    connect(&m_other_download_timer, SIGNAL(timeout()), this, SLOT(download_image()));
}

image_retriever::~image_retriever()
{
    if (m_manager) {
        for (QNetworkReply* reply : m_manager->findChildren<QNetworkReply*>())
            reply->disconnect(this);
        delete m_manager;
    }
}

void image_retriever::check_latest()
{
    // A new query supersedes whatever an earlier one started.
    cancel();
    m_cache.prune();

    m_latest_reply = m_network()->get(
        QNetworkRequest(release_endpoints::latest_release(m_release_service_url)));
    m_watch(m_latest_reply);
    connect(m_latest_reply, SIGNAL(finished()), this, SLOT(latest_reply_finished()));
}

void image_retriever::latest_reply_finished()
{
    const QNetworkReply::NetworkError failure = m_outcome(m_latest_reply);
    if (failure != QNetworkReply::NoError) {
        m_query_failed(failure, std::string());
        return;
    }

    QJsonDocument answer = QJsonDocument::fromJson(m_latest_reply->readAll());
    m_tag = answer.object()["tag_name"].toString().toUtf8().toStdString();
    // An earlier release's checksum must not verify this one.
    m_checksum.clear();
    if (m_reject_unsafe_tag())
        return;

    m_checksum_answer.clear();
    m_checksum_reply =
        m_manager->get(QNetworkRequest(release_endpoints::checksum(m_file_server_url, m_tag)));
    // Taken as it arrives, so that no more than a few KiB are ever held.
    m_checksum_reply->setReadBufferSize(checksum_answer_limit);
    m_watch(m_checksum_reply);
    connect(m_checksum_reply, SIGNAL(readyRead()), this, SLOT(m_take_checksum_text()));
    connect(m_checksum_reply, SIGNAL(finished()), this, SLOT(download_checksum_finished()));
}

void image_retriever::m_take_checksum_text()
{
    m_checksum_answer += m_checksum_reply->readAll();
    if (m_checksum_answer.size() <= checksum_answer_limit)
        return;
    m_checksum_reply->abort();
}

void image_retriever::download_checksum_finished()
{
    const QNetworkReply::NetworkError failure = m_outcome(m_checksum_reply);
    if (failure == QNetworkReply::NoError)
        m_take_checksum_text();
    if (m_checksum_answer.size() > checksum_answer_limit) {
        m_reject_checksum();
        return;
    }
    if (failure != QNetworkReply::NoError) {
        m_query_failed(failure, m_tag);
        return;
    }

    m_checksum = release_cache::checksum_in(m_checksum_answer);
    if (m_checksum.empty()) {
        m_reject_checksum();
        return;
    }
    if (m_cache.holds(m_tag, m_checksum)) {
        emit finished_download(m_cache.compressed(m_tag).toStdString());
        return;
    }

    KESTREL_LOG(logger::debug, "Starting download");
    m_image_reply =
        m_manager->head(QNetworkRequest(release_endpoints::image(m_file_server_url, m_tag)));
    m_watch(m_image_reply);
    connect(m_image_reply, SIGNAL(finished()), this, SLOT(recieved_size()));
}

void image_retriever::recieved_size()
{
    // The offer may be accepted at once, which replaces m_image_reply by the download.
    QNetworkReply* size_reply = m_image_reply;
    const QNetworkReply::NetworkError failure = m_outcome(size_reply);
    if (failure == QNetworkReply::TimeoutError) {
        reply_error(failure);
        return;
    }
    bool known = false;
    const qint64 length = size_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    // An error page's length is not the image's size.
    const bool answered = failure == QNetworkReply::NoError;
    const uint64_t size = answered && known && length > 0 ? static_cast<uint64_t>(length) : 0;
    m_offered_size = size > 0 ? qint64(size) : -1;
    m_accepts_ranges = answered && size_reply->rawHeader("Accept-Ranges").trimmed() == "bytes";

    emit image_not_downloaded(size, m_tag);

    if (size_reply->isRunning()) {
        KESTREL_LOG(logger::info, "Download canceled");
        size_reply->abort();
    }
}

void image_retriever::reply_error(QNetworkReply::NetworkError err)
{
    m_report_failure(err, network_failure::words(err));
}

void image_retriever::m_report_failure(QNetworkReply::NetworkError err, const QString& reason)
{
    const QString text = "Network error: " + QString::number(static_cast<int>(err)) + " (" + reason + ")";
    KESTREL_LOG(logger::fatal, text.toStdString());
    emit error_msg(text, true);
}

void image_retriever::m_query_failed(QNetworkReply::NetworkError failure,
                                     const std::string& named_tag)
{
    // A cached release serves while the servers are down, unless they named a newer one.
    if (network_failure::unreachable(failure)) {
        const std::optional<std::string> cached = m_cache.cached_tag();
        if (cached && (named_tag.empty() || *cached == named_tag)) {
            m_use_cached(*cached);
            return;
        }
    }
    reply_error(failure);
}

void image_retriever::m_use_cached(const std::string& tag)
{
    const QString text = "Release server unreachable: flashing the cached " + QString::fromStdString(tag);
    KESTREL_LOG(logger::info, text.toStdString());
    const unsigned generation = m_generation;
    emit error_msg(text, false);
    // The message may have been answered by a cancel().
    if (generation == m_generation)
        emit finished_download(m_cache.compressed(tag).toStdString());
}

QNetworkAccessManager* image_retriever::m_network()
{
    if (!m_manager) {
        m_manager = new QNetworkAccessManager();
        // File servers often hand downloads to a mirror; never from HTTPS down to HTTP.
        m_manager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
    return m_manager;
}

void image_retriever::m_watch(QNetworkReply* reply)
{
    m_watched_reply = reply;
    m_stalled_out = false;
    m_stall_timer.start(wait_lengths::current().network_silence);
    connect(reply, SIGNAL(metaDataChanged()), this, SLOT(m_heard_from_server()));
    connect(reply, SIGNAL(downloadProgress(qint64, qint64)), this, SLOT(m_heard_from_server()));
}

void image_retriever::m_heard_from_server()
{
    if (sender() == m_watched_reply)
        m_stall_timer.start();
}

void image_retriever::m_unwatch()
{
    m_stall_timer.stop();
    m_watched_reply = nullptr;
}

void image_retriever::m_stalled()
{
    if (!m_watched_reply || !m_watched_reply->isRunning())
        return;
    // The reply's own finished() handler reports the failure, as a timeout.
    m_stalled_out = true;
    m_watched_reply->abort();
}

QNetworkReply::NetworkError image_retriever::m_outcome(QNetworkReply* reply)
{
    if (reply == m_watched_reply) {
        m_unwatch();
        if (m_stalled_out)
            return QNetworkReply::TimeoutError;
    }
    return reply->error();
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

void image_retriever::m_reject_checksum()
{
    // Without a checksum a download could be neither verified nor recognised later.
    m_checksum.clear();
    KESTREL_LOG(logger::fatal, "Invalid release checksum");
    emit error_msg("Invalid release checksum", true);
}

void image_retriever::m_release_manager()
{
    m_unwatch();
    m_pace.stop();
    if (!m_manager)
        return;
    // Replies are children of their manager; deferred, since this may run inside one of
    // their signals.
    for (QNetworkReply* reply : m_manager->findChildren<QNetworkReply*>()) {
        reply->disconnect(this);
        reply->abort();
    }
    m_manager->deleteLater();
    m_manager = nullptr;
    m_latest_reply = nullptr;
    m_checksum_reply = nullptr;
    m_image_reply = nullptr;
}
