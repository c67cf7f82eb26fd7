#include "settings_store.h"

#include "logger.h"
#include "wait_lengths.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

namespace {

QString settings_path(const std::string& data_folder)
{
    return QString::fromStdString(data_folder + "/configuration.txt");
}

std::string text_of(const QJsonValue& value)
{
    return value.toString().toStdString();
}

// Reads the settings file into `root`; false when it holds something that could not be read
// whole. A byte that is not UTF-8 is replaced rather than costing every other setting.
bool read_settings(const QString& path, QJsonObject& root)
{
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    const QByteArray text = QString::fromUtf8(content).toUtf8();
    const QJsonDocument document = QJsonDocument::fromJson(text);
    root = document.object();
    return content.isEmpty() || (text == content && document.isObject());
}

// A settings file that could not be read still holds what the user typed: it is kept beside
// before anything replaces it.
bool keep_unreadable(const QString& path)
{
    QJsonObject ignored;
    if (read_settings(path, ignored))
        return true;
    const QString kept = path + ".bad";
    QFile::remove(kept);
    return QFile::copy(path, kept);
}

} // namespace

namespace settings_store {

std::unique_ptr<inputs> load_settings(const std::string& data_folder)
{
    QJsonObject root;
    read_settings(settings_path(data_folder), root);

    auto values = std::make_unique<inputs>();
    QJsonObject rig = root["rig"].toObject();
    QJsonObject wireless = root["network"].toObject()["wireless"].toObject();
    values->btc = text_of(rig["btc"]);
    values->worker = text_of(rig["worker"]);
    values->group = text_of(rig["group"]);
    values->location = text_of(rig["location"]);
    values->ssh_key = text_of(root["access"].toObject()["ssh"].toObject()["key"]);
    values->wireless_key = text_of(wireless["key"]);
    values->ssid = text_of(wireless["ssid"]);
    values->dont_show_again = root["flash_tool"].toObject()["dont_show_again"].toBool(false);
    return values;
}

void save_settings(const std::string& data_folder, inputs values)
{
    QJsonObject rig {
        {"btc", QString::fromStdString(values.btc)},
        {"worker", QString::fromStdString(values.worker)},
        {"group", QString::fromStdString(values.group)},
        {"location", QString::fromStdString(values.location)},
    };
    QJsonObject access {{"ssh", QJsonObject {{"key", QString::fromStdString(values.ssh_key)}}}};
    QJsonObject network {{"wireless", QJsonObject {
        {"ssid", QString::fromStdString(values.ssid)},
        {"key", QString::fromStdString(values.wireless_key)},
    }}};
    QJsonObject flash_tool {{"dont_show_again", values.dont_show_again}};
    QJsonObject root {{"rig", rig}, {"access", access}, {"network", network},
                      {"flash_tool", flash_tool}};

    const QString path = settings_path(data_folder);
    if (!keep_unreadable(path))
        return;
    // A crash or a full disk mid-save must not cost the user the settings already stored.
    // commit() alone would still rename a temporary file whose buffered bytes never reached
    // the disk: every byte must be written and flushed first.
    QSaveFile file(path);
    const QByteArray content = QJsonDocument(root).toJson();
    if (!file.open(QIODevice::WriteOnly))
        return;
    if (file.write(content) != content.size() || !file.flush()) {
        file.cancelWriting();
        return;
    }
    file.commit();
}

update update_settings(const std::string& data_folder, const std::function<bool(inputs&)>& change)
{
    // A lock whose process has gone is taken over at once; one held longer than any change
    // takes belongs to a process that hangs.
    QLockFile lock(settings_path(data_folder) + ".lock");
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(int(wait_lengths::current().settings_lock.count()))) {
        KESTREL_LOG(logger::fatal, "Cannot lock the settings: " << int(lock.error()));
        return lock.error() == QLockFile::PermissionError ? update::folder_not_writable : update::locked;
    }
    std::unique_ptr<inputs> values = load_settings(data_folder);
    if (!change(*values))
        return update::declined;
    save_settings(data_folder, *values);
    return update::written;
}

} // namespace settings_store
