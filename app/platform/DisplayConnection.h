#pragma once

#include <xcb/xcb.h>

#include <optional>

namespace quillet {

/// A connection of its own to the default display, and its default screen's root window.
struct DisplayConnection {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
};

/// Connects to the default display; nothing (and no connection left open) when no display
/// answers or it has no default screen. The caller disconnects.
std::optional<DisplayConnection> connectToDefaultDisplay();

} // namespace quillet
