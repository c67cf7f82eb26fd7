#include "cli/history_listing.h"

#include "cli/disk_choice.h"
#include "cli/text_table.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

namespace {

QString history_cell(const std::string& text)
{
    return text.empty() ? QString("-") : QString::fromStdString(text);
}

QString history_outcome_cell(const flash_record::entry& line)
{
    const QString word = flash_record::outcome_word(line.result);
    return line.failure.empty() ? word : word + ": " + QString::fromStdString(line.failure);
}

} // namespace

namespace cli {

std::string history_table(const std::vector<flash_record::entry>& entries)
{
    if (entries.empty())
        return "No stick flashed yet\n";
    QList<QStringList> rows {{"TIME", "DEVICE", "PORT", "SERIAL", "SIZE", "WORKER", "IMAGE", "OUTCOME"}};
    for (const flash_record::entry& line : entries)
        rows.append({history_cell(line.time), history_cell(line.device), history_cell(line.port),
                     history_cell(line.serial), QString::fromStdString(size_text(line.size)),
                     history_cell(line.worker), history_cell(line.image), history_outcome_cell(line)});
    // Sizes to the right, the outcome with its failure's text last.
    return text_table(rows, {4});
}

std::string history_json(const std::vector<flash_record::entry>& entries)
{
    QJsonArray array;
    for (const flash_record::entry& line : entries)
        array.append(flash_record::to_json(line));
    return QJsonDocument(array).toJson().toStdString();
}

} // namespace cli
