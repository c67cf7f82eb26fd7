#pragma once
// One image_retriever over a fresh data folder, talking to a local release server, with its
// signals recorded.

#include "retrieval/image_retriever.h"
#include "release_server.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

class retriever_harness {
public:
    // Both endpoints on `server`; the log goes to the new data folder.
    explicit retriever_harness(const release_server& server);
    retriever_harness(const QString& release_service_url, const QString& file_server_url);

    QTemporaryDir folder;
    std::unique_ptr<image_retriever> retriever;
    std::unique_ptr<QSignalSpy> finished;
    std::unique_ptr<QSignalSpy> not_downloaded;
    std::unique_ptr<QSignalSpy> errors;
    std::unique_ptr<QSignalSpy> progress;

    std::string data_folder() const;
    QString downloads() const;
    // Names in the downloads folder, sorted.
    QStringList downloaded_files() const;
    QByteArray downloaded(const QString& name) const;
    void put_download(const QString& name, const QByteArray& content) const;
    // Texts of error_msg, in order.
    QStringList messages() const;
    QStringList log() const;
};
