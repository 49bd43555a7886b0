#include "platform/atspi/AtspiMessages.h"

#include <cstring>
#include <type_traits>

namespace quillet::atspi {
namespace {

constexpr const char* nullPath = "/org/a11y/atspi/null";
constexpr dbus_int32_t matchAll = 1;
constexpr dbus_uint32_t canonicalOrder = 1;

void append(DBusMessageIter& iterator, const Argument& argument)
{
    std::visit(
        [&iterator](const auto& value) {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, int32_t>) {
                const dbus_int32_t number = value;
                dbus_message_iter_append_basic(&iterator, DBUS_TYPE_INT32, &number);
            } else if constexpr (std::is_same_v<T, uint32_t>) {
                const dbus_uint32_t number = value;
                dbus_message_iter_append_basic(&iterator, DBUS_TYPE_UINT32, &number);
            } else {
                const char* text = value.c_str();
                dbus_message_iter_append_basic(&iterator, DBUS_TYPE_STRING, &text);
            }
        },
        argument);
}

/// The first argument of the answer, or the value inside it when it is a variant; false
/// when there is none.
bool firstValue(DBusMessage* reply, DBusMessageIter& top, DBusMessageIter& variant, DBusMessageIter*& value)
{
    if (!reply || dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN
        || !dbus_message_iter_init(reply, &top))
        return false;
    value = &top;
    if (dbus_message_iter_get_arg_type(&top) == DBUS_TYPE_VARIANT) {
        dbus_message_iter_recurse(&top, &variant);
        value = &variant;
    }
    return true;
}

template <typename T> std::optional<T> basicOf(DBusMessage* reply, int type)
{
    DBusMessageIter top;
    DBusMessageIter variant;
    DBusMessageIter* value = nullptr;
    if (!firstValue(reply, top, variant, value) || dbus_message_iter_get_arg_type(value) != type)
        return std::nullopt;
    if constexpr (std::is_same_v<T, std::string>) {
        const char* text = nullptr;
        dbus_message_iter_get_basic(value, &text);
        return std::string(text ? text : "");
    } else if constexpr (std::is_same_v<T, bool>) {
        dbus_bool_t flag = false;
        dbus_message_iter_get_basic(value, &flag);
        return flag != 0;
    } else {
        T number {};
        dbus_message_iter_get_basic(value, &number);
        return number;
    }
}

/// The (so) structure at the iterator; none for the null object.
std::optional<ObjectReference> referenceAt(DBusMessageIter& iterator)
{
    if (dbus_message_iter_get_arg_type(&iterator) != DBUS_TYPE_STRUCT)
        return std::nullopt;
    DBusMessageIter fields;
    dbus_message_iter_recurse(&iterator, &fields);
    const char* bus = nullptr;
    const char* path = nullptr;
    if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_STRING)
        return std::nullopt;
    dbus_message_iter_get_basic(&fields, &bus);
    dbus_message_iter_next(&fields);
    if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_OBJECT_PATH)
        return std::nullopt;
    dbus_message_iter_get_basic(&fields, &path);
    if (!bus || !*bus || !path || std::strcmp(path, nullPath) == 0)
        return std::nullopt;
    return ObjectReference { bus, path };
}

} // namespace

Message methodCall(
    const ObjectReference& object, const char* interface, const char* method, const std::vector<Argument>& arguments)
{
    Message call(dbus_message_new_method_call(object.bus.c_str(), object.path.c_str(), interface, method));
    if (!call)
        return call;
    DBusMessageIter iterator;
    dbus_message_iter_init_append(call.get(), &iterator);
    for (const auto& argument : arguments)
        append(iterator, argument);
    return call;
}

Message propertyQuery(const ObjectReference& object, const char* interface, const char* property)
{
    return methodCall(object, "org.freedesktop.DBus.Properties", "Get", { interface, property });
}

Message focusedMatchesQuery(const ObjectReference& object)
{
    Message call(
        dbus_message_new_method_call(object.bus.c_str(), object.path.c_str(), collectionInterface, "GetMatches"));
    if (!call)
        return call;
    DBusMessageIter iterator;
    DBusMessageIter rule;
    DBusMessageIter array;
    dbus_message_iter_init_append(call.get(), &iterator);
    // The rule: states, attributes, roles and interfaces, each with how it must match, and
    // whether to invert it. Only the states ask for anything.
    dbus_message_iter_open_container(&iterator, DBUS_TYPE_STRUCT, nullptr, &rule);
    const dbus_int32_t states[2] = { dbus_int32_t(1U << int(State::focused)), 0 };
    dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &array);
    for (const dbus_int32_t word : states)
        dbus_message_iter_append_basic(&array, DBUS_TYPE_INT32, &word);
    dbus_message_iter_close_container(&rule, &array);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll);
    dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "{ss}", &array);
    dbus_message_iter_close_container(&rule, &array);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll);
    const dbus_int32_t noRole = 0;
    dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &array);
    for (int word = 0; word < 4; ++word)
        dbus_message_iter_append_basic(&array, DBUS_TYPE_INT32, &noRole);
    dbus_message_iter_close_container(&rule, &array);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll);
    dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "s", &array);
    dbus_message_iter_close_container(&rule, &array);
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &matchAll);
    const dbus_bool_t invert = false;
    dbus_message_iter_append_basic(&rule, DBUS_TYPE_BOOLEAN, &invert);
    dbus_message_iter_close_container(&iterator, &rule);
    // In the tree's order, all of them, through the whole subtree.
    const dbus_int32_t count = 0;
    const dbus_bool_t traverse = true;
    dbus_message_iter_append_basic(&iterator, DBUS_TYPE_UINT32, &canonicalOrder);
    dbus_message_iter_append_basic(&iterator, DBUS_TYPE_INT32, &count);
    dbus_message_iter_append_basic(&iterator, DBUS_TYPE_BOOLEAN, &traverse);
    return call;
}

std::optional<int32_t> int32Of(DBusMessage* reply)
{
    return basicOf<dbus_int32_t>(reply, DBUS_TYPE_INT32);
}

std::optional<uint32_t> uint32Of(DBusMessage* reply)
{
    return basicOf<dbus_uint32_t>(reply, DBUS_TYPE_UINT32);
}

std::optional<bool> boolOf(DBusMessage* reply)
{
    return basicOf<bool>(reply, DBUS_TYPE_BOOLEAN);
}

std::optional<std::string> stringOf(DBusMessage* reply)
{
    return basicOf<std::string>(reply, DBUS_TYPE_STRING);
}

std::optional<std::vector<int32_t>> int32sOf(DBusMessage* reply, std::size_t count)
{
    DBusMessageIter top;
    DBusMessageIter variant;
    DBusMessageIter* value = nullptr;
    if (!firstValue(reply, top, variant, value))
        return std::nullopt;
    DBusMessageIter fields;
    if (dbus_message_iter_get_arg_type(value) == DBUS_TYPE_STRUCT) {
        dbus_message_iter_recurse(value, &fields);
        value = &fields;
    }
    std::vector<int32_t> numbers;
    while (numbers.size() < count && dbus_message_iter_get_arg_type(value) == DBUS_TYPE_INT32) {
        dbus_int32_t number = 0;
        dbus_message_iter_get_basic(value, &number);
        numbers.push_back(number);
        dbus_message_iter_next(value);
    }
    if (numbers.size() < count)
        return std::nullopt;
    return numbers;
}

StateSet statesOf(DBusMessage* reply)
{
    StateSet set;
    DBusMessageIter top;
    DBusMessageIter variant;
    DBusMessageIter* value = nullptr;
    if (!firstValue(reply, top, variant, value) || dbus_message_iter_get_arg_type(value) != DBUS_TYPE_ARRAY)
        return set;
    DBusMessageIter words;
    dbus_message_iter_recurse(value, &words);
    for (int word = 0; word < 2 && dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32; ++word) {
        dbus_uint32_t bits = 0;
        dbus_message_iter_get_basic(&words, &bits);
        set.bits |= uint64_t(bits) << (32 * word);
        dbus_message_iter_next(&words);
    }
    return set;
}

std::optional<ObjectReference> referenceOf(DBusMessage* reply)
{
    DBusMessageIter top;
    DBusMessageIter variant;
    DBusMessageIter* value = nullptr;
    if (!firstValue(reply, top, variant, value))
        return std::nullopt;
    return referenceAt(*value);
}

std::vector<ObjectReference> referencesOf(DBusMessage* reply)
{
    std::vector<ObjectReference> references;
    DBusMessageIter top;
    DBusMessageIter variant;
    DBusMessageIter* value = nullptr;
    if (!firstValue(reply, top, variant, value) || dbus_message_iter_get_arg_type(value) != DBUS_TYPE_ARRAY)
        return references;
    DBusMessageIter items;
    dbus_message_iter_recurse(value, &items);
    for (; dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT; dbus_message_iter_next(&items))
        if (auto reference = referenceAt(items))
            references.push_back(std::move(*reference));
    return references;
}

std::vector<std::string> stringsOf(DBusMessage* reply)
{
    std::vector<std::string> strings;
    DBusMessageIter top;
    DBusMessageIter variant;
    DBusMessageIter* value = nullptr;
    if (!firstValue(reply, top, variant, value) || dbus_message_iter_get_arg_type(value) != DBUS_TYPE_ARRAY)
        return strings;
    DBusMessageIter items;
    dbus_message_iter_recurse(value, &items);
    for (; dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRING; dbus_message_iter_next(&items)) {
        const char* text = nullptr;
        dbus_message_iter_get_basic(&items, &text);
        strings.emplace_back(text ? text : "");
    }
    return strings;
}

} // namespace quillet::atspi
