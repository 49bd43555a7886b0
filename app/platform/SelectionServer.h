#pragma once

#include "platform/SelectionFormat.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace quillet {

/// Answers other programs' requests for a selection this process owns, as the selection
/// protocol has it: TARGETS, TIMESTAMP and MULTIPLE, and each format it is given, a large one
/// handed over in pieces (INCR), each piece when the requestor has deleted the one before.
///
/// It lives on the thread that handles the connection's events and is fed them through
/// handle().
class SelectionServer {
public:
    using Clock = std::chrono::steady_clock;

    SelectionServer(xcb_connection_t* connection, const SelectionAtoms& atoms);
    ~SelectionServer();
    SelectionServer(const SelectionServer&) = delete;
    SelectionServer& operator=(const SelectionServer&) = delete;

    /// Answers `request` (an xcb_selection_request_event_t) from `formats`, the selection
    /// owned since `ownedSince`: the targets of the formats it served with their contents.
    std::vector<uint32_t> serve(const void* request, const std::vector<SelectionFormat>& formats, uint32_t ownedSince);
    /// Tells the requestor that nothing is served.
    void refuse(const void* request);
    /// Whether `event` concerned a transfer in pieces (then it was handled).
    bool handle(const void* event);
    /// Gives up the transfers whose requestor went silent; the time until the next such check.
    std::optional<Clock::duration> expire();

private:
    struct Transfer {
        uint32_t requestor = 0;
        uint32_t property = 0;
        SelectionFormat format;
        std::size_t sent = 0;
        Clock::time_point heard;
    };

    /// Puts one target into `property` of `requestor`: whether it could.
    bool put(uint32_t requestor, uint32_t property, uint32_t target, const std::vector<SelectionFormat>& formats,
        uint32_t ownedSince, std::vector<uint32_t>& served);
    void putFormat(uint32_t requestor, uint32_t property, const SelectionFormat& format);
    void notify(const void* request, uint32_t property);
    /// Follows the property changes of `requestor` while a transfer to it lasts, and only then.
    void watch(uint32_t requestor, bool watching);

    xcb_connection_t* m_connection;
    SelectionAtoms m_atoms;
    uint32_t m_maximumPiece;
    std::vector<Transfer> m_transfers;
    std::map<uint32_t, int> m_watched; // requestor → transfers under way to it
};

} // namespace quillet
