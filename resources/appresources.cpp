#include "resources/appresources.h"

#include <QtGlobal>

// The macro must be used outside any namespace.
void initAppResources()
{
    Q_INIT_RESOURCE(resources);
}
