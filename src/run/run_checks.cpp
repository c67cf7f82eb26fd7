#include "run/run_checks.h"

#include "config/field_rules.h"
#include "config/image_configurator.h"
#include "run/failure_texts.h"

#include <QFileInfo>

namespace run_checks {

std::string refusal(const inputs& values, const std::string& image_file)
{
    std::string refused = field_rules::explained_refusal(values);
    if (!refused.empty())
        return refused;
    const QFileInfo image(QString::fromStdString(image_file));
    if (!image_file.empty() && !(image.isFile() && image.isReadable()))
        return "Cannot read the image " + image_file;
    return configuration_refusal({values});
}

std::string configuration_refusal(const std::vector<inputs>& per_disk)
{
    for (const inputs& values : per_disk)
        if (image_configurator::configuration_block(values).isEmpty())
            return failure_text(failure_cause::configuration_too_large);
    return std::string();
}

} // namespace run_checks
