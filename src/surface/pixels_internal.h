// Internal pixel-format services used by surfaces, blitters and BMP files.
#ifndef JEX_SURFACE_PIXELS_INTERNAL_H
#define JEX_SURFACE_PIXELS_INTERNAL_H

#include "JEX_pixels.h"

// Expansion tables, indexed by loss: JEX_expand_byte[loss][v] maps a channel
// value v of (8 - loss) bits onto 0..255 with both ends exact. Losses of the
// formats built by JEX_InitFormat are always 0..8 (wide channels are shifted
// down to their top 8 bits, see JEX_PixelFormat).
extern const Uint8 *const JEX_expand_byte[9];

// Whether format is one of the defined packed or indexed codes, every field
// (type, order, layout, bits, bytes) as the table has it. FOURCC codes are
// not: the callers that allow them check for them first.
bool JEX_IsKnownPixelFormat(Uint32 format);

// Fills a caller-provided record (stack formats of pixel conversion and BMP
// writing). The record holds no palette and is not cached. 0 or -1.
int JEX_InitFormat(JEX_PixelFormat *format, Uint32 pixel_format);

// The RGB 3-3-2 palette: entry i is i read as RGB332 with its top bits
// replicated downwards, alpha 255. Does nothing unless bpp is 8; colors must
// hold 256 entries.
void JEX_DitherColors(JEX_Color *colors, int bpp);

// Row length in bytes, rounded up to a multiple of 4, for width pixels of
// the format. -1 with an error set for a negative width or when the pitch
// does not fit in an int.
int JEX_CalculatePitch(const JEX_PixelFormat *format, int width);

// Same, for anything with `format` and `w` members (a surface).
template <typename SurfaceT>
inline int JEX_CalculatePitch(const SurfaceT *surface)
{
    return JEX_CalculatePitch(surface->format, surface->w);
}

// Index of the palette entry nearest to (r, g, b); 0 for a null or empty
// palette.
Uint8 JEX_FindColor(const JEX_Palette *palette, Uint8 r, Uint8 g, Uint8 b);

// Every translation table below has an entry for every possible pixel byte
// (256, or ncolors of the source when larger), so a blit may index it with any
// source byte. Entries for bytes past the source palette treat the pixel as
// the colour (0, 0, 0, alpha 0), as JEX_GetRGBA reads it.

// Palette to palette. When identical is given and src maps onto dst
// unchanged, sets *identical to 1 and returns null; otherwise sets it to 0
// (if given) and returns a table of bytes owned by the caller (free with
// std::free), or null with the out-of-memory error.
Uint8 *JEX_Map1to1(const JEX_Palette *src, const JEX_Palette *dst, int *identical);

// RGB332 value to index of the destination palette (256 entries): JEX_Map1to1 of
// the dither palette against dst. Unlike JEX_Map1to1 the table is always built
// (the blitters always index it); *identical, when given, tells whether it
// is the identity. Null with the out-of-memory error.
Uint8 *JEX_MapNto1(const JEX_Palette *dst, int *identical);

// Source palette entry to destination pixel, with colour modulation
// (mr, mg, mb) and alpha ma. Entries are dst->bytes_per_pixel wide (4 for
// 3-byte destinations, which hold the pixel's bytes in memory order in the
// first three bytes of the entry). Null dst or an indexed/FOURCC dst fails
// with an error. Owned by the caller (std::free).
Uint8 *JEX_Map1toN(const JEX_Palette *src, Uint8 mr, Uint8 mg, Uint8 mb, Uint8 ma,
                   const JEX_PixelFormat *dst);

// Size in bytes of one entry of a JEX_Map1toN table for dst.
int JEX_Map1toNEntrySize(const JEX_PixelFormat *dst);

#endif
