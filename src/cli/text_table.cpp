#include "cli/text_table.h"

#include <algorithm>
#include <vector>

namespace cli {

std::string text_table(const QList<QStringList>& rows, const std::set<int>& right)
{
    const int columns = rows.front().size();
    std::vector<int> widths(std::size_t(columns), 0);
    for (const QStringList& row : rows)
        for (int column = 0; column < columns; ++column)
            widths[std::size_t(column)] = std::max(widths[std::size_t(column)], int(row[column].size()));
    QString table;
    for (const QStringList& row : rows) {
        QStringList cells;
        for (int column = 0; column + 1 < columns; ++column) {
            const int width = widths[std::size_t(column)];
            cells << (right.count(column) ? row[column].rightJustified(width) : row[column].leftJustified(width));
        }
        cells << row.back();
        table += cells.join("  ") + '\n';
    }
    return table.toStdString();
}

} // namespace cli
