// Nearest-neighbour resizing between surfaces of the same pixel size.
#include <cstddef>
#include <cstring>

#include "JEX_error.h"
#include "JEX_surface.h"
#include "surface/blit_pixel.h"

namespace {

// A rectangle lies inside a w x h surface (sums in 64 bits).
bool Inside(const JEX_Rect &r, int w, int h)
{
    return r.x >= 0 && r.y >= 0 && r.w >= 0 && r.h >= 0 && Sint64(r.x) + r.w <= w &&
           Sint64(r.y) + r.h <= h;
}

// One destination row: pixel i takes source pixel (i x step) >> 16. Pixels
// go through memcpy because a caller's pitch need not keep them aligned.
template <typename T>
inline T LoadAt(const Uint8 *s, Uint64 index)
{
    T v;
    std::memcpy(&v, s + index * sizeof(T), sizeof(T));
    return v;
}

template <typename T>
void StretchRow(const Uint8 *src, Uint8 *dst, int dst_w, Uint64 step)
{
    Uint64 pos = 0;
    int i = 0;
    for (; i + 4 <= dst_w; i += 4) {
        const T p[4] = {LoadAt<T>(src, pos >> 16), LoadAt<T>(src, (pos + step) >> 16),
                        LoadAt<T>(src, (pos + 2 * step) >> 16),
                        LoadAt<T>(src, (pos + 3 * step) >> 16)};
        std::memcpy(dst + size_t(i) * sizeof(T), p, sizeof(p));
        pos += 4 * step;
    }
    for (; i < dst_w; ++i, pos += step) {
        const T v = LoadAt<T>(src, pos >> 16);
        std::memcpy(dst + size_t(i) * sizeof(T), &v, sizeof(T));
    }
}

void StretchRow3(const Uint8 *src, Uint8 *dst, int dst_w, Uint64 step)
{
    Uint64 pos = 0;
    for (int i = 0; i < dst_w; ++i, pos += step, dst += 3) {
        const Uint8 *s = src + std::ptrdiff_t(pos >> 16) * 3;
        dst[0] = s[0];
        dst[1] = s[1];
        dst[2] = s[2];
    }
}

}  // namespace

int JEX_SoftStretch(JEX_Surface *src, const JEX_Rect *srcrect, JEX_Surface *dst,
                    const JEX_Rect *dstrect)
{
    if (!src || !dst) {
        JEX_SetError("JEX_SoftStretch: passed a NULL surface");
        return -1;
    }
    const int bpp = src->format->bytes_per_pixel;
    if (src->format->bits_per_pixel != dst->format->bits_per_pixel) {
        JEX_SetError("Only works with same format surfaces");
        return -1;
    }
    // Several pixels share a byte below 8 bits per pixel; copying them by
    // whole bytes would run past the row.
    if (src->format->bits_per_pixel < 8) {
        JEX_SetError("Stretching is not supported below 8 bits per pixel");
        return -1;
    }
    JEX_Rect s = srcrect ? *srcrect : JEX_Rect{0, 0, src->w, src->h};
    JEX_Rect d = dstrect ? *dstrect : JEX_Rect{0, 0, dst->w, dst->h};
    if (!Inside(s, src->w, src->h)) {
        JEX_SetError("Invalid source blit rectangle");
        return -1;
    }
    if (!Inside(d, dst->w, dst->h)) {
        JEX_SetError("Invalid destination blit rectangle");
        return -1;
    }
    // Nothing to draw, or nothing to draw from.
    if (d.w == 0 || d.h == 0 || s.w == 0 || s.h == 0)
        return 0;

    bool dst_locked = false, src_locked = false;
    if (dst->flags & JEX_SURFACE_RLEACCEL) {
        if (JEX_LockSurface(dst) < 0) {
            JEX_SetError("Unable to lock destination surface");
            return -1;
        }
        dst_locked = true;
    }
    if (src->flags & JEX_SURFACE_RLEACCEL) {
        if (JEX_LockSurface(src) < 0) {
            if (dst_locked)
                JEX_UnlockSurface(dst);
            JEX_SetError("Unable to lock source surface");
            return -1;
        }
        src_locked = true;
    }

    const Uint64 xstep = jex::blit::ScaleStep(s.w, d.w);
    const Uint64 ystep = jex::blit::ScaleStep(s.h, d.h);
    const auto *sbase = static_cast<const Uint8 *>(src->pixels) + std::ptrdiff_t(s.x) * bpp;
    auto *dbase = static_cast<Uint8 *>(dst->pixels) + std::ptrdiff_t(d.x) * bpp;
    const size_t row_bytes = size_t(d.w) * size_t(bpp);

    Uint64 pos = 0;
    Sint64 last_row = -1;
    const Uint8 *last_dst = nullptr;
    for (int j = 0; j < d.h; ++j, pos += ystep) {
        const Sint64 sy = s.y + Sint64(pos >> 16);
        const Uint8 *srow = sbase + std::ptrdiff_t(sy) * src->pitch;
        Uint8 *drow = dbase + std::ptrdiff_t(d.y + j) * dst->pitch;
        // A source row used again gives the same destination row: copy it.
        // (Not when the two surfaces are one: the earlier row may have been
        // drawn over a source row since.)
        if (sy == last_row && src != dst) {
            std::memcpy(drow, last_dst, row_bytes);
            continue;
        }
        switch (bpp) {
        case 1: StretchRow<Uint8>(srow, drow, d.w, xstep); break;
        case 2: StretchRow<Uint16>(srow, drow, d.w, xstep); break;
        case 3: StretchRow3(srow, drow, d.w, xstep); break;
        case 4: StretchRow<Uint32>(srow, drow, d.w, xstep); break;
        default: break;
        }
        last_row = sy;
        last_dst = drow;
    }

    if (dst_locked)
        JEX_UnlockSurface(dst);
    if (src_locked)
        JEX_UnlockSurface(src);
    return 0;
}
