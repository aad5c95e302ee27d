/* The GL cube program: opens OpenGL windows through the test harness,
   reports what the GL implementation granted, spins a shaded cube in every
   window until asked to stop and prints the frame rate. */
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include <GL/gl.h>

#include "common.h"

static CommonState *state;
static JEX_GLContext context;

/* Every exit after the state exists goes through here so that the library
   is always shut down. */
static void quit(int rc)
{
    if (context)
        JEX_GL_DeleteContext(context);
    CommonQuit(state);
    exit(rc);
}

/* Decimal like atoi, but a value beyond int saturates instead of being
   undefined. */
static int read_int(const char *s)
{
    long v = strtol(s, NULL, 10);
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : (int)v;
}

static void render(void)
{
    static const GLfloat color[8][3] = {
        {1.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f},
        {0.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f},
    };
    static const GLfloat cube[8][3] = {
        {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f},
        {-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f},   {0.5f, -0.5f, 0.5f},   {-0.5f, -0.5f, 0.5f},
    };
    static const int faces[6][4] = {
        {0, 1, 2, 3}, {3, 4, 7, 2}, {0, 5, 6, 1}, {5, 4, 7, 6}, {5, 0, 3, 4}, {6, 1, 2, 7},
    };

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glBegin(GL_QUADS);
    for (int f = 0; f < 6; ++f) {
        for (int v = 0; v < 4; ++v) {
            const int i = faces[f][v];
            glColor3fv(color[i]);
            glVertex3fv(cube[i]);
        }
    }
    glEnd();

    glMatrixMode(GL_MODELVIEW);
    glRotatef(5.0f, 1.0f, 1.0f, 1.0f);
}

static void report(JEX_GLattr attr, const char *name, int requested)
{
    int value = 0;
    if (JEX_GL_GetAttribute(attr, &value) == 0)
        printf("%s: requested %d, got %d\n", name, requested, value);
    else
        printf("Failed to get %s: %s\n", name, JEX_GetError());
}

int main(int argc, char *argv[])
{
    int fsaa = 0;
    int accel = -1;
    (void)argc;

    state = CommonCreateState(argv, JEX_INIT_VIDEO);
    if (!state)
        return 1;
    for (int i = 1; argv[i];) {
        int consumed = CommonArg(state, i);
        if (consumed == 0) {
            if (strcasecmp(argv[i], "--fsaa") == 0) {
                ++fsaa;
                consumed = 1;
            } else if (strcasecmp(argv[i], "--accel") == 0 && argv[i + 1]) {
                accel = read_int(argv[i + 1]);
                consumed = 2;
            } else {
                consumed = -1;
            }
        }
        if (consumed < 0) {
            fprintf(stderr, "Usage: %s %s [--fsaa] [--accel n]\n", argv[0], CommonUsage(state));
            quit(1);
        }
        i += consumed;
    }

    state->window_flags |= JEX_WINDOW_OPENGL;
    state->gl_red_size = 5;
    state->gl_green_size = 5;
    state->gl_blue_size = 5;
    state->gl_depth_size = 16;
    state->gl_double_buffer = 1;
    if (fsaa) {
        state->gl_multisample_buffers = 1;
        state->gl_multisample_samples = fsaa;
    }
    if (accel >= 0)
        state->gl_accelerated = accel;
    if (!CommonInit(state))
        quit(2);

    context = JEX_GL_CreateContext(state->windows[0]);
    if (!context) {
        fprintf(stderr, "JEX_GL_CreateContext(): %s\n", JEX_GetError());
        quit(2);
    }
    JEX_GL_SetSwapInterval((state->render_flags & COMMON_RENDER_PRESENTVSYNC) ? 1 : 0);

    JEX_DisplayMode mode;
    memset(&mode, 0, sizeof(mode));
    JEX_GetCurrentDisplayMode(0, &mode);
    printf("Screen BPP: %d\n", (int)((mode.format >> 8) & 0xFF));
    printf("\n");
    printf("Vendor     : %s\n", (const char *)glGetString(GL_VENDOR));
    printf("Renderer   : %s\n", (const char *)glGetString(GL_RENDERER));
    printf("Version    : %s\n", (const char *)glGetString(GL_VERSION));
    printf("Extensions : %s\n", (const char *)glGetString(GL_EXTENSIONS));
    printf("\n");

    report(JEX_GL_RED_SIZE, "JEX_GL_RED_SIZE", 5);
    report(JEX_GL_GREEN_SIZE, "JEX_GL_GREEN_SIZE", 5);
    report(JEX_GL_BLUE_SIZE, "JEX_GL_BLUE_SIZE", 5);
    report(JEX_GL_DEPTH_SIZE, "JEX_GL_DEPTH_SIZE", 16);
    if (fsaa) {
        report(JEX_GL_MULTISAMPLEBUFFERS, "JEX_GL_MULTISAMPLEBUFFERS", 1);
        report(JEX_GL_MULTISAMPLESAMPLES, "JEX_GL_MULTISAMPLESAMPLES", fsaa);
    }
    if (accel >= 0)
        report(JEX_GL_ACCELERATED_VISUAL, "JEX_GL_ACCELERATED_VISUAL", accel);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2.0, 2.0, -2.0, 2.0, -20.0, 20.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);

    Uint32 frames = 0;
    const Uint32 then = JEX_GetTicks();
    int done = 0;
    while (!done) {
        JEX_Event event;
        ++frames;
        while (JEX_PollEvent(&event))
            CommonEvent(state, &event, &done);
        for (int i = 0; i < state->num_windows; ++i) {
            JEX_Window *window = state->windows[i];
            int w = 0, h = 0;
            /* A window closed by the user is gone; the others keep spinning. */
            if (!window)
                continue;
            JEX_GL_MakeCurrent(window, context);
            JEX_GetWindowSize(window, &w, &h);
            glViewport(0, 0, w, h);
            render();
            JEX_GL_SwapWindow(window);
        }
    }

    const Uint32 now = JEX_GetTicks();
    if (now > then) {
        printf("SPINNING CUBE FRAME RATE (WINDOWED):\n");
        printf("%2.2f frames per second\n", ((double)frames * 1000) / (double)(now - then));
    }
    quit(0);
    return 0;
}
