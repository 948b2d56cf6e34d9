#include "HostObject.h"

namespace qide {

namespace detail {
std::atomic<int> hostObjectsAlive{0};
}

int HostObjectsAlive()
{
    return detail::hostObjectsAlive.load();
}

} // namespace qide
