#include "base/app_paths.h"

#include "base/logger.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace app_paths {

const char* const application_name = "Kestrel Flash Tool";
const char* const version = KESTREL_VERSION;

std::string default_data_folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation).toStdString()
        + "/Kestrel Flash Tool";
}

void prepare_data_folder(const std::string& data_folder)
{
    QDir().mkpath(QString::fromStdString(data_folder + "/downloads"));
    // The log is touched under the name the logger writes, so that on a case-sensitive file
    // system the unprivileged user owns the real log rather than an empty namesake.
    for (const char* name : {"/configuration.txt", logger::file_name}) {
        QFile file(QString::fromStdString(data_folder + name));
        file.open(QIODevice::WriteOnly | QIODevice::Append);
    }
}

} // namespace app_paths
