/* A harness program for the end-to-end checks: the harness opens the
   windows and their renderers and handles the hot keys (Print Screen saves
   screenshot.bmp); every renderer draws the same still scene, a grid of
   distinct colours, until Escape. */
#include <stdio.h>

#include "common.h"

static void draw(JEX_Renderer *renderer)
{
    JEX_Rect viewport;
    JEX_RenderGetViewport(renderer, &viewport);
    JEX_SetRenderDrawColor(renderer, 20, 30, 40, 255);
    JEX_RenderClear(renderer);
    for (int i = 0; i < 48; ++i) {
        const JEX_Rect cell = {i % 8 * viewport.w / 8, i / 8 * viewport.h / 6, viewport.w / 16,
                               viewport.h / 12 + i % 3};
        JEX_SetRenderDrawColor(renderer, (Uint8)(i * 5), (Uint8)(255 - i * 3), (Uint8)(i * 37),
                               255);
        JEX_RenderFillRect(renderer, &cell);
    }
    JEX_RenderPresent(renderer);
}

int main(int argc, char **argv)
{
    CommonState *state = CommonCreateState(argv, JEX_INIT_VIDEO);
    if (!state)
        return 1;
    for (int i = 1; i < argc;) {
        const int consumed = CommonArg(state, i);
        if (consumed <= 0) {
            fprintf(stderr, "Usage: %s %s\n", argv[0], CommonUsage(state));
            CommonQuit(state);
            return 1;
        }
        i += consumed;
    }
    if (!CommonInit(state)) {
        CommonQuit(state);
        return 2;
    }
    int done = 0;
    while (!done) {
        JEX_Event event;
        while (JEX_PollEvent(&event))
            CommonEvent(state, &event, &done);
        for (int i = 0; i < state->num_windows; ++i)
            if (state->renderers[i])
                draw(state->renderers[i]);
        JEX_Delay(10);
    }
    CommonQuit(state);
    return 0;
}
