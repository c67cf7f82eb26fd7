#pragma once
// Reads back the program's log as "severity: message" lines, without time stamps and
// call sites, so that tests can compare what was logged.

#include <QString>
#include <QStringList>

namespace log_file {

// The lines of data_folder + "/Kestrel Flash tool.log".
QStringList messages(const QString& data_folder);

} // namespace log_file
