#include "platform/SelectionReader.h"

#include "platform/Freed.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>

namespace quillet {
namespace {

// Targets that describe a selection rather than hold its contents.
constexpr const char* describingTargets[] = { "TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE",
    "INSERT_SELECTION", "INSERT_PROPERTY", "_GTK_SELECTION_STRING" };
// What an owner that does not tell its targets is asked for.
constexpr const char* plainTextTargets[] = { "UTF8_STRING", "STRING" };
// The names of a text that an owner offering UTF8_STRING makes from it: kept as UTF-8 alone, and
// served again from it (STRING in Latin-1, where it can be).
constexpr const char* derivedTextTargets[] = { "STRING", "TEXT", "text/plain", "text/plain;charset=utf-8" };
// Other names of a text that cannot be made again faithfully: not kept where UTF-8 is.
constexpr const char* otherTextTargets[] = { "COMPOUND_TEXT", "text/plain;charset=UTF-8" };
// Other names an image encoder offers beside the image/… ones (ICO, Qt's own).
constexpr const char* imageAliases[] = { "application/ico", "text/ico", "application/x-qt-image" };

/// Reads the whole property and deletes it (which asks its owner for the next piece of a
/// transfer in pieces); null when the server does not answer.
xcb_get_property_reply_t* takeProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property)
{
    return xcb_get_property_reply(connection,
        xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4), nullptr);
}

} // namespace

SelectionAtoms SelectionAtoms::intern(xcb_connection_t* connection)
{
    return { .targets = internAtom(connection, "TARGETS"),
        .multiple = internAtom(connection, "MULTIPLE"),
        .timestamp = internAtom(connection, "TIMESTAMP"),
        .incr = internAtom(connection, "INCR"),
        .atomPair = internAtom(connection, "ATOM_PAIR"),
        .utf8String = internAtom(connection, "UTF8_STRING"),
        .string = XCB_ATOM_STRING };
}

std::optional<std::string> latin1FromUtf8(const std::string& utf8)
{
    std::string text;
    text.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            text.push_back(char(byte));
        } else if ((byte == 0xc2 || byte == 0xc3) && i + 1 < utf8.size()
            && (static_cast<unsigned char>(utf8[i + 1]) & 0xc0) == 0x80) {
            text.push_back(char(((byte & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3f)));
        } else {
            return std::nullopt;
        }
    }
    return text;
}

uint32_t internAtom(xcb_connection_t* connection, const char* name)
{
    Freed reply { xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr) };
    return reply ? reply->atom : XCB_NONE;
}

SelectionReader::SelectionReader(
    xcb_connection_t* connection, uint32_t root, const SelectionAtoms& atoms, uint32_t selection, std::size_t& spent)
    : m_connection(connection)
    , m_root(root)
    , m_atoms(atoms)
    , m_selection(selection)
    , m_property(internAtom(connection, "QUILLET_SELECTION"))
    , m_spent(spent)
{
    ask(m_atoms.targets);
}

SelectionReader::~SelectionReader()
{
    m_spent -= m_held;
    // An owner may still send what it was asked: it finds no window.
    for (const Conversion& conversion : m_conversions)
        xcb_destroy_window(m_connection, conversion.window);
}

void SelectionReader::ask(uint32_t target)
{
    Conversion conversion;
    conversion.target = target;
    conversion.window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, conversion.window, m_root, -1, -1, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    xcb_convert_selection(m_connection, conversion.window, m_selection, target, m_property, XCB_CURRENT_TIME);
    m_conversions.push_back(std::move(conversion));
}

bool SelectionReader::handle(const void* message)
{
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & ~0x80;
    if (type == XCB_SELECTION_NOTIFY) {
        const auto* notify = static_cast<const xcb_selection_notify_event_t*>(message);
        for (std::size_t i = 0; i < m_conversions.size(); ++i) {
            Conversion& conversion = m_conversions[i];
            if (conversion.window != notify->requestor || conversion.answered)
                continue;
            if (m_state == State::listing && i == 0)
                listAnswered(conversion, notify->property);
            else if (m_state == State::reading)
                answered(conversion, notify->property);
            return true;
        }
    } else if (type == XCB_PROPERTY_NOTIFY) {
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        for (Conversion& conversion : m_conversions) {
            if (conversion.window != notify->window)
                continue;
            if (m_state == State::reading && conversion.incremental && !conversion.done && notify->atom == m_property
                && notify->state == XCB_PROPERTY_NEW_VALUE)
                pieceArrived(conversion);
            return true;
        }
    }
    return false;
}

void SelectionReader::listAnswered(Conversion& conversion, uint32_t property)
{
    conversion.answered = true;
    conversion.done = true;
    std::vector<uint32_t> offered;
    if (property != XCB_NONE) {
        Freed reply { takeProperty(m_connection, conversion.window, m_property) };
        if (!reply)
            return stop(State::failed);
        if (reply->format == 32 && reply->type != m_atoms.incr) {
            const auto* atoms = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
            offered.assign(atoms, atoms + xcb_get_property_value_length(reply.get()) / 4);
        }
    }
    m_state = State::reading;
    if (property == XCB_NONE || offered.empty()) {
        for (const char* name : plainTextTargets)
            offered.push_back(internAtom(m_connection, name));
    }
    choose(offered);
}

void SelectionReader::choose(const std::vector<uint32_t>& offered)
{
    std::vector<uint32_t> targets;
    for (const uint32_t target : offered)
        if (target != XCB_NONE && std::find(targets.begin(), targets.end(), target) == targets.end())
            targets.push_back(target);
    // Past a few times the bound, even their names are not worth asking.
    if (targets.size() > 4 * KeptBound::formats)
        return stop(State::tooLarge);
    std::vector<xcb_get_atom_name_cookie_t> cookies;
    for (const uint32_t target : targets)
        cookies.push_back(xcb_get_atom_name(m_connection, target));
    std::vector<std::string> names;
    for (const auto cookie : cookies) {
        Freed name { xcb_get_atom_name_reply(m_connection, cookie, nullptr) };
        names.emplace_back(name
                ? std::string(xcb_get_atom_name_name(name.get()), xcb_get_atom_name_name_length(name.get()))
                : std::string());
    }
    const auto kept = keptTargets(names);
    if (kept.size() > KeptBound::formats)
        return stop(State::tooLarge);
    if (std::find(names.begin(), names.end(), "UTF8_STRING") != names.end()) {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (std::find(std::begin(derivedTextTargets), std::end(derivedTextTargets), names[i])
                != std::end(derivedTextTargets))
                m_derivedText.emplace_back(targets[i], names[i]);
    }
    for (const std::size_t i : kept)
        ask(targets[i]);
    finishIfWhole();
}

std::vector<std::size_t> SelectionReader::keptTargets(const std::vector<std::string>& names)
{
    const bool png = std::find(names.begin(), names.end(), "image/png") != names.end();
    const bool utf8 = std::find(names.begin(), names.end(), "UTF8_STRING") != names.end();
    std::vector<std::size_t> kept;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        if (name.empty()
            || std::find(std::begin(describingTargets), std::end(describingTargets), name)
                != std::end(describingTargets))
            continue;
        const bool otherImage = (name.starts_with("image/") && name != "image/png")
            || std::find(std::begin(imageAliases), std::end(imageAliases), name) != std::end(imageAliases);
        if (png && otherImage)
            continue;
        const bool otherText = std::find(std::begin(derivedTextTargets), std::end(derivedTextTargets), name)
                != std::end(derivedTextTargets)
            || std::find(std::begin(otherTextTargets), std::end(otherTextTargets), name) != std::end(otherTextTargets);
        if (utf8 && otherText)
            continue;
        kept.push_back(i);
    }
    return kept;
}

void SelectionReader::answered(Conversion& conversion, uint32_t property)
{
    conversion.answered = true;
    if (property == XCB_NONE) {
        // Offered but refused: there is nothing of it to give back.
        conversion.done = true;
        conversion.data.clear();
        conversion.type = XCB_NONE;
        return finishIfWhole();
    }
    Freed reply { takeProperty(m_connection, conversion.window, m_property) };
    if (!reply)
        return stop(State::failed);
    const std::size_t length = std::size_t(xcb_get_property_value_length(reply.get()));
    if (reply->type == m_atoms.incr) {
        // In pieces: deleting the property (as it was read) asked the owner for the first one.
        // It names a lower bound of the size.
        conversion.incremental = true;
        if (length >= 4) {
            uint32_t size = 0;
            std::memcpy(&size, xcb_get_property_value(reply.get()), 4);
            if (m_spent + size > KeptBound::bytes)
                return stop(State::tooLarge);
            conversion.data.reserve(size);
        }
        return;
    }
    if (!spend(length))
        return;
    conversion.type = reply->type;
    conversion.format = reply->format ? reply->format : 8;
    conversion.data.assign(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    conversion.done = true;
    finishIfWhole();
}

void SelectionReader::pieceArrived(Conversion& conversion)
{
    // Reading deletes the piece, which asks the owner for the next one; an empty piece ends it.
    Freed piece { takeProperty(m_connection, conversion.window, m_property) };
    if (!piece)
        return stop(State::failed);
    const std::size_t length = std::size_t(xcb_get_property_value_length(piece.get()));
    if (length == 0) {
        conversion.done = true;
        return finishIfWhole();
    }
    if (!spend(length))
        return;
    conversion.type = piece->type;
    conversion.format = piece->format ? piece->format : 8;
    conversion.data.append(static_cast<const char*>(xcb_get_property_value(piece.get())), length);
}

bool SelectionReader::spend(std::size_t bytes)
{
    if (m_spent + bytes > KeptBound::bytes) {
        stop(State::tooLarge);
        return false;
    }
    m_spent += bytes;
    m_held += bytes;
    return true;
}

void SelectionReader::stop(State state)
{
    m_state = state;
    m_spent -= m_held;
    m_held = 0;
    for (Conversion& conversion : m_conversions) {
        conversion.done = true;
        std::string().swap(conversion.data);
    }
}

void SelectionReader::finishIfWhole()
{
    if (m_state == State::reading
        && std::all_of(m_conversions.begin(), m_conversions.end(), [](const Conversion& c) { return c.done; }))
        m_state = State::whole;
}

std::vector<SelectionFormat> SelectionReader::takeFormats()
{
    std::vector<SelectionFormat> formats;
    if (m_state != State::whole)
        return formats;
    // The first conversion asked for the list.
    for (std::size_t i = 1; i < m_conversions.size(); ++i) {
        Conversion& conversion = m_conversions[i];
        if (conversion.type == XCB_NONE)
            continue;
        conversion.data.shrink_to_fit();
        formats.push_back({ .target = conversion.target,
            .type = conversion.type,
            .format = conversion.format,
            .data = std::make_shared<const std::string>(std::move(conversion.data)) });
    }
    const auto text = std::find_if(formats.begin(), formats.end(),
        [this](const SelectionFormat& format) { return format.target == m_atoms.utf8String; });
    if (text != formats.end()) {
        const SelectionFormat utf8 = *text;
        for (const auto& [target, name] : m_derivedText) {
            if (name != "STRING") {
                formats.push_back({ .target = target, .type = utf8.type, .format = 8, .data = utf8.data });
            } else if (auto latin = latin1FromUtf8(*utf8.data)) {
                // ASCII reads the same in both: one copy.
                formats.push_back({ .target = target,
                    .type = m_atoms.string,
                    .format = 8,
                    .data = latin->size() == utf8.data->size()
                        ? utf8.data
                        : std::make_shared<const std::string>(std::move(*latin)) });
            }
        }
    }
    // What it holds is counted by whoever keeps it now.
    m_held = 0;
    return formats;
}

} // namespace quillet
