/* Another X client that holds a key combination: grabs Ctrl+Shift+<key> (argument: the
 * lower-case letter) on the root window, says "grabbed" and keeps the grab until killed.
 * With the argument "numlock" it prints whether NumLock (Mod2) is on instead. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <xcb/xcb.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    xcb_connection_t* c = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(c)) {
        return 1;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
    if (strcmp(argv[1], "numlock") == 0) {
        xcb_query_pointer_reply_t* pointer =
            xcb_query_pointer_reply(c, xcb_query_pointer(c, root), NULL);
        printf("%s\n", pointer && (pointer->mask & XCB_MOD_MASK_2) ? "on" : "off");
        return 0;
    }
    int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, count), NULL);
    xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t code = 0;
    for (int i = 0; i < count && !code; ++i) {
        if (syms[i * map->keysyms_per_keycode] == (xcb_keysym_t)argv[1][0]) {
            code = (xcb_keycode_t)(setup->min_keycode + i);
        }
    }
    if (!code) {
        return 1;
    }
    xcb_generic_error_t* error = xcb_request_check(
        c, xcb_grab_key_checked(c, 1, root, XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL, code,
                                XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    if (error) {
        return 1;
    }
    printf("grabbed\n");
    fflush(stdout);
    for (;;) {
        pause();
    }
}
