#include "platform/DesktopResources.h"

#include <QtGlobal>

#include <mutex>

static void initQuilletDesktopResources()
{
    Q_INIT_RESOURCE(desktop);
}

namespace quillet {

void ensureDesktopResources()
{
    static std::once_flag once;
    std::call_once(once, initQuilletDesktopResources);
}

} // namespace quillet
