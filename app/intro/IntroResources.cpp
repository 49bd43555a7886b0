#include "intro/IntroResources.h"

#include <QtGlobal>

#include <mutex>

static void initQuilletIntroResources()
{
    Q_INIT_RESOURCE(Intro);
}

namespace quillet {

void initIntroResources()
{
    static std::once_flag once;
    std::call_once(once, initQuilletIntroResources);
}

} // namespace quillet
