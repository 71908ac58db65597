#include "keytap.h"

#include <QGuiApplication>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#define explicit explicit_ // a member name in xkb.h
#include <xcb/xkb.h>
#undef explicit

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <X11/Xlib.h> // last: its macros clash with Qt's names

namespace
{
constexpr uint32_t keyMask = XCB_EVENT_MASK_KEY_PRESS | XCB_EVENT_MASK_KEY_RELEASE;
// Windows Qt makes in the window later (a notice, a view of its own).
constexpr uint32_t windowMask = keyMask | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
constexpr uint16_t buttonsHeld = XCB_KEY_BUT_MASK_BUTTON_1 | XCB_KEY_BUT_MASK_BUTTON_2 | XCB_KEY_BUT_MASK_BUTTON_3
                                 | XCB_KEY_BUT_MASK_BUTTON_4 | XCB_KEY_BUT_MASK_BUTTON_5;

// XInput 2's two requests made here, by hand: its xcb library is one Qt
// does not load (it carries its own), 144 KiB more in memory.
xcb_extension_t xinputExtension = {"XInputExtension", 0};
constexpr uint8_t xiSelectEvents = 46;
constexpr uint8_t xiQueryVersion = 47;
constexpr uint16_t xiAllMasterDevices = 1;
constexpr uint8_t xiMotion = 6;
constexpr uint32_t xiMotionMask = 1u << xiMotion;
constexpr uint32_t xiRawButtonMask = 1u << 15 | 1u << 16; // press, release
constexpr uint32_t xiRawTouchMask = 1u << 22 | 1u << 23 | 1u << 24; // begin, update, end

// 'request' starts with the 4 bytes of header xcb fills in.
unsigned xiRequest(xcb_connection_t *c, uint8_t opcode, bool isVoid, void *request, size_t size)
{
    iovec parts[4];
    parts[2] = {request, size};
    parts[3] = {nullptr, -size & 3};
    const xcb_protocol_request_t protocol = {2, &xinputExtension, opcode, uint8_t(isVoid)};
    return xcb_send_request(c, isVoid ? 0 : XCB_REQUEST_CHECKED, parts + 2, &protocol);
}

void selectInput(xcb_connection_t *c, xcb_window_t window, uint32_t bits)
{
    struct
    {
        uint8_t header[4];
        uint32_t window;
        uint16_t masks;
        uint8_t pad[2];
        uint16_t device;
        uint16_t words;
        uint32_t bits;
    } request = {{}, window, 1, {}, xiAllMasterDevices, 1, bits};
    xiRequest(c, xiSelectEvents, true, &request, sizeof request);
}

bool hasXi22(xcb_connection_t *c)
{
    struct
    {
        uint8_t header[4];
        uint16_t major;
        uint16_t minor;
    } request = {{}, 2, 2};
    const unsigned sequence = xiRequest(c, xiQueryVersion, false, &request, sizeof request);
    auto *reply = static_cast<const uint8_t *>(xcb_wait_for_reply(c, sequence, nullptr));
    uint16_t version[2] = {0, 0};
    if (reply)
        std::memcpy(version, reply + 8, sizeof version);
    std::free(const_cast<uint8_t *>(reply));
    return version[0] > 2 || (version[0] == 2 && version[1] >= 2);
}
} // namespace

std::unique_ptr<KeyTap> KeyTap::open(EarlyKeys *rules, std::mutex *rulesLock, Reader read)
{
    // The display Qt shows the window on.
    const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return nullptr;
    xcb_connection_t *c = xcb_connect(XDisplayString(x11->display()), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    // Key states as Qt reads them (its connection uses XKB: the group is
    // in the state, not a modifier), and XInput 2.2 for touches.
    xcb_prefetch_extension_data(c, &xcb_xkb_id);
    xcb_prefetch_extension_data(c, &xinputExtension);
    const xcb_query_extension_reply_t *xkbPresent = xcb_get_extension_data(c, &xcb_xkb_id);
    const xcb_query_extension_reply_t *xiPresent = xcb_get_extension_data(c, &xinputExtension);
    bool hasXkb = false;
    if (xkbPresent && xkbPresent->present) {
        xcb_xkb_use_extension_reply_t *xkb = xcb_xkb_use_extension_reply(
            c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr);
        hasXkb = xkb && xkb->supported;
        std::free(xkb);
    }
    const bool hasXi = xiPresent && xiPresent->present && hasXi22(c);
    const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (!hasXkb || !hasXi || wake < 0) {
        if (wake >= 0)
            ::close(wake);
        xcb_disconnect(c);
        return nullptr;
    }
    std::unique_ptr<KeyTap> tap(new KeyTap(c, wake, rules, rulesLock, std::move(read)));
    tap->xkbEvent = xkbPresent->first_event;
    tap->xinput = xiPresent->major_opcode;
    const uint16_t keymaps = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY;
    xcb_xkb_select_events(c, XCB_XKB_ID_USE_CORE_KBD, keymaps, 0, keymaps, 0xff, 0xff, nullptr);
    // Buttons and touches anywhere: a window's own are Qt's alone (its
    // press, and all that follows while the press grabs the pointer).
    selectInput(c, xcb_setup_roots_iterator(xcb_get_setup(c)).data->root, xiRawButtonMask | xiRawTouchMask);
    xcb_flush(c);
    tap->thread = std::thread(&KeyTap::run, tap.get());
    return tap;
}

KeyTap::KeyTap(xcb_connection_t *connection, int wake, EarlyKeys *rules, std::mutex *rulesLock, Reader read)
    : connection(connection), wake(wake), rules(rules), rulesLock(rulesLock), read(std::move(read))
{
}

KeyTap::~KeyTap()
{
    stopping = true;
    eventfd_write(wake, 1);
    if (thread.joinable())
        thread.join();
    ::close(wake);
    xcb_disconnect(connection);
}

void KeyTap::watch(quint32 window)
{
    if (wanted.exchange(window) != window)
        eventfd_write(wake, 1);
}

void KeyTap::run()
{
    pollfd fds[2] = {{xcb_get_file_descriptor(connection), POLLIN, 0}, {wake, POLLIN, 0}};
    while (!stopping) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            handle(event);
            std::free(event);
        }
        if (xcb_connection_has_error(connection))
            return; // the display went away; Qt says so itself
        if (poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
        if (fds[1].revents) {
            eventfd_t ignored;
            eventfd_read(wake, &ignored);
            const quint32 window = wanted;
            if (window != topLevel) {
                for (quint32 w : watched)
                    select(w, false);
                watched.clear();
                topLevel = window;
                if (window)
                    select(window, true);
                xcb_flush(connection);
            }
        }
    }
}

// Selects the keys and pointer moves of a window and of every window in it
// (Qt gets keys in the innermost one under the pointer).
void KeyTap::select(quint32 window, bool on)
{
    const uint32_t mask = on ? windowMask : 0;
    xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
    selectInput(connection, window, on ? xiMotionMask : 0);
    if (!on)
        return;
    watched.insert(window);
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    if (!tree)
        return;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i)
        select(children[i], true);
    std::free(tree);
}

void KeyTap::handle(const void *message)
{
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    switch (event->response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const auto *created = reinterpret_cast<const xcb_create_notify_event_t *>(event);
        if (watched.count(created->parent)) {
            select(created->window, true);
            xcb_flush(connection);
        }
        return;
    }
    case XCB_DESTROY_NOTIFY:
        watched.erase(reinterpret_cast<const xcb_destroy_notify_event_t *>(event)->window);
        return;
    }
    X11Input in = X11Input::of(message, xkbEvent, xinput);
    const std::lock_guard<std::mutex> guard(*rulesLock);
    switch (in.kind) {
    case X11Input::Key:
        // A held button: its release is still to come, and goes first.
        read(in.key, !in.sent && !(in.key.state & buttonsHeld));
        break;
    case X11Input::Pointer: // moves here, buttons and touches anywhere
        rules->inputRead(in.time);
        break;
    case X11Input::Keymap:
        rules->keymapChanged();
        break;
    case X11Input::Other:
        break;
    }
}
