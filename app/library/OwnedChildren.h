#pragma once

#include <memory>
#include <unordered_set>
#include <vector>

namespace quillet {

/// Children that leave their owner, or outlive it (an editor may still hold one), stop
/// pointing at it, so no child ever reports to an owner that is gone. Children that another
/// owner has adopted in the meantime keep their new delegate.
template <typename Child, typename Owner>
void releaseLeavingChildren(const std::vector<std::shared_ptr<Child>>& children,
    const std::vector<std::shared_ptr<Child>>& staying, const Owner* owner)
{
    // Looked up in a set: a library of thousands of bundles changes in time with its size.
    std::unordered_set<const Child*> stays;
    stays.reserve(staying.size());
    for (const auto& child : staying)
        stays.insert(child.get());
    for (const auto& child : children) {
        if (child->delegate() == owner && !stays.contains(child.get()))
            child->setDelegate(nullptr);
    }
}

} // namespace quillet
