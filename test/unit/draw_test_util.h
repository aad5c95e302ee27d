// Helpers shared by the fill and drawing tests: owned surfaces, raw pixel
// access and the blended operation written out from its definition.
#ifndef JEX_TEST_DRAW_TEST_UTIL_H
#define JEX_TEST_DRAW_TEST_UTIL_H

#include <algorithm>
#include <memory>
#include <random>

#include "JEX.h"

namespace drawtest {

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

// The pixel's bytes read as a little-endian value.
inline Uint32 ReadRaw(const Uint8 *p, int bpp)
{
    Uint32 v = 0;
    for (int i = 0; i < bpp; ++i)
        v |= Uint32(p[i]) << (8 * i);
    return v;
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

// BLEND and ADD premultiply the colour by alpha; BLEND, ADD and MOD keep the
// destination's alpha bits; any other mode replaces the pixel with the
// colour and alpha. Channels are read through JEX_GetRGBA and written back
// by their top bits.
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

}  // namespace drawtest

#endif
