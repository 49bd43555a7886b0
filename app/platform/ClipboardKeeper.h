#pragma once

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

/// Lends the user's clipboard to one paste and gives it back whole.
///
/// keep() learns what the clipboard and the primary selection hold: their owners say which
/// formats they offer, and every format is then fetched in the background, however large
/// (each owner is answered to the end of every transfer it starts). offer() serves a text in
/// the clipboard alone, for a paste into one window; the primary selection stays with its
/// owner. withdraw() and restore() serve again what keep() read, format by format, owned
/// afresh: a request that names a time before that (the paste key's) gets nothing. The
/// primary selection is served again only where another program took it during the press (a
/// text selected over the accessibility bus takes it), and a selection that had no owner is
/// let go again. It is served for as long as no other program takes the selection over.
///
/// A fetch of the offered text counts as the paste taken only when it comes from the
/// application of the window pasted into: a program that reads the clipboard all the time
/// (a clipboard manager) does not take the paste. A paste withdrawn before that application
/// took it gives that application, for a while (PasteBounds::withdrawal) and whatever time its
/// request names, the text the paste's selection held: a paste it takes late puts back what
/// it replaces rather than pasting the user's clipboard.
///
/// It speaks to the display over an X connection and a thread of its own, which answer the
/// requests for what it serves whatever the rest of the application is doing. The calls may
/// come from any thread, one at a time; each waits at most until its deadline.
class ClipboardKeeper {
public:
    using Clock = std::chrono::steady_clock;

    /// Connects to the display that DISPLAY names; without one, every call fails.
    ClipboardKeeper();
    ~ClipboardKeeper();
    ClipboardKeeper(const ClipboardKeeper&) = delete;
    ClipboardKeeper& operator=(const ClipboardKeeper&) = delete;

    bool isAvailable() const noexcept { return m_connection != nullptr; }

    /// Learns the formats both selections offer, and asks their owners for each. False when an
    /// owner did not say which formats it offers by the deadline (it hangs): nothing of it can
    /// be kept then, and the caller must not offer anything in its place. The formats arrive
    /// afterwards, in the background.
    bool keep(Clock::time_point deadline);
    /// Serves `utf8` as the clipboard's text until withdraw() or restore(), for a paste into
    /// `window` (the window with the keyboard focus; XCB_NONE or PointerRoot when there is
    /// none of its own, and then any fetch counts as the paste taken) over a selection that
    /// holds `selected`.
    bool offer(const std::string& utf8, const std::string& selected, uint32_t window, Clock::time_point deadline);
    /// Whether the application of the paste's window has fetched the text offered.
    bool offerTaken();
    /// Waits until the application of the paste's window has fetched the text offered, or
    /// until the deadline: whether it has.
    bool awaitTaken(Clock::time_point deadline);
    /// Ends the offer: the clipboard serves what keep() kept again. False when the paste's
    /// application had taken the offered text; otherwise its requests for the clipboard's
    /// contents get the text its selection held for a while (so that a paste it takes late
    /// changes nothing), and this returns true.
    bool withdraw(Clock::time_point deadline);
    /// Serves again what keep() read: the clipboard, and the primary selection where another
    /// program took it since keep() (once a withdrawn paste can no longer land); one that had
    /// no owner then is let go.
    void restore(Clock::time_point deadline);

    /// How many formats of the user's selections are still arriving (for the tests).
    int formatsArriving();

private:
    struct Format {
        uint32_t target = 0;
        uint32_t type = 0;
        uint8_t format = 8;
        std::shared_ptr<const std::string> data; // null while it is arriving
    };
    struct Selection {
        uint32_t atom = 0;
        /// What keep() read, to be served again.
        std::vector<Format> kept;
        bool hadOwner = false;
        /// Changes whenever `kept` is read anew: what arrives for an older reading is dropped.
        uint64_t reading = 0;
        bool owned = false;
        uint32_t ownedSince = 0;
        /// Serving the offered text (the clipboard during a paste) rather than `kept`.
        bool offering = false;
        /// Another program set an owner since keep().
        bool takenElsewhere = false;
        /// What its owner answered to TARGETS at the last reading: none when it refused.
        std::optional<std::vector<uint32_t>> offered;
        bool targetsAnswered = false;
        /// The last reading learnt what the selection held (its owner answered in time).
        bool known = false;
    };
    struct Paste {
        uint32_t client = 0; // the resource base of the client that made the paste's window
        bool clientKnown = false;
        bool taken = false;
        std::vector<Format> formats;
        std::vector<Format> selected; // what the selection it replaces holds
    };
    struct Withdrawal {
        uint32_t client = 0;
        std::vector<Format> formats; // the text the paste's selection held
        Clock::time_point until;
        bool active = false;
    };
    struct Conversion; // a format asked of its owner
    struct Transfer; // a large format handed over in pieces
    struct Request; // a request for a format still arriving

    /// Runs `work` on the keeper's thread and waits for it.
    bool run(const std::function<bool()>& work);
    void loop();
    void handle(void* event);
    /// Handles events until `done` holds or the deadline passes.
    bool waitFor(const std::function<bool()>& done, Clock::time_point deadline);
    /// Handles every event that came before a round trip to the server.
    void settle();
    uint32_t atom(const char* name);
    /// A text in every text format the clipboard serves.
    std::vector<Format> textFormats(const std::string& utf8);
    uint32_t timestamp(Clock::time_point deadline);
    /// A window to receive one format on: each transfer has one of its own, as some owners
    /// (xclip) take any deletion on the window for the request of their next piece.
    uint32_t freeWindow();
    void convert(std::size_t selection, uint32_t target, bool targets);
    void conversionAnswered(Conversion& conversion, uint32_t property);
    void pieceArrived(Conversion& conversion);
    void finish(Conversion& conversion, bool whole);
    /// Gives up on what went silent for too long; the time until the next such check.
    std::optional<Clock::duration> expire();
    bool take(Selection& selection, Clock::time_point deadline);
    /// Serves the primary selection again where another program took it since keep().
    void restorePrimary(Clock::time_point deadline);
    void serve(void* request);
    void answer(const Request& request, bool served);
    void serveFormat(uint32_t requestor, uint32_t property, const Format& format);
    uint32_t clientOf(uint32_t window) const noexcept { return window & ~m_resourceMask; }

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_window = 0;
    uint32_t m_maximumPiece = 0;
    uint32_t m_resourceMask = 0;
    uint8_t m_selectionNotifyEvent = 0; // XFixes' first event; 0 without XFixes
    std::vector<Selection> m_selections;
    Paste m_paste;
    Withdrawal m_withdrawal;
    bool m_primaryWaiting = false; // restore() left it for the withdrawal's end
    std::vector<std::unique_ptr<Conversion>> m_conversions;
    std::vector<std::unique_ptr<Transfer>> m_transfers;
    std::vector<Request> m_waiting;
    std::vector<uint32_t> m_freeWindows;
    uint32_t m_root = 0;
    uint32_t m_conversionProperty = 0;
    // The event arriving that a wait looks for.
    uint8_t m_awaitedType = 0;
    void* m_awaited = nullptr;

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
