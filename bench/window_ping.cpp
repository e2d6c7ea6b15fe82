// How long a window takes to answer, seen from outside the program: plays
// the window manager's part and sends the window _NET_WM_PING, each ping
// 2 ms after the one before was answered, until STOP_FILE exists. A program
// answers a ping only when its event loop turns, so the longest wait for an
// answer is the longest time its event loop did not turn (plus the X
// server's round trip).
//
// Usage: velno_bench_window_ping WINDOW_ID STOP_FILE
// Prints the pings answered, the median and the longest wait, and how many
// waited 100 ms or more.

#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s WINDOW_ID STOP_FILE\n", argv[0]);
        return 2;
    }
    const auto window = static_cast<xcb_window_t>(std::strtoul(argv[1], nullptr, 0));
    const std::string stop_file = argv[2];
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "cannot connect to the X display\n");
        return 1;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t protocols = Atom(connection, "WM_PROTOCOLS");
    const xcb_atom_t ping = Atom(connection, "_NET_WM_PING");
    // The answer is sent to the root window, as to a window manager, for
    // the clients that select its structure or its children's (toolkits
    // differ in which they name).
    const std::uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);

    std::vector<Clock::duration> waits;
    std::vector<Clock::time_point> sent_at;
    const Clock::time_point first = Clock::now();
    std::uint32_t serial = 0;
    while (access(stop_file.c_str(), F_OK) != 0) {
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = protocols;
        message.data.data32[0] = ping;
        message.data.data32[1] = ++serial;
        message.data.data32[2] = window;
        xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(connection);
        const Clock::time_point sent = Clock::now();
        bool answered = false;
        while (!answered && access(stop_file.c_str(), F_OK) != 0) {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
                if ((event->response_type & 0x7F) == XCB_CLIENT_MESSAGE) {
                    const auto* reply = reinterpret_cast<xcb_client_message_event_t*>(event);
                    answered =
                        answered || (reply->type == protocols && reply->data.data32[0] == ping &&
                                     reply->data.data32[1] == serial);
                }
                std::free(event);
            }
            if (xcb_connection_has_error(connection) != 0) {
                std::fprintf(stderr, "the X connection failed\n");
                return 1;
            }
            if (!answered) {
                pollfd watch{xcb_get_file_descriptor(connection), POLLIN, 0};
                poll(&watch, 1, 10);
            }
        }
        if (answered) {
            waits.push_back(Clock::now() - sent);
            sent_at.push_back(sent);
            // A short pause, so that the pings take next to nothing from the
            // program and the machine: a wait can start up to 2 ms late.
            usleep(2000);
        }
    }
    xcb_disconnect(connection);
    if (waits.empty()) {
        std::fprintf(stderr, "the window answered no ping\n");
        return 1;
    }
    std::vector<Clock::duration> sorted = waits;
    std::sort(sorted.begin(), sorted.end());
    const auto slow = std::count_if(waits.begin(), waits.end(), [](Clock::duration wait) {
        return wait >= std::chrono::milliseconds(100);
    });
    const auto longest = std::max_element(waits.begin(), waits.end()) - waits.begin();
    std::printf(
        "pings answered %zu, wait median %.1f ms, longest %.1f ms (%.1f s after the first of "
        "%.1f s), %td of 100 ms or more\n",
        waits.size(), Milliseconds(sorted[sorted.size() / 2]), Milliseconds(sorted.back()),
        Milliseconds(sent_at[static_cast<std::size_t>(longest)] - first) / 1000.0,
        Milliseconds(Clock::now() - first) / 1000.0, slow);
    return 0;
}
