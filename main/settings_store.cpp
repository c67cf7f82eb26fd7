#include "settings_store.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
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

} // namespace

namespace settings_store {

std::unique_ptr<inputs> load_settings(const std::string& data_folder)
{
    QFile file(settings_path(data_folder));
    QJsonObject root;
    if (file.open(QIODevice::ReadOnly))
        root = QJsonDocument::fromJson(file.readAll()).object();

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

    // A crash or a full disk mid-save must not cost the user the settings already stored.
    QSaveFile file(settings_path(data_folder));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QJsonDocument(root).toJson());
    file.commit();
}

} // namespace settings_store
