// The blitter families: selectors that pick a pixel routine for a pair of
// formats and a set of copy flags, the routines themselves, the generated
// per-format-pair table, and the switch between the scalar, SSE2 and AVX2
// row kernels some routines run.
#ifndef JEX_SURFACE_BLIT_FAMILY_H
#define JEX_SURFACE_BLIT_FAMILY_H

#include "JEX_pixels.h"
#include "JEX_surface.h"
#include "surface/blit.h"
#include "surface/simd.h"

// Selectors; each returns a routine or null.
JEX_BlitFunc JEX_CalculateBlit0(JEX_Surface *surface);  // 1- and 4-bit sources
JEX_BlitFunc JEX_CalculateBlit1(JEX_Surface *surface);  // 8-bit sources
JEX_BlitFunc JEX_CalculateBlitA(JEX_Surface *surface);  // alpha blending
JEX_BlitFunc JEX_CalculateBlitN(JEX_Surface *surface);  // conversions, colour key

// Copy flags a selector looks at: the RLE bits removed.
inline Uint32 JEX_SelectionFlags(const JEX_BlitMap *map)
{
    return map->info.flags & ~Uint32(JEX_COPY_RLE_MASK);
}

// Family 0: sources of 1 or 4 bits per pixel (either bit order).
void JEX_BlitBto1(JEX_BlitInfo *info);
void JEX_BlitBto2(JEX_BlitInfo *info);
void JEX_BlitBto3(JEX_BlitInfo *info);
void JEX_BlitBto4(JEX_BlitInfo *info);
void JEX_BlitBto1Key(JEX_BlitInfo *info);
void JEX_BlitBto2Key(JEX_BlitInfo *info);
void JEX_BlitBto3Key(JEX_BlitInfo *info);
void JEX_BlitBto4Key(JEX_BlitInfo *info);
void JEX_BlitBtoNAlpha(JEX_BlitInfo *info);
void JEX_BlitBtoNAlphaKey(JEX_BlitInfo *info);

// Family 1: 8-bit sources through the translation table.
void JEX_Blit1to1(JEX_BlitInfo *info);
void JEX_Blit1to2(JEX_BlitInfo *info);
void JEX_Blit1to3(JEX_BlitInfo *info);
void JEX_Blit1to4(JEX_BlitInfo *info);
void JEX_Blit1to1Key(JEX_BlitInfo *info);
void JEX_Blit1to2Key(JEX_BlitInfo *info);
void JEX_Blit1to3Key(JEX_BlitInfo *info);
void JEX_Blit1to4Key(JEX_BlitInfo *info);
void JEX_Blit1toNAlpha(JEX_BlitInfo *info);
void JEX_Blit1toNAlphaKey(JEX_BlitInfo *info);

// Family N.
void JEX_BlitNtoN(JEX_BlitInfo *info);
void JEX_BlitNtoNCopyAlpha(JEX_BlitInfo *info);
void JEX_BlitNtoNKey(JEX_BlitInfo *info);
void JEX_BlitNtoNKeyCopyAlpha(JEX_BlitInfo *info);
void JEX_Blit4to4MaskAlpha(JEX_BlitInfo *info);
void JEX_Blit2to2Key(JEX_BlitInfo *info);
void JEX_BlitNto1(JEX_BlitInfo *info);
void JEX_BlitNto1Key(JEX_BlitInfo *info);
void JEX_Blit_RGB888_index8(JEX_BlitInfo *info);
void JEX_Blit_RGB888_index8_map(JEX_BlitInfo *info);
void JEX_Blit_RGB888_RGB565(JEX_BlitInfo *info);
void JEX_Blit_RGB888_RGB555(JEX_BlitInfo *info);
void JEX_Blit_RGB565_ARGB8888(JEX_BlitInfo *info);
void JEX_Blit_RGB565_ABGR8888(JEX_BlitInfo *info);
void JEX_Blit_RGB565_RGBA8888(JEX_BlitInfo *info);
void JEX_Blit_RGB565_BGRA8888(JEX_BlitInfo *info);

// Family A.
void JEX_BlitNtoNPixelAlpha(JEX_BlitInfo *info);
void JEX_BlitNtoNSurfaceAlpha(JEX_BlitInfo *info);
void JEX_BlitNtoNSurfaceAlphaKey(JEX_BlitInfo *info);
void JEX_BlitNto1SurfaceAlpha(JEX_BlitInfo *info);
void JEX_BlitNto1PixelAlpha(JEX_BlitInfo *info);
void JEX_BlitNto1SurfaceAlphaKey(JEX_BlitInfo *info);
void JEX_BlitRGBtoRGBPixelAlpha(JEX_BlitInfo *info);
void JEX_BlitRGBtoRGBSurfaceAlpha(JEX_BlitInfo *info);
void JEX_Blit565to565SurfaceAlpha(JEX_BlitInfo *info);
void JEX_Blit555to555SurfaceAlpha(JEX_BlitInfo *info);
void JEX_BlitARGBto565PixelAlpha(JEX_BlitInfo *info);
void JEX_BlitARGBto555PixelAlpha(JEX_BlitInfo *info);

// The generated table: one entry per source format, destination format and
// variant; the last entry has a null routine.
struct JEX_BlitFuncEntry {
    Uint32 src_format;
    Uint32 dst_format;
    Uint32 flags;  // accepted copy flags
    Uint32 cpu;    // required features
    JEX_BlitFunc func;
};
extern const JEX_BlitFuncEntry *const JEX_GeneratedBlitFuncTable;
// First entry for the pair and flags, or null.
JEX_BlitFunc JEX_FindGeneratedBlit(Uint32 src_format, Uint32 dst_format, Uint32 flags);

// Feature words: the generated table's (JEX_BLIT_CPU_FEATURES) and the
// conversion table's (JEX_ALTIVEC_BLIT_FEATURES), each computed once.
Uint32 JEX_GeneratedBlitFeatures();
Uint32 JEX_ConversionBlitFeatures();

#endif
