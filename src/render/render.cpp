// The driver-independent renderer layer: driver choice, handle checks,
// textures with format-converting backings, the draw state, clipping of
// copies and reads, and destruction order.
#include "render/render_internal.h"
#include "render/sysrender.h"
#include "render/yuv_sw.h"
#include "video/sysvideo.h"

#include "JEX_error.h"
#include "JEX_hints.h"
#include "JEX_log.h"
#include "JEX_pixels.h"
#include "JEX_rect.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>
#include <unordered_set>

namespace {

const Uint8 renderer_magic = 0;
const Uint8 texture_magic = 0;

constexpr char kRenderData[] = "_JEX_WindowRenderData";

const JEX_RenderDriver *const kDrivers[] = {&GL_RenderDriver, &SW_RenderDriver};
constexpr int kNumDrivers = int(sizeof(kDrivers) / sizeof(kDrivers[0]));

// Every live renderer and texture. A handle is looked up here before
// anything is read through it, so a destroyed or foreign pointer is refused
// without touching freed memory. Used on the application's thread only:
// the renderer event watch reacts to window events, which the event pump
// posts on that thread.
struct RenderState {
    std::unordered_set<const void *> live;
};
RenderState g_render;

bool Register(const void *handle)
{
    try {
        g_render.live.insert(handle);
        return true;
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return false;
    }
}

bool IsLive(const void *handle)
{
    return handle && g_render.live.count(handle) != 0;
}

bool ValidRenderer(const JEX_Renderer *renderer)
{
    if (!IsLive(renderer) || renderer->magic != &renderer_magic) {
        JEX_SetError("Invalid renderer");
        return false;
    }
    return true;
}

bool ValidTexture(const JEX_Texture *texture)
{
    if (!IsLive(texture) || texture->magic != &texture_magic) {
        JEX_SetError("Invalid texture");
        return false;
    }
    return true;
}

bool LiveWindow(JEX_Window *window)
{
    if (!window || !JEX_IsLiveWindow(JEX_GetVideoDevice(), window)) {
        JEX_SetError("Invalid window");
        return false;
    }
    return true;
}

bool HasAlpha(Uint32 format)
{
    if (JEX_ISPIXELFORMAT_FOURCC(format))
        return false;
    const Uint32 order = JEX_PIXELORDER(format);
    return order == 3 || order == 4 || order == 7 || order == 8;
}

bool IsSupported(const JEX_Renderer *renderer, Uint32 format)
{
    for (Uint32 i = 0; i < renderer->info.num_texture_formats && i < 16; ++i)
        if (renderer->info.texture_formats[i] == format)
            return true;
    return false;
}

// Rows of w pixels padded to 4 bytes, refused when they overflow an int.
bool PaddedPitch(Uint32 format, int w, int *pitch)
{
    const Sint64 bytes = (Sint64(JEX_TextureBytesPerPixel(format)) * w + 3) & ~Sint64(3);
    if (bytes > INT_MAX) {
        JEX_OutOfMemory();
        return false;
    }
    *pitch = int(bytes);
    return true;
}

void *AllocRows(int pitch, int h)
{
    void *block = std::calloc(size_t(h), size_t(pitch));
    if (!block)
        JEX_OutOfMemory();
    return block;
}

// The rectangle of an update or lock: null means the whole texture, and a
// given one must lie inside it.
bool TextureRect(const JEX_Texture *texture, const JEX_Rect *rect, JEX_Rect *out)
{
    if (!rect) {
        *out = {0, 0, texture->w, texture->h};
        return true;
    }
    if (rect->x < 0 || rect->y < 0 || rect->w < 0 || rect->h < 0 ||
        Sint64(rect->x) + rect->w > texture->w || Sint64(rect->y) + rect->h > texture->h) {
        JEX_SetError("Rectangle %d,%d %dx%d is outside the %dx%d texture", rect->x, rect->y,
                     rect->w, rect->h, texture->w, texture->h);
        return false;
    }
    *out = *rect;
    return true;
}

Uint8 *PixelAt(void *pixels, int pitch, Uint32 format, int x, int y)
{
    return static_cast<Uint8 *>(pixels) + ptrdiff_t(y) * pitch +
           ptrdiff_t(x) * JEX_TextureBytesPerPixel(format);
}

void Unlink(JEX_Texture *texture)
{
    if (texture->next)
        texture->next->prev = texture->prev;
    if (texture->prev)
        texture->prev->next = texture->next;
    else
        texture->renderer->textures = texture->next;
    texture->prev = texture->next = nullptr;
}

void LinkAfter(JEX_Texture *anchor, JEX_Texture *texture)
{
    texture->prev = anchor;
    texture->next = anchor->next;
    if (anchor->next)
        anchor->next->prev = texture;
    anchor->next = texture;
}

void DestroyTextureRecord(JEX_Texture *texture)
{
    JEX_Renderer *renderer = texture->renderer;
    texture->magic = nullptr;
    g_render.live.erase(texture);
    Unlink(texture);
    if (IsLive(texture->native))
        DestroyTextureRecord(texture->native);
    std::free(texture->pixels);
    JEX_SW_DestroyYUVTexture(texture->yuv);
    renderer->DestroyTexture(renderer, texture);
    std::free(texture);
}

// Converts a rectangle of a wrapper's memory copy into its backing.
int PushToBacking(JEX_Texture *texture, const JEX_Rect &rect)
{
    if (rect.w <= 0 || rect.h <= 0)
        return 0;
    void *dst;
    int dst_pitch;
    if (JEX_LockTexture(texture->native, &rect, &dst, &dst_pitch) < 0)
        return -1;
    const int rc =
        JEX_ConvertPixels(rect.w, rect.h, texture->format,
                          PixelAt(texture->pixels, texture->pitch, texture->format, rect.x, rect.y),
                          texture->pitch, texture->native->format, dst, dst_pitch);
    JEX_UnlockTexture(texture->native);
    return rc < 0 ? -1 : 0;
}

// Converts the whole YUV image of a wrapper into its backing.
int PushYUVToBacking(JEX_Texture *texture)
{
    JEX_Texture *native = texture->native;
    const JEX_Rect whole{0, 0, texture->w, texture->h};
    void *dst;
    int dst_pitch;
    if (native->access == JEX_TEXTUREACCESS_STREAMING) {
        if (JEX_LockTexture(native, &whole, &dst, &dst_pitch) < 0)
            return -1;
        const int rc = JEX_SW_CopyYUVToRGB(texture->yuv, &whole, native->format, texture->w,
                                           texture->h, dst, dst_pitch);
        JEX_UnlockTexture(native);
        return rc < 0 ? -1 : 0;
    }
    if (!PaddedPitch(native->format, texture->w, &dst_pitch) ||
        !(dst = AllocRows(dst_pitch, texture->h)))
        return -1;
    int rc = JEX_SW_CopyYUVToRGB(texture->yuv, &whole, native->format, texture->w, texture->h, dst,
                                 dst_pitch);
    if (rc >= 0)
        rc = JEX_UpdateTexture(native, &whole, dst, dst_pitch);
    std::free(dst);
    return rc < 0 ? -1 : 0;
}

int RendererEventWatch(void *userdata, JEX_Event *event)
{
    auto *renderer = static_cast<JEX_Renderer *>(userdata);
    if (event->type != JEX_WINDOWEVENT ||
        JEX_GetWindowFromID(event->window.window_id) != renderer->window)
        return 0;
    if (renderer->WindowEvent)
        renderer->WindowEvent(renderer, &event->window);
    if (event->window.event == JEX_WINDOWEVENT_SIZE_CHANGED) {
        int w, h;
        JEX_GetWindowSize(renderer->window, &w, &h);
        renderer->viewport.x = (w - renderer->viewport.w) / 2;
        renderer->viewport.y = (h - renderer->viewport.h) / 2;
        renderer->UpdateViewport(renderer);
    }
    return 0;
}

JEX_Renderer *FinishRenderer(JEX_Renderer *renderer, JEX_Window *window)
{
    renderer->window = window;
    renderer->magic = &renderer_magic;
    if (!Register(renderer)) {
        renderer->DestroyRenderer(renderer);
        return nullptr;
    }
    if (window && !JEX_SetWindowData(window, kRenderData, renderer)) {
        // A null result with no entry before means the entry was not made.
        if (JEX_GetWindowData(window, kRenderData) != renderer) {
            g_render.live.erase(renderer);
            renderer->DestroyRenderer(renderer);
            return nullptr;
        }
    }
    JEX_RenderSetViewport(renderer, nullptr);
    if (window) {
        JEX_AddEventWatch(RendererEventWatch, renderer);
        JEX_LogInfo(JEX_LOG_CATEGORY_RENDER, "Created renderer: %s", renderer->info.name);
    }
    return renderer;
}

}  // namespace

int JEX_TextureBytesPerPixel(Uint32 format)
{
    return int(JEX_BYTESPERPIXEL(format));
}

int JEX_GetNumRenderDrivers(void)
{
    return kNumDrivers;
}

int JEX_GetRenderDriverInfo(int index, JEX_RendererInfo *info)
{
    if (index < 0 || index >= kNumDrivers) {
        JEX_SetError("index must be in the range of 0 - %d", kNumDrivers - 1);
        return -1;
    }
    if (!info) {
        JEX_SetError("Parameter '%s' is invalid", "info");
        return -1;
    }
    *info = kDrivers[index]->info;
    return 0;
}

JEX_Renderer *JEX_CreateRenderer(JEX_Window *window, int index, Uint32 flags)
{
    if (!LiveWindow(window))
        return nullptr;
    if (JEX_GetWindowData(window, kRenderData)) {
        JEX_SetError("Renderer already associated with window");
        return nullptr;
    }
    if (const char *vsync = JEX_GetHint(JEX_HINT_RENDER_VSYNC)) {
        if (vsync[0] == '0')
            flags &= ~Uint32(JEX_RENDERER_PRESENTVSYNC);
        else
            flags |= JEX_RENDERER_PRESENTVSYNC;
    }
    JEX_Renderer *renderer = nullptr;
    if (index >= 0) {
        if (index >= kNumDrivers) {
            JEX_SetError("index must be -1 or in the range of 0 - %d", kNumDrivers - 1);
            return nullptr;
        }
        renderer = kDrivers[index]->CreateRenderer(window, flags);
        if (!renderer)
            return nullptr;
    } else {
        if (const char *hint = JEX_GetHint(JEX_HINT_RENDER_DRIVER)) {
            for (const JEX_RenderDriver *driver : kDrivers) {
                if (strcasecmp(hint, driver->info.name) == 0) {
                    renderer = driver->CreateRenderer(window, flags);
                    break;
                }
            }
        }
        for (int i = 0; !renderer && i < kNumDrivers; ++i)
            if ((kDrivers[i]->info.flags & flags) == flags)
                renderer = kDrivers[i]->CreateRenderer(window, flags);
        if (!renderer) {
            JEX_SetError("Couldn't find matching render driver");
            return nullptr;
        }
    }
    return FinishRenderer(renderer, window);
}

JEX_Renderer *JEX_CreateSoftwareRenderer(JEX_Surface *surface)
{
    JEX_Renderer *renderer = SW_CreateRendererForSurface(surface);
    return renderer ? FinishRenderer(renderer, nullptr) : nullptr;
}

JEX_Renderer *JEX_GetRenderer(JEX_Window *window)
{
    if (!LiveWindow(window))
        return nullptr;
    return static_cast<JEX_Renderer *>(JEX_GetWindowData(window, kRenderData));
}

int JEX_GetRendererInfo(JEX_Renderer *renderer, JEX_RendererInfo *info)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (!info) {
        JEX_SetError("Parameter '%s' is invalid", "info");
        return -1;
    }
    *info = renderer->info;
    return 0;
}

JEX_Texture *JEX_CreateTexture(JEX_Renderer *renderer, Uint32 format, int access, int w, int h)
{
    if (!ValidRenderer(renderer))
        return nullptr;
    if (format == 0)
        format = renderer->info.texture_formats[0];
    if (JEX_ISPIXELFORMAT_INDEXED(format)) {
        JEX_SetError("Palettized textures are not supported");
        return nullptr;
    }
    if (w < 1 || h < 1) {
        JEX_SetError("Texture dimensions can't be 0");
        return nullptr;
    }
    auto *texture = static_cast<JEX_Texture *>(std::calloc(1, sizeof(JEX_Texture)));
    if (!texture) {
        JEX_OutOfMemory();
        return nullptr;
    }
    if (!Register(texture)) {
        std::free(texture);
        return nullptr;
    }
    texture->magic = &texture_magic;
    texture->format = format;
    texture->access = access;
    texture->w = w;
    texture->h = h;
    texture->r = texture->g = texture->b = texture->a = 255;
    texture->renderer = renderer;
    texture->next = renderer->textures;
    if (renderer->textures)
        renderer->textures->prev = texture;
    renderer->textures = texture;

    if (IsSupported(renderer, format)) {
        if (renderer->CreateTexture(renderer, texture) < 0) {
            DestroyTextureRecord(texture);
            return nullptr;
        }
        return texture;
    }

    Uint32 chosen = renderer->info.texture_formats[0];
    for (Uint32 i = 0; i < renderer->info.num_texture_formats && i < 16; ++i) {
        const Uint32 candidate = renderer->info.texture_formats[i];
        if (!JEX_ISPIXELFORMAT_FOURCC(candidate) && HasAlpha(candidate) == HasAlpha(format)) {
            chosen = candidate;
            break;
        }
    }
    texture->native = JEX_CreateTexture(renderer, chosen, access, w, h);
    if (!texture->native) {
        DestroyTextureRecord(texture);
        return nullptr;
    }
    // The backing sits behind its wrapper, so destroying the list from its
    // head reaches the wrapper first, which takes the backing with it.
    Unlink(texture->native);
    LinkAfter(texture, texture->native);
    if (JEX_ISPIXELFORMAT_FOURCC(format)) {
        // The driver holds RGB only: the YUV image lives here, converted on change.
        if (!(texture->yuv = JEX_SW_CreateYUVTexture(format, w, h))) {
            DestroyTextureRecord(texture);
            return nullptr;
        }
    } else if (access == JEX_TEXTUREACCESS_STREAMING) {
        if (!PaddedPitch(format, w, &texture->pitch) ||
            !(texture->pixels = AllocRows(texture->pitch, h))) {
            DestroyTextureRecord(texture);
            return nullptr;
        }
    }
    return texture;
}

JEX_Texture *JEX_CreateTextureFromSurface(JEX_Renderer *renderer, JEX_Surface *surface)
{
    if (!ValidRenderer(renderer))
        return nullptr;
    if (!surface) {
        JEX_SetError("JEX_CreateTextureFromSurface() passed NULL surface");
        return nullptr;
    }
    Uint32 key;
    const bool keyed = JEX_GetColorKey(surface, &key) == 0;
    const bool needs_alpha = surface->format->amask != 0 || keyed;
    Uint32 format = renderer->info.texture_formats[0];
    for (Uint32 i = 0; i < renderer->info.num_texture_formats && i < 16; ++i) {
        const Uint32 candidate = renderer->info.texture_formats[i];
        if (!JEX_ISPIXELFORMAT_FOURCC(candidate) && HasAlpha(candidate) == needs_alpha) {
            format = candidate;
            break;
        }
    }
    JEX_Texture *texture =
        JEX_CreateTexture(renderer, format, JEX_TEXTUREACCESS_STATIC, surface->w, surface->h);
    if (!texture)
        return nullptr;

    int rc;
    if (format == surface->format->format) {
        const bool lock = JEX_MUSTLOCK(surface);
        if (lock && JEX_LockSurface(surface) < 0) {
            JEX_DestroyTexture(texture);
            return nullptr;
        }
        rc = JEX_UpdateTexture(texture, nullptr, surface->pixels, surface->pitch);
        if (lock)
            JEX_UnlockSurface(surface);
    } else {
        JEX_PixelFormat *dst_format = JEX_AllocFormat(format);
        JEX_Surface *copy = dst_format ? JEX_ConvertSurface(surface, dst_format, 0) : nullptr;
        JEX_FreeFormat(dst_format);
        rc = copy ? JEX_UpdateTexture(texture, nullptr, copy->pixels, copy->pitch) : -1;
        JEX_FreeSurface(copy);
    }
    if (rc < 0) {
        JEX_DestroyTexture(texture);
        return nullptr;
    }

    Uint8 r, g, b, a;
    JEX_BlendMode mode = JEX_BLENDMODE_NONE;
    JEX_GetSurfaceColorMod(surface, &r, &g, &b);
    JEX_SetTextureColorMod(texture, r, g, b);
    JEX_GetSurfaceAlphaMod(surface, &a);
    JEX_SetTextureAlphaMod(texture, a);
    if (keyed)
        mode = JEX_BLENDMODE_BLEND;
    else
        JEX_GetSurfaceBlendMode(surface, &mode);
    JEX_SetTextureBlendMode(texture, mode);
    return texture;
}

int JEX_QueryTexture(JEX_Texture *texture, Uint32 *format, int *access, int *w, int *h)
{
    if (!ValidTexture(texture))
        return -1;
    if (format)
        *format = texture->format;
    if (access)
        *access = texture->access;
    if (w)
        *w = texture->w;
    if (h)
        *h = texture->h;
    return 0;
}

int JEX_SetTextureColorMod(JEX_Texture *texture, Uint8 r, Uint8 g, Uint8 b)
{
    if (!ValidTexture(texture))
        return -1;
    if (r < 255 || g < 255 || b < 255)
        texture->modMode |= JEX_TEXTUREMODULATE_COLOR;
    else
        texture->modMode &= ~JEX_TEXTUREMODULATE_COLOR;
    texture->r = r;
    texture->g = g;
    texture->b = b;
    if (texture->native)
        return JEX_SetTextureColorMod(texture->native, r, g, b);
    JEX_Renderer *renderer = texture->renderer;
    return renderer->SetTextureColorMod ? renderer->SetTextureColorMod(renderer, texture) : 0;
}

int JEX_GetTextureColorMod(JEX_Texture *texture, Uint8 *r, Uint8 *g, Uint8 *b)
{
    if (!ValidTexture(texture))
        return -1;
    if (r)
        *r = texture->r;
    if (g)
        *g = texture->g;
    if (b)
        *b = texture->b;
    return 0;
}

int JEX_SetTextureAlphaMod(JEX_Texture *texture, Uint8 alpha)
{
    if (!ValidTexture(texture))
        return -1;
    if (alpha < 255)
        texture->modMode |= JEX_TEXTUREMODULATE_ALPHA;
    else
        texture->modMode &= ~JEX_TEXTUREMODULATE_ALPHA;
    texture->a = alpha;
    if (texture->native)
        return JEX_SetTextureAlphaMod(texture->native, alpha);
    JEX_Renderer *renderer = texture->renderer;
    return renderer->SetTextureAlphaMod ? renderer->SetTextureAlphaMod(renderer, texture) : 0;
}

int JEX_GetTextureAlphaMod(JEX_Texture *texture, Uint8 *alpha)
{
    if (!ValidTexture(texture))
        return -1;
    if (alpha)
        *alpha = texture->a;
    return 0;
}

int JEX_SetTextureBlendMode(JEX_Texture *texture, int blendMode)
{
    if (!ValidTexture(texture))
        return -1;
    texture->blendMode = blendMode;
    if (texture->native)
        return JEX_SetTextureBlendMode(texture->native, blendMode);
    JEX_Renderer *renderer = texture->renderer;
    return renderer->SetTextureBlendMode ? renderer->SetTextureBlendMode(renderer, texture) : 0;
}

int JEX_GetTextureBlendMode(JEX_Texture *texture, int *blendMode)
{
    if (!ValidTexture(texture))
        return -1;
    if (blendMode)
        *blendMode = texture->blendMode;
    return 0;
}

int JEX_UpdateTexture(JEX_Texture *texture, const JEX_Rect *rect, const void *pixels, int pitch)
{
    if (!ValidTexture(texture))
        return -1;
    JEX_Rect real;
    if (!TextureRect(texture, rect, &real))
        return -1;
    if (real.w == 0 || real.h == 0)
        return 0;
    const Sint64 row = Sint64(JEX_TextureBytesPerPixel(texture->format)) * real.w;
    if (!pixels) {
        JEX_SetError("JEX_UpdateTexture(): Passed NULL pixels");
        return -1;
    }
    if (pitch < row) {
        JEX_SetError("Pitch %d is too short for a row of %d pixels", pitch, real.w);
        return -1;
    }
    if (texture->yuv) {
        if (JEX_SW_UpdateYUVTexture(texture->yuv, &real, pixels, pitch) < 0)
            return -1;
        return PushYUVToBacking(texture);
    }
    if (JEX_Texture *native = texture->native) {
        if (texture->pixels) {
            // The memory copy stays current, so a later partial lock hands
            // out and uploads these pixels, not older ones.
            const auto *src = static_cast<const Uint8 *>(pixels);
            for (int y = 0; y < real.h; ++y)
                std::memcpy(
                    PixelAt(texture->pixels, texture->pitch, texture->format, real.x, real.y + y),
                    src + ptrdiff_t(y) * pitch, size_t(row));
            return PushToBacking(texture, real);
        }
        int tmp_pitch;
        if (!PaddedPitch(native->format, real.w, &tmp_pitch))
            return -1;
        void *tmp = AllocRows(tmp_pitch, real.h);
        if (!tmp)
            return -1;
        int rc = JEX_ConvertPixels(real.w, real.h, texture->format, pixels, pitch, native->format,
                                   tmp, tmp_pitch);
        if (rc >= 0)
            rc = JEX_UpdateTexture(native, &real, tmp, tmp_pitch);
        std::free(tmp);
        return rc < 0 ? -1 : 0;
    }
    JEX_Renderer *renderer = texture->renderer;
    return renderer->UpdateTexture(renderer, texture, &real, pixels, pitch);
}

int JEX_LockTexture(JEX_Texture *texture, const JEX_Rect *rect, void **pixels, int *pitch)
{
    if (!ValidTexture(texture))
        return -1;
    if (texture->access != JEX_TEXTUREACCESS_STREAMING) {
        JEX_SetError("JEX_LockTexture(): texture must be streaming");
        return -1;
    }
    if (!pixels || !pitch) {
        JEX_SetError("JEX_LockTexture(): Passed NULL pixels or pitch");
        return -1;
    }
    JEX_Rect real;
    if (!TextureRect(texture, rect, &real))
        return -1;
    if (texture->yuv)
        return JEX_SW_LockYUVTexture(texture->yuv, &real, pixels, pitch);
    if (texture->native) {
        texture->locked_rect = real;
        *pixels = PixelAt(texture->pixels, texture->pitch, texture->format, real.x, real.y);
        *pitch = texture->pitch;
        return 0;
    }
    JEX_Renderer *renderer = texture->renderer;
    return renderer->LockTexture(renderer, texture, &real, pixels, pitch);
}

void JEX_UnlockTexture(JEX_Texture *texture)
{
    if (!ValidTexture(texture) || texture->access != JEX_TEXTUREACCESS_STREAMING)
        return;
    if (texture->yuv) {
        JEX_SW_UnlockYUVTexture(texture->yuv);
        PushYUVToBacking(texture);
        return;
    }
    if (texture->native) {
        PushToBacking(texture, texture->locked_rect);
        return;
    }
    JEX_Renderer *renderer = texture->renderer;
    renderer->UnlockTexture(renderer, texture);
}

int JEX_RenderSetViewport(JEX_Renderer *renderer, const JEX_Rect *rect)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (rect) {
        renderer->viewport = *rect;
    } else {
        renderer->viewport = {0, 0, 0, 0};
        if (renderer->window)
            JEX_GetWindowSize(renderer->window, &renderer->viewport.w, &renderer->viewport.h);
    }
    return renderer->UpdateViewport(renderer);
}

void JEX_RenderGetViewport(JEX_Renderer *renderer, JEX_Rect *rect)
{
    if (ValidRenderer(renderer) && rect)
        *rect = renderer->viewport;
}

int JEX_SetRenderDrawColor(JEX_Renderer *renderer, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (!ValidRenderer(renderer))
        return -1;
    renderer->r = r;
    renderer->g = g;
    renderer->b = b;
    renderer->a = a;
    return 0;
}

int JEX_GetRenderDrawColor(JEX_Renderer *renderer, Uint8 *r, Uint8 *g, Uint8 *b, Uint8 *a)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (r)
        *r = renderer->r;
    if (g)
        *g = renderer->g;
    if (b)
        *b = renderer->b;
    if (a)
        *a = renderer->a;
    return 0;
}

int JEX_SetRenderDrawBlendMode(JEX_Renderer *renderer, int blendMode)
{
    if (!ValidRenderer(renderer))
        return -1;
    renderer->blendMode = blendMode;
    return 0;
}

int JEX_GetRenderDrawBlendMode(JEX_Renderer *renderer, int *blendMode)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (blendMode)
        *blendMode = renderer->blendMode;
    return 0;
}

int JEX_RenderClear(JEX_Renderer *renderer)
{
    if (!ValidRenderer(renderer))
        return -1;
    return renderer->RenderClear(renderer);
}

int JEX_RenderDrawPoint(JEX_Renderer *renderer, int x, int y)
{
    const JEX_Point point = {x, y};
    return JEX_RenderDrawPoints(renderer, &point, 1);
}

int JEX_RenderDrawPoints(JEX_Renderer *renderer, const JEX_Point *points, int count)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (!points) {
        JEX_SetError("JEX_RenderDrawPoints(): Passed NULL points");
        return -1;
    }
    if (count < 1)
        return 0;
    return renderer->RenderDrawPoints(renderer, points, count);
}

int JEX_RenderDrawLine(JEX_Renderer *renderer, int x1, int y1, int x2, int y2)
{
    const JEX_Point points[2] = {{x1, y1}, {x2, y2}};
    return JEX_RenderDrawLines(renderer, points, 2);
}

int JEX_RenderDrawLines(JEX_Renderer *renderer, const JEX_Point *points, int count)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (!points) {
        JEX_SetError("JEX_RenderDrawLines(): Passed NULL points");
        return -1;
    }
    if (count < 2)
        return 0;
    return renderer->RenderDrawLines(renderer, points, count);
}

int JEX_RenderDrawRect(JEX_Renderer *renderer, const JEX_Rect *rect)
{
    if (!ValidRenderer(renderer))
        return -1;
    const JEX_Rect full = {0, 0, renderer->viewport.w, renderer->viewport.h};
    const JEX_Rect &r = rect ? *rect : full;
    // Corners computed wide and held within int: one beyond the range is as
    // far outside every target as the exact value.
    const auto edge = [](Sint64 v) {
        return int(v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : v);
    };
    const int x2 = edge(Sint64(r.x) + r.w - 1), y2 = edge(Sint64(r.y) + r.h - 1);
    const JEX_Point points[5] = {{r.x, r.y}, {x2, r.y}, {x2, y2}, {r.x, y2}, {r.x, r.y}};
    return renderer->RenderDrawLines(renderer, points, 5);
}

int JEX_RenderDrawRects(JEX_Renderer *renderer, const JEX_Rect *rects, int count)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (!rects) {
        JEX_SetError("JEX_RenderDrawRects(): Passed NULL rects");
        return -1;
    }
    for (int i = 0; i < count; ++i)
        if (JEX_RenderDrawRect(renderer, &rects[i]) < 0)
            return -1;
    return 0;
}

int JEX_RenderFillRect(JEX_Renderer *renderer, const JEX_Rect *rect)
{
    if (!ValidRenderer(renderer))
        return -1;
    const JEX_Rect full = {0, 0, renderer->viewport.w, renderer->viewport.h};
    return renderer->RenderFillRects(renderer, rect ? rect : &full, 1);
}

int JEX_RenderFillRects(JEX_Renderer *renderer, const JEX_Rect *rects, int count)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (!rects) {
        JEX_SetError("JEX_RenderFillRects(): Passed NULL rects");
        return -1;
    }
    if (count < 1)
        return 0;
    return renderer->RenderFillRects(renderer, rects, count);
}

int JEX_RenderCopy(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *srcrect,
                   const JEX_Rect *dstrect)
{
    if (!ValidRenderer(renderer) || !ValidTexture(texture))
        return -1;
    if (texture->renderer != renderer) {
        JEX_SetError("Texture was not created with this renderer");
        return -1;
    }
    JEX_Rect src = {0, 0, texture->w, texture->h};
    if (srcrect && !JEX_IntersectRect(srcrect, &src, &src))
        return 0;
    JEX_Rect dst = {0, 0, renderer->viewport.w, renderer->viewport.h};
    if (dstrect && !JEX_IntersectRect(dstrect, &dst, &dst))
        return 0;
    if (dstrect) {
        // The source shrinks in proportion to what clipping cut off the
        // destination; wide arithmetic keeps extreme rectangles exact.
        if (dst.w != dstrect->w) {
            const Sint64 sw = src.w;
            src.x += int((Sint64(dst.x) - dstrect->x) * sw / dstrect->w);
            src.w += int((Sint64(dst.w) - dstrect->w) * sw / dstrect->w);
        }
        if (dst.h != dstrect->h) {
            const Sint64 sh = src.h;
            src.y += int((Sint64(dst.y) - dstrect->y) * sh / dstrect->h);
            src.h += int((Sint64(dst.h) - dstrect->h) * sh / dstrect->h);
        }
        if (src.w <= 0 || src.h <= 0)
            return 0;
    }
    return renderer->RenderCopy(renderer, texture->native ? texture->native : texture, &src, &dst);
}

int JEX_RenderReadPixels(JEX_Renderer *renderer, const JEX_Rect *rect, Uint32 format, void *pixels,
                         int pitch)
{
    if (!ValidRenderer(renderer))
        return -1;
    if (!renderer->RenderReadPixels) {
        JEX_SetError("That operation is not supported");
        return -1;
    }
    if (format == 0 && renderer->window)
        format = JEX_GetWindowPixelFormat(renderer->window);
    JEX_Rect real = renderer->viewport;
    if (rect) {
        if (!JEX_IntersectRect(rect, &real, &real))
            return 0;
        auto *p = static_cast<Uint8 *>(pixels);
        if (real.y > rect->y)
            p += (Sint64(real.y) - rect->y) * pitch;
        if (real.x > rect->x)
            p += (Sint64(real.x) - rect->x) * JEX_TextureBytesPerPixel(format);
        pixels = p;
    }
    if (!pixels) {
        JEX_SetError("JEX_RenderReadPixels(): Passed NULL pixels");
        return -1;
    }
    return renderer->RenderReadPixels(renderer, &real, format, pixels, pitch) < 0 ? -1 : 0;
}

void JEX_RenderPresent(JEX_Renderer *renderer)
{
    if (ValidRenderer(renderer))
        renderer->RenderPresent(renderer);
}

void JEX_DestroyTexture(JEX_Texture *texture)
{
    if (ValidTexture(texture))
        DestroyTextureRecord(texture);
}

void JEX_DestroyRenderer(JEX_Renderer *renderer)
{
    if (!ValidRenderer(renderer))
        return;
    if (renderer->window)
        JEX_DelEventWatch(RendererEventWatch, renderer);
    while (renderer->textures)
        DestroyTextureRecord(renderer->textures);
    if (renderer->window && JEX_GetWindowData(renderer->window, kRenderData) == renderer)
        JEX_SetWindowData(renderer->window, kRenderData, nullptr);
    renderer->magic = nullptr;
    g_render.live.erase(renderer);
    renderer->DestroyRenderer(renderer);
}

void JEX_DestroyWindowRenderer(JEX_Window *window)
{
    auto *renderer = static_cast<JEX_Renderer *>(JEX_GetWindowData(window, kRenderData));
    if (IsLive(renderer))
        JEX_DestroyRenderer(renderer);
}
