#include "X11WindowStates.h"

#include "Launcher.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <list>
#include <set>

#include <unistd.h>
#include <xcb/xcb.h>

namespace belvane {

namespace {

using Clock = std::chrono::steady_clock;

enum class Wanted { Iconic, Maximised };

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template<typename T>
Reply<T> reply(T *value)
{
    return Reply<T>(value, &std::free);
}

// X11 when this program's own windows are on X11; a program without windows (a test, a tool) goes by
// DISPLAY.
bool onX11()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr) {
        return false;
    }
    if (qobject_cast<QGuiApplication *>(app) != nullptr) {
        // Not the X11 native interface: the offscreen platform offers one too.
        return QGuiApplication::platformName() == QLatin1String("xcb");
    }
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

// True when process `pid` is `ancestor`, descends from it, or lives in its session (a program that
// detached from its parent keeps the session the launcher gave the start).
bool descendsFrom(pid_t pid, pid_t ancestor)
{
    for (int hops = 0; pid > 1 && hops < 64; ++hops) {
        if (pid == ancestor) {
            return true;
        }
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        const std::string stat {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::size_t close = stat.rfind(')'); // the name in parentheses may hold anything
        char state = 0;
        int parent = 0;
        int group = 0;
        int session = 0;
        if (close == std::string::npos
            || std::sscanf(stat.c_str() + close + 1, " %c %d %d %d", &state, &parent, &group, &session)
                != 4) {
            return false;
        }
        if (session == ancestor) {
            return true;
        }
        pid = parent;
    }
    return false;
}

} // namespace

// The display connection and what is pending, alive only while some start waits for its window.
struct X11WindowStates::Watch
{
    struct Pending
    {
        std::string id;
        pid_t pid = 0;
        Wanted wanted = Wanted::Iconic;
        Clock::time_point deadline;
    };

    ~Watch()
    {
        if (notifier) {
            // Its own signal may be running: let the loop delete it.
            notifier->setEnabled(false);
            notifier.release()->deleteLater();
        }
        xcb_disconnect(connection);
    }

    // A connection that reports the creation of every top-level window; nullptr without a display.
    static std::unique_ptr<Watch> open()
    {
        int screenNumber = 0;
        xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(connection) != 0) {
            xcb_disconnect(connection);
            return nullptr;
        }
        auto watch = std::make_unique<Watch>();
        watch->connection = connection;
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        for (int i = 0; i < screenNumber && screens.rem > 1; ++i) {
            xcb_screen_next(&screens);
        }
        watch->root = screens.data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection, watch->root, XCB_CW_EVENT_MASK, &mask);
        // The atoms' round trip also makes sure the selection holds before the program starts.
        const char *names[] = {"_NET_STARTUP_ID",
                               "_NET_WM_PID",
                               "WM_CLIENT_LEADER",
                               "WM_CHANGE_STATE",
                               "_NET_WM_STATE",
                               "_NET_WM_STATE_MAXIMIZED_VERT",
                               "_NET_WM_STATE_MAXIMIZED_HORZ"};
        xcb_atom_t *atoms[] = {&watch->startupIdAtom,    &watch->pidAtom,   &watch->leaderAtom,
                               &watch->changeStateAtom,  &watch->stateAtom, &watch->maximizedVertAtom,
                               &watch->maximizedHorzAtom};
        xcb_intern_atom_cookie_t cookies[std::size(names)];
        for (std::size_t i = 0; i < std::size(names); ++i) {
            cookies[i] =
                xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(names[i])), names[i]);
        }
        for (std::size_t i = 0; i < std::size(names); ++i) {
            const auto atom = reply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
            if (!atom) {
                return nullptr;
            }
            *atoms[i] = atom->atom;
        }
        char host[256] = {};
        ::gethostname(host, sizeof host - 1);
        watch->host = host;
        return watch;
    }

    void handleEvents()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            handle(event);
            std::free(event);
        }
    }

    void handle(const xcb_generic_event_t *event)
    {
        switch (event->response_type & 0x7f) {
        case XCB_CREATE_NOTIFY: {
            const auto *created = reinterpret_cast<const xcb_create_notify_event_t *>(event);
            if (created->parent != root || created->override_redirect != 0) {
                return; // not a top-level window, or a menu or tooltip that no manager handles
            }
            // Its own map news, also after the window manager has reparented it.
            const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
            xcb_change_window_attributes(connection, created->window, XCB_CW_EVENT_MASK, &mask);
            candidates.insert(created->window);
            const auto attributes = reply(xcb_get_window_attributes_reply(
                connection, xcb_get_window_attributes(connection, created->window), nullptr));
            if (attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED) {
                consider(created->window); // it mapped before the selection held
            }
            return;
        }
        case XCB_MAP_NOTIFY: {
            const auto *mapped = reinterpret_cast<const xcb_map_notify_event_t *>(event);
            if (candidates.contains(mapped->window)) {
                consider(mapped->window);
            }
            return;
        }
        case XCB_DESTROY_NOTIFY:
            candidates.erase(reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window);
            return;
        default:
            return; // errors for windows that went away meanwhile, and the rest
        }
    }

    std::string property(xcb_window_t window, xcb_atom_t name)
    {
        const auto value = reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
            nullptr));
        if (!value) {
            return {};
        }
        return {static_cast<const char *>(xcb_get_property_value(value.get())),
                static_cast<std::size_t>(xcb_get_property_value_length(value.get()))};
    }

    std::string text(xcb_window_t window, xcb_atom_t name)
    {
        std::string text = property(window, name);
        while (!text.empty() && text.back() == '\0') {
            text.pop_back();
        }
        return text;
    }

    std::uint32_t cardinal(xcb_window_t window, xcb_atom_t name)
    {
        const std::string bytes = property(window, name);
        std::uint32_t value = 0;
        if (bytes.size() >= sizeof value) {
            std::memcpy(&value, bytes.data(), sizeof value);
        }
        return value;
    }

    // A top-level window has mapped: if it is the first of a pending start, give it its state.
    void consider(xcb_window_t window)
    {
        candidates.erase(window);
        std::string id = text(window, startupIdAtom);
        auto pid = static_cast<pid_t>(cardinal(window, pidAtom));
        std::string machine = text(window, XCB_ATOM_WM_CLIENT_MACHINE);
        const xcb_window_t leader = cardinal(window, leaderAtom);
        if (id.empty() && pid == 0 && leader != 0 && leader != window) {
            id = text(leader, startupIdAtom);
            pid = static_cast<pid_t>(cardinal(leader, pidAtom));
            machine = text(leader, XCB_ATOM_WM_CLIENT_MACHINE);
        }
        auto start = std::find_if(pending.begin(), pending.end(),
                                  [&](const Pending &p) { return !id.empty() && p.id == id; });
        if (start == pending.end() && pid > 0 && (machine.empty() || machine == host)) {
            start = std::find_if(pending.begin(), pending.end(),
                                 [&](const Pending &p) { return p.pid > 0 && descendsFrom(pid, p.pid); });
        }
        if (start == pending.end()) {
            return; // another program's window
        }
        apply(window, start->wanted);
        pending.erase(start);
    }

    void apply(xcb_window_t window, Wanted wanted)
    {
        xcb_client_message_event_t message {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        if (wanted == Wanted::Iconic) {
            message.type = changeStateAtom;
            message.data.data32[0] = 3; // IconicState
        } else {
            message.type = stateAtom;
            message.data.data32[0] = 1; // add
            message.data.data32[1] = maximizedVertAtom;
            message.data.data32[2] = maximizedHorzAtom;
            message.data.data32[3] = 1; // asked for by an application
        }
        xcb_send_event(connection, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&message));
        xcb_flush(connection);
    }

    xcb_connection_t *connection = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t startupIdAtom = 0;
    xcb_atom_t pidAtom = 0;
    xcb_atom_t leaderAtom = 0;
    xcb_atom_t changeStateAtom = 0;
    xcb_atom_t stateAtom = 0;
    xcb_atom_t maximizedVertAtom = 0;
    xcb_atom_t maximizedHorzAtom = 0;
    std::string host;
    std::unique_ptr<QSocketNotifier> notifier;
    std::unique_ptr<QTimer> expiry;
    std::list<Pending> pending;
    std::set<xcb_window_t> candidates; // top-level windows created while watching, not yet mapped
};

X11WindowStates::X11WindowStates(std::chrono::milliseconds limit)
    : bound(limit)
{ }

X11WindowStates::~X11WindowStates() = default;

std::string X11WindowStates::prepare(int showCommand)
{
    if (showCommand != showMinimized && showCommand != showMaximized) {
        return {};
    }
    if (!watch) {
        if (!onX11() || !(watch = Watch::open())) {
            return {};
        }
        watch->notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(watch->connection),
                                                            QSocketNotifier::Read);
        QObject::connect(watch->notifier.get(), &QSocketNotifier::activated, watch->notifier.get(), [this]() {
            watch->handleEvents();
            if (xcb_connection_has_error(watch->connection) != 0) {
                watch->pending.clear(); // the display went away
            }
            if (watch->pending.empty()) {
                watch.reset();
            }
        });
        watch->expiry = std::make_unique<QTimer>();
        watch->expiry->setSingleShot(true);
        QObject::connect(watch->expiry.get(), &QTimer::timeout, watch->expiry.get(), [this]() {
            const Clock::time_point now = Clock::now();
            watch->pending.remove_if([now](const Watch::Pending &p) { return p.deadline <= now; });
            if (watch->pending.empty()) {
                watch->expiry.release()->deleteLater();
                watch.reset();
                return;
            }
            const auto next =
                std::min_element(watch->pending.begin(), watch->pending.end(),
                                 [](const auto &a, const auto &b) { return a.deadline < b.deadline; });
            watch->expiry->start(std::chrono::duration_cast<std::chrono::milliseconds>(next->deadline - now)
                                 + std::chrono::milliseconds(1));
        });
    }
    static unsigned counter = 0;
    std::string id = "belvane-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    watch->pending.push_back(
        {id, 0, showCommand == showMinimized ? Wanted::Iconic : Wanted::Maximised, Clock::now() + bound});
    if (!watch->expiry->isActive()) {
        watch->expiry->start(bound);
    }
    return id;
}

void X11WindowStates::started(const std::string &startupId, pid_t pid)
{
    if (!watch || startupId.empty()) {
        return;
    }
    for (auto p = watch->pending.begin(); p != watch->pending.end(); ++p) {
        if (p->id == startupId) {
            if (pid > 0) {
                p->pid = pid;
            } else {
                watch->pending.erase(p);
            }
            break;
        }
    }
    if (watch->pending.empty()) {
        watch.reset();
    }
}

bool X11WindowStates::watching() const
{
    return watch != nullptr;
}

} // namespace belvane
