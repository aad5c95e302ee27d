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

inline SurfacePtr Make(Uint32 code, int w, int h)
{
    int depth;
    Uint32 r, g, b, a;
    if (!JEX_PixelFormatEnumToMasks(code, &depth, &r, &g, &b, &a))
        return nullptr;
    return SurfacePtr(JEX_CreateRGBSurface(0, w, h, depth, r, g, b, a));
}

inline SurfacePtr MakeFrom(Uint32 code, void *pixels, int w, int h, int pitch)
{
    int depth;
    Uint32 r, g, b, a;
    if (!JEX_PixelFormatEnumToMasks(code, &depth, &r, &g, &b, &a))
        return nullptr;
    return SurfacePtr(JEX_CreateRGBSurfaceFrom(pixels, w, h, depth, pitch, r, g, b, a));
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
    unsigned sr = r, sg = g, sb = b;
    if (mode == JEX_BLENDMODE_BLEND || mode == JEX_BLENDMODE_ADD) {
        sr = sr * a / 255;
        sg = sg * a / 255;
        sb = sb * a / 255;
    }
    Uint8 dr8, dg8, db8, da8;
    JEX_GetRGBA(pixel, f, &dr8, &dg8, &db8, &da8);
    unsigned dr = dr8, dg = dg8, db = db8;
    Uint32 alpha_bits = pixel & f->amask;
    switch (mode) {
    case JEX_BLENDMODE_BLEND:
        dr = (255 - a) * dr / 255 + sr;
        dg = (255 - a) * dg / 255 + sg;
        db = (255 - a) * db / 255 + sb;
        break;
    case JEX_BLENDMODE_ADD:
        dr = std::min(dr + sr, 255u);
        dg = std::min(dg + sg, 255u);
        db = std::min(db + sb, 255u);
        break;
    case JEX_BLENDMODE_MOD:
        dr = sr * dr / 255;
        dg = sg * dg / 255;
        db = sb * db / 255;
        break;
    default:
        dr = sr;
        dg = sg;
        db = sb;
        alpha_bits = (Uint32(a >> f->aloss) << f->ashift) & f->amask;
        break;
    }
    return ((dr >> f->rloss) << f->rshift) | ((dg >> f->gloss) << f->gshift) |
           ((db >> f->bloss) << f->bshift) | alpha_bits;
}

}  // namespace drawtest

#endif
