#pragma once

#include "platform/SelectionFormat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

typedef struct xcb_connection_t xcb_connection_t;

namespace quillet {

/// Reads what one selection holds, every format whole, while its owner still owns it: asks
/// which formats it offers, picks those needed to give it back, and fetches each on a window
/// of its own (some owners take any deletion on a window for the request of their next
/// piece), reading every transfer in pieces to its end. The bytes it holds count against a
/// budget shared with the other readings of the moment (`spent`); past it, or past
/// KeptBound::formats, it stops and holds nothing.
///
/// It lives on the thread that handles the connection's events and is fed them through
/// handle(); dropping it drops what it read so far and the windows it read on.
class SelectionReader {
public:
    enum class State {
        listing, // waiting for the owner to tell its formats
        reading, // fetching them
        whole, // every format it picks arrived whole (or was refused by its owner)
        tooLarge, // past KeptBound: nothing kept
        failed, // the server did not answer
    };

    SelectionReader(xcb_connection_t* connection, uint32_t root, const SelectionAtoms& atoms, uint32_t selection,
        std::size_t& spent);
    ~SelectionReader();
    SelectionReader(const SelectionReader&) = delete;
    SelectionReader& operator=(const SelectionReader&) = delete;

    State state() const noexcept { return m_state; }
    /// Whether the owner answered which formats it offers (an owner that refuses that is asked
    /// for plain text).
    bool listed() const noexcept { return m_state != State::listing; }
    /// Whether `event` concerned this reading (then it was handled).
    bool handle(const void* event);
    /// The formats read whole, once state() is whole; the reader holds nothing afterwards.
    std::vector<SelectionFormat> takeFormats();

    /// Of the targets an owner lists, those that hold contents worth keeping (`names` their
    /// names, in the same order): the protocol's own targets go, and an image offered in
    /// several encodings is kept as PNG alone, the one every toolkit reads (the owner makes
    /// the others from the same image, at a cost of memory and time).
    static std::vector<std::size_t> keptTargets(const std::vector<std::string>& names);

private:
    struct Conversion {
        uint32_t target = 0;
        uint32_t window = 0;
        bool answered = false;
        bool incremental = false;
        bool done = false;
        uint32_t type = 0;
        uint8_t format = 8;
        std::string data;
    };

    void ask(uint32_t target);
    void listAnswered(Conversion& conversion, uint32_t property);
    void choose(const std::vector<uint32_t>& offered);
    void answered(Conversion& conversion, uint32_t property);
    void pieceArrived(Conversion& conversion);
    /// Counts `bytes` more against the budget: false (and the reading stops) past it.
    bool spend(std::size_t bytes);
    void stop(State state);
    void finishIfWhole();

    xcb_connection_t* m_connection;
    uint32_t m_root;
    SelectionAtoms m_atoms;
    uint32_t m_selection;
    uint32_t m_property;
    std::size_t& m_spent;
    std::size_t m_held = 0;
    State m_state = State::listing;
    std::vector<Conversion> m_conversions; // the first one asks for the list of targets
    std::vector<std::pair<uint32_t, std::string>> m_derivedText; // made again from UTF8_STRING
};

} // namespace quillet
