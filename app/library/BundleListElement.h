#pragma once

#include "library/Bundle.h"
#include "library/CustomExpander.h"

#include <unicode/unistr.h>

#include <memory>
#include <optional>
#include <variant>

namespace quillet {

/// One row of the bundle list and the editor's selection: a bundle or an expander of the
/// library, shared with the library (never a copy). Two elements are equal when they hold
/// the same object.
class BundleListElement {
public:
    BundleListElement(BundlePtr bundle)
        : m_element(std::move(bundle))
    {
    } // NOLINT: an element is either
    BundleListElement(CustomExpanderPtr expander)
        : m_element(std::move(expander))
    {
    } // NOLINT

    BundlePtr bundle() const
    {
        const auto* bundle = std::get_if<BundlePtr>(&m_element);
        return bundle ? *bundle : nullptr;
    }
    CustomExpanderPtr expander() const
    {
        const auto* expander = std::get_if<CustomExpanderPtr>(&m_element);
        return expander ? *expander : nullptr;
    }
    bool isBundle() const noexcept { return std::holds_alternative<BundlePtr>(m_element); }
    bool isExpander() const noexcept { return std::holds_alternative<CustomExpanderPtr>(m_element); }
    /// False for an element made from a null pointer.
    bool isValid() const noexcept { return isBundle() ? bundle() != nullptr : expander() != nullptr; }

    icu::UnicodeString name() const
    {
        if (auto b = bundle())
            return b->name();
        if (auto e = expander())
            return e->name();
        return {};
    }
    /// The object's address, for identity checks across the two kinds.
    const void* object() const noexcept
    {
        return isBundle() ? static_cast<const void*>(bundle().get()) : static_cast<const void*>(expander().get());
    }

    bool operator==(const BundleListElement& other) const noexcept { return object() == other.object(); }

private:
    std::variant<BundlePtr, CustomExpanderPtr> m_element;
};

/// An element held without keeping it alive: a question that is still open must not keep
/// a deleted element around, and must learn that it is gone.
class WeakBundleListElement {
public:
    WeakBundleListElement() = default;
    explicit WeakBundleListElement(const BundleListElement& element)
        : m_bundle(element.bundle())
        , m_expander(element.expander())
        , m_isBundle(element.isBundle())
    {
    }

    /// The element while it still exists.
    std::optional<BundleListElement> lock() const
    {
        if (m_isBundle) {
            if (auto bundle = m_bundle.lock())
                return BundleListElement(bundle);
        } else if (auto expander = m_expander.lock()) {
            return BundleListElement(expander);
        }
        return std::nullopt;
    }

private:
    std::weak_ptr<Bundle> m_bundle;
    std::weak_ptr<CustomExpander> m_expander;
    bool m_isBundle = false;
};

} // namespace quillet
