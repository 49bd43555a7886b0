#include "intro/IntroResources.h"

#include <QtGlobal>

#include <mutex>

static void initQuilletWindowResources()
{
    Q_INIT_RESOURCE(Intro);
}

namespace quillet {

void initWindowResources()
{
    static std::once_flag once;
    std::call_once(once, initQuilletWindowResources);
}

} // namespace quillet
