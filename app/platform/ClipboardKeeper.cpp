#include "platform/ClipboardKeeper.h"

#include "front/KeyboardPaste.h"
#include "platform/DisplayConnection.h"
#include "platform/Freed.h"
#include "platform/ProcessExit.h"
#include "platform/SelectionReader.h"
#include "platform/SelectionServer.h"

#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <poll.h>
#include <system_error>
#include <unistd.h>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(clipboardLog, "quillet.clipboard")

constexpr const char* textTargets[] = { "UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT", "text/plain" };
// What clipboard managers read to leave a clipboard out of their history.
constexpr const char* passwordHintTarget = "x-kde-passwordManagerHint";
constexpr const char* passwordHint = "secret";

/// Whether server time `time` comes before `since`, the server's clock wrapping around.
bool isBefore(uint32_t time, uint32_t since)
{
    return int32_t(time - since) < 0;
}

} // namespace

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
    m_resourceMask = xcb_get_setup(m_connection)->resource_id_mask;
    m_root = display->root;
    m_window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, display->root, -1, -1, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    m_atoms = SelectionAtoms::intern(m_connection);
    m_wmProtocols = internAtom(m_connection, "WM_PROTOCOLS");
    m_ping = internAtom(m_connection, "_NET_WM_PING");
    m_passwordHint = internAtom(m_connection, passwordHintTarget);
    for (const char* name : textTargets)
        m_textTargets.push_back(internAtom(m_connection, name));
    m_server = std::make_unique<SelectionServer>(m_connection, m_atoms);
    for (const char* name : { "CLIPBOARD", "PRIMARY" }) {
        Selection selection;
        selection.atom = internAtom(m_connection, name);
        m_selections.push_back(std::move(selection));
    }
    // Told whenever a program sets an owner: whether a selection changed hands during a press
    // (a text selected over the accessibility bus takes the primary selection).
    const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(m_connection, &xcb_xfixes_id);
    if (fixes && fixes->present) {
        Freed version { xcb_xfixes_query_version_reply(
            m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr) };
        if (version) {
            m_selectionNotifyEvent = fixes->first_event;
            for (const Selection& selection : m_selections)
                xcb_xfixes_select_selection_input(m_connection, m_window, selection.atom,
                    XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER
                        | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY
                        | XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        }
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
    m_server.reset();
    xcb_disconnect(m_connection);
    close(m_wake[0]);
    close(m_wake[1]);
}

ClipboardKeeper::Kept ClipboardKeeper::keep(Clock::time_point listDeadline, Clock::time_point readDeadline)
{
    Kept kept = Kept::notAnswered;
    run([&] {
        // What a press before left waiting is the user's: it comes back before anything is read.
        if (m_primaryWaiting)
            restorePrimary(listDeadline);
        std::vector<xcb_get_selection_owner_cookie_t> cookies;
        for (const Selection& selection : m_selections)
            cookies.push_back(xcb_get_selection_owner(m_connection, selection.atom));
        std::vector<uint32_t> owners;
        for (const auto cookie : cookies) {
            Freed owner { xcb_get_selection_owner_reply(m_connection, cookie, nullptr) };
            if (!owner)
                return false;
            owners.push_back(owner->owner);
        }
        // What the owners did before now is no change made during the press.
        settle();
        std::size_t spent = 0;
        std::array<std::unique_ptr<SelectionReader>, 2> readers;
        for (std::size_t i = 0; i < m_selections.size(); ++i) {
            Selection& selection = m_selections[i];
            selection.takenElsewhere = false;
            if (owners[i] == m_window && selection.owned && m_phase != Phase::offered) {
                for (const SelectionFormat& format : selection.kept)
                    spent += format.data->size();
                continue; // kept here already, from an earlier press
            }
            selection.owned = false;
            selection.kept = {};
            selection.hadOwner = owners[i] != XCB_NONE;
            selection.known = !selection.hadOwner;
            if (selection.hadOwner)
                readers[i] = std::make_unique<SelectionReader>(m_connection, m_root, m_atoms, selection.atom, spent);
        }
        const auto all = [&](auto holds) {
            return std::all_of(
                readers.begin(), readers.end(), [&](const auto& reader) { return !reader || holds(*reader); });
        };
        // An owner that goes (or gives the selection up) mid-way leaves nothing to read.
        const auto changedHands = [this] { return m_selections[0].takenElsewhere; };
        m_reading = [&](void* event) {
            for (const auto& reader : readers)
                if (reader && reader->handle(event))
                    return true;
            return false;
        };
        waitFor(
            [&] { return changedHands() || all([](const SelectionReader& r) { return r.listed(); }); }, listDeadline);
        // An owner that did not list its formats in time hangs: the primary selection is left to
        // it, and a clipboard's is not waited for any longer.
        if (readers[1] && !readers[1]->listed())
            readers[1].reset();
        if (readers[0] && !readers[0]->listed())
            readDeadline = Clock::now();
        waitFor(
            [&] {
                return changedHands() || all([](const SelectionReader& r) {
                    return r.state() != SelectionReader::State::listing && r.state() != SelectionReader::State::reading;
                });
            },
            readDeadline);
        m_reading = nullptr;
        // Without a reader, nothing was to be read.
        const auto clipboardState = readers[0] ? readers[0]->state() : SelectionReader::State::whole;
        for (std::size_t i = 0; i < m_selections.size(); ++i) {
            if (!readers[i])
                continue;
            Selection& selection = m_selections[i];
            const auto state = readers[i]->state();
            if (state == SelectionReader::State::whole) {
                selection.kept = readers[i]->takeFormats();
                selection.known = true;
            }
            qCDebug(clipboardLog) << (i == 0 ? "The clipboard" : "The primary selection")
                                  << (selection.known ? "was read whole:" : "was not read whole; state")
                                  << (selection.known ? int(selection.kept.size()) : int(state)) << "formats";
        }
        readers = {};
        Selection& clipboard = m_selections[0];
        if (clipboard.takenElsewhere) {
            Freed owner { xcb_get_selection_owner_reply(
                m_connection, xcb_get_selection_owner(m_connection, clipboard.atom), nullptr) };
            if (owner && owner->owner == XCB_NONE) {
                // Its owner went: the clipboard is empty now, and stays so.
                clipboard.kept = {};
                clipboard.hadOwner = false;
                clipboard.known = true;
                clipboard.takenElsewhere = false;
            } else {
                clipboard.known = false;
                clipboard.kept = {};
            }
        }
        if (clipboard.known)
            kept = Kept::kept;
        else if (!clipboard.takenElsewhere
            && (clipboardState == SelectionReader::State::reading
                || clipboardState == SelectionReader::State::tooLarge))
            kept = Kept::tooLarge;
        m_phase = clipboard.known ? Phase::kept : Phase::idle;
        return true;
    });
    return kept;
}

bool ClipboardKeeper::offer(
    const std::string& utf8, const std::string& selected, uint32_t window, Clock::time_point deadline)
{
    return run([this, &utf8, &selected, window, deadline] {
        Selection& clipboard = m_selections[0];
        settle();
        // Only a clipboard read whole is taken; one copied to since is the user's new one.
        if (m_phase == Phase::idle || !clipboard.known || clipboard.takenElsewhere)
            return false;
        endWithdrawal();
        m_paste = Paste {};
        m_paste.clientKnown = window != XCB_NONE && window != XCB_INPUT_FOCUS_POINTER_ROOT;
        m_paste.client = clientOf(window);
        m_paste.window = window;
        m_paste.formats = textFormats(utf8);
        m_paste.formats.push_back({ .target = m_passwordHint,
            .type = m_atoms.utf8String,
            .format = 8,
            .data = std::make_shared<const std::string>(passwordHint) });
        m_paste.selected = textFormats(selected);
        const Phase before = m_phase;
        m_phase = Phase::offered;
        if (!take(clipboard, deadline)) {
            m_phase = clipboard.owned ? Phase::offered : before;
            return false;
        }
        return true;
    });
}

bool ClipboardKeeper::offerTaken()
{
    bool taken = false;
    run([this, &taken] {
        settle();
        taken = m_paste.taken;
        return true;
    });
    return taken;
}

bool ClipboardKeeper::awaitTaken(Clock::time_point deadline)
{
    return run([this, deadline] { return waitFor([this] { return m_paste.taken; }, deadline); });
}

bool ClipboardKeeper::withdraw(Clock::time_point deadline)
{
    return run([this, deadline] {
        // What the application asked before now was answered with the paste.
        settle();
        const bool taken = m_paste.taken;
        if (m_phase != Phase::offered)
            return !taken;
        m_phase = Phase::withdrawn;
        Selection& clipboard = m_selections[0];
        // Owned afresh, after the paste key: another's request that names the key's time gets
        // nothing.
        serveKept(clipboard, deadline);
        if (!taken && m_paste.clientKnown && clipboard.owned) {
            m_withdrawal = { .client = m_paste.client,
                .formats = m_paste.selected,
                .until = Clock::now() + PasteBounds::withdrawal,
                .since = clipboard.ownedSince,
                .window = 0,
                .pinged = {},
                .caughtUp = true,
                .active = true };
            ping(m_paste.window, clipboard.ownedSince);
        }
        return !taken;
    });
}

void ClipboardKeeper::restore(Clock::time_point deadline)
{
    run([this, deadline] {
        settle();
        Selection& clipboard = m_selections[0];
        if (m_phase == Phase::offered)
            serveKept(clipboard, deadline);
        // Never taken (or taken by another program since): the owner's, and nothing to keep.
        if (!clipboard.owned)
            clipboard.kept = {};
        m_phase = Phase::idle;
        // A text that loses the primary selection clears its own selection (GTK): while a
        // withdrawn paste may still land on that selection, the primary selection waits.
        if (m_withdrawal.active)
            m_primaryWaiting = true;
        else
            restorePrimary(deadline);
        xcb_flush(m_connection);
        return true;
    });
}

void ClipboardKeeper::serveKept(Selection& selection, Clock::time_point deadline)
{
    if (selection.hadOwner) {
        take(selection, deadline);
    } else {
        xcb_set_selection_owner(m_connection, XCB_NONE, selection.atom, XCB_CURRENT_TIME);
        selection.owned = false;
    }
}

void ClipboardKeeper::restorePrimary(Clock::time_point deadline)
{
    m_primaryWaiting = false;
    // Without XFixes nobody tells whether the primary selection changed hands: it is served
    // again as it was, as a press may have changed it.
    Selection& primary = m_selections[1];
    const bool changed = m_selectionNotifyEvent == 0 || primary.takenElsewhere;
    if (changed && primary.known && !primary.owned) {
        qCDebug(clipboardLog) << "The primary selection changed hands during the press: it is served again";
        serveKept(primary, deadline);
    }
    if (!primary.owned)
        primary.kept = {};
    primary.takenElsewhere = false;
}

void ClipboardKeeper::lose(Selection& selection)
{
    // Another program owns it now: what it serves is the user's from here on.
    selection.owned = false;
    selection.known = false;
    selection.kept = {};
    if (&selection == &m_selections[0] && m_phase == Phase::offered)
        m_phase = Phase::withdrawn;
}

std::size_t ClipboardKeeper::bytesKept()
{
    std::size_t bytes = 0;
    run([this, &bytes] {
        settle();
        // Formats made from one another share their bytes.
        std::vector<const std::string*> counted;
        for (const Selection& selection : m_selections) {
            for (const SelectionFormat& format : selection.kept) {
                if (std::find(counted.begin(), counted.end(), format.data.get()) != counted.end())
                    continue;
                counted.push_back(format.data.get());
                bytes += format.data->size();
            }
        }
        return true;
    });
    return bytes;
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
        const auto next = expire();
        xcb_flush(m_connection);
        const int timeout = next ? int(std::chrono::ceil<std::chrono::milliseconds>(*next).count()) : -1;
        if (poll(fds, 2, timeout) < 0)
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

void ClipboardKeeper::settle()
{
    // A round trip: every event the server sent before it answers is then in the queue.
    free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(m_connection)) {
        handle(event);
        m_awaited = nullptr;
        free(event);
    }
}

std::vector<SelectionFormat> ClipboardKeeper::textFormats(const std::string& utf8) const
{
    const auto text = std::make_shared<const std::string>(utf8);
    const auto latin = latin1FromUtf8(utf8);
    std::vector<SelectionFormat> formats;
    for (const uint32_t target : m_textTargets) {
        if (target != m_atoms.string) {
            formats.push_back({ .target = target, .type = m_atoms.utf8String, .format = 8, .data = text });
        } else if (latin) {
            // Latin-1, as the protocol has it; not offered where the text holds other characters.
            formats.push_back({ .target = target,
                .type = m_atoms.string,
                .format = 8,
                .data = std::make_shared<const std::string>(*latin) });
        }
    }
    return formats;
}

uint32_t ClipboardKeeper::timestamp(Clock::time_point deadline)
{
    // The server's time, as a property change on the keeper's own window reports it.
    static const char* const name = "QUILLET_TIMESTAMP";
    const uint32_t property = internAtom(m_connection, name);
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

bool ClipboardKeeper::take(Selection& selection, Clock::time_point deadline)
{
    const uint32_t time = timestamp(deadline);
    if (time == XCB_CURRENT_TIME) {
        selection.owned = false;
        return false;
    }
    xcb_set_selection_owner(m_connection, m_window, selection.atom, time);
    Freed owner { xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, selection.atom), nullptr) };
    selection.owned = owner && owner->owner == m_window;
    selection.ownedSince = time;
    return selection.owned;
}

void ClipboardKeeper::ping(uint32_t window, uint32_t time)
{
    // The paste key went to the window before the ping: once its application answers it, what
    // it asks is asked for its own reasons. A window that does not answer pings (or one of
    // its ancestors below the root, the application's toplevel) has requests told by their
    // time alone.
    for (int depth = 0; depth < 4 && window != XCB_NONE && window != m_root; ++depth) {
        Freed protocols { xcb_get_property_reply(
            m_connection, xcb_get_property(m_connection, 0, window, m_wmProtocols, XCB_ATOM_ATOM, 0, 64), nullptr) };
        if (protocols && protocols->format == 32) {
            const auto* atoms = static_cast<const uint32_t*>(xcb_get_property_value(protocols.get()));
            const int count = xcb_get_property_value_length(protocols.get()) / 4;
            if (std::find(atoms, atoms + count, m_ping) != atoms + count) {
                // Its answer goes to the root window.
                const uint32_t events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
                xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &events);
                xcb_client_message_event_t message {};
                message.response_type = XCB_CLIENT_MESSAGE;
                message.format = 32;
                message.window = window;
                message.type = m_wmProtocols;
                message.data.data32[0] = m_ping;
                message.data.data32[1] = time;
                message.data.data32[2] = window;
                xcb_send_event(
                    m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
                m_withdrawal.window = window;
                m_withdrawal.pinged = Clock::now();
                m_withdrawal.caughtUp = false;
                return;
            }
        }
        Freed tree { xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr) };
        if (!tree)
            return;
        window = tree->parent;
    }
}

void ClipboardKeeper::endWithdrawal()
{
    if (m_withdrawal.active && m_withdrawal.window != 0) {
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &none);
    }
    m_withdrawal = Withdrawal {};
}

bool ClipboardKeeper::isLatePaste(uint32_t requestor, uint32_t time)
{
    if (m_withdrawal.active && Clock::now() >= m_withdrawal.until) {
        endWithdrawal();
        if (m_primaryWaiting)
            restorePrimary(Clock::now() + std::chrono::milliseconds(250));
    }
    if (!m_withdrawal.active || m_phase == Phase::offered || clientOf(requestor) != m_withdrawal.client)
        return false;
    // The late paste names the paste key's time, none, or (asking the server) a time of its
    // own before its application caught up; the user's own next paste names a later key's.
    return time == XCB_CURRENT_TIME || isBefore(time, m_withdrawal.since) || !m_withdrawal.caughtUp;
}

std::optional<ClipboardKeeper::Clock::duration> ClipboardKeeper::expire()
{
    const auto now = Clock::now();
    std::optional<Clock::duration> next = m_server->expire();
    if (m_withdrawal.active && now >= m_withdrawal.until)
        endWithdrawal();
    if (m_withdrawal.active) {
        next = next ? std::min(*next, m_withdrawal.until - now) : m_withdrawal.until - now;
    } else if (m_primaryWaiting) {
        restorePrimary(now + std::chrono::milliseconds(250));
        xcb_flush(m_connection);
    }
    if (next && *next < Clock::duration::zero())
        next = Clock::duration::zero();
    return next;
}

void ClipboardKeeper::handle(void* message)
{
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & ~0x80;
    // The waiting predicate looks at it right after this returns.
    if (m_awaitedType != 0 && type == m_awaitedType)
        m_awaited = event;
    if (m_reading && (type == XCB_SELECTION_NOTIFY || type == XCB_PROPERTY_NOTIFY) && m_reading(event))
        return;
    if (type == XCB_SELECTION_REQUEST) {
        serve(event);
    } else if (type == XCB_SELECTION_CLEAR) {
        auto* clear = reinterpret_cast<xcb_selection_clear_event_t*>(event);
        for (Selection& selection : m_selections)
            if (selection.atom == clear->selection && selection.owned && !isBefore(clear->time, selection.ownedSince))
                lose(selection);
    } else if (type == XCB_PROPERTY_NOTIFY) {
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (notify->window != m_window) // the keeper's time, which timestamp() waits for
            m_server->handle(event);
    } else if (type == XCB_CLIENT_MESSAGE) {
        auto* pong = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (m_withdrawal.active && m_withdrawal.window != 0 && pong->type == m_wmProtocols
            && pong->data.data32[0] == m_ping && pong->data.data32[2] == m_withdrawal.window) {
            m_withdrawal.caughtUp = Clock::now() - m_withdrawal.pinged >= promptPong;
            qCDebug(clipboardLog) << "The application pasted into answered the ping"
                                  << (m_withdrawal.caughtUp ? "once it caught up" : "at once");
            m_withdrawal.window = 0;
            const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
            xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &none);
        }
    } else if (m_selectionNotifyEvent != 0 && type == m_selectionNotifyEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        auto* notify = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
        for (Selection& selection : m_selections)
            if (selection.atom == notify->selection && notify->owner != m_window)
                selection.takenElsewhere = true;
    }
}

void ClipboardKeeper::serve(void* message)
{
    auto* request = static_cast<xcb_selection_request_event_t*>(message);
    const auto selection = std::find_if(m_selections.begin(), m_selections.end(),
        [&](const Selection& candidate) { return candidate.atom == request->selection && candidate.owned; });
    if (selection == m_selections.end())
        return m_server->refuse(request);
    const bool isClipboard = selection == m_selections.begin();
    // The paste that was withdrawn, taken late: what its selection held, rather than the user's
    // clipboard.
    const bool late = isClipboard && isLatePaste(request->requestor, request->time);
    // A request made before the ownership it asks of (a paste key pressed before the text it
    // would get was served) gets nothing, as the protocol has it.
    if (!late && request->time != XCB_CURRENT_TIME && isBefore(request->time, selection->ownedSince))
        return m_server->refuse(request);
    const bool offered = isClipboard && m_phase == Phase::offered;
    const std::vector<SelectionFormat>& formats = offered ? m_paste.formats
        : late                                            ? m_withdrawal.formats
                                                          : selection->kept;
    if (late && request->target != m_atoms.targets) {
        // The other requests of the same paste follow right after this one.
        qCDebug(clipboardLog) << "The paste withdrawn was asked for late: given what its selection held";
        m_withdrawal.until = std::min(m_withdrawal.until, Clock::now() + PasteBounds::withdrawalLinger);
    }
    const auto served = m_server->serve(request, formats, selection->ownedSince);
    const bool fromPaste = !m_paste.clientKnown || clientOf(request->requestor) == m_paste.client;
    const bool text = std::any_of(served.begin(), served.end(), [this](uint32_t target) {
        return std::find(m_textTargets.begin(), m_textTargets.end(), target) != m_textTargets.end();
    });
    if (offered && fromPaste && text && !m_paste.taken) {
        qCDebug(clipboardLog) << "The paste was taken by the application pasted into";
        m_paste.taken = true;
    }
}

} // namespace quillet
