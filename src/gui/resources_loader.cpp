#include "gui/resources_loader.h"

#include <QtGlobal>

void load_resources()
{
    Q_INIT_RESOURCE(resources);
}
