#include "config/image_configurator.h"

#include "base/logger.h"
#include "config/worker_name.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue text(const std::string& value)
{
    return QString::fromStdString(value);
}

QByteArray document_of(const inputs& values)
{
    QJsonObject rig {
        {"btc", text(values.btc)},
        {"worker", text(expand_worker_name(values.worker))},
        {"group", text(values.group)},
        {"location", text(values.location)},
    };
    QJsonObject access {{"ssh", QJsonObject {{"key", text(values.ssh_key)}}}};
    QJsonObject network {{"wireless", QJsonObject {
        {"ssid", text(values.ssid)},
        {"key", text(values.wireless_key)},
    }}};
    return QJsonDocument(QJsonObject {{"rig", rig}, {"access", access}, {"network", network}})
        .toJson();
}

} // namespace

namespace image_configurator {

QByteArray configuration_block(const inputs& values)
{
    QByteArray block = document_of(values);
    KESTREL_LOG(logger::debug, "Configuration file size: " << block.size());
    if (block.size() > block_size) {
        KESTREL_LOG(logger::fatal, "Configuration file exceeds 2kB");
        return QByteArray();
    }
    block.append(block_size - block.size(), '\n');
    return block;
}

} // namespace image_configurator
