// Pieces shared by the two families with indexed sources (bitmaps of 1 or 4
// bits and 8-bit pixels): table look-ups by destination size, the source
// colours of a blended copy, the blend itself and the selection rules.
#ifndef JEX_SURFACE_BLIT_INDEX_H
#define JEX_SURFACE_BLIT_INDEX_H

#include <cstring>

#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/blit_pixel.h"

namespace jex::blit {

// Writes table entry `index` (or, for a 1-byte destination without a table,
// the index itself). Entries are 1, 2 or 4 bytes; a 3-byte destination
// takes the first three bytes of a 4-byte entry.
template <int kDstBpp>
inline void StoreTableEntry(Uint8 *d, const Uint8 *table, unsigned index)
{
    if constexpr (kDstBpp == 1)
        d[0] = table ? table[index] : Uint8(index);
    else if constexpr (kDstBpp == 3)
        std::memcpy(d, table + 4 * index, 3);
    else
        std::memcpy(d, table + kDstBpp * index, kDstBpp);
}

// Colours of the 256 possible source indices: the palette (black past its
// end), or for an 8-bit format without a palette (RGB332) the pixel value
// read in that format.
struct SourceColours {
    Color c[256];
    explicit SourceColours(const JEX_PixelFormat *fmt)
    {
        const JEX_Palette *pal = fmt->palette;
        const Format f = MakeFormat(fmt);
        for (int i = 0; i < 256; ++i)
            if (!pal)
                c[i] = Expand(Uint32(i), f);
            else if (i < pal->ncolors)
                c[i] = Color{pal->colors[i].r, pal->colors[i].g, pal->colors[i].b, 255};
            else
                c[i] = Color{0, 0, 0, 255};
    }
};

// d + a x (s - d) / 255 on each colour channel, written with the
// destination's alpha bits all set.
template <class DF>
struct BlendOnto {
    DF df;
    unsigned a;
    Uint32 amask;
    BlendOnto(DF f, unsigned alpha) : df(f), a(alpha), amask(f.fmt().a.mask) {}
    void operator()(Uint8 *p, const Color &s) const
    {
        Color d = df.Expand(df.Load(p));
        d.r = BlendChannel(s.r, d.r, a);
        d.g = BlendChannel(s.g, d.g, a);
        d.b = BlendChannel(s.b, d.b, a);
        df.Store(p, (df.Pack(d) & ~amask) | amask);
    }
};

// The selection rules of both indexed families: the list entry for the
// destination size (0 below 8 bits per pixel), keyed or not, or the blended
// routines for surface alpha onto 2- to 4-byte destinations.
inline JEX_BlitFunc SelectIndexed(JEX_Surface *surface, const JEX_BlitFunc plain[5],
                                  const JEX_BlitFunc keyed[5], JEX_BlitFunc alpha,
                                  JEX_BlitFunc alpha_key)
{
    const JEX_BlitMap *map = surface->map;
    const JEX_PixelFormat *df = map->dst->format;
    const int which = df->bits_per_pixel < 8 ? 0 : df->bytes_per_pixel;
    if (which < 0 || which > 4)
        return nullptr;
    switch (JEX_SelectionFlags(map)) {
    case 0: return plain[which];
    case JEX_COPY_COLORKEY: return keyed[which];
    case JEX_COPY_MODULATE_ALPHA | JEX_COPY_BLEND: return which > 1 ? alpha : nullptr;
    case JEX_COPY_COLORKEY | JEX_COPY_MODULATE_ALPHA | JEX_COPY_BLEND:
        return which > 1 ? alpha_key : nullptr;
    default: return nullptr;
    }
}

}  // namespace jex::blit

#endif
