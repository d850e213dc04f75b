// A program for the launcher's window-state tests: maps one top-level window titled TITLE and lives
// until its display goes away (two minutes at most).
//   launched_window TITLE [--startup-id] [--pid]
// --startup-id puts DESKTOP_STARTUP_ID on the window as _NET_STARTUP_ID, --pid sets _NET_WM_PID and
// WM_CLIENT_MACHINE.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <unistd.h>
#include <xcb/xcb.h>

int main(int argc, char **argv)
{
    const auto has = [&](std::string_view option) {
        return std::find(argv + 2, argv + argc, option) != argv + argc;
    };
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (argc < 2 || xcb_connection_has_error(connection) != 0) {
        return 1;
    }
    ::alarm(120);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    // Any property by name, as text unless `size` says otherwise.
    const auto set = [&](const char *name, xcb_atom_t type, const void *value, std::size_t size = 0) {
        xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr);
        const auto count =
            static_cast<std::uint32_t>(size > 0 ? size : std::strlen(static_cast<const char *>(value)));
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, atom->atom, type, size > 0 ? 32 : 8,
                            count, value);
        std::free(atom);
    };
    set("WM_NAME", XCB_ATOM_STRING, argv[1]);
    if (const char *id = std::getenv("DESKTOP_STARTUP_ID"); id != nullptr && has("--startup-id")) {
        set("_NET_STARTUP_ID", XCB_ATOM_STRING, id);
    }
    if (has("--pid")) {
        const auto self = static_cast<std::uint32_t>(::getpid());
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        set("_NET_WM_PID", XCB_ATOM_CARDINAL, &self, 1);
        set("WM_CLIENT_MACHINE", XCB_ATOM_STRING, host);
    }
    xcb_map_window(connection, window);
    xcb_flush(connection);
    while (xcb_generic_event_t *event = xcb_wait_for_event(connection)) { // none once the display is gone
        std::free(event);
    }
    xcb_disconnect(connection);
    return 0;
}
