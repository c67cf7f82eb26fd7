#include "app/display_scaling.h"

#include <QCoreApplication>

void enable_high_dpi_scaling_unless_configured()
{
    if (qEnvironmentVariableIsSet("QT_DEVICE_PIXEL_RATIO")
        || qEnvironmentVariableIsSet("QT_AUTO_SCREEN_SCALE_FACTOR")
        || qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
        || qEnvironmentVariableIsSet("QT_SCREEN_SCALE_FACTORS"))
        return;
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
}
