#pragma once

#include <dbus/dbus.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace quillet::atspi {

struct MessageUnref {
    void operator()(DBusMessage* message) const noexcept
    {
        if (message)
            dbus_message_unref(message);
    }
};
/// One D-Bus message, released with its owner.
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

/// An object of another application's tree: its application's name on the accessibility bus
/// and its path there.
struct ObjectReference {
    std::string bus;
    std::string path;

    friend bool operator==(const ObjectReference&, const ObjectReference&) = default;
};

inline constexpr const char* accessibleInterface = "org.a11y.atspi.Accessible";
inline constexpr const char* applicationInterface = "org.a11y.atspi.Application";
inline constexpr const char* collectionInterface = "org.a11y.atspi.Collection";
inline constexpr const char* textInterface = "org.a11y.atspi.Text";
inline constexpr const char* editableTextInterface = "org.a11y.atspi.EditableText";
inline constexpr const char* hypertextInterface = "org.a11y.atspi.Hypertext";
inline constexpr const char* hyperlinkInterface = "org.a11y.atspi.Hyperlink";
/// The role of a link (GetRole).
inline constexpr uint32_t linkRole = 88;
/// The desktop: the root whose children are the applications.
inline const ObjectReference desktopRoot { "org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root" };
/// Where every application keeps its own root object.
inline constexpr const char* applicationRootPath = "/org/a11y/atspi/accessible/root";

/// The states that this backend asks about, by their bit in a GetState answer.
enum class State : int { active = 1, editable = 7, focused = 12, singleLine = 26, visible = 30, readOnly = 43 };

struct StateSet {
    uint64_t bits = 0;
    bool has(State state) const noexcept { return (bits >> int(state)) & 1U; }
};

/// An argument of a method call.
using Argument = std::variant<int32_t, uint32_t, std::string>;

/// A call of the object's method with the arguments, in order.
Message methodCall(const ObjectReference& object, const char* interface, const char* method,
    const std::vector<Argument>& arguments = {});
/// A Properties.Get of the object's property.
Message propertyQuery(const ObjectReference& object, const char* interface, const char* property);
/// A Collection.GetMatches for the object's descendants in state FOCUSED, in the tree's order.
Message focusedMatchesQuery(const ObjectReference& object);

/// The first value of an answer (or the value inside its variant, as a Properties.Get
/// answers), when it is of the type; none otherwise and for no answer.
std::optional<int32_t> int32Of(DBusMessage* reply);
std::optional<uint32_t> uint32Of(DBusMessage* reply);
std::optional<bool> boolOf(DBusMessage* reply);
std::optional<std::string> stringOf(DBusMessage* reply);
/// The first `count` 32-bit integers of an answer, loose or in one structure (GetSelection,
/// GetRangeExtents).
std::optional<std::vector<int32_t>> int32sOf(DBusMessage* reply, std::size_t count);
/// The states of a GetState answer; empty for no answer.
StateSet statesOf(DBusMessage* reply);
/// The object of a GetChildAtIndex answer; none for the null object.
std::optional<ObjectReference> referenceOf(DBusMessage* reply);
/// The objects of a GetChildren or GetMatches answer, the null object left out.
std::vector<ObjectReference> referencesOf(DBusMessage* reply);
/// The strings of a GetInterfaces answer.
std::vector<std::string> stringsOf(DBusMessage* reply);

} // namespace quillet::atspi
