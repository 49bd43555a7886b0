#include "platform/ClipboardKeeper.h"
#include "platform/DisplayConnection.h"

#include "platform/ProcessExit.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace quillet {
namespace {

template <typename Reply> struct Freed {
    Reply* reply;
    ~Freed() { free(reply); }
    Reply* operator->() const { return reply; }
    explicit operator bool() const { return reply != nullptr; }
};

// Targets that describe a selection rather than hold its contents.
constexpr const char* describingTargets[]
    = { "TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE", "INSERT_SELECTION", "INSERT_PROPERTY" };
constexpr const char* textTargets[] = { "UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT", "text/plain" };

} // namespace

struct ClipboardKeeper::Transfer {
    uint32_t requestor = 0;
    uint32_t property = 0;
    Format format;
    std::size_t sent = 0;
    Clock::time_point deadline;
};

ClipboardKeeper::ClipboardKeeper()
{
    const auto display = connectToDefaultDisplay();
    if (!display)
        return;
    if (pipe(m_wake) != 0) {
        xcb_disconnect(display->connection);
        return;
    }
    m_connection = display->connection;
    m_window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, display->root, -1, -1, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    // A property change carries at most the request's size; larger formats go in pieces.
    m_maximumPiece = std::min<uint32_t>(xcb_get_maximum_request_length(m_connection) * 4 - 64, 1u << 20);
    for (const char* name : { "CLIPBOARD", "PRIMARY" }) {
        Selection selection;
        selection.atom = atom(name);
        m_selections.push_back(std::move(selection));
    }
    xcb_flush(m_connection);
    try {
        m_thread = std::thread([this] { loop(); });
    } catch (const std::system_error& error) {
        exitForLackOfThread("the clipboard", error);
    }
}

ClipboardKeeper::~ClipboardKeeper()
{
    if (!m_connection)
        return;
    {
        std::lock_guard lock(m_workMutex);
        m_stopping = true;
    }
    const char wake = 0;
    (void)!write(m_wake[1], &wake, 1);
    m_thread.join();
    xcb_disconnect(m_connection);
    close(m_wake[0]);
    close(m_wake[1]);
}

bool ClipboardKeeper::keep(Clock::time_point deadline)
{
    return run([this, deadline] {
        for (Selection& selection : m_selections)
            if (!read(selection, deadline))
                return false;
        return true;
    });
}

bool ClipboardKeeper::offer(const std::string& utf8, Clock::time_point deadline)
{
    return run([this, &utf8, deadline] {
        m_fetches = 0;
        std::vector<Format> formats;
        for (const char* name : textTargets)
            formats.push_back({ atom(name), atom(name == std::string("STRING") ? "STRING" : "UTF8_STRING"), 8, utf8 });
        for (Selection& selection : m_selections)
            if (!take(selection, formats, deadline))
                return false;
        return true;
    });
}

int ClipboardKeeper::offeredTextFetches()
{
    int fetches = 0;
    run([this, &fetches] {
        // Whatever already arrived counts.
        waitFor([] { return false; }, Clock::now());
        fetches = m_fetches;
        return true;
    });
    return fetches;
}

void ClipboardKeeper::restore(Clock::time_point deadline)
{
    run([this, deadline] {
        bool restored = true;
        for (Selection& selection : m_selections) {
            if (selection.hadOwner) {
                restored = take(selection, selection.kept, deadline) && restored;
            } else if (selection.owned) {
                xcb_set_selection_owner(m_connection, XCB_NONE, selection.atom, selection.ownedSince);
                selection.owned = false;
                selection.served.clear();
            }
        }
        xcb_flush(m_connection);
        return restored;
    });
}

bool ClipboardKeeper::run(const std::function<bool()>& work)
{
    if (!m_connection)
        return false;
    std::lock_guard call(m_callMutex);
    std::unique_lock lock(m_workMutex);
    if (m_stopping)
        return false;
    m_work = work;
    m_workDone = false;
    const char wake = 1;
    (void)!write(m_wake[1], &wake, 1);
    m_workFinished.wait(lock, [this] { return m_workDone || m_stopping; });
    m_work = nullptr;
    return m_workDone && m_workResult;
}

void ClipboardKeeper::loop()
{
    pollfd fds[2] = { { xcb_get_file_descriptor(m_connection), POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            handle(event);
            m_awaited = nullptr;
            free(event);
        }
        if (xcb_connection_has_error(m_connection)) {
            // The display is gone: every call fails from now on.
            std::lock_guard lock(m_workMutex);
            m_stopping = true;
            m_workFinished.notify_all();
            return;
        }
        xcb_flush(m_connection);
        if (poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents & POLLIN) {
            char drained[16];
            (void)!::read(m_wake[0], drained, sizeof drained);
            std::function<bool()> work;
            {
                std::lock_guard lock(m_workMutex);
                if (m_stopping)
                    return;
                if (m_work && !m_workDone)
                    work = m_work;
            }
            if (work) {
                const bool result = work();
                xcb_flush(m_connection);
                std::lock_guard lock(m_workMutex);
                m_workResult = result;
                m_workDone = true;
                m_workFinished.notify_all();
            }
        }
    }
}

bool ClipboardKeeper::waitFor(const std::function<bool()>& done, Clock::time_point deadline)
{
    xcb_flush(m_connection);
    pollfd fd { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
    while (true) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            handle(event);
            const bool finished = done();
            m_awaited = nullptr;
            free(event);
            if (finished)
                return true;
        }
        if (done())
            return true;
        if (xcb_connection_has_error(m_connection))
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        xcb_flush(m_connection);
        poll(&fd, 1, int(std::min<long long>(left, 1000)));
    }
}

uint32_t ClipboardKeeper::atom(const char* name)
{
    Freed reply { xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(std::strlen(name)), name), nullptr) };
    return reply ? reply->atom : XCB_NONE;
}

uint32_t ClipboardKeeper::timestamp(Clock::time_point deadline)
{
    // The server's time, as a property change on the keeper's own window reports it.
    const uint32_t property = atom("QUILLET_TIMESTAMP");
    xcb_change_property(m_connection, XCB_PROP_MODE_APPEND, m_window, property, XCB_ATOM_STRING, 8, 0, nullptr);
    uint32_t time = XCB_CURRENT_TIME;
    m_awaitedType = XCB_PROPERTY_NOTIFY;
    waitFor(
        [&] {
            auto* notify = static_cast<xcb_property_notify_event_t*>(m_awaited);
            if (notify && notify->window == m_window && notify->atom == property)
                time = notify->time;
            return time != XCB_CURRENT_TIME;
        },
        deadline);
    m_awaitedType = 0;
    return time;
}

void ClipboardKeeper::handle(void* message)
{
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & ~0x80;
    // The waiting predicate looks at it right after this returns.
    if (m_awaitedType != 0 && type == m_awaitedType)
        m_awaited = event;
    if (type == XCB_SELECTION_REQUEST) {
        serve(event);
    } else if (type == XCB_SELECTION_CLEAR) {
        auto* clear = reinterpret_cast<xcb_selection_clear_event_t*>(event);
        for (Selection& selection : m_selections) {
            if (selection.atom == clear->selection && clear->time >= selection.ownedSince) {
                // Another program owns it now: what it serves is the user's from here on.
                selection.owned = false;
                selection.served.clear();
            }
        }
    } else if (type == XCB_PROPERTY_NOTIFY) {
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (notify->state != XCB_PROPERTY_DELETE)
            return;
        for (auto transfer = m_transfers.begin(); transfer != m_transfers.end(); ++transfer) {
            Transfer& piece = **transfer;
            if (piece.requestor != notify->window || piece.property != notify->atom)
                continue;
            const std::size_t length = std::min<std::size_t>(m_maximumPiece, piece.format.data.size() - piece.sent);
            const uint32_t units = uint32_t(length / (piece.format.format / 8));
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, piece.requestor, piece.property, piece.format.type,
                piece.format.format, units, piece.format.data.data() + piece.sent);
            piece.sent += length;
            if (length == 0 || Clock::now() > piece.deadline) {
                const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
                xcb_change_window_attributes(m_connection, piece.requestor, XCB_CW_EVENT_MASK, &none);
                m_transfers.erase(transfer);
            }
            break;
        }
    }
}

bool ClipboardKeeper::read(Selection& selection, Clock::time_point deadline)
{
    Freed owner { xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, selection.atom), nullptr) };
    if (!owner)
        return false;
    if (owner->owner == m_window && selection.owned)
        return true; // already kept here, from an earlier press
    selection.owned = false;
    selection.served.clear();
    selection.kept.clear();
    selection.hadOwner = owner->owner != XCB_NONE;
    if (!selection.hadOwner)
        return true;
    Format targets;
    if (!convert(selection.atom, atom("TARGETS"), targets, deadline) || targets.format != 32)
        return false;
    std::vector<uint32_t> offered(targets.data.size() / 4);
    std::memcpy(offered.data(), targets.data.data(), offered.size() * 4);
    std::vector<uint32_t> skipped;
    for (const char* name : describingTargets)
        skipped.push_back(atom(name));
    for (const uint32_t target : offered) {
        if (target == XCB_NONE || std::find(skipped.begin(), skipped.end(), target) != skipped.end())
            continue;
        if (std::any_of(selection.kept.begin(), selection.kept.end(),
                [target](const Format& format) { return format.target == target; }))
            continue;
        Format format;
        if (!convert(selection.atom, target, format, deadline)) {
            if (Clock::now() >= deadline)
                return false;
            continue; // offered but refused: there is nothing of it to give back
        }
        format.target = target;
        selection.kept.push_back(std::move(format));
    }
    return true;
}

bool ClipboardKeeper::convert(uint32_t selectionAtom, uint32_t target, Format& into, Clock::time_point deadline)
{
    const uint32_t property = atom("QUILLET_SELECTION");
    xcb_delete_property(m_connection, m_window, property);
    xcb_convert_selection(m_connection, m_window, selectionAtom, target, property, XCB_CURRENT_TIME);
    bool answered = false;
    bool refused = false;
    m_awaitedType = XCB_SELECTION_NOTIFY;
    m_awaited = nullptr;
    waitFor(
        [&] {
            auto* notify = static_cast<xcb_selection_notify_event_t*>(m_awaited);
            if (!notify || notify->requestor != m_window || notify->selection != selectionAtom
                || notify->target != target)
                return false;
            answered = true;
            refused = notify->property == XCB_NONE;
            return true;
        },
        deadline);
    m_awaitedType = 0;
    m_awaited = nullptr;
    if (!answered || refused)
        return false;
    const uint32_t incremental = atom("INCR");
    Freed reply { xcb_get_property_reply(m_connection,
        xcb_get_property(m_connection, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4), nullptr) };
    if (!reply)
        return false;
    into.target = target;
    into.type = reply->type;
    into.format = reply->format ? reply->format : 8;
    if (reply->type != incremental) {
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.reply));
        // The length is in bytes, whatever the format.
        into.data.assign(bytes, std::size_t(xcb_get_property_value_length(reply.reply)));
        return true;
    }
    // In pieces: each deletion of the property asks the owner for the next one, and an empty
    // piece ends the transfer.
    into.data.clear();
    while (true) {
        bool arrived = false;
        m_awaitedType = XCB_PROPERTY_NOTIFY;
        m_awaited = nullptr;
        waitFor(
            [&] {
                auto* notify = static_cast<xcb_property_notify_event_t*>(m_awaited);
                arrived = notify && notify->window == m_window && notify->atom == property
                    && notify->state == XCB_PROPERTY_NEW_VALUE;
                return arrived;
            },
            deadline);
        m_awaitedType = 0;
        m_awaited = nullptr;
        if (!arrived)
            return false;
        Freed piece { xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 1, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
            nullptr) };
        if (!piece)
            return false;
        const int length = xcb_get_property_value_length(piece.reply);
        if (length == 0)
            return true;
        into.type = piece->type;
        into.format = piece->format ? piece->format : 8;
        into.data.append(
            static_cast<const char*>(xcb_get_property_value(piece.reply)), std::size_t(length) * (into.format / 8));
    }
}

bool ClipboardKeeper::take(Selection& selection, std::vector<Format> formats, Clock::time_point deadline)
{
    const uint32_t time = selection.owned ? selection.ownedSince : timestamp(deadline);
    selection.served = std::move(formats);
    if (selection.owned)
        return true;
    xcb_set_selection_owner(m_connection, m_window, selection.atom, time);
    Freed owner { xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, selection.atom), nullptr) };
    selection.owned = owner && owner->owner == m_window;
    selection.ownedSince = time;
    if (!selection.owned)
        selection.served.clear();
    return selection.owned;
}

void ClipboardKeeper::serve(void* message)
{
    auto* request = static_cast<xcb_selection_request_event_t*>(message);
    xcb_selection_notify_event_t notify {};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request->time;
    notify.requestor = request->requestor;
    notify.selection = request->selection;
    notify.target = request->target;
    // Old clients name no property: the target is the property then.
    notify.property = request->property == XCB_NONE ? request->target : request->property;
    const auto selection = std::find_if(m_selections.begin(), m_selections.end(),
        [&](const Selection& candidate) { return candidate.atom == request->selection && candidate.owned; });
    bool served = false;
    if (selection != m_selections.end()) {
        if (request->target == atom("TARGETS")) {
            std::vector<uint32_t> targets { atom("TARGETS"), atom("TIMESTAMP") };
            for (const Format& format : selection->served)
                targets.push_back(format.target);
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, notify.property, XCB_ATOM_ATOM,
                32, uint32_t(targets.size()), targets.data());
            served = true;
        } else if (request->target == atom("TIMESTAMP")) {
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request->requestor, notify.property,
                XCB_ATOM_INTEGER, 32, 1, &selection->ownedSince);
            served = true;
        } else {
            for (const Format& format : selection->served) {
                if (format.target != request->target)
                    continue;
                serveFormat(request->requestor, notify.property, format);
                served = true;
                ++m_fetches;
                break;
            }
        }
    }
    if (!served)
        notify.property = XCB_NONE;
    xcb_send_event(
        m_connection, 0, request->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
    xcb_flush(m_connection);
}

void ClipboardKeeper::serveFormat(uint32_t requestor, uint32_t property, const Format& format)
{
    const uint8_t unit = std::max<uint8_t>(1, format.format / 8);
    if (format.data.size() <= m_maximumPiece) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, format.type, format.format,
            uint32_t(format.data.size() / unit), format.data.data());
        return;
    }
    // Too large for one request: the requestor deletes each piece to ask for the next.
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, &events);
    const uint32_t size = uint32_t(std::min<std::size_t>(format.data.size(), UINT32_MAX));
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, atom("INCR"), 32, 1, &size);
    auto transfer = std::make_unique<Transfer>();
    transfer->requestor = requestor;
    transfer->property = property;
    transfer->format = format;
    transfer->deadline = Clock::now() + std::chrono::seconds(10);
    m_transfers.push_back(std::move(transfer));
}

} // namespace quillet
