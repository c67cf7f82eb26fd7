#include "config/settings_store.h"

#include "base/data_file.h"
#include "base/data_folder_lock.h"
#include "base/logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

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
data_file::outcome keep_unreadable(const QString& path)
{
    QJsonObject ignored;
    if (read_settings(path, ignored))
        return data_file::outcome::written;
    QFile original(path);
    if (!original.open(QIODevice::ReadOnly))
        return data_file::outcome::failed;
    return data_file::replace(path + ".bad", original.readAll());
}

settings_store::update update_of(data_file::outcome written)
{
    switch (written) {
    case data_file::outcome::written:
        return settings_store::update::written;
    case data_file::outcome::full:
        return settings_store::update::full;
    case data_file::outcome::not_allowed:
        return settings_store::update::not_allowed;
    case data_file::outcome::locked:
        return settings_store::update::locked;
    case data_file::outcome::failed:
        break;
    }
    return settings_store::update::failed;
}

QByteArray settings_text(const inputs& values)
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
    return QJsonDocument(root).toJson();
}

// The temporary files of saves, named as the settings file with six characters appended.
void remove_temporary_files(const std::string& data_folder)
{
    const QFileInfo settings(settings_path(data_folder));
    QDir folder = settings.dir();
    for (const QString& name : folder.entryList({settings.fileName() + ".??????"}, QDir::Files | QDir::Hidden)) {
        KESTREL_LOG(logger::info, "Removing an unfinished save: " << name.toStdString());
        folder.remove(name);
    }
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

update update_settings(const std::string& data_folder, const std::function<bool(inputs&)>& change)
{
    const data_folder_lock lock(data_folder);
    if (!lock.held())
        return update_of(lock.refusal());
    remove_temporary_files(data_folder);
    std::unique_ptr<inputs> values = load_settings(data_folder);
    if (!change(*values))
        return update::declined;
    const QString path = settings_path(data_folder);
    data_file::outcome written = keep_unreadable(path);
    if (written == data_file::outcome::written)
        written = data_file::replace(path, settings_text(*values));
    if (written != data_file::outcome::written)
        KESTREL_LOG(logger::fatal, "Cannot save the settings: " << int(written));
    return update_of(written);
}

update save_settings(const std::string& data_folder, const inputs& values)
{
    return update_settings(data_folder, [&values](inputs& saved) {
        saved = values;
        return true;
    });
}

void remove_unfinished_saves(const std::string& data_folder)
{
    const data_folder_lock lock(data_folder);
    if (lock.held())
        remove_temporary_files(data_folder);
}

} // namespace settings_store
