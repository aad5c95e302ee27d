// Surfaces: creation and release, blit state, locking, conversion and the
// four blit entry points.
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "JEX_error.h"
#include "JEX_surface.h"
#include "surface/blit.h"
#include "surface/pixels_internal.h"
#include "surface/rle.h"

namespace {

// Keeps the informational surface flags in step with the copy flags.
void SyncSurfaceFlags(JEX_Surface *surface)
{
    const Uint32 copy = surface->map->info.flags;
    surface->flags &= ~Uint32(JEX_SURFACE_BLENDED | JEX_SURFACE_COLORKEYED);
    if (copy & JEX_COPY_BLEND)
        surface->flags |= JEX_SURFACE_BLENDED;
    if (copy & JEX_COPY_COLORKEY)
        surface->flags |= JEX_SURFACE_COLORKEYED;
}

// An encoded surface is decoded before its blit state changes: the encoding
// depends on the key and the modulation, and decoding a colour-key encoding
// needs the key it was made with.
void DecodeBeforeChange(JEX_Surface *surface)
{
    if ((surface->flags & JEX_SURFACE_RLEACCEL) && surface->locked == 0)
        JEX_UnRLESurface(surface, 1);
}

// Replaces the copy flags; the map is rebuilt on the next blit when they
// changed. The two encoding bits belong to the encoder: whatever the caller
// computed, they stay as the surface's current encoding has them.
void SetCopyFlags(JEX_Surface *surface, Uint32 flags)
{
    JEX_BlitMap *map = surface->map;
    constexpr Uint32 encoding = JEX_COPY_RLE_COLORKEY | JEX_COPY_RLE_ALPHAKEY;
    if ((map->info.flags & ~encoding) != (flags & ~encoding))
        DecodeBeforeChange(surface);
    flags = (flags & ~encoding) | (map->info.flags & encoding);
    if (map->info.flags != flags) {
        map->info.flags = flags;
        JEX_InvalidateMap(map);
    }
    SyncSurfaceFlags(surface);
}

void FreeSurfaceRecord(JEX_Surface *surface)
{
    if (surface->format) {
        if (surface->format->palette)
            JEX_SetPixelFormatPalette(surface->format, nullptr);
        JEX_FreeFormat(surface->format);
    }
    JEX_FreeBlitMap(surface->map);
    if (!(surface->flags & JEX_SURFACE_PREALLOC))
        std::free(surface->pixels);
    std::free(surface);
}

// A surface with its format, palette and map but no pixels.
JEX_Surface *CreateEmptySurface(int depth, Uint32 Rmask, Uint32 Gmask, Uint32 Bmask, Uint32 Amask)
{
    const Uint32 code = JEX_MasksToPixelFormatEnum(depth, Rmask, Gmask, Bmask, Amask);
    if (code == JEX_PIXELFORMAT_UNKNOWN) {
        JEX_SetError("Unknown pixel format");
        return nullptr;
    }
    // The format found must be the one asked for: pixels of the depth's size,
    // and every mask given (an alpha mask included) the format's own.
    int bits;
    Uint32 r, g, b, a;
    JEX_PixelFormatEnumToMasks(code, &bits, &r, &g, &b, &a);
    const bool sizes_agree = depth < 8 || (depth + 7) / 8 == int(JEX_BYTESPERPIXEL(code));
    const bool masks_given = Rmask | Gmask | Bmask | Amask;
    if (!sizes_agree || (masks_given && (Rmask != r || Gmask != g || Bmask != b || Amask != a))) {
        JEX_SetError("Masks 0x%X 0x%X 0x%X 0x%X do not fit a depth of %d bits", Rmask, Gmask, Bmask,
                     Amask, depth);
        return nullptr;
    }
    auto *surface = static_cast<JEX_Surface *>(std::calloc(1, sizeof(JEX_Surface)));
    if (!surface) {
        JEX_OutOfMemory();
        return nullptr;
    }
    surface->format = JEX_AllocFormat(code);
    if (!surface->format) {
        FreeSurfaceRecord(surface);
        return nullptr;
    }
    if (JEX_ISPIXELFORMAT_INDEXED(code)) {
        JEX_Palette *palette = JEX_AllocPalette(1 << surface->format->bits_per_pixel);
        if (!palette) {
            FreeSurfaceRecord(surface);
            return nullptr;
        }
        if (palette->ncolors == 2) {
            palette->colors[0] = JEX_Color{255, 255, 255, 255};
            palette->colors[1] = JEX_Color{0, 0, 0, 255};
        }
        const int rc = JEX_SetPixelFormatPalette(surface->format, palette);
        JEX_FreePalette(palette);
        if (rc < 0) {
            FreeSurfaceRecord(surface);
            return nullptr;
        }
    }
    surface->map = JEX_AllocBlitMap();
    if (!surface->map) {
        FreeSurfaceRecord(surface);
        return nullptr;
    }
    if (Amask)
        JEX_SetSurfaceBlendMode(surface, JEX_BLENDMODE_BLEND);
    surface->refcount = 1;
    return surface;
}

bool ValidSize(int width, int height)
{
    if (width <= 0 || height <= 0) {
        JEX_SetError("Invalid surface size %dx%d", width, height);
        return false;
    }
    return true;
}

// Height x pitch must fit the int offsets the blitters compute.
bool ValidExtent(int height, int pitch)
{
    if (Sint64(height) * Sint64(pitch) > Sint64(INT_MAX)) {
        JEX_SetError("Surface size is too large");
        return false;
    }
    return true;
}

}  // namespace

JEX_Surface *JEX_CreateRGBSurface(Uint32 flags, int width, int height, int depth, Uint32 Rmask,
                                  Uint32 Gmask, Uint32 Bmask, Uint32 Amask)
{
    (void)flags;
    if (!ValidSize(width, height))
        return nullptr;
    JEX_Surface *surface = CreateEmptySurface(depth, Rmask, Gmask, Bmask, Amask);
    if (!surface)
        return nullptr;
    surface->w = width;
    surface->h = height;
    const int pitch = JEX_CalculatePitch(surface->format, width);
    if (pitch < 0 || !ValidExtent(height, pitch)) {
        FreeSurfaceRecord(surface);
        return nullptr;
    }
    surface->pitch = pitch;
    surface->clip_rect = JEX_Rect{0, 0, width, height};
    surface->pixels = std::calloc(size_t(height), size_t(pitch));
    if (!surface->pixels) {
        FreeSurfaceRecord(surface);
        JEX_OutOfMemory();
        return nullptr;
    }
    return surface;
}

JEX_Surface *JEX_CreateRGBSurfaceFrom(void *pixels, int width, int height, int depth, int pitch,
                                      Uint32 Rmask, Uint32 Gmask, Uint32 Bmask, Uint32 Amask)
{
    if (!ValidSize(width, height))
        return nullptr;
    if (!pixels) {
        JEX_SetError("JEX_CreateRGBSurfaceFrom: passed NULL pixels");
        return nullptr;
    }
    JEX_Surface *surface = CreateEmptySurface(depth, Rmask, Gmask, Bmask, Amask);
    if (!surface)
        return nullptr;
    // The caller's rows must hold a whole row of pixels each.
    const int row = JEX_CalculatePitch(surface->format, width);
    const Uint8 bits = surface->format->bits_per_pixel;
    const Sint64 need = bits < 8 ? (Sint64(width) * bits + 7) / 8
                                 : Sint64(width) * surface->format->bytes_per_pixel;
    if (row < 0 || pitch < need) {
        if (row >= 0)
            JEX_SetError("Pitch %d is too short for a row of %d pixels", pitch, width);
        FreeSurfaceRecord(surface);
        return nullptr;
    }
    if (!ValidExtent(height, pitch)) {
        FreeSurfaceRecord(surface);
        return nullptr;
    }
    surface->flags |= JEX_SURFACE_PREALLOC;
    surface->pixels = pixels;
    surface->w = width;
    surface->h = height;
    surface->pitch = pitch;
    surface->clip_rect = JEX_Rect{0, 0, width, height};
    return surface;
}

void JEX_FreeSurface(JEX_Surface *surface)
{
    if (!surface || (surface->flags & JEX_SURFACE_DONTFREE))
        return;
    if (--surface->refcount > 0)
        return;
    while (surface->locked > 0)
        JEX_UnlockSurface(surface);
    if (surface->flags & JEX_SURFACE_RLEACCEL)
        JEX_UnRLESurface(surface, 0);
    FreeSurfaceRecord(surface);
}

int JEX_SetSurfacePalette(JEX_Surface *surface, JEX_Palette *palette)
{
    if (!surface) {
        JEX_SetError("JEX_SetSurfacePalette() passed a NULL surface");
        return -1;
    }
    return JEX_SetPixelFormatPalette(surface->format, palette);
}

int JEX_LockSurface(JEX_Surface *surface)
{
    if (!surface)
        return -1;
    if (surface->locked == 0 && (surface->flags & JEX_SURFACE_RLEACCEL)) {
        JEX_UnRLESurface(surface, 1);
        // Still encoded when decoding ran out of memory: the pixels are not
        // there to lock.
        if (surface->flags & JEX_SURFACE_RLEACCEL)
            return -1;
        // Marks the surface for encoding again on the last unlock.
        surface->flags |= JEX_SURFACE_RLEACCEL;
    }
    ++surface->locked;
    return 0;
}

void JEX_UnlockSurface(JEX_Surface *surface)
{
    if (!surface || surface->locked == 0)
        return;
    if (--surface->locked == 0 && (surface->flags & JEX_SURFACE_RLEACCEL)) {
        surface->flags &= ~Uint32(JEX_SURFACE_RLEACCEL);
        JEX_RLESurface(surface);
    }
}

int JEX_SetSurfaceRLE(JEX_Surface *surface, int flag)
{
    if (!surface)
        return -1;
    Uint32 flags = surface->map->info.flags;
    if (flag)
        flags |= JEX_COPY_RLE_DESIRED;
    else
        flags &= ~Uint32(JEX_COPY_RLE_DESIRED);
    SetCopyFlags(surface, flags);
    return 0;
}

int JEX_SetColorKey(JEX_Surface *surface, int flag, Uint32 key)
{
    if (!surface)
        return -1;
    Uint32 flags = surface->map->info.flags;
    if (flag & JEX_SURFACE_RLEACCEL)
        flags |= JEX_COPY_RLE_DESIRED;
    if (flag) {
        if (key != surface->map->info.colorkey)
            DecodeBeforeChange(surface);
        surface->map->info.colorkey = key;
        flags |= JEX_COPY_COLORKEY;
    } else {
        flags &= ~Uint32(JEX_COPY_COLORKEY);
    }
    SetCopyFlags(surface, flags);
    return 0;
}

int JEX_GetColorKey(JEX_Surface *surface, Uint32 *key)
{
    if (!surface || !(surface->map->info.flags & JEX_COPY_COLORKEY))
        return -1;
    if (key)
        *key = surface->map->info.colorkey;
    return 0;
}

int JEX_SetSurfaceColorMod(JEX_Surface *surface, Uint8 r, Uint8 g, Uint8 b)
{
    if (!surface)
        return -1;
    JEX_BlitInfo &info = surface->map->info;
    if (info.r != r || info.g != g || info.b != b) {
        DecodeBeforeChange(surface);
        // Indexed sources carry the modulation in their translation table.
        if (surface->format->bits_per_pixel <= 8)
            JEX_InvalidateMap(surface->map);
    }
    info.r = r;
    info.g = g;
    info.b = b;
    Uint32 flags = info.flags;
    if (r != 255 || g != 255 || b != 255)
        flags |= JEX_COPY_MODULATE_COLOR;
    else
        flags &= ~Uint32(JEX_COPY_MODULATE_COLOR);
    SetCopyFlags(surface, flags);
    return 0;
}

int JEX_GetSurfaceColorMod(JEX_Surface *surface, Uint8 *r, Uint8 *g, Uint8 *b)
{
    if (!surface)
        return -1;
    if (r)
        *r = surface->map->info.r;
    if (g)
        *g = surface->map->info.g;
    if (b)
        *b = surface->map->info.b;
    return 0;
}

int JEX_SetSurfaceAlphaMod(JEX_Surface *surface, Uint8 alpha)
{
    if (!surface)
        return -1;
    if (surface->map->info.a != alpha) {
        DecodeBeforeChange(surface);
        // Indexed sources carry the modulation in their translation table.
        if (surface->format->bits_per_pixel <= 8)
            JEX_InvalidateMap(surface->map);
    }
    surface->map->info.a = alpha;
    Uint32 flags = surface->map->info.flags;
    if (alpha != 255)
        flags |= JEX_COPY_MODULATE_ALPHA;
    else
        flags &= ~Uint32(JEX_COPY_MODULATE_ALPHA);
    SetCopyFlags(surface, flags);
    return 0;
}

int JEX_GetSurfaceAlphaMod(JEX_Surface *surface, Uint8 *alpha)
{
    if (!surface)
        return -1;
    if (alpha)
        *alpha = surface->map->info.a;
    return 0;
}

int JEX_SetSurfaceBlendMode(JEX_Surface *surface, JEX_BlendMode blendMode)
{
    if (!surface)
        return -1;
    Uint32 flags = surface->map->info.flags & ~Uint32(JEX_COPY_BLEND | JEX_COPY_ADD | JEX_COPY_MOD);
    int status = 0;
    switch (blendMode) {
    case JEX_BLENDMODE_NONE: break;
    case JEX_BLENDMODE_BLEND: flags |= JEX_COPY_BLEND; break;
    case JEX_BLENDMODE_ADD: flags |= JEX_COPY_ADD; break;
    case JEX_BLENDMODE_MOD: flags |= JEX_COPY_MOD; break;
    default:
        JEX_Unsupported();
        status = -1;
        break;
    }
    SetCopyFlags(surface, flags);
    return status;
}

int JEX_GetSurfaceBlendMode(JEX_Surface *surface, JEX_BlendMode *blendMode)
{
    if (!surface)
        return -1;
    if (!blendMode)
        return 0;
    const Uint32 flags = surface->map->info.flags;
    if (flags & JEX_COPY_ADD)
        *blendMode = JEX_BLENDMODE_ADD;
    else if (flags & JEX_COPY_MOD)
        *blendMode = JEX_BLENDMODE_MOD;
    else if (flags & JEX_COPY_BLEND)
        *blendMode = JEX_BLENDMODE_BLEND;
    else
        *blendMode = JEX_BLENDMODE_NONE;
    return 0;
}

JEX_bool JEX_SetClipRect(JEX_Surface *surface, const JEX_Rect *rect)
{
    if (!surface)
        return JEX_FALSE;
    const JEX_Rect full{0, 0, surface->w, surface->h};
    if (!rect) {
        surface->clip_rect = full;
        return JEX_TRUE;
    }
    return JEX_IntersectRect(rect, &full, &surface->clip_rect);
}

void JEX_GetClipRect(JEX_Surface *surface, JEX_Rect *rect)
{
    if (surface && rect)
        *rect = surface->clip_rect;
}

namespace {

// Raw value of pixel (x, y), sub-byte pixels by their bit position.
Uint32 SourcePixel(const JEX_Surface *s, int x, int y)
{
    const JEX_PixelFormat *f = s->format;
    const Uint8 *row = static_cast<const Uint8 *>(s->pixels) + std::ptrdiff_t(y) * s->pitch;
    if (f->bits_per_pixel < 8) {
        const int bits = f->bits_per_pixel, per = 8 / bits, k = x % per;
        const bool msb = JEX_PIXELORDER(f->format) != JEX_BITMAPORDER_4321;
        const int shift = msb ? 8 - bits - k * bits : k * bits;
        return (row[x / per] >> shift) & ((1u << bits) - 1);
    }
    Uint32 v = 0;
    std::memcpy(&v, row + std::ptrdiff_t(x) * f->bytes_per_pixel, f->bytes_per_pixel);
    return v;
}

int ClampToInt(Sint64 v)
{
    return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : int(v);
}

// Builds the map when needed and runs its surface-level routine.
int RunBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect)
{
    if (JEX_MapIsStale(src, dst) && JEX_MapSurface(src, dst) < 0)
        return -1;
    return src->map->blit(src, srcrect, dst, dstrect);
}

}  // namespace

int JEX_UpperBlit(JEX_Surface *src, const JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect)
{
    if (!src || !dst) {
        JEX_SetError("JEX_UpperBlit: passed a NULL surface");
        return -1;
    }
    if (src->locked || dst->locked) {
        JEX_SetError("Surfaces must not be locked during blit");
        return -1;
    }

    // All sums in 64 bits: rectangles anywhere in the int range clip
    // without overflow.
    Sint64 dx = dstrect ? dstrect->x : 0;
    Sint64 dy = dstrect ? dstrect->y : 0;
    Sint64 sx = 0, sy = 0, w = src->w, h = src->h;
    if (srcrect) {
        sx = srcrect->x;
        w = srcrect->w;
        if (sx < 0) {
            w += sx;
            dx -= sx;
            sx = 0;
        }
        if (w > Sint64(src->w) - sx)
            w = Sint64(src->w) - sx;
        sy = srcrect->y;
        h = srcrect->h;
        if (sy < 0) {
            h += sy;
            dy -= sy;
            sy = 0;
        }
        if (h > Sint64(src->h) - sy)
            h = Sint64(src->h) - sy;
    }

    // The clip rectangle, kept inside the surface even if it was edited by
    // hand.
    JEX_Rect clip;
    const JEX_Rect bounds{0, 0, dst->w, dst->h};
    JEX_IntersectRect(&dst->clip_rect, &bounds, &clip);
    Sint64 d = Sint64(clip.x) - dx;
    if (d > 0) {
        dx += d;
        sx += d;
        w -= d;
    }
    d = dx + w - clip.x - clip.w;
    if (d > 0)
        w -= d;
    d = Sint64(clip.y) - dy;
    if (d > 0) {
        dy += d;
        sy += d;
        h -= d;
    }
    d = dy + h - clip.y - clip.h;
    if (d > 0)
        h -= d;

    if (w > 0 && h > 0 && clip.w > 0 && clip.h > 0) {
        JEX_Rect s{int(sx), int(sy), int(w), int(h)};
        JEX_Rect r{int(dx), int(dy), int(w), int(h)};
        if (dstrect)
            *dstrect = r;
        return RunBlit(src, &s, dst, &r);
    }
    if (dstrect) {
        dstrect->x = ClampToInt(dx);
        dstrect->y = ClampToInt(dy);
        dstrect->w = 0;
        dstrect->h = 0;
    }
    return 0;
}

int JEX_LowerBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect)
{
    if (!src || !dst || !srcrect || !dstrect) {
        JEX_SetError("JEX_LowerBlit: passed a NULL surface or rectangle");
        return -1;
    }
    return RunBlit(src, srcrect, dst, dstrect);
}

namespace {

// Limits a rectangle to (0, 0, w, h) from the left and top by shrinking it,
// and to the right and bottom edges, without moving anything else.
JEX_Rect ClipToSize(const JEX_Rect &r, int w, int h)
{
    Sint64 x = r.x, y = r.y, rw = r.w, rh = r.h;
    if (x < 0) {
        rw += x;
        x = 0;
    }
    if (rw > Sint64(w) - x)
        rw = Sint64(w) - x;
    if (y < 0) {
        rh += y;
        y = 0;
    }
    if (rh > Sint64(h) - y)
        rh = Sint64(h) - y;
    return JEX_Rect{ClampToInt(x), ClampToInt(y), ClampToInt(rw), ClampToInt(rh)};
}

}  // namespace

int JEX_UpperBlitScaled(JEX_Surface *src, const JEX_Rect *srcrect, JEX_Surface *dst,
                        const JEX_Rect *dstrect)
{
    if (!src || !dst) {
        JEX_SetError("JEX_UpperBlitScaled: passed a NULL surface");
        return -1;
    }
    if (src->locked || dst->locked) {
        JEX_SetError("Surfaces must not be locked during blit");
        return -1;
    }
    JEX_Rect s = srcrect ? ClipToSize(*srcrect, src->w, src->h) : JEX_Rect{0, 0, src->w, src->h};
    JEX_Rect d = dstrect ? ClipToSize(*dstrect, dst->w, dst->h) : JEX_Rect{0, 0, dst->w, dst->h};
    if (d.w <= 0 || d.h <= 0)
        return 0;
    return JEX_LowerBlitScaled(src, &s, dst, &d);
}

int JEX_LowerBlitScaled(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect)
{
    if (!src || !dst || !srcrect || !dstrect) {
        JEX_SetError("JEX_LowerBlitScaled: passed a NULL surface or rectangle");
        return -1;
    }
    JEX_Rect final_src = *srcrect;
    JEX_Rect final_dst = *dstrect;
    const int req_w = dstrect->w, req_h = dstrect->h;

    const JEX_Rect dst_bounds{0, 0, dst->w, dst->h};
    JEX_IntersectRect(&final_dst, &dst_bounds, &final_dst);
    // Products in 64 bits; a request of no size draws nothing.
    if (req_w <= 0 || req_h <= 0 || final_dst.w <= 0 || final_dst.h <= 0)
        return 0;
    if (final_dst.w != req_w)
        final_src.w = int(Sint64(final_dst.w) * final_src.w / req_w);
    if (final_dst.h != req_h)
        final_src.h = int(Sint64(final_dst.h) * final_src.h / req_h);
    const JEX_Rect src_bounds{0, 0, src->w, src->h};
    JEX_IntersectRect(&final_src, &src_bounds, &final_src);
    // A source rectangle outside the source, or shrunk to nothing, has no
    // pixels to read.
    if (final_src.w <= 0 || final_src.h <= 0)
        return 0;

    JEX_BlitMap *map = src->map;
    if (!(map->info.flags & JEX_COPY_NEAREST)) {
        map->info.flags |= JEX_COPY_NEAREST;
        JEX_InvalidateMap(map);
    }

    // The stretch copies raw pixels, so it serves only blits that have
    // nothing to compute; a key, modulation or blend mode goes through the
    // blit routines, which scale too.
    const Uint32 arithmetic = JEX_COPY_MODULATE_COLOR | JEX_COPY_MODULATE_ALPHA | JEX_COPY_BLEND |
                              JEX_COPY_ADD | JEX_COPY_MOD | JEX_COPY_COLORKEY;
    if (src->format->format == dst->format->format &&
        !JEX_ISPIXELFORMAT_INDEXED(src->format->format) && !(map->info.flags & arithmetic))
        return JEX_SoftStretch(src, &final_src, dst, &final_dst);
    return RunBlit(src, &final_src, dst, &final_dst);
}

JEX_Surface *JEX_ConvertSurface(JEX_Surface *src, const JEX_PixelFormat *fmt, Uint32 flags)
{
    if (!src || !fmt) {
        JEX_SetError("JEX_ConvertSurface: passed a NULL surface or format");
        return nullptr;
    }
    const JEX_Palette *fpal = fmt->palette;
    if (fpal) {
        bool all_white = true;
        for (int i = 0; i < fpal->ncolors && all_white; ++i) {
            const JEX_Color &c = fpal->colors[i];
            all_white = c.r == 255 && c.g == 255 && c.b == 255;
        }
        if (fpal->ncolors <= 0 || all_white) {
            JEX_SetError("Empty destination palette");
            return nullptr;
        }
    }

    JEX_Surface *convert = JEX_CreateRGBSurface(flags, src->w, src->h, fmt->bits_per_pixel,
                                                fmt->rmask, fmt->gmask, fmt->bmask, fmt->amask);
    if (!convert)
        return nullptr;
    JEX_Palette *cpal = convert->format->palette;
    if (fpal && cpal) {
        const int n = fpal->ncolors < cpal->ncolors ? fpal->ncolors : cpal->ncolors;
        std::memcpy(cpal->colors, fpal->colors, size_t(n) * sizeof(JEX_Color));
        cpal->ncolors = n;
    }

    // The copy itself runs without any of the source's blit state, from
    // plain pixels.
    DecodeBeforeChange(src);
    JEX_BlitMap *smap = src->map;
    const Uint32 saved = smap->info.flags;
    smap->info.flags = 0;
    JEX_InvalidateMap(smap);
    JEX_Rect srect{0, 0, src->w, src->h};
    JEX_Rect drect{0, 0, src->w, src->h};
    const int rc = RunBlit(src, &srect, convert, &drect);
    smap->info.flags = saved;
    // The map just built describes a copy without flags toward a surface
    // the caller may free: never reuse it.
    JEX_InvalidateMap(smap);
    if (rc < 0) {
        JEX_FreeSurface(convert);
        return nullptr;
    }

    JEX_BlitInfo &cinfo = convert->map->info;
    cinfo.r = smap->info.r;
    cinfo.g = smap->info.g;
    cinfo.b = smap->info.b;
    cinfo.a = smap->info.a;
    SetCopyFlags(convert, saved & ~Uint32(JEX_COPY_MODULATE_COLOR | JEX_COPY_BLEND |
                                          JEX_COPY_COLORKEY | JEX_COPY_RLE_MASK));

    if (saved & JEX_COPY_COLORKEY) {
        Uint8 r, g, b, a;
        JEX_GetRGBA(smap->info.colorkey, src->format, &r, &g, &b, &a);
        const Uint32 key = JEX_MapRGBA(convert->format, r, g, b, a);
        JEX_SetColorKey(convert, 1, key);
        const JEX_PixelFormat *cf = convert->format;
        if (cf->amask) {
            // The key becomes transparency: wherever the converted pixel is
            // the converted key, and wherever the source pixel was the key
            // (a conversion table may round a colour differently from the
            // key's own mapping, as 565 green 63 becomes 254).
            JEX_LockSurface(convert);
            const int bpp = cf->bytes_per_pixel;
            const Uint32 clear_mask = ~cf->amask;
            const Uint32 skey = smap->info.colorkey;
            for (int y = 0; y < convert->h; ++y) {
                Uint8 *row =
                    static_cast<Uint8 *>(convert->pixels) + std::ptrdiff_t(y) * convert->pitch;
                if (bpp != 2 && bpp != 4)
                    break;
                for (int x = 0; x < convert->w; ++x) {
                    Uint32 p = 0;
                    std::memcpy(&p, row + bpp * x, size_t(bpp));
                    if (p == key || SourcePixel(src, x, y) == skey) {
                        p &= clear_mask;
                        std::memcpy(row + bpp * x, &p, size_t(bpp));
                    }
                }
            }
            JEX_UnlockSurface(convert);
            JEX_SetColorKey(convert, 0, 0);
            JEX_SetSurfaceBlendMode(convert, JEX_BLENDMODE_BLEND);
        }
    }

    const JEX_Rect cbounds{0, 0, convert->w, convert->h};
    JEX_IntersectRect(&src->clip_rect, &cbounds, &convert->clip_rect);

    if ((src->format->amask && fmt->amask) ||
        (saved & (JEX_COPY_COLORKEY | JEX_COPY_MODULATE_ALPHA)))
        JEX_SetSurfaceBlendMode(convert, JEX_BLENDMODE_BLEND);
    if ((saved & JEX_COPY_RLE_DESIRED) || (flags & JEX_SURFACE_RLEACCEL))
        JEX_SetSurfaceRLE(convert, 1);
    return convert;
}

JEX_Surface *JEX_ConvertSurfaceFormat(JEX_Surface *src, Uint32 pixel_format, Uint32 flags)
{
    JEX_PixelFormat *fmt = JEX_AllocFormat(pixel_format);
    if (!fmt)
        return nullptr;
    JEX_Surface *convert = JEX_ConvertSurface(src, fmt, flags);
    JEX_FreeFormat(fmt);
    return convert;
}

int JEX_ConvertPixels(int width, int height, Uint32 src_format, const void *src, int src_pitch,
                      Uint32 dst_format, void *dst, int dst_pitch)
{
    if (width < 0 || height < 0) {
        JEX_SetError("Invalid pixel conversion size %dx%d", width, height);
        return -1;
    }
    if ((!src || !dst) && width > 0 && height > 0) {
        JEX_SetError("JEX_ConvertPixels: passed NULL pixels");
        return -1;
    }
    for (const Uint32 code : {src_format, dst_format}) {
        if (JEX_ISPIXELFORMAT_FOURCC(code)) {
            JEX_SetError("Unknown FOURCC pixel format");
            return -1;
        }
        if (!JEX_IsKnownPixelFormat(code)) {
            JEX_SetError("Unknown pixel format 0x%08X", code);
            return -1;
        }
    }
    // Each pitch must hold a row of its pixels, and the rows must fit the
    // int offsets the blitters compute, as for JEX_CreateRGBSurfaceFrom.
    for (const auto &[code, pitch] : {std::pair{src_format, src_pitch}, {dst_format, dst_pitch}}) {
        const Uint32 bits = JEX_BITSPERPIXEL(code);
        const Sint64 need =
            bits < 8 ? (Sint64(width) * bits + 7) / 8 : Sint64(width) * JEX_BYTESPERPIXEL(code);
        if (need > INT_MAX) {
            JEX_SetError("Row of %d pixels is too long", width);
            return -1;
        }
        if (pitch < need) {
            JEX_SetError("Pitch %d is too short for a row of %d pixels", pitch, width);
            return -1;
        }
        if (!ValidExtent(height, pitch))
            return -1;
    }

    if (src_format == dst_format) {
        // Formats under a byte per pixel copy the bytes their pixels span.
        const Uint32 bits = JEX_BITSPERPIXEL(src_format);
        const size_t row = bits < 8 ? (size_t(width) * bits + 7) / 8
                                    : size_t(width) * JEX_BYTESPERPIXEL(src_format);
        const auto *s = static_cast<const Uint8 *>(src);
        auto *d = static_cast<Uint8 *>(dst);
        for (int y = 0; y < height; ++y) {
            std::memmove(d, s, row);
            s += src_pitch;
            d += dst_pitch;
        }
        return 1;
    }

    if (JEX_ISPIXELFORMAT_INDEXED(src_format) || JEX_ISPIXELFORMAT_INDEXED(dst_format)) {
        JEX_SetError("Indexed pixel formats not supported");
        return -1;
    }
    if (width == 0 || height == 0)
        return 0;

    // Stack records only: a format, a map and a surface for each side.
    JEX_PixelFormat sfmt, dfmt;
    if (JEX_InitFormat(&sfmt, src_format) < 0 || JEX_InitFormat(&dfmt, dst_format) < 0)
        return -1;
    JEX_BlitMap smap{}, dmap{};
    smap.info.r = smap.info.g = smap.info.b = smap.info.a = 255;
    dmap.info.r = dmap.info.g = dmap.info.b = dmap.info.a = 255;
    JEX_Surface ssurf{}, dsurf{};
    ssurf.flags = dsurf.flags = JEX_SURFACE_PREALLOC;
    ssurf.format = &sfmt;
    ssurf.pixels = const_cast<void *>(src);
    ssurf.w = width;
    ssurf.h = height;
    ssurf.pitch = src_pitch;
    ssurf.clip_rect = JEX_Rect{0, 0, width, height};
    ssurf.map = &smap;
    ssurf.refcount = 1;
    dsurf.format = &dfmt;
    dsurf.pixels = dst;
    dsurf.w = width;
    dsurf.h = height;
    dsurf.pitch = dst_pitch;
    dsurf.clip_rect = JEX_Rect{0, 0, width, height};
    dsurf.map = &dmap;
    dsurf.refcount = 1;

    JEX_Rect rect{0, 0, width, height};
    JEX_Rect drect = rect;
    const int rc = RunBlit(&ssurf, &rect, &dsurf, &drect);
    JEX_InvalidateMap(&smap);
    return rc;
}
