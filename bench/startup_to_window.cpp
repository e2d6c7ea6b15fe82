// Starts a program again and again and measures the time from its start to
// its first shown window (the X server's MapNotify of a top-level window
// whose title starts with a given text), and its peak memory at that moment.
//
// Usage: velno_bench_startup RUNS TITLE PROGRAM [ARGS...]
// Prints one line per run and a summary; every run's program is ended with
// SIGTERM once its window is shown.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Sample {
    double milliseconds;
    long peak_kib;
};

std::string WindowTitle(xcb_connection_t* connection, xcb_window_t window) {
    const xcb_intern_atom_cookie_t name_cookie = xcb_intern_atom(connection, 0, 12, "_NET_WM_NAME");
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(connection, name_cookie, nullptr), &std::free);
    const xcb_atom_t property = atom ? atom->atom : xcb_atom_t{XCB_ATOM_WM_NAME};
    const xcb_get_property_cookie_t cookie =
        xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256);
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(connection, cookie, nullptr), &std::free);
    if (!reply) {
        return {};
    }
    const auto* text = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(text, static_cast<std::size_t>(xcb_get_property_value_length(reply.get())));
}

// VmHWM of a process, in KiB: the most resident memory it has had.
long PeakResidentKib(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::strtol(line.c_str() + 6, nullptr, 10);
        }
    }
    return -1;
}

pid_t Launch(char** argv) {
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv);
        std::perror("execv");
        _exit(127);
    }
    return pid;
}

// Waits for the program's window; false when the program ended first or
// nothing showed within the time limit.
bool WaitForWindow(xcb_connection_t* connection, const std::string& title, pid_t pid,
                   Clock::time_point started, Sample& sample) {
    const int fd = xcb_get_file_descriptor(connection);
    while (Clock::now() - started < std::chrono::seconds(30)) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
            const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
            const xcb_window_t window =
                mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
            std::free(event);
            if (mapped && WindowTitle(connection, window).rfind(title, 0) == 0) {
                sample.milliseconds =
                    std::chrono::duration<double, std::milli>(Clock::now() - started).count();
                sample.peak_kib = PeakResidentKib(pid);
                return true;
            }
        }
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            return false;
        }
        pollfd watch{fd, POLLIN, 0};
        poll(&watch, 1, 20);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s RUNS TITLE PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::string title = argv[2];
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "cannot connect to the X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);

    std::vector<Sample> samples;
    for (int run = 1; run <= runs; ++run) {
        const Clock::time_point started = Clock::now();
        const pid_t pid = Launch(argv + 3);
        Sample sample{};
        const bool shown = WaitForWindow(connection, title, pid, started, sample);
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        if (!shown) {
            std::fprintf(stderr, "run %d: no window\n", run);
            return 1;
        }
        std::printf("run %2d: start-up to first shown window %7.1f ms, peak memory %6.1f MiB\n",
                    run, sample.milliseconds, static_cast<double>(sample.peak_kib) / 1024.0);
        samples.push_back(sample);
    }
    std::vector<double> times;
    long peak = 0;
    for (const Sample& sample : samples) {
        times.push_back(sample.milliseconds);
        peak = std::max(peak, sample.peak_kib);
    }
    std::sort(times.begin(), times.end());
    std::printf("start-up to first shown window: median %.1f ms, slowest %.1f ms (%d runs)\n",
                times[times.size() / 2], times.back(), runs);
    std::printf("peak memory at first show: %.1f MiB\n", static_cast<double>(peak) / 1024.0);
    xcb_disconnect(connection);
    return 0;
}
