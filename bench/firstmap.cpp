// Time from a program's start to its first top-level window being mapped, as
// the X server reports it to a client watching the root window (MapNotify).
// The watch is in place before the program starts, so no map is missed. The
// program and everything it started are killed once the time is taken: run
// this as the first process of a PID namespace of its own.
//
// Usage: bench_firstmap [--at-least WxH] PROGRAM [ARGUMENT...]
// (DISPLAY names the server). Prints "<seconds> <width>x<height>" of the first
// window mapped; with --at-least, of the first one at least that large (Wine
// maps a 1 x 1 window of its own before any of the program's).

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace {

double now()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    int minWidth = 0, minHeight = 0;
    if (argc > 2 && std::strcmp(argv[1], "--at-least") == 0) {
        if (std::sscanf(argv[2], "%dx%d", &minWidth, &minHeight) != 2)
            argc = 0;
        argc -= 2;
        argv += 2;
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_firstmap [--at-least WxH] PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    int screenNumber = 0;
    xcb_connection_t *connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "bench_firstmap: cannot connect to the display\n");
        return 2;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    // Checked, so the selection is in force before the program starts.
    if (xcb_generic_error_t *error = xcb_request_check(
                connection, xcb_change_window_attributes_checked(connection, root, XCB_CW_EVENT_MASK, &mask))) {
        std::fprintf(stderr, "bench_firstmap: cannot watch the root window (error %d)\n", error->error_code);
        return 2;
    }

    const double started = now();
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[1], argv + 1);
        std::fprintf(stderr, "bench_firstmap: cannot start %s\n", argv[1]);
        _exit(127);
    }
    if (child == -1)
        return 2;

    // Sizes from CreateNotify and ConfigureNotify: the window has its size
    // before it is mapped.
    std::map<xcb_window_t, std::pair<int, int>> sizes;
    const double deadline = started + 60;
    pollfd watched = {xcb_get_file_descriptor(connection), POLLIN, 0};
    int status = 0;
    while (now() < deadline) {
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const int type = event->response_type & ~0x80;
            if (type == XCB_CREATE_NOTIFY) {
                const auto *created = reinterpret_cast<xcb_create_notify_event_t *>(event);
                sizes[created->window] = {created->width, created->height};
            } else if (type == XCB_CONFIGURE_NOTIFY) {
                const auto *configured = reinterpret_cast<xcb_configure_notify_event_t *>(event);
                sizes[configured->window] = {configured->width, configured->height};
            } else if (type == XCB_MAP_NOTIFY) {
                const auto *mapped = reinterpret_cast<xcb_map_notify_event_t *>(event);
                const auto size = sizes[mapped->window];
                if (mapped->event == root && size.first >= minWidth && size.second >= minHeight) {
                    const double elapsed = now() - started;
                    std::printf("%.6f %dx%d\n", elapsed, size.first, size.second);
                    std::fflush(stdout);
                    free(event);
                    kill(child, SIGKILL);
                    waitpid(child, &status, 0);
                    return 0;
                }
            }
            free(event);
        }
        if (xcb_connection_has_error(connection)) {
            std::fprintf(stderr, "bench_firstmap: lost the display\n");
            break;
        }
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "bench_firstmap: %s ended without mapping a window\n", argv[1]);
            return 1;
        }
        poll(&watched, 1, 50);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return 1;
}
