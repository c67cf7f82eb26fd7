#include "retriever_harness.h"

#include "log_file.h"
#include "base/logger.h"

#include <QDir>
#include <QFile>

retriever_harness::retriever_harness(const release_server& server)
    : retriever_harness(server.base_url(), server.base_url())
{
}

retriever_harness::retriever_harness(const QString& release_service_url,
                                     const QString& file_server_url)
{
    logger::init(data_folder());
    QDir(folder.path()).mkdir("downloads");
    retriever = std::make_unique<image_retriever>(data_folder(), release_service_url.toStdString(),
                                                  file_server_url.toStdString());
    finished = std::make_unique<QSignalSpy>(retriever.get(), SIGNAL(finished_download(std::string)));
    not_downloaded = std::make_unique<QSignalSpy>(
        retriever.get(), SIGNAL(image_not_downloaded(uint64_t, std::string)));
    errors = std::make_unique<QSignalSpy>(retriever.get(), SIGNAL(error_msg(QString, bool)));
    progress = std::make_unique<QSignalSpy>(retriever.get(), SIGNAL(progress_updated(qint64, qint64)));
}

std::string retriever_harness::data_folder() const
{
    return folder.path().toStdString();
}

QString retriever_harness::downloads() const
{
    return folder.path() + "/downloads";
}

QStringList retriever_harness::downloaded_files() const
{
    return QDir(downloads()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                                       QDir::Name);
}

QByteArray retriever_harness::downloaded(const QString& name) const
{
    QFile file(downloads() + "/" + name);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void retriever_harness::put_download(const QString& name, const QByteArray& content) const
{
    QFile file(downloads() + "/" + name);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

QStringList retriever_harness::messages() const
{
    QStringList texts;
    for (const QList<QVariant>& arguments : *errors)
        texts << arguments.at(0).toString();
    return texts;
}

QStringList retriever_harness::log() const
{
    return log_file::messages(folder.path());
}
