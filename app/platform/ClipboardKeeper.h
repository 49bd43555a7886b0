#pragma once

#include "platform/SelectionFormat.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace quillet {

class SelectionServer;

/// Lends the user's clipboard to one paste and gives it back whole.
///
/// One paste goes through these phases, each a call:
/// - keep(): reads what the clipboard and the primary selection hold, every format whole,
///   while their owners still own them (an owner may quit once it loses a selection), within
///   KeptBound. Nothing is taken yet: a clipboard that cannot be read whole in time is left
///   to its owner, untouched.
/// - offer(): serves a text in the clipboard alone, for a paste into one window, marked as a
///   passing one for clipboard managers; the primary selection stays with its owner.
/// - withdraw(): the paste was not taken in time; the clipboard serves what keep() read again,
///   owned afresh, so that a request naming a time before that (the paste key's) gets
///   nothing. The late paste of the window's application still gets what the paste's
///   selection held, so that it changes nothing; that application's own next paste gets the
///   user's clipboard (see withdraw()).
/// - restore(): the clipboard serves what keep() read, for as long as no other program takes
///   it; the primary selection is served again only where another program took it during the
///   press (a text selected over the accessibility bus takes it). A selection that had no
///   owner is let go again. What is kept is let go as soon as another program owns the
///   selection.
///
/// A fetch of the offered text counts as the paste taken only when it comes from the
/// application of the window pasted into: a program that reads the clipboard all the time
/// (a clipboard manager) does not take the paste.
///
/// It speaks to the display over an X connection and a thread of its own, which answer the
/// requests for what it serves whatever the rest of the application is doing. The calls may
/// come from any thread, one at a time; each waits at most until its deadline.
class ClipboardKeeper {
public:
    using Clock = std::chrono::steady_clock;

    /// What keep() learnt of the clipboard.
    enum class Kept {
        kept, // read whole: it can be given back
        notAnswered, // its owner did not say which formats it offers in time (it hangs)
        tooLarge, // past KeptBound, or not read whole by the deadline
    };

    /// Connects to the display that DISPLAY names; without one, every call fails.
    ClipboardKeeper();
    ~ClipboardKeeper();
    ClipboardKeeper(const ClipboardKeeper&) = delete;
    ClipboardKeeper& operator=(const ClipboardKeeper&) = delete;

    bool isAvailable() const noexcept { return m_connection != nullptr; }

    /// An application that answers the ping sent behind a withdrawn paste within this answers
    /// pings apart from the paste key (a browser whose pages run in processes of their own, the
    /// paste maybe still on its way from a busy page): its answer tells nothing, and its
    /// requests are told by their time and order alone.
    static constexpr std::chrono::milliseconds promptPong { 100 };

    /// Reads the formats both selections hold. The owners must list them by `listDeadline`
    /// and hand them over whole by `readDeadline`. Only a clipboard kept may be offered; the
    /// primary selection read in time can be given back, one that was not is left alone.
    Kept keep(Clock::time_point listDeadline, Clock::time_point readDeadline);
    /// Serves `utf8` as the clipboard's text until withdraw() or restore(), for a paste into
    /// `window` (the window with the keyboard focus; XCB_NONE or PointerRoot when there is
    /// none of its own, and then any fetch counts as the paste taken) over a selection that
    /// holds `selected`. False when the clipboard was not kept, changed hands since keep(),
    /// or could not be taken.
    bool offer(const std::string& utf8, const std::string& selected, uint32_t window, Clock::time_point deadline);
    /// Whether the application of the paste's window has fetched the text offered.
    bool offerTaken();
    /// Waits until the application of the paste's window has fetched the text offered, or
    /// until the deadline: whether it has.
    bool awaitTaken(Clock::time_point deadline);
    /// Ends the offer: the clipboard serves what keep() kept again. False when the paste's
    /// application had taken the offered text. Otherwise, for PasteBounds::withdrawal, the
    /// requests of that application that belong to the paste withdrawn get the text its
    /// selection held: those naming a time before now (the paste key's) or none, and those
    /// it makes before it has caught up with the events sent to its window until now (it
    /// answers a ping sent behind them); then this returns true.
    bool withdraw(Clock::time_point deadline);
    /// Serves again what keep() read: the clipboard, and the primary selection where another
    /// program took it since keep() (once a withdrawn paste can no longer land); one that had
    /// no owner then is let go.
    void restore(Clock::time_point deadline);

    /// How many bytes of the user's selections it holds (for the tests).
    std::size_t bytesKept();

private:
    enum class Phase {
        idle, // nothing read for a paste: what it serves, if anything, is the user's
        kept, // read, not taken yet
        offered, // the clipboard serves the paste
        withdrawn, // the clipboard serves the user's again; a late paste gets the stand-in
    };
    struct Selection {
        uint32_t atom = 0;
        /// What keep() read, to be served again.
        std::vector<SelectionFormat> kept;
        bool hadOwner = false;
        /// The last reading learnt what the selection held, whole.
        bool known = false;
        bool owned = false;
        uint32_t ownedSince = 0;
        /// Another program set an owner since keep().
        bool takenElsewhere = false;
    };
    struct Paste {
        uint32_t client = 0; // the resource base of the client that made the paste's window
        uint32_t window = 0;
        bool clientKnown = false;
        bool taken = false;
        std::vector<SelectionFormat> formats;
        std::vector<SelectionFormat> selected; // what the selection it replaces holds
    };
    struct Withdrawal {
        uint32_t client = 0;
        std::vector<SelectionFormat> formats; // the text the paste's selection held
        Clock::time_point until;
        uint32_t since = 0; // the server's time of the clipboard owned again
        uint32_t window = 0; // pinged and not answered yet, when it answers pings
        Clock::time_point pinged;
        bool caughtUp = false; // its application answered the ping, and not at once
        bool active = false;
    };

    /// Runs `work` on the keeper's thread and waits for it.
    bool run(const std::function<bool()>& work);
    void loop();
    void handle(void* event);
    /// Handles events until `done` holds or the deadline passes.
    bool waitFor(const std::function<bool()>& done, Clock::time_point deadline);
    /// Handles every event that came before a round trip to the server.
    void settle();
    /// A text in every text format the clipboard serves.
    std::vector<SelectionFormat> textFormats(const std::string& utf8) const;
    uint32_t timestamp(Clock::time_point deadline);
    bool take(Selection& selection, Clock::time_point deadline);
    /// Owns `selection` again for what it kept, or lets it go when it had no owner.
    void serveKept(Selection& selection, Clock::time_point deadline);
    /// Serves the primary selection again where another program took it since keep().
    void restorePrimary(Clock::time_point deadline);
    void lose(Selection& selection);
    void serve(void* request);
    bool isLatePaste(uint32_t requestor, uint32_t time);
    void ping(uint32_t window, uint32_t time);
    void endWithdrawal();
    /// The time until the withdrawal's end, after which the primary selection may come back.
    std::optional<Clock::duration> expire();
    uint32_t clientOf(uint32_t window) const noexcept { return window & ~m_resourceMask; }

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_window = 0;
    uint32_t m_root = 0;
    uint32_t m_resourceMask = 0;
    uint8_t m_selectionNotifyEvent = 0; // XFixes' first event; 0 without XFixes
    SelectionAtoms m_atoms;
    uint32_t m_wmProtocols = 0;
    uint32_t m_ping = 0;
    uint32_t m_passwordHint = 0;
    std::vector<uint32_t> m_textTargets;
    std::unique_ptr<SelectionServer> m_server;
    std::vector<Selection> m_selections;
    Phase m_phase = Phase::idle;
    Paste m_paste;
    Withdrawal m_withdrawal;
    bool m_primaryWaiting = false; // restore() left it for the withdrawal's end
    // The event arriving that a wait looks for.
    uint8_t m_awaitedType = 0;
    void* m_awaited = nullptr;
    // What an event handled during keep() is handed to.
    std::function<bool(void*)> m_reading;

    std::mutex m_callMutex; // one call at a time
    std::mutex m_workMutex;
    std::condition_variable m_workFinished;
    std::function<bool()> m_work;
    bool m_workDone = false;
    bool m_workResult = false;
    bool m_stopping = false;
    int m_wake[2] = { -1, -1 };
    std::thread m_thread;
};

} // namespace quillet
