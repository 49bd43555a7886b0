#pragma once

#include <memory>
#include <type_traits>

namespace orv {

/// Lets through only objects of one class: a value of class T (or a subclass) comes out
/// unchanged, anything else as nothing. One direction only: a binding through it never
/// writes back to its source.
///
/// Use it where one value may hold objects of several classes (the selected row of a
/// list of bundles and expanders) and a property wants only one of them.
template <typename T>
requires std::is_class_v<T>
class CertainClassValueTransformer {
public:
    static constexpr bool allowsReverseTransformation() { return false; }

    /// The same object when it is a T, else null.
    template <typename U> T* transformedValue(U* value) const
    {
        if (!value)
            return nullptr;
        if constexpr (std::is_base_of_v<T, U>)
            return value;
        else
            return dynamic_cast<T*>(value);
    }

    /// The same shared object when it is a T, else null.
    template <typename U> std::shared_ptr<T> transformedValue(const std::shared_ptr<U>& value) const
    {
        return std::dynamic_pointer_cast<T>(value);
    }
};

} // namespace orv
