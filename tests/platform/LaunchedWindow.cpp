// A program for the launcher's window-state tests: maps one top-level window titled TITLE and lives
// until its display goes away (two minutes at most).
//   launched_window TITLE [--startup-id] [--pid] [--grandchild] [--setsid] [--map-after MS]
// --startup-id puts DESKTOP_STARTUP_ID on the window as _NET_STARTUP_ID, --pid sets _NET_WM_PID and
// WM_CLIENT_MACHINE; --grandchild opens the window from a grandchild whose parents end at once, or,
// with --setsid, stay while the grandchild leaves for a session of its own.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t value = reply != nullptr ? reply->atom : 0;
    std::free(reply);
    return value;
}

void setProperty(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                 std::uint8_t format, const void *data, std::size_t count)
{
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, name, type, format,
                        static_cast<std::uint32_t>(count), data);
}

// Forks; the parent either ends at once or waits for the child and ends with it.
void forkAway(bool stay)
{
    const pid_t child = ::fork();
    if (child > 0) {
        if (stay) {
            ::waitpid(child, nullptr, 0);
        }
        ::_exit(0);
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        return 2;
    }
    bool startupId = false;
    bool pid = false;
    bool grandchild = false;
    bool ownSession = false;
    int mapAfter = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        startupId |= option == "--startup-id";
        pid |= option == "--pid";
        grandchild |= option == "--grandchild";
        ownSession |= option == "--setsid";
        if (option == "--map-after" && i + 1 < argc) {
            mapAfter = std::atoi(argv[++i]);
        }
    }
    if (grandchild) {
        forkAway(ownSession);
        forkAway(ownSession);
        if (ownSession) {
            ::setsid();
        }
    }
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        return 1;
    }
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const xcb_window_t window = xcb_generate_id(connection);
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    setProperty(connection, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, argv[1], std::strlen(argv[1]));
    const char *id = std::getenv("DESKTOP_STARTUP_ID");
    if (startupId && id != nullptr) {
        setProperty(connection, window, atom(connection, "_NET_STARTUP_ID"), atom(connection, "UTF8_STRING"),
                    8, id, std::strlen(id));
    }
    if (pid) {
        const std::uint32_t self = static_cast<std::uint32_t>(::getpid());
        setProperty(connection, window, atom(connection, "_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, &self, 1);
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        setProperty(connection, window, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING, 8, host,
                    std::strlen(host));
    }
    xcb_flush(connection);
    std::this_thread::sleep_for(std::chrono::milliseconds(mapAfter));
    xcb_map_window(connection, window);
    xcb_flush(connection);
    pollfd display {xcb_get_file_descriptor(connection), POLLIN, 0};
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::chrono::steady_clock::now() < end && ::poll(&display, 1, 1000) >= 0) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            std::free(event);
        }
        if (xcb_connection_has_error(connection) != 0) {
            break;
        }
    }
    xcb_disconnect(connection);
    return 0;
}
