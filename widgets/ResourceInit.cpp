#include "widgets/ResourceInit.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be expanded outside any namespace.
void initResources() { Q_INIT_RESOURCE(resources); }
