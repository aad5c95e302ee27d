// Helpers and headers shared by the surface, blit, fill, drawing, RLE and BMP
// tests: owned and guarded surfaces, raw pixel access written independently of
// the library, and the colour formulas of copies and blended fills written out
// from their definitions (integer division by 255 truncates).
#ifndef JEX_TEST_SURFACE_TEST_UTIL_H
#define JEX_TEST_SURFACE_TEST_UTIL_H

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "JEX.h"

namespace surftest {

struct SurfaceDeleter {
    void operator()(JEX_Surface *s) const { JEX_FreeSurface(s); }
};
using SurfacePtr = std::unique_ptr<JEX_Surface, SurfaceDeleter>;

inline SurfacePtr MakeFrom(Uint32 code, void *pixels, int w, int h, int pitch)
{
    int depth;
    Uint32 r, g, b, a;
    if (!JEX_PixelFormatEnumToMasks(code, &depth, &r, &g, &b, &a))
        return nullptr;
    return SurfacePtr(pixels ? JEX_CreateRGBSurfaceFrom(pixels, w, h, depth, pitch, r, g, b, a)
                             : JEX_CreateRGBSurface(0, w, h, depth, r, g, b, a));
}

inline SurfacePtr Make(Uint32 code, int w, int h)
{
    return MakeFrom(code, nullptr, w, h, 0);
}

// The pixel's bytes read as a little-endian value (3-byte pixels included).
inline Uint32 ReadRaw(const Uint8 *p, int bpp)
{
    Uint32 v = 0;
    for (int i = 0; i < bpp; ++i)
        v |= Uint32(p[i]) << (8 * i);
    return v;
}

inline void WriteRaw(Uint8 *p, int bpp, Uint32 v)
{
    for (int i = 0; i < bpp; ++i)
        p[i] = Uint8(v >> (8 * i));
}

inline Uint32 Read(const JEX_Surface *s, int x, int y)
{
    const int bpp = s->format->bytes_per_pixel;
    return ReadRaw(static_cast<const Uint8 *>(s->pixels) + y * s->pitch + x * bpp, bpp);
}

inline void Randomise(JEX_Surface *s, std::mt19937 &rng)
{
    auto *p = static_cast<Uint8 *>(s->pixels);
    for (int i = 0; i < s->pitch * s->h; ++i)
        p[i] = Uint8(rng());
}

inline void RandomPalette(JEX_Surface *s, std::mt19937 &rng)
{
    JEX_Palette *pal = s->format->palette;
    if (!pal)
        return;
    std::vector<JEX_Color> colors(size_t(pal->ncolors));
    for (auto &c : colors)
        c = JEX_Color{Uint8(rng()), Uint8(rng()), Uint8(rng()), 255};
    ASSERT_EQ(JEX_SetPaletteColors(pal, colors.data(), 0, pal->ncolors), 0);
}

inline std::string Name(Uint32 s, Uint32 d, const std::string &what)
{
    return std::string(JEX_GetPixelFormatName(s)) + " -> " + JEX_GetPixelFormatName(d) + " " + what;
}

constexpr Uint8 kGuard = 0xA5;
constexpr int kGuardBytes = 7;  // also leaves rows unaligned

// A surface over a buffer with guard bytes after each row and at the end, `lead` bytes in.
class Guarded {
public:
    Guarded(Uint32 code, int w, int h, int lead = 0) : code_(code), w_(w), h_(h), lead_(lead)
    {
        int depth = 0;
        Uint32 r, g, b, a;
        EXPECT_TRUE(JEX_PixelFormatEnumToMasks(code, &depth, &r, &g, &b, &a));
        bits_ = int(JEX_BITSPERPIXEL(code));
        row_ = bits_ < 8 ? (w * bits_ + 7) / 8 : w * int(JEX_BYTESPERPIXEL(code));
        pitch_ = row_ + kGuardBytes;
        buf_.assign(size_t(lead) + size_t(pitch_) * h + kGuardBytes, kGuard);
        surface_ = JEX_CreateRGBSurfaceFrom(buf_.data() + lead, std::max(w, 1), h, depth, pitch_, r,
                                            g, b, a);
        EXPECT_NE(surface_, nullptr) << JEX_GetError();
        if (surface_ && surface_->format->format != code) {
            // Masks name only the most-significant-first bitmaps; the other
            // bit order gets its own format record and palette.
            JEX_PixelFormat *f = JEX_AllocFormat(code);
            JEX_Palette *pal = JEX_AllocPalette(1 << bits_);
            EXPECT_TRUE(f && pal);
            JEX_SetPixelFormatPalette(f, pal);
            JEX_FreePalette(pal);
            JEX_SetPixelFormatPalette(surface_->format, nullptr);
            JEX_FreeFormat(surface_->format);
            surface_->format = f;
        }
    }
    ~Guarded() { JEX_FreeSurface(surface_); }
    Guarded(const Guarded &) = delete;
    Guarded &operator=(const Guarded &) = delete;
    JEX_Surface *get() const { return surface_; }
    const JEX_PixelFormat *fmt() const { return surface_->format; }
    int bpp() const { return surface_->format->bytes_per_pixel; }
    Uint8 *row(int y) { return buf_.data() + lead_ + size_t(y) * pitch_; }
    Uint32 pixel(int x, int y)
    {
        if (bits_ < 8) {
            const int per = 8 / bits_, k = x % per;
            const bool msb = JEX_PIXELORDER(code_) != JEX_BITMAPORDER_4321;
            const int shift = msb ? 8 - bits_ - k * bits_ : k * bits_;
            return (row(y)[x / per] >> shift) & ((1u << bits_) - 1);
        }
        return ReadRaw(row(y) + size_t(x) * bpp(), bpp());
    }
    void set(int x, int y, Uint32 v)
    {
        ASSERT_GE(bits_, 8);
        WriteRaw(row(y) + size_t(x) * bpp(), bpp(), v);
    }
    void Fill(Uint32 v)
    {
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                set(x, y, v);
    }
    void Randomize(std::mt19937 &rng)
    {
        for (int y = 0; y < h_; ++y)
            for (int i = 0; i < row_; ++i)
                row(y)[i] = Uint8(rng());
    }
    bool GuardsIntact() const
    {
        for (int i = 0; i < lead_; ++i)
            if (buf_[size_t(i)] != kGuard)
                return false;
        for (int y = 0; y < h_; ++y)
            for (int i = row_; i < pitch_; ++i)
                if (buf_[size_t(lead_) + size_t(y) * pitch_ + i] != kGuard)
                    return false;
        for (size_t i = size_t(lead_) + size_t(pitch_) * h_; i < buf_.size(); ++i)
            if (buf_[i] != kGuard)
                return false;
        return true;
    }
    std::vector<Uint8> Bytes() const { return buf_; }

private:
    Uint32 code_;
    int w_, h_, lead_, bits_ = 0, row_ = 0, pitch_ = 0;
    std::vector<Uint8> buf_;
    JEX_Surface *surface_ = nullptr;
};

// The blit state a case applies to its source.
struct Flags {
    const char *name;
    bool key, modcolor, modalpha;
    JEX_BlendMode mode;
};

constexpr Uint8 kModR = 200, kModG = 100, kModB = 37, kModA = 100;

inline Uint32 FlagBits(const Flags &f)
{
    Uint32 b = 0;
    if (f.key)
        b |= JEX_COPY_COLORKEY;
    if (f.modcolor)
        b |= JEX_COPY_MODULATE_COLOR;
    if (f.modalpha)
        b |= JEX_COPY_MODULATE_ALPHA;
    if (f.mode == JEX_BLENDMODE_BLEND)
        b |= JEX_COPY_BLEND;
    if (f.mode == JEX_BLENDMODE_ADD)
        b |= JEX_COPY_ADD;
    if (f.mode == JEX_BLENDMODE_MOD)
        b |= JEX_COPY_MOD;
    return b;
}

inline void Apply(JEX_Surface *s, const Flags &f, Uint32 key)
{
    ASSERT_EQ(JEX_SetColorKey(s, f.key ? 1 : 0, key), 0);
    ASSERT_EQ(JEX_SetSurfaceColorMod(s, f.modcolor ? kModR : 255, f.modcolor ? kModG : 255,
                                     f.modcolor ? kModB : 255),
              0);
    ASSERT_EQ(JEX_SetSurfaceAlphaMod(s, f.modalpha ? kModA : 255), 0);
    ASSERT_EQ(JEX_SetSurfaceBlendMode(s, f.mode), 0);
}

// The general formulas of a copy: modulate, premultiply for BLEND and ADD, combine (no key).
inline Uint32 General(Uint32 sp, Uint32 dp, const JEX_PixelFormat *sf, const JEX_PixelFormat *df,
                      Uint32 flags)
{
    Uint8 c[4], e[4];
    JEX_GetRGBA(sp, sf, &c[0], &c[1], &c[2], &c[3]);
    JEX_GetRGBA(dp, df, &e[0], &e[1], &e[2], &e[3]);
    int r = c[0], g = c[1], b = c[2], a = c[3], dr = e[0], dg = e[1], db = e[2], da = e[3];
    if (flags & JEX_COPY_MODULATE_COLOR) {
        r = r * kModR / 255;
        g = g * kModG / 255;
        b = b * kModB / 255;
    }
    if (flags & JEX_COPY_MODULATE_ALPHA)
        a = a * kModA / 255;
    if ((flags & (JEX_COPY_BLEND | JEX_COPY_ADD)) && a < 255) {
        r = r * a / 255;
        g = g * a / 255;
        b = b * a / 255;
    }
    if (flags & JEX_COPY_BLEND) {
        dr = r + dr * (255 - a) / 255;
        dg = g + dg * (255 - a) / 255;
        db = b + db * (255 - a) / 255;
    } else if (flags & JEX_COPY_ADD) {
        dr = std::min(255, r + dr);
        dg = std::min(255, g + dg);
        db = std::min(255, b + db);
    } else if (flags & JEX_COPY_MOD) {
        dr = r * dr / 255;
        dg = g * dg / 255;
        db = b * db / 255;
    } else {
        dr = r, dg = g, db = b, da = a;
    }
    return JEX_MapRGBA(df, Uint8(dr), Uint8(dg), Uint8(db), Uint8(da));
}

// A blended fill or drawing operation on one pixel: BLEND and ADD premultiply
// the colour by alpha; BLEND, ADD and MOD keep the destination's alpha bits;
// any other mode replaces the pixel with the colour and alpha. Channels are
// read through JEX_GetRGBA and written back by their top bits.
inline Uint32 OracleBlend(const JEX_PixelFormat *f, Uint32 pixel, int mode, Uint8 r, Uint8 g,
                          Uint8 b, Uint8 a)
{
    const bool premultiply = mode == JEX_BLENDMODE_BLEND || mode == JEX_BLENDMODE_ADD;
    const unsigned src[3] = {premultiply ? r * a / 255u : r, premultiply ? g * a / 255u : g,
                             premultiply ? b * a / 255u : b};
    Uint8 d8[4];
    JEX_GetRGBA(pixel, f, &d8[0], &d8[1], &d8[2], &d8[3]);
    const Uint8 loss[3] = {f->rloss, f->gloss, f->bloss},
                shift[3] = {f->rshift, f->gshift, f->bshift};
    Uint32 out = pixel & f->amask;
    if (mode != JEX_BLENDMODE_BLEND && mode != JEX_BLENDMODE_ADD && mode != JEX_BLENDMODE_MOD)
        out = (Uint32(a >> f->aloss) << f->ashift) & f->amask;
    for (int c = 0; c < 3; ++c) {
        const unsigned s = src[c], d = d8[c];
        const unsigned v = mode == JEX_BLENDMODE_BLEND ? (255 - a) * d / 255 + s
                           : mode == JEX_BLENDMODE_ADD ? std::min(d + s, 255u)
                           : mode == JEX_BLENDMODE_MOD ? s * d / 255
                                                       : s;
        out |= (v >> loss[c]) << shift[c];
    }
    return out;
}

}  // namespace surftest

#endif
