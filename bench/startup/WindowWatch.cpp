// lumra-bench-window-watch: starts a program on the current X display and prints how long it
// took until its first top-level window of at least MIN_W x MIN_H was mapped, and until the
// program had painted into it; then stops the program.
//
//   lumra-bench-window-watch [--min WxH] [--timeout MS] -- PROGRAM [ARGS...]
//
// Output: "mapped_ms N", "painted_ms N", "window WxH". Exit code 0 when a painted window was
// seen. Meant for Xvfb started with -br and no window manager: top-level windows are children
// of the black root window, and a mapped window stays black until the program draws. Painted
// means: some pixel of the window's middle row is no longer black (polled every 2 ms).
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void stopChild(pid_t child)
{
    kill(child, SIGTERM);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(child, nullptr, WNOHANG) == child)
            return;
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

bool middleRowPainted(xcb_connection_t *connection, xcb_window_t window, int width, int height)
{
    xcb_get_image_reply_t *image =
        xcb_get_image_reply(connection,
                            xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0,
                                          int16_t(height / 2), uint16_t(width), 1, ~0u),
                            nullptr);
    if (!image)
        return false;
    const uint8_t *pixels = xcb_get_image_data(image);
    const int length = xcb_get_image_data_length(image);
    bool painted = false;
    for (int i = 0; i < length && !painted; ++i)
        painted = pixels[i] != 0;
    free(image);
    return painted;
}

} // namespace

int main(int argc, char *argv[])
{
    int minWidth = 200;
    int minHeight = 150;
    int timeoutMs = 30000;
    int first = 1;
    for (; first < argc; ++first) {
        if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        }
        if (std::strcmp(argv[first], "--min") == 0 && first + 1 < argc)
            std::sscanf(argv[++first], "%dx%d", &minWidth, &minHeight);
        else if (std::strcmp(argv[first], "--timeout") == 0 && first + 1 < argc)
            timeoutMs = std::atoi(argv[++first]);
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--min WxH] [--timeout MS] -- PROGRAM [ARGS...]\n",
                     argv[0]);
        return 2;
    }

    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "cannot open the X display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // Subscribed before the program starts, so no map can be missed.
    const uint32_t rootMask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &rootMask);
    xcb_flush(connection);
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        std::perror("exec");
        _exit(127);
    }

    xcb_window_t window = XCB_NONE;
    double mappedMs = -1;
    double paintedMs = -1;
    int width = 0;
    int height = 0;
    const int fd = xcb_get_file_descriptor(connection);
    while (paintedMs < 0 && msSince(start) < timeoutMs) {
        if (window != XCB_NONE) {
            if (middleRowPainted(connection, window, width, height))
                paintedMs = msSince(start);
            else
                usleep(2000);
            continue;
        }
        xcb_generic_event_t *event = xcb_poll_for_event(connection);
        if (!event) {
            if (waitpid(child, nullptr, WNOHANG) == child) {
                std::fprintf(stderr, "the program ended before showing a window\n");
                return 1;
            }
            pollfd wait{fd, POLLIN, 0};
            poll(&wait, 1, 5);
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
            xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(
                connection, xcb_get_geometry(connection, map->window), nullptr);
            if (geometry && geometry->width >= minWidth && geometry->height >= minHeight) {
                window = map->window;
                mappedMs = msSince(start);
                width = geometry->width;
                height = geometry->height;
            }
            free(geometry);
        }
        free(event);
    }
    stopChild(child);
    xcb_disconnect(connection);
    if (paintedMs < 0) {
        std::fprintf(stderr, "no painted window of at least %dx%d within %d ms\n", minWidth,
                     minHeight, timeoutMs);
        return 1;
    }
    std::printf("mapped_ms %.1f\npainted_ms %.1f\nwindow %dx%d\n", mappedMs, paintedMs, width,
                height);
    return 0;
}
