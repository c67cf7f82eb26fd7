#pragma once
// Standard types carried by signals that Qt does not know by itself (queued connections and
// QSignalSpy need them).

#include <QMetaType>

#include <string>

Q_DECLARE_METATYPE(std::string)
