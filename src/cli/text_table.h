#pragma once
// The command line's tables for people: a heading and a line per row, each column as wide as
// its widest cell, two spaces apart, the last column as it stands.

#include <QStringList>

#include <set>
#include <string>

namespace cli {

// `rows` starts with the heading; the columns in `right` are aligned to the right.
std::string text_table(const QList<QStringList>& rows, const std::set<int>& right);

} // namespace cli
