// The software renderer: draws into a surface (a window's framebuffer
// surface or one the caller owns) with the surface layer's blitters, fills
// and primitives. Textures are surfaces.
#include "render/sysrender.h"

#include "JEX_draw.h"
#include "JEX_error.h"
#include "JEX_pixels.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct SW_RenderData {
    JEX_Surface *surface;  // the target; belongs to the window or the caller
};

JEX_Surface *TextureSurface(const JEX_Texture *texture)
{
    return static_cast<JEX_Surface *>(texture->driverdata);
}

void ClipToViewport(JEX_Renderer *renderer, JEX_Surface *surface)
{
    JEX_Rect &viewport = renderer->viewport;
    if (viewport.w == 0 && viewport.h == 0) {
        viewport.w = surface->w;
        viewport.h = surface->h;
    }
    JEX_SetClipRect(surface, &viewport);
}

// The target of a drawing call. A window renderer asks the window every
// time: the window frees its surface and makes a new one after a size
// change, and the renderer's own size-change watcher may never run (a
// filter can drop window events before watchers see them).
JEX_Surface *ActivateTarget(JEX_Renderer *renderer)
{
    auto *data = static_cast<SW_RenderData *>(renderer->driverdata);
    if (renderer->window) {
        JEX_Surface *surface = JEX_GetWindowSurface(renderer->window);
        if (surface != data->surface) {
            data->surface = surface;
            if (surface)
                ClipToViewport(renderer, surface);
        }
    }
    return data->surface;
}

int SaturatedInt(Sint64 v)
{
    return int(v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : v);
}

// Points and rectangles moved by the viewport position. A coordinate pushed
// past the int range is held at its end, which is outside every surface;
// a rectangle is first cut to the part that can reach one.
bool TranslatePoints(const JEX_Renderer *renderer, const JEX_Point *points, int count,
                     std::vector<JEX_Point> &out)
{
    try {
        out.resize(size_t(count));
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return false;
    }
    for (int i = 0; i < count; ++i)
        out[i] = {SaturatedInt(Sint64(points[i].x) + renderer->viewport.x),
                  SaturatedInt(Sint64(points[i].y) + renderer->viewport.y)};
    return true;
}

// A polyline translated as whole segments: a segment whose ends leave the
// int range is cut to a box well inside it first, keeping its slope. The
// result is a list of runs, runs[i] to runs[i + 1] being one polyline.
bool TranslateLines(const JEX_Renderer *renderer, const JEX_Point *points, int count,
                    std::vector<JEX_Point> &out, std::vector<int> &runs)
{
    constexpr double kBox = double(1 << 30);
    const Sint64 vx = renderer->viewport.x, vy = renderer->viewport.y;
    try {
        bool joined = false;  // the previous segment ended where this one starts
        for (int i = 0; i + 1 < count; ++i) {
            const double x0 = double(points[i].x + vx), y0 = double(points[i].y + vy);
            const double dx = double(points[i + 1].x + vx) - x0;
            const double dy = double(points[i + 1].y + vy) - y0;
            // Liang-Barsky against [-kBox, kBox] on both axes.
            double t0 = 0.0, t1 = 1.0;
            const double p[4] = {-dx, dx, -dy, dy};
            const double q[4] = {x0 + kBox, kBox - x0, y0 + kBox, kBox - y0};
            bool visible = true;
            for (int k = 0; k < 4 && visible; ++k) {
                if (p[k] == 0.0)
                    visible = q[k] >= 0.0;
                else if (p[k] < 0.0)
                    t0 = std::max(t0, q[k] / p[k]);
                else
                    t1 = std::min(t1, q[k] / p[k]);
                visible = visible && t0 <= t1;
            }
            if (!visible) {
                joined = false;
                continue;
            }
            if (!joined || t0 > 0.0) {
                runs.push_back(int(out.size()));
                out.push_back({int(std::lround(x0 + t0 * dx)), int(std::lround(y0 + t0 * dy))});
            }
            out.push_back({int(std::lround(x0 + t1 * dx)), int(std::lround(y0 + t1 * dy))});
            joined = t1 >= 1.0;
        }
        runs.push_back(int(out.size()));
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return false;
    }
    return true;
}

bool TranslateRects(const JEX_Renderer *renderer, const JEX_Surface *surface, const JEX_Rect *rects,
                    int count, std::vector<JEX_Rect> &out)
{
    try {
        out.resize(size_t(count));
    } catch (const std::bad_alloc &) {
        JEX_OutOfMemory();
        return false;
    }
    for (int i = 0; i < count; ++i) {
        Sint64 x0 = Sint64(rects[i].x) + renderer->viewport.x;
        Sint64 y0 = Sint64(rects[i].y) + renderer->viewport.y;
        Sint64 x1 = x0 + rects[i].w, y1 = y0 + rects[i].h;
        // Only the part over the surface can draw; one pixel of margin keeps
        // an empty rectangle empty.
        x0 = x0 < -1 ? -1 : x0;
        y0 = y0 < -1 ? -1 : y0;
        x1 = x1 > Sint64(surface->w) + 1 ? Sint64(surface->w) + 1 : x1;
        y1 = y1 > Sint64(surface->h) + 1 ? Sint64(surface->h) + 1 : y1;
        out[i] = {int(x0), int(y0), SaturatedInt(x1 - x0 < 0 ? 0 : x1 - x0),
                  SaturatedInt(y1 - y0 < 0 ? 0 : y1 - y0)};
    }
    return true;
}

Uint32 DrawColour(const JEX_Renderer *renderer, const JEX_Surface *surface)
{
    return JEX_MapRGBA(surface->format, renderer->r, renderer->g, renderer->b, renderer->a);
}

void SW_WindowEvent(JEX_Renderer *renderer, const JEX_WindowEvent *event)
{
    if (event->event == JEX_WINDOWEVENT_SIZE_CHANGED)
        static_cast<SW_RenderData *>(renderer->driverdata)->surface = nullptr;
}

int SW_CreateTexture(JEX_Renderer *, JEX_Texture *texture)
{
    int bpp;
    Uint32 rmask, gmask, bmask, amask;
    if (!JEX_PixelFormatEnumToMasks(texture->format, &bpp, &rmask, &gmask, &bmask, &amask)) {
        JEX_SetError("Unknown texture format");
        return -1;
    }
    JEX_Surface *surface =
        JEX_CreateRGBSurface(0, texture->w, texture->h, bpp, rmask, gmask, bmask, amask);
    if (!surface)
        return -1;
    texture->driverdata = surface;
    JEX_SetSurfaceColorMod(surface, texture->r, texture->g, texture->b);
    JEX_SetSurfaceAlphaMod(surface, texture->a);
    JEX_SetSurfaceBlendMode(surface, JEX_BlendMode(texture->blendMode));
    if (texture->access == JEX_TEXTUREACCESS_STATIC)
        JEX_SetSurfaceRLE(surface, 1);
    return 0;
}

int SW_SetTextureColorMod(JEX_Renderer *, JEX_Texture *texture)
{
    return JEX_SetSurfaceColorMod(TextureSurface(texture), texture->r, texture->g, texture->b);
}

int SW_SetTextureAlphaMod(JEX_Renderer *, JEX_Texture *texture)
{
    return JEX_SetSurfaceAlphaMod(TextureSurface(texture), texture->a);
}

int SW_SetTextureBlendMode(JEX_Renderer *, JEX_Texture *texture)
{
    return JEX_SetSurfaceBlendMode(TextureSurface(texture), JEX_BlendMode(texture->blendMode));
}

int SW_UpdateTexture(JEX_Renderer *, JEX_Texture *texture, const JEX_Rect *rect, const void *pixels,
                     int pitch)
{
    JEX_Surface *surface = TextureSurface(texture);
    if (rect->h < 1 || rect->w < 1)
        return 0;
    if (JEX_LockSurface(surface) < 0)
        return -1;
    const int bpp = surface->format->bytes_per_pixel;
    const size_t row = size_t(rect->w) * size_t(bpp);
    const auto *src = static_cast<const Uint8 *>(pixels);
    auto *dst = static_cast<Uint8 *>(surface->pixels) + ptrdiff_t(rect->y) * surface->pitch +
                ptrdiff_t(rect->x) * bpp;
    for (int y = 0; y < rect->h; ++y) {
        std::memcpy(dst, src, row);
        src += pitch;
        dst += surface->pitch;
    }
    JEX_UnlockSurface(surface);
    return 0;
}

int SW_LockTexture(JEX_Renderer *, JEX_Texture *texture, const JEX_Rect *rect, void **pixels,
                   int *pitch)
{
    JEX_Surface *surface = TextureSurface(texture);
    *pixels = static_cast<Uint8 *>(surface->pixels) + ptrdiff_t(rect->y) * surface->pitch +
              ptrdiff_t(rect->x) * surface->format->bytes_per_pixel;
    *pitch = surface->pitch;
    return 0;
}

void SW_UnlockTexture(JEX_Renderer *, JEX_Texture *) {}

int SW_UpdateViewport(JEX_Renderer *renderer)
{
    auto *data = static_cast<SW_RenderData *>(renderer->driverdata);
    if (data->surface)
        ClipToViewport(renderer, data->surface);
    return 0;
}

int SW_RenderClear(JEX_Renderer *renderer)
{
    JEX_Surface *surface = ActivateTarget(renderer);
    if (!surface)
        return -1;
    JEX_Rect clip;
    JEX_GetClipRect(surface, &clip);
    JEX_SetClipRect(surface, nullptr);
    const int rc = JEX_FillRect(surface, nullptr, DrawColour(renderer, surface));
    JEX_SetClipRect(surface, &clip);
    return rc;
}

int SW_RenderDrawPoints(JEX_Renderer *renderer, const JEX_Point *points, int count)
{
    JEX_Surface *surface = ActivateTarget(renderer);
    if (!surface)
        return -1;
    std::vector<JEX_Point> moved;
    if (renderer->viewport.x || renderer->viewport.y) {
        if (!TranslatePoints(renderer, points, count, moved))
            return -1;
        points = moved.data();
    }
    if (renderer->blendMode == JEX_BLENDMODE_NONE)
        return JEX_DrawPoints(surface, points, count, DrawColour(renderer, surface));
    return JEX_BlendPoints(surface, points, count, JEX_BlendMode(renderer->blendMode), renderer->r,
                           renderer->g, renderer->b, renderer->a);
}

int DrawPolyline(JEX_Renderer *renderer, JEX_Surface *surface, const JEX_Point *points, int count)
{
    if (renderer->blendMode == JEX_BLENDMODE_NONE)
        return JEX_DrawLines(surface, points, count, DrawColour(renderer, surface));
    return JEX_BlendLines(surface, points, count, JEX_BlendMode(renderer->blendMode), renderer->r,
                          renderer->g, renderer->b, renderer->a);
}

bool FitsAfterMove(const JEX_Renderer *renderer, const JEX_Point *points, int count)
{
    for (int i = 0; i < count; ++i) {
        const Sint64 x = Sint64(points[i].x) + renderer->viewport.x;
        const Sint64 y = Sint64(points[i].y) + renderer->viewport.y;
        if (x < INT_MIN || x > INT_MAX || y < INT_MIN || y > INT_MAX)
            return false;
    }
    return true;
}

int SW_RenderDrawLines(JEX_Renderer *renderer, const JEX_Point *points, int count)
{
    JEX_Surface *surface = ActivateTarget(renderer);
    if (!surface)
        return -1;
    if (!renderer->viewport.x && !renderer->viewport.y)
        return DrawPolyline(renderer, surface, points, count);
    if (FitsAfterMove(renderer, points, count)) {
        std::vector<JEX_Point> moved;
        if (!TranslatePoints(renderer, points, count, moved))
            return -1;
        return DrawPolyline(renderer, surface, moved.data(), count);
    }
    std::vector<JEX_Point> moved;
    std::vector<int> runs;
    if (!TranslateLines(renderer, points, count, moved, runs))
        return -1;
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
        const int n = runs[i + 1] - runs[i];
        if (n >= 2 && DrawPolyline(renderer, surface, moved.data() + runs[i], n) < 0)
            return -1;
    }
    return 0;
}

int SW_RenderFillRects(JEX_Renderer *renderer, const JEX_Rect *rects, int count)
{
    JEX_Surface *surface = ActivateTarget(renderer);
    if (!surface)
        return -1;
    std::vector<JEX_Rect> moved;
    if (renderer->viewport.x || renderer->viewport.y) {
        if (!TranslateRects(renderer, surface, rects, count, moved))
            return -1;
        rects = moved.data();
    }
    if (renderer->blendMode == JEX_BLENDMODE_NONE)
        return JEX_FillRects(surface, rects, count, DrawColour(renderer, surface));
    return JEX_BlendFillRects(surface, rects, count, JEX_BlendMode(renderer->blendMode),
                              renderer->r, renderer->g, renderer->b, renderer->a);
}

int SW_RenderCopy(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *srcrect,
                  const JEX_Rect *dstrect)
{
    JEX_Surface *surface = ActivateTarget(renderer);
    if (!surface)
        return -1;
    // The core clipped the destination to the viewport, so the move stays
    // within the int range.
    JEX_Rect dst = *dstrect;
    dst.x += renderer->viewport.x;
    dst.y += renderer->viewport.y;
    JEX_Surface *src = TextureSurface(texture);
    if (srcrect->w == dstrect->w && srcrect->h == dstrect->h)
        return JEX_UpperBlit(src, srcrect, surface, &dst);
    return JEX_UpperBlitScaled(src, srcrect, surface, &dst);
}

int SW_RenderReadPixels(JEX_Renderer *renderer, const JEX_Rect *rect, Uint32 format, void *pixels,
                        int pitch)
{
    JEX_Surface *surface = ActivateTarget(renderer);
    if (!surface)
        return -1;
    if (rect->x < 0 || rect->y < 0 || Sint64(rect->x) + rect->w > surface->w ||
        Sint64(rect->y) + rect->h > surface->h) {
        JEX_SetError("Tried to read outside of surface bounds");
        return -1;
    }
    // A renderer made for a surface has no window format to default to.
    if (format == 0)
        format = surface->format->format;
    const bool lock = JEX_MUSTLOCK(surface);
    if (lock && JEX_LockSurface(surface) < 0)
        return -1;
    const int rc = JEX_ConvertPixels(rect->w, rect->h, surface->format->format,
                                     static_cast<const Uint8 *>(surface->pixels) +
                                         ptrdiff_t(rect->y) * surface->pitch +
                                         ptrdiff_t(rect->x) * surface->format->bytes_per_pixel,
                                     surface->pitch, format, pixels, pitch);
    if (lock)
        JEX_UnlockSurface(surface);
    return rc;
}

void SW_RenderPresent(JEX_Renderer *renderer)
{
    if (renderer->window)
        JEX_UpdateWindowSurface(renderer->window);
}

void SW_DestroyTexture(JEX_Renderer *, JEX_Texture *texture)
{
    JEX_FreeSurface(TextureSurface(texture));
    texture->driverdata = nullptr;
}

void SW_DestroyRenderer(JEX_Renderer *renderer)
{
    std::free(renderer->driverdata);
    std::free(renderer);
}

JEX_Renderer *SW_CreateRenderer(JEX_Window *window, Uint32)
{
    JEX_Surface *surface = JEX_GetWindowSurface(window);
    return surface ? SW_CreateRendererForSurface(surface) : nullptr;
}

}  // namespace

const JEX_RenderDriver SW_RenderDriver = {
    SW_CreateRenderer,
    {"software",
     JEX_RENDERER_SOFTWARE,
     8,
     {JEX_PIXELFORMAT_RGB555, JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGB888,
      JEX_PIXELFORMAT_BGR888, JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGBA8888,
      JEX_PIXELFORMAT_ABGR8888, JEX_PIXELFORMAT_BGRA8888},
     0,
     0}};

JEX_Renderer *SW_CreateRendererForSurface(JEX_Surface *surface)
{
    if (!surface) {
        JEX_SetError("Can't create renderer for NULL surface");
        return nullptr;
    }
    auto *renderer = static_cast<JEX_Renderer *>(std::calloc(1, sizeof(JEX_Renderer)));
    auto *data = static_cast<SW_RenderData *>(std::calloc(1, sizeof(SW_RenderData)));
    if (!renderer || !data) {
        std::free(renderer);
        std::free(data);
        JEX_OutOfMemory();
        return nullptr;
    }
    data->surface = surface;
    renderer->WindowEvent = SW_WindowEvent;
    renderer->CreateTexture = SW_CreateTexture;
    renderer->SetTextureColorMod = SW_SetTextureColorMod;
    renderer->SetTextureAlphaMod = SW_SetTextureAlphaMod;
    renderer->SetTextureBlendMode = SW_SetTextureBlendMode;
    renderer->UpdateTexture = SW_UpdateTexture;
    renderer->LockTexture = SW_LockTexture;
    renderer->UnlockTexture = SW_UnlockTexture;
    renderer->UpdateViewport = SW_UpdateViewport;
    renderer->RenderClear = SW_RenderClear;
    renderer->RenderDrawPoints = SW_RenderDrawPoints;
    renderer->RenderDrawLines = SW_RenderDrawLines;
    renderer->RenderFillRects = SW_RenderFillRects;
    renderer->RenderCopy = SW_RenderCopy;
    renderer->RenderReadPixels = SW_RenderReadPixels;
    renderer->RenderPresent = SW_RenderPresent;
    renderer->DestroyTexture = SW_DestroyTexture;
    renderer->DestroyRenderer = SW_DestroyRenderer;
    renderer->info = SW_RenderDriver.info;
    renderer->driverdata = data;
    return renderer;
}
