// A window cleared to a colour with OpenGL; Escape or closing the window
// quits. The GL functions come from the library's loader, so the program
// does not link libGL itself.
#include <cstdio>

#include "JEX.h"

namespace {

constexpr unsigned kColorBufferBit = 0x00004000;  // GL_COLOR_BUFFER_BIT

struct Video {
    bool ok = JEX_VideoInit(nullptr) == 0;
    ~Video() { JEX_VideoQuit(); }
};

}  // namespace

int main()
{
    Video video;
    if (!video.ok) {
        std::fprintf(stderr, "Couldn't start video: %s\n", JEX_GetError());
        return 1;
    }
    JEX_Window *window = JEX_CreateWindow("JEX GL clear", JEX_WINDOWPOS_CENTERED,
                                          JEX_WINDOWPOS_CENTERED, 320, 240, JEX_WINDOW_SHOWN);
    JEX_GLContext context = window ? JEX_GL_CreateContext(window) : nullptr;
    if (!context) {
        std::fprintf(stderr, "Couldn't create a GL window: %s\n", JEX_GetError());
        return 1;
    }

    using ClearColor = void (*)(float, float, float, float);
    using Clear = void (*)(unsigned);
    auto clear_color = reinterpret_cast<ClearColor>(JEX_GL_GetProcAddress("glClearColor"));
    auto clear = reinterpret_cast<Clear>(JEX_GL_GetProcAddress("glClear"));
    if (!clear_color || !clear) {
        std::fprintf(stderr, "The GL library lacks glClear\n");
        JEX_GL_DeleteContext(context);
        return 1;
    }

    bool done = false;
    while (!done) {
        JEX_Event event;
        while (JEX_PollEvent(&event)) {
            if (event.type == JEX_QUIT ||
                (event.type == JEX_KEYDOWN && event.key.keyinfo.keycode == JEXK_ESCAPE))
                done = true;
        }
        clear_color(0.2f, 0.4f, 0.8f, 1.0f);
        clear(kColorBufferBit);
        JEX_GL_SwapWindow(window);
        JEX_Delay(10);
    }

    JEX_GL_DeleteContext(context);
    JEX_DestroyWindow(window);
    return 0;
}
