// Run-length encoded surfaces: a source with a colour key or per-pixel alpha
// replaced by runs, so transparent pixels cost nothing and opaque ones are
// copied in blocks.
#ifndef JEX_SURFACE_RLE_H
#define JEX_SURFACE_RLE_H

#include "JEX_surface.h"

// Encodes the surface for its map's destination: 0 when it is now encoded,
// -1 when it is not (not suitable, or out of memory with the error set).
int JEX_RLESurface(JEX_Surface *surface);
// Undoes the encoding; with recode non-zero the pixels are restored.
void JEX_UnRLESurface(JEX_Surface *surface, int recode);

// The surface-level blit routines of encoded surfaces.
int JEX_RLEBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect);
int JEX_RLEAlphaBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect);

#endif
