#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

typedef struct xcb_connection_t xcb_connection_t;

namespace quillet {

/// One format of a selection's contents, whole: its target, the type and unit size its owner
/// gave it, and its bytes.
struct SelectionFormat {
    uint32_t target = 0;
    uint32_t type = 0;
    uint8_t format = 8;
    std::shared_ptr<const std::string> data;
};

/// The atoms the selection protocol names, interned once per connection.
struct SelectionAtoms {
    uint32_t targets = 0;
    uint32_t multiple = 0;
    uint32_t timestamp = 0;
    uint32_t incr = 0;
    uint32_t atomPair = 0;
    uint32_t utf8String = 0;
    uint32_t string = 0;

    static SelectionAtoms intern(xcb_connection_t* connection);
};

/// The atom named `name` on `connection`; XCB_NONE when the server does not answer.
uint32_t internAtom(xcb_connection_t* connection, const char* name);

/// `utf8` in Latin-1, the encoding of the STRING target; none where it holds a character
/// that Latin-1 lacks.
std::optional<std::string> latin1FromUtf8(const std::string& utf8);

/// The most a press keeps of the user's clipboard and primary selection together so that it
/// can give them back: past it the clipboard is left to its owner, untouched, and the press
/// says why.
struct KeptBound {
    static constexpr std::size_t bytes = std::size_t(64) << 20;
    static constexpr std::size_t formats = 64;
};

} // namespace quillet
