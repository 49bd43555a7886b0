#include "platform/DisplayConnection.h"

namespace quillet {

std::optional<DisplayConnection> connectToDefaultDisplay()
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (!connection)
        return std::nullopt;
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return std::nullopt;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem) {
        xcb_disconnect(connection);
        return std::nullopt;
    }
    return DisplayConnection { connection, screens.data->root };
}

} // namespace quillet
