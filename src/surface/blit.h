// Blit maps, blit information and the selection of pixel routines.
#ifndef JEX_SURFACE_BLIT_H
#define JEX_SURFACE_BLIT_H

#include "JEX_pixels.h"
#include "JEX_surface.h"

// Everything a pixel routine needs for one blit. The source and destination
// pointers address the first pixel of the rectangles; for formats with less
// than 8 bits per pixel they address the byte that holds the first pixel and
// src_subpixel / dst_subpixel give the pixel's place inside that byte
// (0 = first pixel of the byte in the format's bit order).
struct JEX_BlitInfo {
    Uint8 *src;
    int src_w, src_h;
    int src_pitch;
    int src_skip;
    Uint8 *dst;
    int dst_w, dst_h;
    int dst_pitch;
    int dst_skip;
    JEX_PixelFormat *src_fmt;
    JEX_PixelFormat *dst_fmt;
    Uint8 *table;
    Uint32 flags;
    Uint32 colorkey;
    Uint8 r, g, b, a;
    int src_subpixel;
    int dst_subpixel;
};

using JEX_BlitFunc = void (*)(JEX_BlitInfo *info);

// Blit state of a source surface toward the destination it was built for.
struct JEX_BlitMap {
    JEX_Surface *dst;
    int identity;
    JEX_blit blit;
    void *data;
    JEX_BlitInfo info;
    Uint32 dst_palette_version;
    // Code of the destination format the map was built for, so that a new
    // surface that happens to reuse a freed destination's address and format
    // record address is not blitted with the old routine.
    Uint32 dst_format_code;
};

// Map lifetime.
JEX_BlitMap *JEX_AllocBlitMap(void);
void JEX_InvalidateMap(JEX_BlitMap *map);
void JEX_FreeBlitMap(JEX_BlitMap *map);

// True when the map must be rebuilt before blitting src onto dst.
bool JEX_MapIsStale(const JEX_Surface *src, const JEX_Surface *dst);

// Rebuilds src's map for dst (translation tables, routine selection).
int JEX_MapSurface(JEX_Surface *src, JEX_Surface *dst);
// Chooses the pixel routine for the map's source and destination.
int JEX_CalculateBlit(JEX_Surface *src);
// The surface-level routine of ordinary (not run-length encoded) maps.
int JEX_SoftBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect);

// Pixel routines of this layer.
void JEX_BlitCopy(JEX_BlitInfo *info);
void JEX_Blit_Slow(JEX_BlitInfo *info);

// The pixel routine a map would use, or null; exposed for tests.
JEX_BlitFunc JEX_GetMapBlitFunc(const JEX_Surface *src);

#endif
