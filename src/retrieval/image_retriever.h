#pragma once
// Finds the latest release, recognises it in the downloads folder and downloads it.

#include "base/meta_types.h"
#include "retrieval/download_file.h"
#include "retrieval/download_pace.h"
#include "retrieval/release_cache.h"

#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

class QNetworkAccessManager;

class image_retriever : public QObject {
    Q_OBJECT

public:
    // The endpoints fixed at build time, or those given on the command line.
    explicit image_retriever(const std::string& data_folder);
    // Other endpoints, such as a local server.
    image_retriever(const std::string& data_folder, const std::string& release_service_url,
                    const std::string& file_server_url);
    ~image_retriever() override;

    // Asks for the latest release; answers with finished_download, image_not_downloaded or
    // error_msg. When the servers cannot be reached and a release is cached, it answers with
    // error_msg(text, false) and then finished_download for the cached release. First prunes
    // the cache of what completed downloads left for runs that held it.
    void check_latest();
    // Abandons every request under way, which then reports nothing. What a download that has
    // not completed got so far stays, for the next download of the same release to go on from.
    // A wait for another process's download leaves that download alone.
    void cancel();

signals:
    void progress_updated(qint64 recieved, qint64 total);
    void finished_download(std::string filename);
    void error_msg(QString error_msg, bool is_err);
    void image_not_downloaded(uint64_t size, std::string);

public slots:
    // Downloads the release offered. While another process downloads it, waits for that
    // download and reports its progress: a completed one is taken from the cache, one that
    // stopped or failed is gone on from.
    void download_image();
    void download_finished();
    void download_checksum_finished();
    void recived_data();
    void recieved_size();
    void show_progress(qint64 recieved, qint64 total);
    void latest_reply_finished();
    void reply_error(QNetworkReply::NetworkError err);

private slots:
    void m_heard_from_server();
    void m_stalled();
    void m_take_checksum_text();
    void m_write_received();
    void m_too_slow();

private:
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_image_reply = nullptr;
    download_file m_file;
    QNetworkReply* m_latest_reply = nullptr;
    QNetworkReply* m_checksum_reply = nullptr;
    bool m_downloading = false;
    std::string m_tag;
    std::string m_checksum;

    std::string m_release_service_url;
    std::string m_file_server_url;
    release_cache m_cache;

    // The request under way is watched for silence.
    QNetworkReply* m_watched_reply = nullptr;
    QTimer m_stall_timer;
    bool m_stalled_out = false;
    QByteArray m_checksum_answer;
    // Changes with every cancel(): a result that arrives for an abandoned request is dropped.
    unsigned m_generation = 0;

    // The file server answered the size probe with "Accept-Ranges: bytes".
    bool m_accepts_ranges = false;
    // Bytes of the partial download that the server is asked to skip.
    qint64 m_resumed_from = 0;
    bool m_answer_checked = false;
    bool m_answer_is_image = false;
    bool m_transfer_ended = false;
    QNetworkReply::NetworkError m_transfer_failure = QNetworkReply::NoError;
    // Writes what arrived in bounded steps, one per event.
    QTimer m_write_timer;
    download_pace m_pace;
    // The download's hold on its partial download, from its start until it has ended.
    std::unique_ptr<cache_hold> m_download_claim;
    // Looks again at another process's download of the release, while this one waits for it.
    QTimer m_other_download_timer;
    bool m_waiting_for_other = false;
    // The image's size as the size probe answered it; -1 when unknown.
    qint64 m_offered_size = -1;

    QNetworkAccessManager* m_network();
    void m_watch(QNetworkReply* reply);
    void m_unwatch();
    QNetworkReply::NetworkError m_outcome(QNetworkReply* reply);
    void m_report_failure(QNetworkReply::NetworkError err, const QString& reason);
    void m_query_failed(QNetworkReply::NetworkError failure, const std::string& named_tag);
    void m_use_cached(const std::string& tag);
    bool m_reject_unsafe_tag();
    void m_reject_checksum();
    void m_check_answer();
    void m_finish_download();
    void m_cannot_store();
    void m_wait_for_other_download();
    // Closes and removes a download that failed.
    void m_drop_partial();
    // Closes a stopped download, keeping what arrived for the next one to go on from, as
    // after a cut connection.
    void m_keep_partial();
    void m_stop_image_reply();
    void m_release_manager();
};
