#include "platform/ClipboardKeeper.h"

#include "front/KeyboardPaste.h"
#include "platform/DisplayConnection.h"
#include "platform/Freed.h"
#include "platform/ProcessExit.h"
#include "platform/atspi/CallBudget.h"

#include <QLoggingCategory>

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <poll.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace quillet {
namespace {

Q_LOGGING_CATEGORY(clipboardLog, "quillet.clipboard")

// Targets that describe a selection rather than hold its contents.
constexpr const char* describingTargets[]
    = { "TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS", "DELETE", "INSERT_SELECTION", "INSERT_PROPERTY" };
constexpr const char* textTargets[] = { "UTF8_STRING", "text/plain;charset=utf-8", "STRING", "TEXT", "text/plain" };
// What an owner that does not tell its targets is asked for.
constexpr const char* plainTextTargets[] = { "UTF8_STRING", "STRING" };

// How long the other side of a transfer may stay silent (an owner that sends nothing more of a
// format, a requestor that does not ask for the next piece) before it is given up: it hangs or
// has gone.
constexpr std::chrono::seconds transferSilence { 10 };

/// Reads the whole property and deletes it (which asks its owner for the next piece of a
/// transfer in pieces); null when the server does not answer.
xcb_get_property_reply_t* takeProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property)
{
    return xcb_get_property_reply(connection,
        xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4), nullptr);
}

/// Whether server time `time` comes before `since`, the server's clock wrapping around.
bool isBefore(uint32_t time, uint32_t since)
{
    return int32_t(time - since) < 0;
}

} // namespace

struct ClipboardKeeper::Conversion {
    std::size_t selection = 0;
    uint64_t reading = 0;
    uint32_t target = 0;
    uint32_t window = 0; // receives it, under m_conversionProperty
    bool targets = false; // asks which targets the owner offers
    bool answered = false; // the owner answered, with the data or the start of a transfer
    bool incremental = false;
    uint32_t type = 0;
    uint8_t format = 8;
    std::string data;
    Clock::time_point heard;
};

struct ClipboardKeeper::Transfer {
    uint32_t requestor = 0;
    uint32_t property = 0;
    Format format;
    std::size_t sent = 0;
    Clock::time_point heard;
};

struct ClipboardKeeper::Request {
    uint32_t requestor = 0;
    uint32_t selection = 0;
    uint32_t target = 0;
    uint32_t property = 0;
    uint32_t time = 0;
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
    m_resourceMask = xcb_get_setup(m_connection)->resource_id_mask;
    m_root = display->root;
    m_window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, display->root, -1, -1, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    // A property change carries at most the request's size; larger formats go in pieces.
    m_maximumPiece = std::min<uint32_t>(xcb_get_maximum_request_length(m_connection) * 4 - 64, 1u << 20);
    m_conversionProperty = atom("QUILLET_SELECTION");
    for (const char* name : { "CLIPBOARD", "PRIMARY" }) {
        Selection selection;
        selection.atom = atom(name);
        m_selections.push_back(std::move(selection));
    }
    // Told whenever a program sets an owner: whether the primary selection changed hands during
    // a press (a text selected over the accessibility bus takes it).
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
    xcb_disconnect(m_connection);
    close(m_wake[0]);
    close(m_wake[1]);
}

bool ClipboardKeeper::keep(Clock::time_point deadline)
{
    return run([this, deadline] {
        // What a press before left waiting is the user's: it comes back before anything is read.
        if (m_primaryWaiting)
            restorePrimary(deadline);
        std::vector<uint32_t> owners;
        for (const Selection& selection : m_selections) {
            Freed owner { xcb_get_selection_owner_reply(
                m_connection, xcb_get_selection_owner(m_connection, selection.atom), nullptr) };
            if (!owner)
                return false;
            owners.push_back(owner->owner);
        }
        // What the owners did before now is no change made during the press.
        settle();
        std::vector<std::size_t> read;
        for (std::size_t i = 0; i < m_selections.size(); ++i) {
            Selection& selection = m_selections[i];
            selection.takenElsewhere = false;
            if (owners[i] == m_window && selection.owned && !selection.offering)
                continue; // kept here already, from an earlier press
            selection.owned = false;
            selection.offering = false;
            selection.kept.clear();
            ++selection.reading;
            selection.hadOwner = owners[i] != XCB_NONE;
            selection.offered.reset();
            selection.targetsAnswered = !selection.hadOwner;
            selection.known = !selection.hadOwner;
            if (selection.hadOwner) {
                convert(i, atom("TARGETS"), true);
                read.push_back(i);
            }
        }
        waitFor(
            [&] {
                return std::all_of(
                    read.begin(), read.end(), [this](std::size_t i) { return m_selections[i].targetsAnswered; });
            },
            deadline);
        std::vector<uint32_t> skipped;
        for (const char* name : describingTargets)
            skipped.push_back(atom(name));
        for (const std::size_t i : read) {
            Selection& selection = m_selections[i];
            if (!selection.targetsAnswered)
                continue;
            selection.known = true;
            std::vector<uint32_t> targets;
            if (selection.offered) {
                targets = *selection.offered;
            } else {
                for (const char* name : plainTextTargets)
                    targets.push_back(atom(name));
            }
            // Each format is asked for now, while its owner still owns the selection: it answers
            // what it was asked before it lost the selection, also once the paste has taken it,
            // and what it sends arrives in the background.
            for (const uint32_t target : targets) {
                if (target == XCB_NONE || std::find(skipped.begin(), skipped.end(), target) != skipped.end()
                    || std::any_of(selection.kept.begin(), selection.kept.end(),
                        [target](const Format& format) { return format.target == target; }))
                    continue;
                selection.kept.push_back({ .target = target, .type = 0, .format = 8, .data = nullptr });
                convert(i, target, false);
            }
        }
        for (const std::size_t i : read)
            qCDebug(clipboardLog) << (i == 0 ? "The clipboard" : "The primary selection")
                                  << (m_selections[i].known ? "offers" : "did not tell its formats in time; offered")
                                  << m_selections[i].kept.size() << "formats";
        // The primary selection is not taken before the paste, so an owner that did not answer in
        // time fails nothing: it is left as it is.
        return m_selections[0].known;
    });
}

bool ClipboardKeeper::offer(
    const std::string& utf8, const std::string& selected, uint32_t window, Clock::time_point deadline)
{
    return run([this, &utf8, &selected, window, deadline] {
        m_withdrawal.active = false;
        m_paste = Paste {};
        m_paste.clientKnown = window != XCB_NONE && window != XCB_INPUT_FOCUS_POINTER_ROOT;
        m_paste.client = clientOf(window);
        m_paste.formats = textFormats(utf8);
        m_paste.selected = textFormats(selected);
        Selection& clipboard = m_selections[0];
        clipboard.offering = true;
        if (!take(clipboard, deadline)) {
            clipboard.offering = false;
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
        Selection& clipboard = m_selections[0];
        // What the application asked before now was answered with the paste.
        settle();
        const bool taken = m_paste.taken;
        if (!taken && m_paste.clientKnown)
            m_withdrawal = { .client = m_paste.client,
                .formats = m_paste.selected,
                .until = Clock::now() + PasteBounds::withdrawal,
                .active = true };
        if (clipboard.offering) {
            clipboard.offering = false;
            // Owned afresh, after the paste key: another's request that names the key's time
            // gets nothing.
            if (clipboard.hadOwner) {
                take(clipboard, deadline);
            } else {
                xcb_set_selection_owner(m_connection, XCB_NONE, clipboard.atom, XCB_CURRENT_TIME);
                clipboard.owned = false;
            }
        }
        return !taken;
    });
}

void ClipboardKeeper::restore(Clock::time_point deadline)
{
    run([this, deadline] {
        settle();
        Selection& clipboard = m_selections[0];
        if (clipboard.offering || (clipboard.hadOwner && !clipboard.owned)) {
            clipboard.offering = false;
            if (clipboard.hadOwner) {
                take(clipboard, deadline);
            } else if (clipboard.owned) {
                xcb_set_selection_owner(m_connection, XCB_NONE, clipboard.atom, XCB_CURRENT_TIME);
                clipboard.owned = false;
            }
        }
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

void ClipboardKeeper::restorePrimary(Clock::time_point deadline)
{
    m_primaryWaiting = false;
    // Without XFixes nobody tells whether the primary selection changed hands: it is served
    // again as it was, as a press may have changed it.
    Selection& primary = m_selections[1];
    const bool changed = m_selectionNotifyEvent == 0 || primary.takenElsewhere;
    if (changed && primary.known && !(primary.owned && !primary.offering)) {
        qCDebug(clipboardLog) << "The primary selection changed hands during the press: it is served again";
        if (primary.hadOwner)
            take(primary, deadline);
        else
            xcb_set_selection_owner(m_connection, XCB_NONE, primary.atom, XCB_CURRENT_TIME);
    }
    primary.takenElsewhere = false;
}

int ClipboardKeeper::formatsArriving()
{
    int arriving = 0;
    run([this, &arriving] {
        settle();
        arriving = int(std::count_if(m_conversions.begin(), m_conversions.end(), [this](const auto& conversion) {
            return !conversion->targets && conversion->reading == m_selections[conversion->selection].reading;
        }));
        return true;
    });
    return arriving;
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

std::vector<ClipboardKeeper::Format> ClipboardKeeper::textFormats(const std::string& utf8)
{
    const auto text = std::make_shared<const std::string>(utf8);
    std::vector<Format> formats;
    for (const char* name : textTargets)
        formats.push_back({ .target = atom(name),
            .type = atom(name == std::string("STRING") ? "STRING" : "UTF8_STRING"),
            .format = 8,
            .data = text });
    return formats;
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

uint32_t ClipboardKeeper::freeWindow()
{
    if (!m_freeWindows.empty()) {
        const uint32_t window = m_freeWindows.back();
        m_freeWindows.pop_back();
        return window;
    }
    const uint32_t window = xcb_generate_id(m_connection);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, window, m_root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
        XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    return window;
}

void ClipboardKeeper::convert(std::size_t selection, uint32_t target, bool targets)
{
    auto conversion = std::make_unique<Conversion>();
    conversion->selection = selection;
    conversion->reading = m_selections[selection].reading;
    conversion->target = target;
    conversion->window = freeWindow();
    conversion->targets = targets;
    conversion->heard = Clock::now();
    xcb_convert_selection(
        m_connection, conversion->window, m_selections[selection].atom, target, m_conversionProperty, XCB_CURRENT_TIME);
    m_conversions.push_back(std::move(conversion));
}

void ClipboardKeeper::conversionAnswered(Conversion& conversion, uint32_t property)
{
    conversion.answered = true;
    conversion.heard = Clock::now();
    if (property == XCB_NONE)
        return finish(conversion, false); // offered but refused: there is nothing of it to give back
    Freed reply { takeProperty(m_connection, conversion.window, m_conversionProperty) };
    if (!reply)
        return finish(conversion, false);
    if (reply->type == atom("INCR")) {
        // In pieces: deleting the property (as it was read) asked the owner for the first one.
        conversion.incremental = true;
        return;
    }
    conversion.type = reply->type;
    conversion.format = reply->format ? reply->format : 8;
    // The length is in bytes, whatever the format.
    conversion.data.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
        std::size_t(xcb_get_property_value_length(reply.get())));
    finish(conversion, true);
}

void ClipboardKeeper::pieceArrived(Conversion& conversion)
{
    conversion.heard = Clock::now();
    // Reading deletes the piece, which asks the owner for the next one; an empty piece ends it.
    Freed piece { takeProperty(m_connection, conversion.window, m_conversionProperty) };
    if (!piece)
        return finish(conversion, false);
    const int length = xcb_get_property_value_length(piece.get());
    if (length == 0)
        return finish(conversion, true);
    conversion.type = piece->type;
    conversion.format = piece->format ? piece->format : 8;
    conversion.data.append(static_cast<const char*>(xcb_get_property_value(piece.get())), std::size_t(length));
}

void ClipboardKeeper::finish(Conversion& conversion, bool whole)
{
    Selection& selection = m_selections[conversion.selection];
    // A window whose answer or transfer was given up half way may still get its owner's: it goes.
    if (whole || (conversion.answered && !conversion.incremental))
        m_freeWindows.push_back(conversion.window);
    else
        xcb_destroy_window(m_connection, conversion.window);
    if (conversion.reading == selection.reading) {
        if (conversion.targets) {
            selection.targetsAnswered = true;
            if (whole && conversion.format == 32) {
                std::vector<uint32_t> offered(conversion.data.size() / 4);
                std::memcpy(offered.data(), conversion.data.data(), offered.size() * 4);
                selection.offered = std::move(offered);
            }
        } else {
            const auto kept = std::find_if(selection.kept.begin(), selection.kept.end(),
                [&](const Format& format) { return format.target == conversion.target; });
            const bool served = kept != selection.kept.end() && whole;
            qCDebug(clipboardLog) << "A format of"
                                  << (conversion.selection == 0 ? "the clipboard" : "the primary selection")
                                  << (served ? "arrived," : "was refused or given up after") << conversion.data.size()
                                  << "bytes";
            if (served) {
                kept->type = conversion.type;
                kept->format = conversion.format;
                kept->data = std::make_shared<const std::string>(std::move(conversion.data));
            } else if (kept != selection.kept.end()) {
                selection.kept.erase(kept);
            }
            // Those that asked for it meanwhile get it now.
            const auto arrived = std::stable_partition(m_waiting.begin(), m_waiting.end(), [&](const Request& request) {
                return !(request.selection == selection.atom && request.target == conversion.target);
            });
            std::vector<Request> answered(arrived, m_waiting.end());
            m_waiting.erase(arrived, m_waiting.end());
            for (const Request& request : answered) {
                const bool serving = served && selection.owned && !selection.offering;
                if (serving)
                    serveFormat(request.requestor, request.property, *kept);
                answer(request, serving);
            }
        }
    }
    std::erase_if(m_conversions, [&](const auto& candidate) { return candidate.get() == &conversion; });
}

std::optional<ClipboardKeeper::Clock::duration> ClipboardKeeper::expire()
{
    const auto now = Clock::now();
    std::optional<Clock::duration> next;
    const auto consider = [&](Clock::time_point heard) {
        const auto left = heard + transferSilence - now;
        if (!next || left < *next)
            next = left;
    };
    std::vector<Conversion*> silent;
    for (const auto& conversion : m_conversions) {
        if (now - conversion->heard >= transferSilence)
            silent.push_back(conversion.get());
        else
            consider(conversion->heard);
    }
    for (Conversion* conversion : silent)
        finish(*conversion, false);
    if (m_withdrawal.active && now >= m_withdrawal.until)
        m_withdrawal.active = false;
    if (m_withdrawal.active) {
        if (!next || m_withdrawal.until - now < *next)
            next = m_withdrawal.until - now;
    } else if (m_primaryWaiting) {
        restorePrimary(Clock::now() + CallBudget::clipboardBound);
        xcb_flush(m_connection);
    }
    std::erase_if(m_transfers, [&](const auto& transfer) {
        if (now - transfer->heard < transferSilence) {
            consider(transfer->heard);
            return false;
        }
        const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
        xcb_change_window_attributes(m_connection, transfer->requestor, XCB_CW_EVENT_MASK, &none);
        return true;
    });
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
    if (type == XCB_SELECTION_REQUEST) {
        serve(event);
    } else if (type == XCB_SELECTION_CLEAR) {
        auto* clear = reinterpret_cast<xcb_selection_clear_event_t*>(event);
        for (Selection& selection : m_selections) {
            if (selection.atom == clear->selection && !isBefore(clear->time, selection.ownedSince)) {
                // Another program owns it now: what it serves is the user's from here on.
                selection.owned = false;
                selection.offering = false;
                std::erase_if(m_waiting, [&](const Request& request) {
                    if (request.selection != selection.atom)
                        return false;
                    answer(request, false);
                    return true;
                });
            }
        }
    } else if (type == XCB_SELECTION_NOTIFY) {
        auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
        const auto conversion = std::find_if(m_conversions.begin(), m_conversions.end(), [&](const auto& candidate) {
            return !candidate->answered && candidate->window == notify->requestor
                && candidate->target == notify->target;
        });
        if (conversion != m_conversions.end())
            conversionAnswered(**conversion, notify->property);
    } else if (type == XCB_PROPERTY_NOTIFY) {
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (notify->window == m_window)
            return; // the keeper's time, which timestamp() waits for
        const auto conversion = std::find_if(m_conversions.begin(), m_conversions.end(),
            [&](const auto& candidate) { return candidate->window == notify->window; });
        if (conversion != m_conversions.end()) {
            if ((*conversion)->incremental && notify->atom == m_conversionProperty
                && notify->state == XCB_PROPERTY_NEW_VALUE)
                pieceArrived(**conversion);
            return;
        }
        if (notify->state != XCB_PROPERTY_DELETE)
            return;
        for (auto transfer = m_transfers.begin(); transfer != m_transfers.end(); ++transfer) {
            Transfer& piece = **transfer;
            if (piece.requestor != notify->window || piece.property != notify->atom)
                continue;
            const std::string& data = *piece.format.data;
            const std::size_t length = std::min<std::size_t>(m_maximumPiece, data.size() - piece.sent);
            const uint32_t units = uint32_t(length / std::max<uint8_t>(1, piece.format.format / 8));
            xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, piece.requestor, piece.property, piece.format.type,
                piece.format.format, units, data.data() + piece.sent);
            piece.sent += length;
            piece.heard = Clock::now();
            if (length == 0) {
                const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
                xcb_change_window_attributes(m_connection, piece.requestor, XCB_CW_EVENT_MASK, &none);
                m_transfers.erase(transfer);
            }
            break;
        }
    } else if (m_selectionNotifyEvent != 0 && type == m_selectionNotifyEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        auto* notify = reinterpret_cast<xcb_xfixes_selection_notify_event_t*>(event);
        for (Selection& selection : m_selections)
            if (selection.atom == notify->selection && notify->owner != m_window)
                selection.takenElsewhere = true;
    }
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

void ClipboardKeeper::answer(const Request& request, bool served)
{
    xcb_selection_notify_event_t notify {};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property = served ? request.property : XCB_NONE;
    xcb_send_event(m_connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
    xcb_flush(m_connection);
}

void ClipboardKeeper::serve(void* message)
{
    auto* event = static_cast<xcb_selection_request_event_t*>(message);
    // Old clients name no property: the target is the property then.
    const Request request { .requestor = event->requestor,
        .selection = event->selection,
        .target = event->target,
        .property = event->property == XCB_NONE ? event->target : event->property,
        .time = event->time };
    const auto selection = std::find_if(m_selections.begin(), m_selections.end(),
        [&](const Selection& candidate) { return candidate.atom == request.selection && candidate.owned; });
    if (selection == m_selections.end())
        return answer(request, false);
    // The paste that was withdrawn, taken late: what its selection held, rather than the user's
    // clipboard, whatever time it names (a toolkit names the paste key's, or its own).
    const auto now = Clock::now();
    if (m_withdrawal.active && now >= m_withdrawal.until)
        m_withdrawal.active = false;
    const bool withdrawn = selection == m_selections.begin() && !selection->offering && m_withdrawal.active
        && clientOf(request.requestor) == m_withdrawal.client;
    // A request made before the ownership it asks of (a paste key pressed before the text it
    // would get was served) gets nothing, as the protocol has it.
    if (!withdrawn && request.time != XCB_CURRENT_TIME && isBefore(request.time, selection->ownedSince))
        return answer(request, false);
    const std::vector<Format>& served = selection->offering ? m_paste.formats
        : withdrawn                                         ? m_withdrawal.formats
                                                            : selection->kept;
    if (request.target == atom("TARGETS")) {
        std::vector<uint32_t> targets { atom("TARGETS"), atom("TIMESTAMP") };
        for (const Format& format : served)
            targets.push_back(format.target);
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, XCB_ATOM_ATOM, 32,
            uint32_t(targets.size()), targets.data());
        return answer(request, true);
    }
    if (request.target == atom("TIMESTAMP")) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, request.requestor, request.property, XCB_ATOM_INTEGER,
            32, 1, &selection->ownedSince);
        return answer(request, true);
    }
    const bool fromPaste = !m_paste.clientKnown || clientOf(request.requestor) == m_paste.client;
    if (withdrawn) {
        // The other requests of the same paste follow right after this one.
        qCDebug(clipboardLog) << "The paste withdrawn was asked for late: given what its selection held";
        m_withdrawal.until = std::min(m_withdrawal.until, now + PasteBounds::withdrawalLinger);
    }
    const auto format = std::find_if(
        served.begin(), served.end(), [&](const Format& candidate) { return candidate.target == request.target; });
    if (format == served.end())
        return answer(request, false);
    if (!format->data) {
        m_waiting.push_back(request); // answered when it has arrived
        return;
    }
    serveFormat(request.requestor, request.property, *format);
    if (selection->offering && fromPaste && !m_paste.taken) {
        qCDebug(clipboardLog) << "The paste was taken by the application pasted into";
        m_paste.taken = true;
    }
    answer(request, true);
}

void ClipboardKeeper::serveFormat(uint32_t requestor, uint32_t property, const Format& format)
{
    const std::string& data = *format.data;
    const uint8_t unit = std::max<uint8_t>(1, format.format / 8);
    if (data.size() <= m_maximumPiece) {
        xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, format.type, format.format,
            uint32_t(data.size() / unit), data.data());
        return;
    }
    // Too large for one request: the requestor deletes each piece to ask for the next.
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_connection, requestor, XCB_CW_EVENT_MASK, &events);
    const uint32_t size = uint32_t(std::min<std::size_t>(data.size(), UINT32_MAX));
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, requestor, property, atom("INCR"), 32, 1, &size);
    auto transfer = std::make_unique<Transfer>();
    transfer->requestor = requestor;
    transfer->property = property;
    transfer->format = format;
    transfer->heard = Clock::now();
    m_transfers.push_back(std::move(transfer));
}

} // namespace quillet
