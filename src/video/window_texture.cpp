// The texture-backed window framebuffer: pixels in memory, uploaded to a
// streaming texture of a hardware renderer and presented on every update.
// It takes the place of the driver's framebuffer slots unless the hints ask
// for the driver's own; a window that gets no hardware renderer falls back
// to the driver's slots when there are any.
#include "video/sysvideo.h"

#include "JEX_error.h"
#include "JEX_hints.h"
#include "JEX_render.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr const char *kDataName = "_JEX_WindowTextureData";
// Where the renderer core publishes a window's renderer: the user's, never
// the framebuffer's own.
constexpr const char *kRendererName = "_JEX_WindowRenderData";

struct WindowTextureData {
    JEX_Renderer *renderer = nullptr;
    JEX_Texture *texture = nullptr;
    void *pixels = nullptr;
    int pitch = 0;
    int bytes_per_pixel = 0;
    int w = 0, h = 0;  // size of texture and pixels, which updates are clipped to
};

WindowTextureData *DataOf(JEX_Window *window)
{
    return static_cast<WindowTextureData *>(JEX_GetWindowData(window, kDataName));
}

// Sets the user's renderer aside for the life of the scope, so that the
// framebuffer's renderer can be made (the core allows one per window)
// without taking the user's place: JEX_GetRenderer, a later
// JEX_CreateRenderer and the user's JEX_DestroyRenderer never see it.
class UserRendererAside {
public:
    explicit UserRendererAside(JEX_Window *window)
        : window_(window), user_(JEX_SetWindowData(window, kRendererName, nullptr))
    {}
    // Restoring a null entry removes the one the framebuffer's renderer made.
    ~UserRendererAside() { JEX_SetWindowData(window_, kRendererName, user_); }
    UserRendererAside(const UserRendererAside &) = delete;
    UserRendererAside &operator=(const UserRendererAside &) = delete;

private:
    JEX_Window *window_;
    void *user_;
};

JEX_Renderer *TryRenderer(JEX_Window *window, int index)
{
    UserRendererAside aside(window);
    return JEX_CreateRenderer(window, index, 0);
}

// A hint naming a render driver is tried first; then every driver that is
// not the software one, which would draw into this very framebuffer.
JEX_Renderer *ChooseRenderer(JEX_Window *window)
{
    const int count = JEX_GetNumRenderDrivers();
    JEX_RendererInfo info;
    const char *hint = JEX_GetHint("JEX_FRAMEBUFFER_ACCELERATION");
    if (hint && *hint && *hint != '0' && *hint != '1' && strcasecmp(hint, "software") != 0) {
        for (int i = 0; i < count; ++i) {
            if (JEX_GetRenderDriverInfo(i, &info) == 0 && strcasecmp(info.name, hint) == 0) {
                if (JEX_Renderer *renderer = TryRenderer(window, i))
                    return renderer;
                break;
            }
        }
    }
    for (int i = 0; i < count; ++i) {
        if (JEX_GetRenderDriverInfo(i, &info) == 0 && std::strcmp(info.name, "software") != 0) {
            if (JEX_Renderer *renderer = TryRenderer(window, i))
                return renderer;
        }
    }
    return nullptr;
}

// The first listed format that is neither FOURCC nor carries alpha (the
// window has none to show), else the renderer's first.
Uint32 ChooseFormat(const JEX_RendererInfo &info)
{
    for (Uint32 i = 0; i < info.num_texture_formats && i < 16; ++i) {
        const Uint32 format = info.texture_formats[i];
        if (format != 0 && !JEX_ISPIXELFORMAT_FOURCC(format) && !JEX_ISPIXELFORMAT_ALPHA(format))
            return format;
    }
    return info.texture_formats[0];
}

// Cleared as they go, so that a failure of the next create cannot free
// them again.
void ReleaseTexture(WindowTextureData *data)
{
    if (data->texture)
        JEX_DestroyTexture(data->texture);
    data->texture = nullptr;
    std::free(data->pixels);
    data->pixels = nullptr;
}

// The driver's own framebuffer for a window that got no hardware renderer;
// without one the renderer's error stands.
int CreateDriverFramebuffer(JEX_VideoDevice *device, JEX_Window *window, Uint32 *format,
                            void **pixels, int *pitch)
{
    const JEX_FramebufferOps &ops = device->driver_framebuffer;
    if (!ops.Create || !ops.Update || ops.Create(device, window, format, pixels, pitch) < 0)
        return -1;
    window->framebuffer_by_driver = 1;
    return 0;
}

// The window's record, made with a renderer on first use; null with the
// error set when there is no renderer or no memory.
WindowTextureData *MakeData(JEX_Window *window, JEX_Renderer *renderer)
{
    auto *data = new (std::nothrow) WindowTextureData;
    if (data) {
        data->renderer = renderer;
        JEX_SetWindowData(window, kDataName, data);
        if (DataOf(window) == data)
            return data;
        delete data;
    }
    JEX_DestroyRenderer(renderer);
    JEX_OutOfMemory();
    return nullptr;
}

}  // namespace

extern "C" {

int JEX_WindowTexturePitch(Uint32 format, int w)
{
    return (int(JEX_BYTESPERPIXEL(format)) * w + 3) & ~3;
}

int JEX_CreateWindowTexture(JEX_VideoDevice *device, JEX_Window *window, Uint32 *format,
                            void **pixels, int *pitch)
{
    if (window->framebuffer_by_driver)
        return device->driver_framebuffer.Create(device, window, format, pixels, pitch);
    WindowTextureData *data = DataOf(window);
    if (!data) {
        JEX_Renderer *renderer = ChooseRenderer(window);
        if (!renderer)
            return CreateDriverFramebuffer(device, window, format, pixels, pitch);
        if (!(data = MakeData(window, renderer)))
            return -1;
    }
    ReleaseTexture(data);

    JEX_RendererInfo info;
    if (JEX_GetRendererInfo(data->renderer, &info) < 0)
        return -1;
    const Uint32 texture_format = ChooseFormat(info);
    data->texture = JEX_CreateTexture(data->renderer, texture_format, JEX_TEXTUREACCESS_STREAMING,
                                      window->w, window->h);
    if (!data->texture)
        return -1;
    data->bytes_per_pixel = int(JEX_BYTESPERPIXEL(texture_format));
    data->pitch = JEX_WindowTexturePitch(texture_format, window->w);
    data->w = window->w;
    data->h = window->h;
    data->pixels = std::malloc(size_t(data->pitch) * size_t(window->h));
    if (!data->pixels) {
        ReleaseTexture(data);
        JEX_OutOfMemory();
        return -1;
    }
    *format = texture_format;
    *pixels = data->pixels;
    *pitch = data->pitch;
    JEX_RenderSetViewport(data->renderer, nullptr);
    return 0;
}

int JEX_UpdateWindowTexture(JEX_VideoDevice *device, JEX_Window *window, const JEX_Rect *rects,
                            int numrects)
{
    if (window->framebuffer_by_driver)
        return device->driver_framebuffer.Update(device, window, rects, numrects);
    WindowTextureData *data = DataOf(window);
    if (!data || !data->texture) {
        JEX_SetError("No window texture data");
        return -1;
    }
    // Whole rows are uploaded, clipped to the rows the texture has; the
    // whole texture is then presented.
    JEX_Rect span;
    if (!JEX_GetSpanEnclosingRect(data->w, data->h, numrects, rects, &span))
        return 0;
    const auto *src = static_cast<const Uint8 *>(data->pixels) + size_t(span.y) * data->pitch;
    if (JEX_UpdateTexture(data->texture, &span, src, data->pitch) < 0 ||
        JEX_RenderCopy(data->renderer, data->texture, nullptr, nullptr) < 0)
        return -1;
    JEX_RenderPresent(data->renderer);
    return 0;
}

void JEX_DestroyWindowTexture(JEX_VideoDevice *device, JEX_Window *window)
{
    if (window->framebuffer_by_driver) {
        window->framebuffer_by_driver = 0;
        if (device->driver_framebuffer.Destroy)
            device->driver_framebuffer.Destroy(device, window);
    }
    auto *data = static_cast<WindowTextureData *>(JEX_SetWindowData(window, kDataName, nullptr));
    if (!data)
        return;
    ReleaseTexture(data);
    // The core detaches a renderer only from the entry it holds itself, so
    // the user's renderer stays attached.
    JEX_DestroyRenderer(data->renderer);
    delete data;
}

void JEX_ChooseWindowFramebuffer(JEX_VideoDevice *device)
{
    device->driver_framebuffer = {device->CreateWindowFramebuffer, device->UpdateWindowFramebuffer,
                                  device->DestroyWindowFramebuffer};
    if (device->CreateWindowFramebuffer) {
        const char *render = JEX_GetHint("JEX_RENDER_DRIVER");
        const char *accel = JEX_GetHint("JEX_FRAMEBUFFER_ACCELERATION");
        if ((render && strcasecmp(render, "software") == 0) || (accel && *accel == '0'))
            return;
    }
    device->CreateWindowFramebuffer = JEX_CreateWindowTexture;
    device->UpdateWindowFramebuffer = JEX_UpdateWindowTexture;
    device->DestroyWindowFramebuffer = JEX_DestroyWindowTexture;
}

}  // extern "C"
