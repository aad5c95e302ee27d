// Blit maps: building them for a destination, choosing the pixel routine,
// and running it over a pair of rectangles.
#include <cstddef>
#include <cstdlib>
#include <new>

#include "JEX_error.h"
#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/pixels_internal.h"
#include "surface/rle.h"

JEX_BlitMap *JEX_AllocBlitMap(void)
{
    auto *map = static_cast<JEX_BlitMap *>(std::calloc(1, sizeof(JEX_BlitMap)));
    if (!map) {
        JEX_OutOfMemory();
        return nullptr;
    }
    map->info.r = map->info.g = map->info.b = map->info.a = 255;
    return map;
}

void JEX_InvalidateMap(JEX_BlitMap *map)
{
    if (!map)
        return;
    map->dst = nullptr;
    map->dst_palette_version = 0;
    map->dst_format_code = 0;
    std::free(map->info.table);
    map->info.table = nullptr;
}

void JEX_FreeBlitMap(JEX_BlitMap *map)
{
    if (!map)
        return;
    JEX_InvalidateMap(map);
    std::free(map);
}

bool JEX_MapIsStale(const JEX_Surface *src, const JEX_Surface *dst)
{
    const JEX_BlitMap *map = src->map;
    if (map->dst != dst || map->info.dst_fmt != dst->format ||
        map->dst_format_code != dst->format->format || !map->data)
        return true;
    const JEX_Palette *pal = dst->format->palette;
    return pal && pal->version != map->dst_palette_version;
}

int JEX_MapSurface(JEX_Surface *src, JEX_Surface *dst)
{
    if (src->flags & JEX_SURFACE_RLEACCEL)
        JEX_UnRLESurface(src, 1);
    JEX_BlitMap *map = src->map;
    JEX_PixelFormat *sf = src->format;
    JEX_PixelFormat *df = dst->format;
    const bool src_indexed = JEX_ISPIXELFORMAT_INDEXED(sf->format);
    const bool dst_indexed = JEX_ISPIXELFORMAT_INDEXED(df->format);

    JEX_InvalidateMap(map);
    map->identity = 0;
    map->data = nullptr;

    if ((src_indexed && !sf->palette) || (dst_indexed && !df->palette)) {
        JEX_SetError("Indexed surface has no palette");
        return -1;
    }
    if (!src_indexed && dst_indexed) {
        // The table maps RGB332 values, so it is used even when it is the
        // identity.
        map->info.table = JEX_MapNto1(df->palette, &map->identity);
        if (!map->identity && !map->info.table)
            return -1;
        map->identity = 0;
    } else if (!src_indexed) {
        map->identity = (sf == df);
        if (!map->identity && sf->bits_per_pixel == 8 && df->bits_per_pixel >= 8) {
            // An 8-bit packed source (RGB332) goes through a table like an
            // indexed one: its 256 values read in its own format.
            JEX_Color colors[256];
            for (int i = 0; i < 256; ++i)
                JEX_GetRGBA(Uint32(i), sf, &colors[i].r, &colors[i].g, &colors[i].b, &colors[i].a);
            JEX_Palette values{256, colors, 1, 1};
            map->info.table =
                JEX_Map1toN(&values, map->info.r, map->info.g, map->info.b, map->info.a, df);
            if (!map->info.table)
                return -1;
        }
    } else if (dst_indexed) {
        map->info.table = JEX_Map1to1(sf->palette, df->palette, &map->identity);
        if (!map->identity && !map->info.table)
            return -1;
        if (sf->bits_per_pixel != df->bits_per_pixel)
            map->identity = 0;
    } else {
        map->info.table =
            JEX_Map1toN(sf->palette, map->info.r, map->info.g, map->info.b, map->info.a, df);
        if (!map->info.table)
            return -1;
    }

    map->dst = dst;
    map->dst_format_code = df->format;
    map->dst_palette_version = df->palette ? df->palette->version : 0;
    return JEX_CalculateBlit(src);
}

namespace {

// Pixel routine for the map's formats and flags: the plain copy, then the
// family of the source format, then the generated table, then the general
// routine; null when nothing handles the combination.
JEX_BlitFunc ChooseRoutine(JEX_Surface *src)
{
    const JEX_BlitMap &map = *src->map;
    const Uint32 flags = JEX_SelectionFlags(&map);
    const JEX_PixelFormat *sf = map.info.src_fmt;
    const JEX_PixelFormat *df = map.info.dst_fmt;
    if (map.identity && flags == 0)
        return JEX_BlitCopy;
    JEX_BlitFunc f;
    if (sf->bits_per_pixel < 8)
        f = JEX_CalculateBlit0(src);
    else if (sf->bytes_per_pixel == 1)
        f = JEX_CalculateBlit1(src);
    else if (flags & JEX_COPY_BLEND)
        f = JEX_CalculateBlitA(src);
    else
        f = JEX_CalculateBlitN(src);
    if (!f)
        f = JEX_FindGeneratedBlit(sf->format, df->format, flags);
    if (!f && sf->bytes_per_pixel > 1 && df->bytes_per_pixel > 1)
        f = JEX_Blit_Slow;
    return f;
}

}  // namespace

int JEX_CalculateBlit(JEX_Surface *src)
{
    if (src->flags & JEX_SURFACE_RLEACCEL)
        JEX_UnRLESurface(src, 1);
    JEX_BlitMap *map = src->map;
    JEX_Surface *dst = map->dst;
    map->info.src_fmt = src->format;
    map->info.src_pitch = src->pitch;
    map->info.dst_fmt = dst->format;
    map->info.dst_pitch = dst->pitch;
    map->blit = JEX_SoftBlit;
    map->data = nullptr;

    if ((map->info.flags & JEX_COPY_RLE_DESIRED) && JEX_RLESurface(src) == 0)
        return 0;

    const JEX_BlitFunc routine = ChooseRoutine(src);
    if (!routine) {
        JEX_InvalidateMap(map);
        map->data = nullptr;
        JEX_SetError("Blit combination not supported");
        return -1;
    }
    map->data = reinterpret_cast<void *>(routine);
    return 0;
}

JEX_BlitFunc JEX_GetMapBlitFunc(const JEX_Surface *src)
{
    if (!src || !src->map || !src->map->dst || src->map->blit != JEX_SoftBlit ||
        (src->flags & JEX_SURFACE_RLEACCEL))
        return nullptr;
    return reinterpret_cast<JEX_BlitFunc>(src->map->data);
}

namespace {

// Points the info at pixel (x, y) of a surface; formats under 8 bits per
// pixel address the byte holding the pixel and its place in that byte.
void Locate(const JEX_Surface *s, const JEX_Rect *r, Uint8 *&p, int &subpixel, int &skip)
{
    const JEX_PixelFormat *f = s->format;
    Uint8 *row = static_cast<Uint8 *>(s->pixels) + std::ptrdiff_t(r->y) * s->pitch;
    if (f->bits_per_pixel < 8) {
        const int per_byte = 8 / f->bits_per_pixel;
        p = row + r->x / per_byte;
        subpixel = r->x % per_byte;
        skip = s->pitch - (subpixel + r->w + per_byte - 1) / per_byte;
    } else {
        p = row + std::ptrdiff_t(r->x) * f->bytes_per_pixel;
        subpixel = 0;
        skip = s->pitch - r->w * f->bytes_per_pixel;
    }
}

}  // namespace

int JEX_SoftBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect)
{
    bool failed = false;
    bool dst_locked = false, src_locked = false;
    if (dst->flags & JEX_SURFACE_RLEACCEL) {
        if (JEX_LockSurface(dst) < 0)
            failed = true;
        else
            dst_locked = true;
    }
    if (src->flags & JEX_SURFACE_RLEACCEL) {
        if (JEX_LockSurface(src) < 0) {
            if (dst_locked)
                JEX_UnlockSurface(dst);
            return -1;
        }
        src_locked = true;
    }

    JEX_BlitMap *map = src->map;
    const auto routine = reinterpret_cast<JEX_BlitFunc>(map->data);
    if (!failed && srcrect->w > 0 && srcrect->h > 0 && routine) {
        JEX_BlitInfo &info = map->info;
        Locate(src, srcrect, info.src, info.src_subpixel, info.src_skip);
        info.src_w = srcrect->w;
        info.src_h = srcrect->h;
        info.src_pitch = src->pitch;
        Locate(dst, dstrect, info.dst, info.dst_subpixel, info.dst_skip);
        info.dst_w = dstrect->w;
        info.dst_h = dstrect->h;
        info.dst_pitch = dst->pitch;
        routine(&info);
    } else if (!routine) {
        failed = true;
    }

    if (dst_locked)
        JEX_UnlockSurface(dst);
    if (src_locked)
        JEX_UnlockSurface(src);
    return failed ? -1 : 0;
}
