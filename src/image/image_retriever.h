#pragma once
// Finds the latest release, recognises it in the downloads folder and downloads it.

#include "meta_types.h"

#include <QCryptographicHash>
#include <QNetworkReply>
#include <QObject>
#include <QString>

#include <cstdint>
#include <string>

class QFile;
class QNetworkAccessManager;

class image_retriever : public QObject {
    Q_OBJECT

public:
    // The endpoints fixed at build time.
    explicit image_retriever(const std::string& data_folder);
    // Other endpoints, such as a local server.
    image_retriever(const std::string& data_folder, const std::string& release_service_url,
                    const std::string& file_server_url);
    ~image_retriever() override;

    // Asks for the latest release; answers with finished_download, image_not_downloaded or
    // error_msg.
    void check_latest();
    // Stops a running download and removes what downloads produced.
    void cancel();

signals:
    void progress_updated(qint64 recieved, qint64 total);
    void finished_download(std::string filename);
    void error_msg(QString error_msg, bool is_err);
    void image_not_downloaded(uint64_t size, std::string);

public slots:
    void download_image();
    void download_finished();
    void download_checksum_finished();
    void recived_data();
    void recieved_size();
    void show_progress(qint64 recieved, qint64 total);
    void latest_reply_finished();
    void reply_error(QNetworkReply::NetworkError err);

private:
    QNetworkAccessManager* m_manager = nullptr;
    QNetworkReply* m_image_reply = nullptr;
    QFile* m_file = nullptr;
    QNetworkReply* m_latest_reply = nullptr;
    QNetworkReply* m_checksum_reply = nullptr;
    std::string m_file_path;
    bool m_downloading = false;
    bool m_download_started = false;
    std::string m_data_folder;
    qint64 m_total = 0;
    std::string m_tag;
    std::string m_checksum;

    std::string m_release_service_url;
    std::string m_file_server_url;
    // MD5 of the image bytes received so far.
    QCryptographicHash m_hash {QCryptographicHash::Md5};

    QString m_downloads_folder() const;
    QString m_checksum_file() const;
    bool m_reject_unsafe_tag();
    bool m_matches_release_checksum();
    void m_stop_image_reply();
    void m_remove_image();
    void m_release_manager();
};
