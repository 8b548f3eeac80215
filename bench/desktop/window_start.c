/* window_start COMMAND [ARG...]: starts COMMAND on the X server named by DISPLAY and prints the
 * milliseconds from its start until the server maps its first top-level window (the moment the
 * window becomes visible), then the command's process id. The command keeps running, its
 * standard output going to /dev/null. */
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <xcb/xcb.h>

extern char** environ;

static double Now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: window_start COMMAND [ARG...]\n");
        return 2;
    }
    xcb_connection_t* x = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(x)) {
        fprintf(stderr, "window_start: no X server\n");
        return 1;
    }
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask));

    const double start = Now();
    pid_t pid;
    /* The command's output would keep a reader of ours waiting until the command ends. */
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    if (posix_spawnp(&pid, argv[1], &actions, NULL, argv + 1, environ) != 0) {
        fprintf(stderr, "window_start: cannot start %s\n", argv[1]);
        return 1;
    }
    xcb_generic_event_t* event;
    while ((event = xcb_wait_for_event(x)) != NULL) {
        const int type = event->response_type & 0x7F;
        if (type == XCB_MAP_NOTIFY) {
            const xcb_map_notify_event_t* map = (const xcb_map_notify_event_t*)event;
            if (!map->override_redirect) {
                printf("%.1f %d\n", Now() - start, (int)pid);
                free(event);
                xcb_disconnect(x);
                return 0;
            }
        }
        free(event);
    }
    fprintf(stderr, "window_start: the X server closed the connection\n");
    kill(pid, SIGTERM);
    return 1;
}
