/* A harness program for the end-to-end checks: the harness opens a 200x150
   window titled "JEX scene" with a software renderer and handles the hot keys
   (Print Screen saves screenshot.bmp); the renderer draws a still scene, a grid
   of distinct colours, until Escape. */
#include "common.h"

static void Draw(JEX_Renderer *renderer)
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
    (void)argc;
    CommonState *state = CommonCreateState(argv, JEX_INIT_VIDEO);
    if (!state)
        return 1;
    state->render_driver = "software";
    state->window_title = "JEX scene";
    state->window_w = 200;
    state->window_h = 150;
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
                Draw(state->renderers[i]);
        JEX_Delay(10);
    }
    CommonQuit(state);
    return 0;
}
