#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace quillet {

/// Lends the user's clipboard to one paste and gives it back whole.
///
/// keep() reads every format that the clipboard and the primary selection hold (each
/// target their owners offer, large ones too), offer() then serves a text in both, and
/// restore() serves again exactly what keep() read, format by format, for as long as no
/// other program takes a selection over; a selection that had no owner is let go again.
///
/// It speaks to the display over an X connection and a thread of its own, which answer
/// the requests for what it serves whatever the rest of the application is doing. The
/// calls may come from any thread, one at a time; each waits at most until its deadline.
class ClipboardKeeper {
public:
    using Clock = std::chrono::steady_clock;

    /// Connects to the display that DISPLAY names; without one, every call fails.
    ClipboardKeeper();
    ~ClipboardKeeper();
    ClipboardKeeper(const ClipboardKeeper&) = delete;
    ClipboardKeeper& operator=(const ClipboardKeeper&) = delete;

    bool isAvailable() const noexcept { return m_connection != nullptr; }

    /// Reads what both selections hold now. False when some format could not be read by the
    /// deadline (an owner that hangs, a transfer that stalls): nothing is kept then, and the
    /// caller must not offer anything in their place.
    bool keep(Clock::time_point deadline);
    /// Serves `utf8` as text in the clipboard and the primary selection until restore().
    bool offer(const std::string& utf8, Clock::time_point deadline);
    /// How many times a program has fetched a format served since offer().
    int offeredTextFetches();
    /// Serves again what keep() read, in both selections; one that had no owner then is let go.
    void restore(Clock::time_point deadline);

    struct Format {
        uint32_t target = 0;
        uint32_t type = 0;
        uint8_t format = 8;
        std::string data;
    };

private:
    struct Selection {
        uint32_t atom = 0;
        /// What restore() serves: the formats read by keep().
        std::vector<Format> kept;
        bool hadOwner = false;
        /// What is served now, while this keeper owns the selection.
        std::vector<Format> served;
        bool owned = false;
        uint32_t ownedSince = 0;
    };
    struct Transfer; // a large format handed over in pieces

    /// Runs `work` on the keeper's thread and waits for it.
    bool run(const std::function<bool()>& work);
    void loop();
    void handle(void* event);
    /// Handles events until `done` holds or the deadline passes.
    bool waitFor(const std::function<bool()>& done, Clock::time_point deadline);
    uint32_t atom(const char* name);
    uint32_t timestamp(Clock::time_point deadline);
    bool read(Selection& selection, Clock::time_point deadline);
    bool convert(uint32_t selection, uint32_t target, Format& into, Clock::time_point deadline);
    bool take(Selection& selection, std::vector<Format> formats, Clock::time_point deadline);
    void serve(void* request);
    void serveFormat(uint32_t requestor, uint32_t property, const Format& format);

    xcb_connection_t* m_connection = nullptr;
    uint32_t m_window = 0;
    uint32_t m_maximumPiece = 0;
    std::vector<Selection> m_selections;
    std::vector<std::unique_ptr<Transfer>> m_transfers;
    int m_fetches = 0;
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
