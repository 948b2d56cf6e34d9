// Base of every object the IDE hands to an add-in. Counts the live ones so
// that tests can check that every reference given out comes back.
#pragma once

#include "ToolsApi.h"

#include <atomic>

namespace qide {

namespace detail {
extern std::atomic<int> hostObjectsAlive;
}

// Number of host objects (menu items, modules, editors, views, readers,
// writers, main menus) that are alive now.
int HostObjectsAlive();

template <typename Base>
class THostObject : public Base {
public:
    THostObject() { ++detail::hostObjectsAlive; }

protected:
    ~THostObject() override { --detail::hostObjectsAlive; }
};

} // namespace qide
