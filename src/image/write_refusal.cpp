#include "image/write_refusal.h"

#include <QDir>
#include <QFileInfo>

namespace write_refusal {

bool is_refusal(const std::error_code& error)
{
    return error == std::errc::permission_denied || error == std::errc::operation_not_permitted
        || error == std::errc::read_only_file_system;
}

bool is_refusal(int error_number)
{
    return is_refusal(std::error_code(error_number, std::generic_category()));
}

std::string failed_folder(const std::string& path)
{
    QFileInfo place(QFileInfo(QString::fromStdString(path)).absolutePath());
    while (!place.exists() && !place.isRoot())
        place.setFile(place.absolutePath());
    return QDir::toNativeSeparators(place.absoluteFilePath()).toStdString();
}

} // namespace write_refusal
