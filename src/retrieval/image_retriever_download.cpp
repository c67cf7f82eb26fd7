// The image download of image_retriever: resumed where an earlier one was cut off when the
// server allows it, written and verified in steps small enough to keep the window responsive.

#include "retrieval/image_retriever.h"

#include "base/logger.h"
#include "base/wait_lengths.h"
#include "retrieval/cached_image.h"
#include "retrieval/network_failure.h"
#include "retrieval/release_endpoints.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace {

// Written and hashed per event: a few milliseconds of work at most.
constexpr qint64 step_bytes = 1 << 20;
// What the network layer may hold for us; beyond it, it stops reading from the server.
constexpr qint64 reply_buffer_bytes = 8 << 20;

} // namespace

void image_retriever::download_image()
{
    if (m_reject_unsafe_tag())
        return;
    if (m_checksum.empty()) {
        m_reject_checksum();
        return;
    }
    // Neither the size probe nor a download still running may write into the new one.
    if (m_image_reply)
        m_stop_image_reply();
    m_downloading = false;
    m_write_timer.stop();
    m_other_download_timer.stop();
    m_file.close();
    m_download_claim.reset();

    release_cache::download_start start = m_cache.begin_download(m_tag);
    if (start.elsewhere) {
        m_wait_for_other_download();
        return;
    }
    m_waiting_for_other = false;
    m_download_claim = std::move(start.claim);
    if (m_cache.holds(m_tag, m_checksum)) {
        m_download_claim.reset();
        KESTREL_LOG(logger::info, "Downloaded by another run: " << m_tag);
        emit finished_download(m_cache.compressed(m_tag).toStdString());
        return;
    }

    // What another download left is gone on from: only this one writes it now.
    m_resumed_from = m_accepts_ranges ? m_cache.partial_size(m_tag, m_checksum) : 0;
    if (!m_file.open(m_cache.partial(m_tag), m_resumed_from > 0)
        || !m_cache.mark_partial(m_tag, m_checksum)) {
        m_drop_partial();
        KESTREL_LOG(logger::fatal, "Cannot open file" << m_tag << ".gz.part");
        reply_error(QNetworkReply::NoError);
        return;
    }

    QNetworkRequest request(release_endpoints::image(m_file_server_url, m_tag));
    if (m_resumed_from > 0)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_resumed_from) + "-");
    KESTREL_LOG(logger::debug, "Starting download");
    m_image_reply = m_network()->get(request);
    m_image_reply->setReadBufferSize(reply_buffer_bytes);
    m_watch(m_image_reply);
    connect(m_image_reply, SIGNAL(readyRead()), this, SLOT(recived_data()));
    connect(m_image_reply, SIGNAL(downloadProgress(qint64, qint64)), this,
            SLOT(show_progress(qint64, qint64)));
    connect(m_image_reply, SIGNAL(finished()), this, SLOT(download_finished()));

    m_answer_checked = false;
    m_transfer_ended = false;
    m_transfer_failure = QNetworkReply::NoError;
    m_downloading = true;
    m_pace.start();
}

void image_retriever::recived_data()
{
    if (!m_write_timer.isActive())
        m_write_received();
}

void image_retriever::show_progress(qint64 recieved, qint64 total)
{
    m_pace.count(recieved);
    emit progress_updated(m_resumed_from + recieved, total < 0 ? total : m_resumed_from + total);
}

void image_retriever::download_finished()
{
    m_transfer_ended = true;
    m_pace.stop();
    const QNetworkReply::NetworkError outcome = m_outcome(m_image_reply);
    // Ended for its pace, it failed as one that falls silent does.
    m_transfer_failure = m_pace.fell_short() ? QNetworkReply::TimeoutError : outcome;
    // What the reply still holds is written first.
    m_write_received();
}

void image_retriever::m_write_received()
{
    if (!m_downloading)
        return;
    if (!m_answer_checked)
        m_check_answer();

    bool worked = false;
    // An aborted reply has dropped what it held.
    const QByteArray data = m_image_reply->isOpen() ? m_image_reply->read(step_bytes) : QByteArray();
    if (!data.isEmpty()) {
        worked = true;
        if (m_image_reply == m_watched_reply)
            m_stall_timer.start();
        if (m_answer_is_image && !m_file.append(data)) {
            m_cannot_store();
            return;
        }
    }
    if (m_file.hash_more(step_bytes) > 0)
        worked = true;

    if (worked)
        m_write_timer.start();
    else if (m_transfer_ended)
        m_finish_download();
}

void image_retriever::m_check_answer()
{
    m_answer_checked = true;
    const int status = m_image_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray resumed_range = "bytes " + QByteArray::number(m_resumed_from) + "-";
    const bool resumed = m_resumed_from > 0 && status == 206
        && m_image_reply->rawHeader("Content-Range").startsWith(resumed_range);
    // An error page or an unasked-for part is no image data.
    m_answer_is_image = status == 200 || resumed;
    if (status == 200 && m_resumed_from > 0) {
        // The server sends the whole image again.
        m_resumed_from = 0;
        if (!m_file.restart())
            m_answer_is_image = false;
    }
}

void image_retriever::m_finish_download()
{
    m_downloading = false;
    QNetworkReply::NetworkError failure = m_transfer_failure;
    bool known = false;
    const qint64 length = m_image_reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    // Now and then the network layer ends a transfer that the server cut short without an
    // error; short of the length the server gave, it was cut all the same, and can be resumed.
    if (failure == QNetworkReply::NoError && m_answer_is_image && known
        && m_file.size() < m_resumed_from + length)
        failure = QNetworkReply::RemoteHostClosedError;
    // Without a length nothing shows that the transfer was not cut short.
    const bool complete = failure == QNetworkReply::NoError && m_answer_is_image && known
        && m_file.size() == m_resumed_from + length;
    const bool verified = complete && m_file.md5_hex() == QByteArray::fromStdString(m_checksum).toLower();
    const bool resumable = m_file.size() > 0 && network_failure::unreachable(failure);
    m_file.close();
    m_stop_image_reply();
    KESTREL_LOG(logger::debug, "Download Finished");

    if (verified && m_cache.complete_partial(m_tag, m_checksum)) {
        m_download_claim.reset();
        cached_image::note_whole(m_cache.compressed(m_tag).toStdString());
        emit finished_download(m_cache.compressed(m_tag).toStdString());
        return;
    }

    KESTREL_LOG(logger::fatal, "Downloading image error");
    // A transfer cut short keeps what it got for the next attempt; anything else is no use.
    if (!resumable)
        m_cache.remove_partial(m_tag);
    m_download_claim.reset();
    if (m_pace.fell_short())
        m_report_failure(failure, m_pace.words());
    else if (failure != QNetworkReply::NoError)
        reply_error(failure);
    else
        emit error_msg("Error downloading image", true);
}

void image_retriever::m_too_slow()
{
    // The reply's own finished() handler reports the failure.
    if (m_downloading && m_image_reply && m_image_reply->isRunning())
        m_image_reply->abort();
}

void image_retriever::m_cannot_store()
{
    KESTREL_LOG(logger::fatal, "Cannot write file " << m_tag << ".gz.part");
    m_downloading = false;
    m_write_timer.stop();
    m_stop_image_reply();
    m_drop_partial();
    reply_error(QNetworkReply::NoError);
}

void image_retriever::m_wait_for_other_download()
{
    if (!m_waiting_for_other)
        KESTREL_LOG(logger::info, "Waiting for another run's download of " << m_tag);
    m_waiting_for_other = true;
    emit progress_updated(QFileInfo(m_cache.partial(m_tag)).size(), m_offered_size);
    m_other_download_timer.start(wait_lengths::current().download_poll);
}

void image_retriever::cancel()
{
    ++m_generation;
    // Another process's download goes on without this one.
    m_other_download_timer.stop();
    m_waiting_for_other = false;
    if (m_downloading) {
        m_downloading = false;
        if (m_image_reply && m_image_reply->isRunning())
            KESTREL_LOG(logger::info, "Download canceled");
        m_write_timer.stop();
        m_keep_partial();
    }
    m_release_manager();
}

void image_retriever::m_keep_partial()
{
    // What the network layer holds for us has arrived as well: it goes to the file before the
    // reply is dropped with it.
    if (m_image_reply && m_image_reply->isOpen() && m_image_reply->bytesAvailable() > 0) {
        if (!m_answer_checked)
            m_check_answer();
        if (m_answer_is_image)
            m_file.append(m_image_reply->readAll());
    }
    const bool resumable = m_file.size() > 0;
    m_file.close();
    if (!resumable)
        m_cache.remove_partial(m_tag);
    m_download_claim.reset();
}

void image_retriever::m_drop_partial()
{
    m_file.close();
    m_cache.remove_partial(m_tag);
    m_download_claim.reset();
}

void image_retriever::m_stop_image_reply()
{
    // Stopped on purpose: its abort must reach neither the user nor download_finished().
    m_image_reply->disconnect(this);
    m_pace.stop();
    if (m_image_reply == m_watched_reply)
        m_unwatch();
    m_image_reply->abort();
    m_image_reply->deleteLater();
    m_image_reply = nullptr;
}
