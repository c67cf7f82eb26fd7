#pragma once
// The warnings Qt gives while it lives (such as "QIODevice::write (QFile, ...): device not
// open"), from any thread, taken instead of being printed. Only one should live at a time.

#include <QStringList>
#include <QtGlobal>

class qt_warnings {
public:
    qt_warnings();
    ~qt_warnings();
    qt_warnings(const qt_warnings&) = delete;
    qt_warnings& operator=(const qt_warnings&) = delete;

    QStringList texts() const;

private:
    QtMessageHandler m_before;
};
