// Test harness start-up and shutdown.
#include "common.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <strings.h>

namespace {

// "Built-in video drivers: a, b, c" (or audio), or that there are none.
void PrintDrivers(const char *kind, int n, const char *(*name)(int))
{
    if (n <= 0) {
        std::fprintf(stderr, "No built-in %s drivers\n", kind);
        return;
    }
    std::fprintf(stderr, "Built-in %s drivers:", kind);
    for (int i = 0; i < n; ++i)
        std::fprintf(stderr, "%s %s", i > 0 ? "," : "", name(i));
    std::fprintf(stderr, "\n");
}

const char *FormatName(Uint32 format)
{
    static const struct {
        Uint32 code;
        const char *name;
    } kNames[] = {{0, "Unknwon"},
                  {0x81100100, "Index1LSB"},
                  {0x81200100, "Index1MSB"},
                  {0x82100400, "Index4LSB"},
                  {0x82200400, "Index4MSB"},
                  {0x83000801, "Index8"},
                  {0x84110801, "RGB332"},
                  {0x85120C02, "RGB444"},
                  {0x85130F02, "RGB555"},
                  {0x85530F02, "BGR555"},
                  {0x85321002, "ARGB4444"},
                  {0x85721002, "ABGR4444"},
                  {0x85331002, "ARGB1555"},
                  {0x85731002, "ABGR1555"},
                  {0x85151002, "RGB565"},
                  {0x85551002, "BGR565"},
                  {0x87101803, "RGB24"},
                  {0x87401803, "BGR24"},
                  {0x86161804, "RGB888"},
                  {0x86561804, "BGR888"},
                  {0x86362004, "ARGB8888"},
                  {0x86462004, "RGBA8888"},
                  {0x86762004, "ABGR8888"},
                  {0x86862004, "BGRA8888"},
                  {0x86372004, "ARGB2101010"},
                  {0x32315659, "YV12"},
                  {0x56555949, "IYUV"},
                  {0x32595559, "YUY2"},
                  {0x59565955, "UYVY"},
                  {0x55595659, "YVYU"}};
    for (const auto &entry : kNames)
        if (entry.code == format)
            return entry.name;
    return nullptr;
}

void PrintRenderDrivers()
{
    const int n = JEX_GetNumRenderDrivers();
    if (n <= 0) {
        std::fprintf(stderr, "No built-in render drivers\n");
        return;
    }
    std::fprintf(stderr, "Built-in render drivers:\n");
    for (int i = 0; i < n; ++i) {
        JEX_RendererInfo info;
        JEX_GetRenderDriverInfo(i, &info);
        PrintRenderer(&info);
    }
}

int RenderDriverIndex(const char *name)
{
    for (int i = 0; i < JEX_GetNumRenderDrivers(); ++i) {
        JEX_RendererInfo info;
        if (JEX_GetRenderDriverInfo(i, &info) == 0 && strcasecmp(info.name, name) == 0)
            return i;
    }
    return -1;
}

// "<lead>: WxH@RHz, B bits-per-pixel (FORMAT)", then the format's masks indented by two more.
void PrintMode(const char *lead, const JEX_DisplayMode &mode, int indent)
{
    int bpp = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    JEX_PixelFormatEnumToMasks(mode.format, &bpp, &r, &g, &b, &a);
    std::fprintf(stderr, "%*s%s: %dx%d@%dHz, %d bits-per-pixel (%s)\n", indent, "", lead, mode.w,
                 mode.h, mode.refresh_rate, bpp, JEX_GetPixelFormatName(mode.format));
    if (!r && !g && !b)
        return;
    indent += 4;
    std::fprintf(stderr, "%*sRed Mask   = 0x%.8x\n", indent, "", r);
    std::fprintf(stderr, "%*sGreen Mask = 0x%.8x\n", indent, "", g);
    std::fprintf(stderr, "%*sBlue Mask  = 0x%.8x\n", indent, "", b);
    if (a)
        std::fprintf(stderr, "%*sAlpha Mask = 0x%.8x\n", indent, "", a);
}

void PrintModes()
{
    const int displays = JEX_GetNumVideoDisplays();
    std::fprintf(stderr, "Number of displays: %d\n", displays);
    for (int i = 0; i < displays; ++i) {
        std::fprintf(stderr, "Display %d:\n", i);
        JEX_DisplayMode mode{};
        JEX_GetDesktopDisplayMode(i, &mode);
        PrintMode("Current mode", mode, 2);
        const int modes = JEX_GetNumDisplayModes(i);
        if (modes <= 0) {
            std::fprintf(stderr, "No available fullscreen video modes\n");
            continue;
        }
        std::fprintf(stderr, "  Fullscreen video modes:\n");
        for (int j = 0; j < modes; ++j) {
            JEX_GetDisplayMode(i, j, &mode);
            PrintMode(("Mode " + std::to_string(j)).c_str(), mode, 4);
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
        PrintDrivers("video", JEX_GetNumVideoDrivers(), JEX_GetVideoDriver);
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
        PrintRenderDrivers();

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
    state->renderers = static_cast<JEX_Renderer **>(std::calloc(n, sizeof(*state->renderers)));
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
        int index = -1;
        if (state->render_driver) {
            index = RenderDriverIndex(state->render_driver);
            if (index < 0) {
                std::fprintf(stderr, "Couldn't find render driver named %s", state->render_driver);
                return false;
            }
        } else if (state->window_flags & JEX_WINDOW_OPENGL) {
            continue;  // the program draws into it with OpenGL itself
        }
        state->renderers[i] = JEX_CreateRenderer(window, index, state->render_flags);
        if (!state->renderers[i]) {
            std::fprintf(stderr, "Couldn't create renderer: %s\n", JEX_GetError());
            return false;
        }
        if (state->info_flags & INFO_RENDER) {
            JEX_RendererInfo info;
            JEX_GetRendererInfo(state->renderers[i], &info);
            std::fprintf(stderr, "Current renderer:\n");
            PrintRenderer(&info);
        }
    }
    return true;
}

bool InitAudio(CommonState *state)
{
    if (state->info_flags & INFO_AUDIO)
        PrintDrivers("audio", JEX_GetNumAudioDrivers(), JEX_GetAudioDriver);
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

void PrintRenderer(const JEX_RendererInfo *info)
{
    std::fprintf(stderr, "  Renderer %s:\n", info->name);
    std::fprintf(stderr, "    Flags: 0x%8.8X", info->flags);
    std::fprintf(stderr, " (");
    bool first = true;
    for (int bit = 0; bit < 32; ++bit) {
        const Uint32 flag = Uint32(1) << bit;
        if (!(info->flags & flag))
            continue;
        if (!first)
            std::fprintf(stderr, " | ");
        first = false;
        if (flag == JEX_RENDERER_ACCELERATED)
            std::fprintf(stderr, "Accelerated");
        else if (flag == JEX_RENDERER_PRESENTVSYNC)
            std::fprintf(stderr, "PresentVSync");
        else
            std::fprintf(stderr, "0x%8.8x", flag);
    }
    std::fprintf(stderr, ")\n");
    std::fprintf(stderr, "    Texture formats (%d): ", int(info->num_texture_formats));
    for (Uint32 i = 0; i < info->num_texture_formats && i < 16; ++i) {
        if (i > 0)
            std::fprintf(stderr, ", ");
        if (const char *name = FormatName(info->texture_formats[i]))
            std::fprintf(stderr, "%s", name);
        else
            std::fprintf(stderr, "0x%8.8x", info->texture_formats[i]);
    }
    std::fprintf(stderr, "\n");
    if (info->max_texture_width || info->max_texture_height)
        std::fprintf(stderr, "    Max Texture Size: %dx%d\n", info->max_texture_width,
                     info->max_texture_height);
}

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
    // Entries of windows closed through CommonEvent are null already.
    if (state->renderers) {
        for (int i = 0; i < state->num_windows; ++i)
            if (state->renderers[i])
                JEX_DestroyRenderer(state->renderers[i]);
    }
    std::free(state->renderers);
    state->renderers = nullptr;
    if (state->init_flags & JEX_INIT_VIDEO)
        JEX_VideoQuit();
    if (state->init_flags & JEX_INIT_AUDIO)
        JEX_AudioQuit();
    std::free(state);
}

}  // extern "C"
