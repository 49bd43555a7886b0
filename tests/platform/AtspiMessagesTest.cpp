#include "platform/atspi/AtspiMessages.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace quillet::atspi {
namespace {

/// An answer to a call, its arguments written by `write`.
Message answer(const std::function<void(DBusMessageIter&)>& write)
{
    const Message call = methodCall({ ":1.7", "/org/a11y/atspi/accessible/1" }, textInterface, "Any");
    dbus_message_set_serial(call.get(), 1); // as sending it would
    Message reply(dbus_message_new_method_return(call.get()));
    DBusMessageIter iterator;
    dbus_message_iter_init_append(reply.get(), &iterator);
    write(iterator);
    return reply;
}

void appendReference(DBusMessageIter& into, const char* bus, const char* path)
{
    DBusMessageIter fields;
    dbus_message_iter_open_container(&into, DBUS_TYPE_STRUCT, nullptr, &fields);
    dbus_message_iter_append_basic(&fields, DBUS_TYPE_STRING, &bus);
    dbus_message_iter_append_basic(&fields, DBUS_TYPE_OBJECT_PATH, &path);
    dbus_message_iter_close_container(&into, &fields);
}

// The answers as toolkits send them: a variant around a property, a structure around
// GetSelection's numbers or loose ones, the null object among children, the high state word.
TEST(AtspiMessagesTest, AnswersReadAsTheToolkitsSendThem)
{
    const Message caret = answer([](DBusMessageIter& iterator) {
        DBusMessageIter variant;
        const dbus_int32_t offset = 42;
        dbus_message_iter_open_container(&iterator, DBUS_TYPE_VARIANT, "i", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_INT32, &offset);
        dbus_message_iter_close_container(&iterator, &variant);
    });
    EXPECT_EQ(int32Of(caret.get()), 42);
    EXPECT_EQ(stringOf(caret.get()), std::nullopt) << "an answer of another type is none";

    for (const bool inStructure : { true, false }) {
        const Message range = answer([inStructure](DBusMessageIter& iterator) {
            DBusMessageIter fields;
            DBusMessageIter* into = &iterator;
            if (inStructure) {
                dbus_message_iter_open_container(&iterator, DBUS_TYPE_STRUCT, nullptr, &fields);
                into = &fields;
            }
            for (const dbus_int32_t number : { 3, 9 })
                dbus_message_iter_append_basic(into, DBUS_TYPE_INT32, &number);
            if (inStructure)
                dbus_message_iter_close_container(&iterator, &fields);
        });
        EXPECT_EQ(int32sOf(range.get(), 2), (std::vector<int32_t> { 3, 9 })) << inStructure;
        EXPECT_EQ(int32sOf(range.get(), 4), std::nullopt) << "too few numbers";
    }

    const Message children = answer([](DBusMessageIter& iterator) {
        DBusMessageIter items;
        dbus_message_iter_open_container(&iterator, DBUS_TYPE_ARRAY, "(so)", &items);
        appendReference(items, ":1.7", "/org/a11y/atspi/accessible/2");
        appendReference(items, ":1.7", "/org/a11y/atspi/null");
        appendReference(items, ":1.9", "/org/a11y/atspi/accessible/root");
        dbus_message_iter_close_container(&iterator, &items);
    });
    EXPECT_EQ(referencesOf(children.get()),
        (std::vector<ObjectReference> {
            { ":1.7", "/org/a11y/atspi/accessible/2" }, { ":1.9", "/org/a11y/atspi/accessible/root" } }));

    const Message nullChild
        = answer([](DBusMessageIter& iterator) { appendReference(iterator, ":1.7", "/org/a11y/atspi/null"); });
    EXPECT_EQ(referenceOf(nullChild.get()), std::nullopt);

    const Message states = answer([](DBusMessageIter& iterator) {
        DBusMessageIter words;
        const dbus_uint32_t low = (1U << int(State::focused)) | (1U << int(State::editable));
        const dbus_uint32_t high = 1U << (int(State::readOnly) - 32);
        dbus_message_iter_open_container(&iterator, DBUS_TYPE_ARRAY, "u", &words);
        dbus_message_iter_append_basic(&words, DBUS_TYPE_UINT32, &low);
        dbus_message_iter_append_basic(&words, DBUS_TYPE_UINT32, &high);
        dbus_message_iter_close_container(&iterator, &words);
    });
    const StateSet set = statesOf(states.get());
    EXPECT_TRUE(set.has(State::focused));
    EXPECT_TRUE(set.has(State::editable));
    EXPECT_TRUE(set.has(State::readOnly));
    EXPECT_FALSE(set.has(State::active));
    EXPECT_FALSE(statesOf(nullptr).has(State::focused));
}

// What the toolkits check before they answer: the signature of each call.
TEST(AtspiMessagesTest, CallsCarryTheSignaturesOfTheInterfaces)
{
    const ObjectReference object { ":1.7", "/org/a11y/atspi/accessible/5" };
    const std::string text = "for item in items {";
    const std::vector<std::pair<Message, const char*>> cases = [&] {
        std::vector<std::pair<Message, const char*>> made;
        made.emplace_back(focusedMatchesQuery(object), "(aiia{ss}iaiiasib)uib");
        made.emplace_back(propertyQuery(object, textInterface, "CaretOffset"), "ss");
        made.emplace_back(
            methodCall(object, editableTextInterface, "InsertText", { int32_t(4), text, int32_t(text.size()) }), "isi");
        made.emplace_back(
            methodCall(object, textInterface, "GetRangeExtents", { int32_t(1), int32_t(2), uint32_t(0) }), "iiu");
        return made;
    }();
    for (const auto& [call, signature] : cases) {
        ASSERT_TRUE(call);
        EXPECT_STREQ(dbus_message_get_signature(call.get()), signature) << dbus_message_get_member(call.get());
        EXPECT_STREQ(dbus_message_get_destination(call.get()), ":1.7");
    }
}

} // namespace
} // namespace quillet::atspi
