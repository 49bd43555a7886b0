#pragma once

#include <algorithm>
#include <memory>
#include <vector>

namespace quillet {

/// Children that leave their owner, or outlive it (an editor may still hold one), stop
/// pointing at it, so no child ever reports to an owner that is gone. Children that another
/// owner has adopted in the meantime keep their new delegate.
template <typename Child, typename Owner>
void releaseLeavingChildren(const std::vector<std::shared_ptr<Child>>& children,
    const std::vector<std::shared_ptr<Child>>& staying, const Owner* owner)
{
    for (const auto& child : children) {
        if (child->delegate() == owner && std::find(staying.begin(), staying.end(), child) == staying.end())
            child->setDelegate(nullptr);
    }
}

} // namespace quillet
