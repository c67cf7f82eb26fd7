#include "gui/batch_notice.h"

#include "base/app_paths.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QStringList>
#include <QVariantMap>

namespace batch_notice {

void tell(const QString& text)
{
    QApplication::beep();
    QDBusInterface notifications("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                 "org.freedesktop.Notifications", QDBusConnection::sessionBus());
    if (!notifications.isValid())
        return;
    const QString application = QString::fromStdString(app_paths::application_name);
    // Not waited for: a slow service must not hold the window.
    notifications.call(QDBus::NoBlock, "Notify", application, 0u, QString("drive-removable-media"),
                       application, text, QStringList(), QVariantMap(), -1);
}

} // namespace batch_notice
