// Run-length encoding of keyed and alpha surfaces, the two blit routines
// that read the encodings, and decoding.
//
// Colour-key encoding: rows of (skip, run) entries, each followed by the run's
// pixels unchanged; counts are bytes (1-3 byte pixels) or 16-bit (4-byte
// pixels). Alpha encoding (32-bit sources with alpha, for one destination):
// a header describing the destination, then per row an opaque part of
// (skip, run) entries with pixels already in the destination format, and a
// translucent part of 16-bit (skip, run) entries with 32-bit values that
// carry the colour and the alpha in a form ready to blend. Both end with a
// (0, 0) entry after the last row that draws anything.
#include "surface/rle.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "JEX_error.h"
#include "surface/blit.h"
#include "surface/blit_pixel.h"
#include "surface/pixels_internal.h"
#include "surface/simd.h"

using namespace jex::blit;

namespace {

constexpr int kHeaderSize = 28;

template <class T>
inline void Put(std::vector<Uint8> &out, T v)
{
    const size_t at = out.size();
    out.resize(at + sizeof(T));
    std::memcpy(out.data() + at, &v, sizeof(T));
}

template <class T>
inline T Get(const Uint8 *&p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    p += sizeof(T);
    return v;
}

// Appends one row's entries: a run of `skip` pixels for which `clear(x)` is
// true alternates with a run of pixels for which it is false, each of those
// written by `emit(x, out)`. Counts are of type T, at most `largest`.
template <class T, class Clear, class Emit>
bool EncodeRow(std::vector<Uint8> &out, int w, unsigned largest, Clear &&clear, Emit &&emit)
{
    bool opaque = false;
    int x = 0;
    while (x < w) {
        const int skip_start = x;
        while (x < w && clear(x))
            ++x;
        unsigned skip = unsigned(x - skip_start);
        int run_start = x;
        while (x < w && !clear(x))
            ++x;
        unsigned run = unsigned(x - run_start);
        if (run)
            opaque = true;
        while (skip > largest) {
            Put<T>(out, T(largest));
            Put<T>(out, T(0));
            skip -= largest;
        }
        unsigned len = run < largest ? run : largest;
        Put<T>(out, T(skip));
        Put<T>(out, T(len));
        for (unsigned i = 0; i < len; ++i)
            emit(run_start + int(i), out);
        run -= len;
        run_start += int(len);
        while (run > 0) {
            len = run < largest ? run : largest;
            Put<T>(out, T(0));
            Put<T>(out, T(len));
            for (unsigned i = 0; i < len; ++i)
                emit(run_start + int(i), out);
            run -= len;
            run_start += int(len);
        }
    }
    return opaque;
}

Uint8 *RowOf(const JEX_Surface *s, int y)
{
    return static_cast<Uint8 *>(s->pixels) + std::ptrdiff_t(y) * s->pitch;
}

// ---------------------------------------------------------------------------
// Colour-key encoding

template <class T>
void EncodeColorKeyAs(const JEX_Surface *s, std::vector<Uint8> &out)
{
    const int bpp = s->format->bytes_per_pixel;
    const Uint32 amask = s->format->amask;
    const Uint32 key = s->map->info.colorkey & ~amask;
    const unsigned largest = sizeof(T) == 1 ? 255u : 65535u;
    size_t end = 0;  // after the last row that has an opaque pixel
    for (int y = 0; y < s->h; ++y) {
        const Uint8 *row = RowOf(s, y);
        const bool opaque = EncodeRow<T>(
            out, s->w, largest,
            [&](int x) { return (LoadPixel(row + std::ptrdiff_t(x) * bpp, bpp) & ~amask) == key; },
            [&](int x, std::vector<Uint8> &o) {
                const Uint8 *p = row + std::ptrdiff_t(x) * bpp;
                o.insert(o.end(), p, p + bpp);
            });
        if (opaque)
            end = out.size();
    }
    out.resize(end);
    Put<T>(out, T(0));
    Put<T>(out, T(0));
}

// Blends a run pixel onto the destination with alpha a (not 255).
struct KeyBlender {
    int bpp;
    Uint32 a;
    enum Kind { k565, k555, kRGB, kOther } kind;
    Format f;
    Uint32 amask;

    KeyBlender(const JEX_PixelFormat *fmt, Uint32 alpha)
        : bpp(fmt->bytes_per_pixel), a(alpha), f(MakeFormat(fmt)), amask(fmt->amask)
    {
        const auto has = [fmt](Uint32 m) {
            return fmt->rmask == m || fmt->gmask == m || fmt->bmask == m;
        };
        if (bpp == 2 && has(0x7E0))
            kind = k565;
        else if (bpp == 2 && has(0x3E0))
            kind = k555;
        else if (bpp == 4 && (fmt->rmask | fmt->gmask | fmt->bmask) == 0xFFFFFF && has(0xFF00))
            kind = kRGB;
        else
            kind = kOther;
    }

    static Uint16 Spread(Uint32 s, Uint32 d, Uint32 a5, Uint32 mask)
    {
        s = (s | (s << 16)) & mask;
        d = (d | (d << 16)) & mask;
        d = (d + ((a5 * (s - d)) >> 5)) & mask;
        return Uint16((d >> 16) | d);
    }

    void operator()(const Uint8 *sp, Uint8 *dp) const
    {
        const Uint32 s = LoadPixel(sp, bpp), d = LoadPixel(dp, bpp);
        Uint32 out;
        switch (kind) {
        case k565:
        case k555: {
            const Uint32 m = kind == k565 ? 0xF7DE : 0xFBDE;
            const Uint32 l = kind == k565 ? 0x0821 : 0x0421;
            if (a == 128)
                out = (((s & m) + (d & m)) >> 1) + (s & d & l);
            else
                out = Spread(s, d, a >> 3, kind == k565 ? 0x07E0F81F : 0x03E07C1F);
            break;
        }
        case kRGB:
            if (a == 128) {
                out = (((s & 0xFEFEFE) + (d & 0xFEFEFE)) >> 1) + (s & d & 0x010101);
            } else {
                const Uint32 rb =
                    ((d & 0xFF00FF) + ((a * ((s & 0xFF00FF) - (d & 0xFF00FF))) >> 8)) & 0xFF00FF;
                const Uint32 g =
                    ((d & 0xFF00) + ((a * ((s & 0xFF00) - (d & 0xFF00))) >> 8)) & 0xFF00;
                out = rb | g;
            }
            break;
        default: {
            const Color sc = Expand(s, f);
            Color dc = Expand(d, f);
            const auto mix = [this](unsigned sv, unsigned dv) {
                return unsigned(int(dv) + ((int(a) * (int(sv) - int(dv))) >> 8));
            };
            dc.r = mix(sc.r, dc.r);
            dc.g = mix(sc.g, dc.g);
            dc.b = mix(sc.b, dc.b);
            out = PackChannel(dc.r, f.r) | PackChannel(dc.g, f.g) | PackChannel(dc.b, f.b) | amask;
            break;
        }
        }
        StorePixel(dp, bpp, out);
    }
};

// Walks the colour-key encoding over srcrect and writes the visible run
// pixels at dst (the destination position of srcrect's corner), copied when
// `blend` is null.
template <class T>
void DrawColorKey(const Uint8 *enc, int surface_w, int bpp, const JEX_Rect &srcrect, Uint8 *dst,
                  int dst_pitch, const KeyBlender *blend)
{
    const Uint8 *p = enc;
    // Rows above the rectangle.
    for (int y = 0; y < srcrect.y; ++y) {
        int ofs = 0;
        while (ofs < surface_w) {
            const unsigned skip = Get<T>(p), run = Get<T>(p);
            if (ofs == 0 && skip == 0 && run == 0)
                return;
            ofs += int(skip + run);
            p += std::size_t(run) * bpp;
        }
    }
    const int left = srcrect.x, right = srcrect.x + srcrect.w;
    const bool whole = left == 0 && right == surface_w;
    for (int y = 0; y < srcrect.h; ++y, dst += dst_pitch) {
        int ofs = 0;
        while (ofs < surface_w) {
            const unsigned skip = Get<T>(p), run = Get<T>(p);
            if (ofs == 0 && skip == 0 && run == 0)
                return;
            ofs += int(skip);
            int start = ofs, end = ofs + int(run);
            const Uint8 *pixels = p;
            p += std::size_t(run) * bpp;
            ofs = end;
            if (!whole) {
                if (start < left) {
                    pixels += std::size_t(left - start) * bpp;
                    start = left;
                }
                if (end > right)
                    end = right;
                if (start >= end)
                    continue;
            }
            Uint8 *d = dst + std::ptrdiff_t(start - left) * bpp;
            const std::size_t n = std::size_t(end - start);
            if (!blend)
                std::memcpy(d, pixels, n * bpp);
            else
                for (std::size_t i = 0; i < n; ++i)
                    (*blend)(pixels + i * bpp, d + i * bpp);
        }
    }
}

void DrawColorKeyEncoding(const JEX_Surface *src, const JEX_Rect &srcrect, Uint8 *dst,
                          int dst_pitch, bool allow_blend)
{
    const int bpp = src->format->bytes_per_pixel;
    const Uint8 *enc = static_cast<const Uint8 *>(src->map->data);
    const Uint32 a = src->map->info.a;
    const KeyBlender blender(src->format, a);
    const KeyBlender *blend = allow_blend && a != 255 ? &blender : nullptr;
    if (bpp == 4)
        DrawColorKey<Uint16>(enc, src->w, bpp, srcrect, dst, dst_pitch, blend);
    else
        DrawColorKey<Uint8>(enc, src->w, bpp, srcrect, dst, dst_pitch, blend);
}

// ---------------------------------------------------------------------------
// Alpha encoding

// The destination the alpha encoding was made for.
struct Target {
    int bpp;
    Uint32 mask[4];
    Uint8 loss[4], shift[4];
    bool is565;  // 2-byte: a channel mask is 0x7E0

    explicit Target(const JEX_PixelFormat *f)
        : bpp(f->bytes_per_pixel), mask{f->rmask, f->gmask, f->bmask, f->amask},
          loss{f->rloss, f->gloss, f->bloss, f->aloss}, shift{f->rshift, f->gshift, f->bshift,
                                                              f->ashift},
          is565(f->rmask == 0x7E0 || f->gmask == 0x7E0 || f->bmask == 0x7E0)
    {}
    explicit Target(const Uint8 *h)
    {
        bpp = h[0];
        std::memcpy(mask, h + 4, 16);
        std::memcpy(loss, h + 20, 4);
        std::memcpy(shift, h + 24, 4);
        is565 = mask[0] == 0x7E0 || mask[1] == 0x7E0 || mask[2] == 0x7E0;
    }
    void Write(std::vector<Uint8> &out) const
    {
        const Uint8 head[4] = {Uint8(bpp), 0, 0, 0};
        out.insert(out.end(), head, head + 4);
        const Uint8 *m = reinterpret_cast<const Uint8 *>(mask);
        out.insert(out.end(), m, m + 16);
        out.insert(out.end(), loss, loss + 4);
        out.insert(out.end(), shift, shift + 4);
    }
    Uint32 PackRGB(const Color &c) const
    {
        return ((c.r >> loss[0]) << shift[0]) | ((c.g >> loss[1]) << shift[1]) |
               ((c.b >> loss[2]) << shift[2]);
    }
    Color Unpack(Uint32 p) const
    {
        return Color{JEX_expand_byte[loss[0]][(p & mask[0]) >> shift[0]],
                     JEX_expand_byte[loss[1]][(p & mask[1]) >> shift[1]],
                     JEX_expand_byte[loss[2]][(p & mask[2]) >> shift[2]], 255};
    }
    Uint32 G() const { return is565 ? 0x07E00000 : 0x03E00000; }
    Uint32 NotG16() const { return is565 ? 0xF81F : 0xFC1F; }
    Uint32 A5() const { return is565 ? 0x7E0 : 0x3E0; }
    Uint32 Spread() const { return is565 ? 0x07E0F81F : 0x03E07C1F; }
};

bool AlphaTargetOk(const JEX_PixelFormat *d)
{
    const Uint32 rgb = d->rmask | d->gmask | d->bmask;
    if (d->bytes_per_pixel == 2) {
        if (rgb == 0x7FFF)
            return d->rmask == 0x3E0 || d->gmask == 0x3E0 || d->bmask == 0x3E0;
        if (rgb == 0xFFFF)
            return d->rmask == 0x7E0 || d->gmask == 0x7E0 || d->bmask == 0x7E0;
        return false;
    }
    return d->bytes_per_pixel == 4 && rgb == 0xFFFFFF;
}

void EncodeAlpha(const JEX_Surface *s, const JEX_PixelFormat *dfmt, std::vector<Uint8> &out)
{
    const Target t(dfmt);
    t.Write(out);
    const Format sf = MakeFormat(s->format);
    const bool wide = t.bpp == 4;
    size_t end = out.size();
    std::vector<Color> row(size_t(s->w));
    for (int y = 0; y < s->h; ++y) {
        const Uint8 *src = RowOf(s, y);
        for (int x = 0; x < s->w; ++x)
            row[size_t(x)] = Expand(LoadPixel(src + 4 * std::ptrdiff_t(x), 4), sf);
        // Opaque part.
        const auto emit_opaque = [&](int x, std::vector<Uint8> &o) {
            const Uint32 p = t.PackRGB(row[size_t(x)]) | t.mask[3];
            if (wide)
                Put<Uint32>(o, p);
            else
                Put<Uint16>(o, Uint16(p));
        };
        const auto not_opaque = [&](int x) { return row[size_t(x)].a != 255; };
        bool drawn = wide ? EncodeRow<Uint16>(out, s->w, 255, not_opaque, emit_opaque)
                          : EncodeRow<Uint8>(out, s->w, 255, not_opaque, emit_opaque);
        if (!wide)
            out.resize((out.size() + 3) & ~size_t(3), 0);
        // Translucent part.
        const auto not_translucent = [&](int x) {
            const unsigned a = row[size_t(x)].a;
            return a == 0 || a == 255;
        };
        const auto emit_transl = [&](int x, std::vector<Uint8> &o) {
            const Color &c = row[size_t(x)];
            Uint32 v;
            if (wide) {
                v = t.PackRGB(c) | (Uint32(c.a) << 24);
            } else {
                const Uint32 p = t.PackRGB(c) | t.mask[3];
                v = ((p << 16) & t.G()) | (p & t.NotG16()) | ((Uint32(c.a) << 2) & t.A5());
            }
            Put<Uint32>(o, v);
        };
        drawn |= EncodeRow<Uint16>(out, s->w, 65535, not_translucent, emit_transl);
        if (drawn)
            end = out.size();
    }
    out.resize(end);
    if (wide) {
        Put<Uint16>(out, 0);
        Put<Uint16>(out, 0);
    } else {
        Put<Uint8>(out, 0);
        Put<Uint8>(out, 0);
    }
}

// Walks the alpha encoding: for each row of srcrect, opaque runs and
// translucent values in the visible columns are handed to the callbacks
// with their destination column. `transl_row(dy, entries)` may take a
// visible row's whole translucent part when srcrect spans every column,
// returning where the next row begins, or null to leave it to `transl`.
struct NoTranslRow {
    const Uint8 *operator()(int, const Uint8 *) const { return nullptr; }
};

template <class CountT, class Opaque, class Transl, class TranslRow = NoTranslRow>
void WalkAlpha(const Uint8 *enc, int surface_w, const JEX_Rect &srcrect, Opaque &&opaque,
               Transl &&transl, TranslRow &&transl_row = TranslRow{})
{
    const bool whole_rows = srcrect.x == 0 && srcrect.w == surface_w;
    const Target t(enc);
    const Uint8 *p = enc + kHeaderSize;
    const int bpp = t.bpp;
    const Uint8 *const base = enc;
    const auto align4 = [base](const Uint8 *q) {
        return base + ((std::size_t(q - base) + 3) & ~std::size_t(3));
    };
    const int left = srcrect.x, right = srcrect.x + srcrect.w;
    for (int y = 0; y < srcrect.y + srcrect.h; ++y) {
        const bool visible = y >= srcrect.y;
        const int dy = y - srcrect.y;
        int ofs = 0;
        while (ofs < surface_w) {
            const unsigned skip = Get<CountT>(p), run = Get<CountT>(p);
            if (ofs == 0 && skip == 0 && run == 0)
                return;
            ofs += int(skip);
            if (visible) {
                const int start = ofs > left ? ofs : left;
                const int end = ofs + int(run) < right ? ofs + int(run) : right;
                if (start < end)
                    opaque(dy, start - left, p + std::size_t(start - ofs) * bpp, end - start);
            }
            p += std::size_t(run) * bpp;
            ofs += int(run);
        }
        if (bpp == 2)
            p = align4(p);
        if (visible && whole_rows) {
            if (const Uint8 *next = transl_row(dy, p)) {
                p = next;
                continue;
            }
        }
        ofs = 0;
        while (ofs < surface_w) {
            const unsigned skip = Get<Uint16>(p), run = Get<Uint16>(p);
            ofs += int(skip);
            if (visible) {
                const int start = ofs > left ? ofs : left;
                const int end = ofs + int(run) < right ? ofs + int(run) : right;
                if (start < end)
                    transl(dy, start - left, p + std::size_t(start - ofs) * 4, end - start);
            }
            p += std::size_t(run) * 4;
            ofs += int(run);
        }
    }
}

bool LockIfEncoded(JEX_Surface *dst)
{
    return (dst->flags & JEX_SURFACE_RLEACCEL) && JEX_LockSurface(dst) == 0;
}

}  // namespace

int JEX_RLESurface(JEX_Surface *surface)
{
    if (!surface || !surface->map)
        return -1;
    if (surface->flags & JEX_SURFACE_RLEACCEL)
        JEX_UnRLESurface(surface, 1);
    JEX_BlitMap *map = surface->map;
    const JEX_PixelFormat *fmt = surface->format;
    const Uint32 flags = map->info.flags;
    if (fmt->bits_per_pixel < 8 || !surface->pixels || surface->w <= 0 || surface->h <= 0)
        return -1;
    if (!(flags & (JEX_COPY_COLORKEY | JEX_COPY_BLEND)))
        return -1;
    if (flags & JEX_COPY_MODULATE_COLOR)
        return -1;
    if ((flags & JEX_COPY_MODULATE_ALPHA) && fmt->amask)
        return -1;
    if (flags & (JEX_COPY_ADD | JEX_COPY_MOD | JEX_COPY_NEAREST))
        return -1;
    if (!map->dst)
        return -1;

    std::vector<Uint8> out;
    bool alpha;
    if (fmt->amask && (flags & JEX_COPY_BLEND)) {
        // The destination is described by the format code the map recorded:
        // re-encoding on unlock may come after that surface was freed.
        JEX_PixelFormat target;
        if (JEX_InitFormat(&target, map->dst_format_code) < 0)
            return -1;
        if (fmt->bits_per_pixel != 32 || !AlphaTargetOk(&target))
            return -1;
        alpha = true;
        EncodeAlpha(surface, &target, out);
    } else {
        // Only a keyed surface has anything to skip.
        if (!(flags & JEX_COPY_COLORKEY) || !map->identity)
            return -1;
        alpha = false;
        if (fmt->bytes_per_pixel == 4)
            EncodeColorKeyAs<Uint16>(surface, out);
        else
            EncodeColorKeyAs<Uint8>(surface, out);
    }
    void *buffer = std::malloc(out.size());
    if (!buffer) {
        JEX_OutOfMemory();
        return -1;
    }
    std::memcpy(buffer, out.data(), out.size());

    if (!(surface->flags & JEX_SURFACE_PREALLOC)) {
        std::free(surface->pixels);
        surface->pixels = nullptr;
    }
    map->data = buffer;
    map->blit = alpha ? JEX_RLEAlphaBlit : JEX_RLEBlit;
    map->info.flags |= alpha ? JEX_COPY_RLE_ALPHAKEY : JEX_COPY_RLE_COLORKEY;
    surface->flags |= JEX_SURFACE_RLEACCEL;
    return 0;
}

void JEX_UnRLESurface(JEX_Surface *surface, int recode)
{
    if (!surface || !(surface->flags & JEX_SURFACE_RLEACCEL))
        return;
    surface->flags &= ~Uint32(JEX_SURFACE_RLEACCEL);
    JEX_BlitMap *map = surface->map;
    if (!map->data)
        return;  // decoded already (locked)
    if (recode && !(surface->flags & JEX_SURFACE_PREALLOC) && !surface->pixels) {
        const std::size_t size = std::size_t(surface->h) * std::size_t(surface->pitch);
        surface->pixels = std::malloc(size);
        if (!surface->pixels) {
            surface->flags |= JEX_SURFACE_RLEACCEL;
            JEX_OutOfMemory();
            return;
        }
        const JEX_Rect full{0, 0, surface->w, surface->h};
        const int bpp = surface->format->bytes_per_pixel;
        // The routine installed tells the encoding (the copy flags may have
        // been edited since).
        if (map->blit != JEX_RLEAlphaBlit) {
            // The key everywhere, then the runs copied exactly (never blended:
            // these are the surface's own pixels).
            for (int y = 0; y < surface->h; ++y) {
                Uint8 *row = RowOf(surface, y);
                for (int x = 0; x < surface->w; ++x)
                    StorePixel(row + std::ptrdiff_t(x) * bpp, bpp, map->info.colorkey);
            }
            DrawColorKeyEncoding(surface, full, static_cast<Uint8 *>(surface->pixels),
                                 surface->pitch, false);
        } else {
            std::memset(surface->pixels, 0, size);
            const Uint8 *enc = static_cast<const Uint8 *>(map->data);
            const Target t(enc);
            const Format sf = MakeFormat(surface->format);
            const auto put = [&](int y, int x, const Color &c) {
                StorePixel(RowOf(surface, y) + std::ptrdiff_t(x) * 4, 4, Pack(c, sf));
            };
            const auto opaque = [&](int y, int x, const Uint8 *p, int n) {
                for (int i = 0; i < n; ++i)
                    put(y, x + i, t.Unpack(LoadPixel(p + std::size_t(i) * t.bpp, t.bpp)));
            };
            const auto transl = [&](int y, int x, const Uint8 *run, int n) {
                for (int i = 0; i < n; ++i) {
                    const Uint32 v = LoadPixel(run + std::size_t(i) * 4, 4);
                    Color c;
                    if (t.bpp == 4) {
                        c = t.Unpack(v);
                        c.a = v >> 24;
                    } else {
                        c = t.Unpack((v & t.NotG16()) | ((v & t.G()) >> 16));
                        c.a = (v >> 2) & 0xF8;
                    }
                    put(y, x + i, c);
                }
            };
            if (t.bpp == 4)
                WalkAlpha<Uint16>(enc, surface->w, full, opaque, transl);
            else
                WalkAlpha<Uint8>(enc, surface->w, full, opaque, transl);
        }
    }
    std::free(map->data);
    map->data = nullptr;
    map->blit = JEX_SoftBlit;
    map->info.flags &= ~Uint32(JEX_COPY_RLE_COLORKEY | JEX_COPY_RLE_ALPHAKEY);
}

int JEX_RLEBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect)
{
    const bool locked = LockIfEncoded(dst);
    if ((dst->flags & JEX_SURFACE_RLEACCEL) && !locked)
        return -1;
    const int bpp = src->format->bytes_per_pixel;
    Uint8 *d = static_cast<Uint8 *>(dst->pixels) + std::ptrdiff_t(dstrect->y) * dst->pitch +
               std::ptrdiff_t(dstrect->x) * bpp;
    if (srcrect->w > 0 && srcrect->h > 0 && src->map->data)
        DrawColorKeyEncoding(src, *srcrect, d, dst->pitch, true);
    if (locked)
        JEX_UnlockSurface(dst);
    return 0;
}

int JEX_RLEAlphaBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect)
{
    const bool locked = LockIfEncoded(dst);
    if ((dst->flags & JEX_SURFACE_RLEACCEL) && !locked)
        return -1;
    const Uint8 *enc = static_cast<const Uint8 *>(src->map->data);
    if (enc && srcrect->w > 0 && srcrect->h > 0) {
        const Target t(enc);
        const int bpp = t.bpp;
        Uint8 *base = static_cast<Uint8 *>(dst->pixels) + std::ptrdiff_t(dstrect->y) * dst->pitch +
                      std::ptrdiff_t(dstrect->x) * bpp;
        const int pitch = dst->pitch;
        const auto at = [base, pitch, bpp](int y, int x) {
            return base + std::ptrdiff_t(y) * pitch + std::ptrdiff_t(x) * bpp;
        };
        const auto opaque = [&](int y, int x, const Uint8 *p, int n) {
            std::memcpy(at(y, x), p, std::size_t(n) * bpp);
        };
        if (bpp == 4) {
            // Translucent runs hold pixels in the destination's order with
            // alpha on top, which is what the vector row kernel blends (the
            // same d + floor(a x (s - d) / 256) per channel); the encoding
            // writes an opaque top byte. Runs are short (a sprite's soft
            // edge), so the four-lane kernel leaves the shortest tails.
            const JEX_SimdKernels *k = JEX_ActiveSimdPath() == SimdPath::Scalar
                                           ? nullptr
                                           : JEX_SimdKernelsFor(SimdPath::SSE2);
            // Rows of whole sprites go to the row kernel in one call.
            const bool aligned = ((reinterpret_cast<std::uintptr_t>(base) |
                                   reinterpret_cast<std::uintptr_t>(enc) | std::uintptr_t(pitch)) &
                                  3) == 0;
            const auto row = [&](int y, const Uint8 *entries) -> const Uint8 * {
                if (!k || !aligned)
                    return nullptr;
                return k->rle_alpha_row(entries, reinterpret_cast<Uint32 *>(at(y, 0)), src->w);
            };
            WalkAlpha<Uint16>(
                enc, src->w, *srcrect, opaque,
                [&](int y, int x, const Uint8 *run, int n) {
                    Uint8 *p = at(y, x);
                    int i = 0;
                    if (k && ((reinterpret_cast<std::uintptr_t>(run) |
                               reinterpret_cast<std::uintptr_t>(p)) &
                              3) == 0) {
                        i = k->rgb_pixel_alpha(reinterpret_cast<const Uint32 *>(run),
                                               reinterpret_cast<Uint32 *>(p), n);
                        for (int j = 0; j < i; ++j)
                            reinterpret_cast<Uint32 *>(p)[j] |= 0xFF000000;
                    }
                    for (; i < n; ++i) {
                        const Uint32 s = LoadPixel(run + std::size_t(i) * 4, 4);
                        const Uint32 d = LoadPixel(p + std::size_t(i) * 4, 4);
                        const Uint32 a = s >> 24;
                        const Uint32 rb =
                            (((a * ((s & 0xFF00FF) - (d & 0xFF00FF))) >> 8) + (d & 0xFF00FF)) &
                            0xFF00FF;
                        const Uint32 g =
                            (((((s & 0xFF00) - (d & 0xFF00)) * a) >> 8) + (d & 0xFF00)) & 0xFF00;
                        StorePixel(p + std::size_t(i) * 4, 4, rb + g + 0xFF000000);
                    }
                },
                row);
        } else {
            const Uint32 spread = t.Spread();
            WalkAlpha<Uint8>(enc, src->w, *srcrect, opaque,
                             [&](int y, int x, const Uint8 *run, int n) {
                                 for (int i = 0; i < n; ++i) {
                                     const Uint32 stored = LoadPixel(run + std::size_t(i) * 4, 4);
                                     Uint8 *p = at(y, x + i);
                                     Uint32 d = LoadPixel(p, 2);
                                     d = (d * 0x10001) & spread;
                                     const Uint32 s = stored & spread;
                                     const Uint32 a5 = (stored >> 5) & 31;
                                     const Uint32 r = (d + ((a5 * (s - d)) >> 5)) & spread;
                                     StorePixel(p, 2, (r >> 16) | r);
                                 }
                             });
        }
    }
    if (locked)
        JEX_UnlockSurface(dst);
    return 0;
}
