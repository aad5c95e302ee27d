// Test harness start-up and shutdown.
#include "common.h"

#include <cstdio>
#include <cstdlib>

namespace {

void PrintVideoDrivers()
{
    const int n = JEX_GetNumVideoDrivers();
    if (n <= 0) {
        std::fprintf(stderr, "No built-in video drivers\n");
        return;
    }
    std::fprintf(stderr, "Built-in video drivers:");
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            std::fprintf(stderr, ",");
        std::fprintf(stderr, " %s", JEX_GetVideoDriver(i));
    }
    std::fprintf(stderr, "\n");
}

void PrintMasks(const char *indent, Uint32 r, Uint32 g, Uint32 b, Uint32 a)
{
    if (!r && !g && !b)
        return;
    std::fprintf(stderr, "%sRed Mask   = 0x%.8x\n", indent, r);
    std::fprintf(stderr, "%sGreen Mask = 0x%.8x\n", indent, g);
    std::fprintf(stderr, "%sBlue Mask  = 0x%.8x\n", indent, b);
    if (a)
        std::fprintf(stderr, "%sAlpha Mask = 0x%.8x\n", indent, a);
}

void PrintModes()
{
    const int displays = JEX_GetNumVideoDisplays();
    std::fprintf(stderr, "Number of displays: %d\n", displays);
    for (int i = 0; i < displays; ++i) {
        std::fprintf(stderr, "Display %d:\n", i);
        JEX_DisplayMode mode{};
        int bpp = 0;
        Uint32 r = 0, g = 0, b = 0, a = 0;
        JEX_GetDesktopDisplayMode(i, &mode);
        JEX_PixelFormatEnumToMasks(mode.format, &bpp, &r, &g, &b, &a);
        std::fprintf(stderr, "  Current mode: %dx%d@%dHz, %d bits-per-pixel (%s)\n", mode.w, mode.h,
                     mode.refresh_rate, bpp, JEX_GetPixelFormatName(mode.format));
        PrintMasks("      ", r, g, b, a);

        const int modes = JEX_GetNumDisplayModes(i);
        if (modes <= 0) {
            std::fprintf(stderr, "No available fullscreen video modes\n");
            continue;
        }
        std::fprintf(stderr, "  Fullscreen video modes:\n");
        for (int j = 0; j < modes; ++j) {
            JEX_GetDisplayMode(i, j, &mode);
            bpp = 0;
            r = g = b = a = 0;
            JEX_PixelFormatEnumToMasks(mode.format, &bpp, &r, &g, &b, &a);
            std::fprintf(stderr, "    Mode %d: %dx%d@%dHz, %d bits-per-pixel (%s)\n", j, mode.w,
                         mode.h, mode.refresh_rate, bpp, JEX_GetPixelFormatName(mode.format));
            PrintMasks("        ", r, g, b, a);
        }
    }
}

Uint32 FullscreenFormat(int depth)
{
    switch (depth) {
    case 8: return JEX_PIXELFORMAT_INDEX8;
    case 15: return JEX_PIXELFORMAT_RGB555;
    case 16: return JEX_PIXELFORMAT_RGB565;
    case 24: return JEX_PIXELFORMAT_RGB24;
    default: return JEX_PIXELFORMAT_RGB888;
    }
}

// A missing or palette-less icon is reported and skipped, never fatal.
void SetIcon(JEX_Window *window, const char *file)
{
    JEX_Surface *icon = JEX_LoadBMP_RW(JEX_RWFromFile(file, "rb"), 1);
    if (!icon) {
        std::fprintf(stderr, "Couldn't load %s: %s\n", file, JEX_GetError());
        return;
    }
    if (!icon->format->palette) {
        std::fprintf(stderr, "Icon must have a palette!\n");
        JEX_FreeSurface(icon);
        return;
    }
    // The first pixel's colour is the background to cut away.
    if (icon->pixels)
        JEX_SetColorKey(icon, 1, *static_cast<const Uint8 *>(icon->pixels));
    JEX_SetWindowIcon(window, icon);
    JEX_FreeSurface(icon);
}

bool InitVideo(CommonState *state)
{
    if (state->info_flags & INFO_VIDEO)
        PrintVideoDrivers();
    if (JEX_VideoInit(state->video_driver) < 0) {
        std::fprintf(stderr, "Couldn't initialize video driver: %s\n", JEX_GetError());
        return false;
    }
    if (state->info_flags & INFO_VIDEO)
        std::fprintf(stderr, "Video driver: %s\n", JEX_GetCurrentVideoDriver());

    JEX_GL_SetAttribute(JEX_GL_RED_SIZE, state->gl_red_size);
    JEX_GL_SetAttribute(JEX_GL_GREEN_SIZE, state->gl_green_size);
    JEX_GL_SetAttribute(JEX_GL_BLUE_SIZE, state->gl_blue_size);
    JEX_GL_SetAttribute(JEX_GL_ALPHA_SIZE, state->gl_alpha_size);
    JEX_GL_SetAttribute(JEX_GL_DOUBLEBUFFER, state->gl_double_buffer);
    JEX_GL_SetAttribute(JEX_GL_BUFFER_SIZE, state->gl_buffer_size);
    JEX_GL_SetAttribute(JEX_GL_DEPTH_SIZE, state->gl_depth_size);
    JEX_GL_SetAttribute(JEX_GL_STENCIL_SIZE, state->gl_stencil_size);
    JEX_GL_SetAttribute(JEX_GL_ACCUM_RED_SIZE, state->gl_accum_red_size);
    JEX_GL_SetAttribute(JEX_GL_ACCUM_GREEN_SIZE, state->gl_accum_green_size);
    JEX_GL_SetAttribute(JEX_GL_ACCUM_BLUE_SIZE, state->gl_accum_blue_size);
    JEX_GL_SetAttribute(JEX_GL_ACCUM_ALPHA_SIZE, state->gl_accum_alpha_size);
    JEX_GL_SetAttribute(JEX_GL_STEREO, state->gl_stereo);
    JEX_GL_SetAttribute(JEX_GL_MULTISAMPLEBUFFERS, state->gl_multisample_buffers);
    JEX_GL_SetAttribute(JEX_GL_MULTISAMPLESAMPLES, state->gl_multisample_samples);
    if (state->gl_accelerated >= 0)
        JEX_GL_SetAttribute(JEX_GL_ACCELERATED_VISUAL, state->gl_accelerated);
    JEX_GL_SetAttribute(JEX_GL_RETAINED_BACKING, state->gl_retained_backing);
    if (state->gl_major_version) {
        JEX_GL_SetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, state->gl_major_version);
        JEX_GL_SetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, state->gl_minor_version);
    }

    if (state->info_flags & INFO_MODES)
        PrintModes();
    if (state->info_flags & INFO_RENDER)
        std::fprintf(stderr, "No built-in render drivers\n");

    JEX_DisplayMode fullscreen_mode{};
    fullscreen_mode.format = FullscreenFormat(state->depth);
    fullscreen_mode.refresh_rate = state->refresh_rate;

    // A count below one never gets here (the option parser rejects it), but
    // a program may set num_windows itself.
    if (state->num_windows < 1) {
        JEX_SetError("Parameter '%s' is invalid", "num_windows");
        std::fprintf(stderr, "Couldn't create window: %s\n", JEX_GetError());
        return false;
    }
    const size_t n = static_cast<size_t>(state->num_windows);
    state->windows = static_cast<JEX_Window **>(std::calloc(n, sizeof(*state->windows)));
    state->renderers = static_cast<void **>(std::calloc(n, sizeof(*state->renderers)));
    if (!state->windows || !state->renderers) {
        std::fprintf(stderr, "Out of memory!\n");
        return false;
    }

    for (int i = 0; i < state->num_windows; ++i) {
        char title[1024];
        if (state->num_windows > 1)
            std::snprintf(title, sizeof(title), "%s %d", state->window_title, i + 1);
        else
            std::snprintf(title, sizeof(title), "%s", state->window_title);
        JEX_Window *window =
            JEX_CreateWindow(title, state->window_x, state->window_y, state->window_w,
                             state->window_h, state->window_flags);
        state->windows[i] = window;
        if (!window) {
            std::fprintf(stderr, "Couldn't create window: %s\n", JEX_GetError());
            return false;
        }
        JEX_GetWindowSize(window, &state->window_w, &state->window_h);

        if (JEX_SetWindowDisplayMode(window, &fullscreen_mode) < 0) {
            std::fprintf(stderr, "Can't set up fullscreen display mode: %s\n", JEX_GetError());
            return false;
        }
        if (state->window_icon)
            SetIcon(window, state->window_icon);
        JEX_ShowWindow(window);

        state->renderers[i] = nullptr;
        if (state->no_renderer)
            continue;
        if (state->render_driver) {
            // The library has no render drivers, so no name can match.
            std::fprintf(stderr, "Couldn't find render driver named %s", state->render_driver);
            return false;
        }
        // OpenGL windows are drawn by the program itself; any other window
        // needs the first suitable render driver, and the library has none.
        if (!(state->window_flags & JEX_WINDOW_OPENGL)) {
            JEX_SetError("No render driver available");
            std::fprintf(stderr, "Couldn't create renderer: %s\n", JEX_GetError());
            return false;
        }
    }
    return true;
}

void PrintAudioDrivers()
{
    const int n = JEX_GetNumAudioDrivers();
    if (n <= 0) {
        std::fprintf(stderr, "No built-in audio drivers\n");
        return;
    }
    std::fprintf(stderr, "Built-in audio drivers:");
    for (int i = 0; i < n; ++i) {
        if (i > 0)
            std::fprintf(stderr, ",");
        std::fprintf(stderr, " %s", JEX_GetAudioDriver(i));
    }
    std::fprintf(stderr, "\n");
}

bool InitAudio(CommonState *state)
{
    if (state->info_flags & INFO_AUDIO)
        PrintAudioDrivers();
    if (JEX_AudioInit(state->audio_driver) < 0) {
        std::fprintf(stderr, "Couldn't initialize audio driver: %s\n", JEX_GetError());
        return false;
    }
    if (state->info_flags & INFO_VIDEO)
        std::fprintf(stderr, "Audio driver: %s\n", JEX_GetCurrentAudioDriver());
    if (JEX_OpenAudio(&state->audio_spec, nullptr) < 0) {
        std::fprintf(stderr, "Couldn't open audio: %s\n", JEX_GetError());
        return false;
    }
    return true;
}

}  // namespace

extern "C" {

int CommonInit(CommonState *state)
{
    if ((state->init_flags & JEX_INIT_VIDEO) && !InitVideo(state))
        return 0;
    if ((state->init_flags & JEX_INIT_AUDIO) && !InitAudio(state))
        return 0;
    return 1;
}

void CommonQuit(CommonState *state)
{
    if (!state)
        return;
    // The windows themselves go with the video shutdown.
    std::free(state->windows);
    state->windows = nullptr;
    // No renderer was ever made (there is no render driver); the array is
    // still the state's to free.
    std::free(state->renderers);
    state->renderers = nullptr;
    if (state->init_flags & JEX_INIT_VIDEO)
        JEX_VideoQuit();
    if (state->init_flags & JEX_INIT_AUDIO)
        JEX_AudioQuit();
    std::free(state);
}

}  // extern "C"
