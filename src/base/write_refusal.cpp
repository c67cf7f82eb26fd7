#include "base/write_refusal.h"

#include "base/data_file.h"

#include <QDir>
#include <QFileInfo>

namespace write_refusal {

bool is_refusal(const std::error_code& error)
{
    const std::error_condition condition = error.default_error_condition();
    return condition.category() == std::generic_category() && is_refusal(condition.value());
}

bool is_refusal(int error_number)
{
    return data_file::outcome_of(error_number) == data_file::outcome::not_allowed;
}

std::string failed_folder(const std::string& path)
{
    QFileInfo place(QFileInfo(QString::fromStdString(path)).absolutePath());
    while (!place.exists() && !place.isRoot())
        place.setFile(place.absolutePath());
    return QDir::toNativeSeparators(place.absoluteFilePath()).toStdString();
}

} // namespace write_refusal
