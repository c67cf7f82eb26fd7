#include "qt_warnings.h"

#include <mutex>

namespace {

std::mutex warnings_mutex;
QStringList warnings_taken;

void take_warning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type != QtWarningMsg && type != QtCriticalMsg)
        return;
    std::lock_guard<std::mutex> lock(warnings_mutex);
    warnings_taken << text;
}

} // namespace

qt_warnings::qt_warnings()
{
    {
        std::lock_guard<std::mutex> lock(warnings_mutex);
        warnings_taken.clear();
    }
    m_before = qInstallMessageHandler(take_warning);
}

qt_warnings::~qt_warnings()
{
    qInstallMessageHandler(m_before);
}

QStringList qt_warnings::texts() const
{
    std::lock_guard<std::mutex> lock(warnings_mutex);
    return warnings_taken;
}
