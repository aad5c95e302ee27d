/* A window and an event loop that prints key and mouse events.
   Escape or closing the window quits. */
#include <stdio.h>

#include "JEX.h"

int main(void)
{
    if (JEX_VideoInit(NULL) < 0) {
        fprintf(stderr, "Couldn't start video: %s\n", JEX_GetError());
        return 1;
    }
    JEX_Window *window = JEX_CreateWindow("JEX events", JEX_WINDOWPOS_CENTERED,
                                          JEX_WINDOWPOS_CENTERED, 320, 240, JEX_WINDOW_SHOWN);
    if (!window) {
        fprintf(stderr, "Couldn't create window: %s\n", JEX_GetError());
        JEX_VideoQuit();
        return 1;
    }

    int done = 0;
    JEX_Event event;
    while (!done && JEX_WaitEvent(&event)) {
        switch (event.type) {
        case JEX_KEYDOWN:
        case JEX_KEYUP:
            printf("key %s: %s\n", event.type == JEX_KEYDOWN ? "down" : "up",
                   JEX_GetKeyName(event.key.keyinfo.keycode));
            if (event.key.keyinfo.keycode == JEXK_ESCAPE)
                done = 1;
            break;
        case JEX_MOUSEMOTION:
            printf("mouse at %d,%d\n", event.motion.x, event.motion.y);
            break;
        case JEX_MOUSEBUTTONDOWN:
        case JEX_MOUSEBUTTONUP:
            printf("button %d %s at %d,%d\n", event.button.button,
                   event.type == JEX_MOUSEBUTTONDOWN ? "down" : "up", event.button.x,
                   event.button.y);
            break;
        case JEX_QUIT:
            done = 1;
            break;
        }
        fflush(stdout);
    }

    JEX_DestroyWindow(window);
    JEX_VideoQuit();
    return 0;
}
