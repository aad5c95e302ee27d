/* Software surfaces: pixels in main memory with a format, a clip rectangle
   and the blit state (colour key, modulation, blend mode), and the blits
   between them. */
#ifndef JEX_SURFACE_H
#define JEX_SURFACE_H

#include "JEX_types.h"
#include "JEX_pixels.h"
#include "JEX_rect.h"
#include "JEX_blendmode.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Surface flags (the flags field of JEX_Surface). */
#define JEX_SURFACE_PREALLOC 0x00000001   /* pixels belong to the caller */
#define JEX_SURFACE_RLEACCEL 0x00000002   /* pixels held run-length encoded */
#define JEX_SURFACE_DONTFREE 0x00000004   /* JEX_FreeSurface leaves it alone */
#define JEX_SURFACE_BLENDED 0x00010000    /* blend mode is BLEND */
#define JEX_SURFACE_COLORKEYED 0x00020000 /* a colour key is set */

/* Copy flags: the per-surface blit state as the pixel routines see it. */
#define JEX_COPY_MODULATE_COLOR 0x00000001
#define JEX_COPY_MODULATE_ALPHA 0x00000002
#define JEX_COPY_BLEND 0x00000010
#define JEX_COPY_ADD 0x00000020
#define JEX_COPY_MOD 0x00000040
#define JEX_COPY_COLORKEY 0x00000100
#define JEX_COPY_NEAREST 0x00000200
#define JEX_COPY_RLE_DESIRED 0x00001000
#define JEX_COPY_RLE_COLORKEY 0x00002000
#define JEX_COPY_RLE_ALPHAKEY 0x00004000
#define JEX_COPY_RLE_MASK (JEX_COPY_RLE_DESIRED | JEX_COPY_RLE_COLORKEY | JEX_COPY_RLE_ALPHAKEY)

/* True when the pixels may only be touched between lock and unlock. */
#define JEX_MUSTLOCK(S) ((((S)->flags) & JEX_SURFACE_RLEACCEL) != 0)

/* Blit state of a surface toward its last destination (internal). */
struct JEX_BlitMap;

typedef struct JEX_Surface {
    Uint32 flags;            /* JEX_SURFACE_* */
    JEX_PixelFormat *format; /* shared format record; one reference held */
    int w, h;                /* size in pixels */
    int pitch;               /* bytes from one row to the next */
    void *pixels;            /* h rows of pitch bytes; null when w or h is 0 */
    void *userdata;          /* for the application */
    int locked;              /* lock depth */
    void *lock_data;         /* for the application */
    JEX_Rect clip_rect;      /* blits and fills into this surface stop here */
    struct JEX_BlitMap *map; /* owned */
    int refcount;            /* JEX_FreeSurface frees at 0 */
} JEX_Surface;

/* Surface-level blit routine. */
typedef int (*JEX_blit)(struct JEX_Surface *src, JEX_Rect *srcrect, struct JEX_Surface *dst,
                        JEX_Rect *dstrect);

/* Creation and release. Sizes must be positive and a row must fit the
   pitch; both fail with a message otherwise. The flags argument of
   JEX_CreateRGBSurface is reserved. */
JEX_API JEX_Surface *JEX_CreateRGBSurface(Uint32 flags, int width, int height, int depth,
                                          Uint32 Rmask, Uint32 Gmask, Uint32 Bmask, Uint32 Amask);
JEX_API JEX_Surface *JEX_CreateRGBSurfaceFrom(void *pixels, int width, int height, int depth,
                                              int pitch, Uint32 Rmask, Uint32 Gmask, Uint32 Bmask,
                                              Uint32 Amask);
JEX_API void JEX_FreeSurface(JEX_Surface *surface);

JEX_API int JEX_SetSurfacePalette(JEX_Surface *surface, JEX_Palette *palette);

/* Locking nests; an RLE surface is decoded while locked. */
JEX_API int JEX_LockSurface(JEX_Surface *surface);
JEX_API void JEX_UnlockSurface(JEX_Surface *surface);

/* Blit state. All return 0, or -1 for a null surface; JEX_GetColorKey also
   returns -1 when no key is set, JEX_SetSurfaceBlendMode for an unknown mode
   (which leaves the mode NONE). */
JEX_API int JEX_SetSurfaceRLE(JEX_Surface *surface, int flag);
JEX_API int JEX_SetColorKey(JEX_Surface *surface, int flag, Uint32 key);
JEX_API int JEX_GetColorKey(JEX_Surface *surface, Uint32 *key);
JEX_API int JEX_SetSurfaceColorMod(JEX_Surface *surface, Uint8 r, Uint8 g, Uint8 b);
JEX_API int JEX_GetSurfaceColorMod(JEX_Surface *surface, Uint8 *r, Uint8 *g, Uint8 *b);
JEX_API int JEX_SetSurfaceAlphaMod(JEX_Surface *surface, Uint8 alpha);
JEX_API int JEX_GetSurfaceAlphaMod(JEX_Surface *surface, Uint8 *alpha);
JEX_API int JEX_SetSurfaceBlendMode(JEX_Surface *surface, JEX_BlendMode blendMode);
JEX_API int JEX_GetSurfaceBlendMode(JEX_Surface *surface, JEX_BlendMode *blendMode);

/* Returns whether the resulting clip rectangle is non-empty; a null rect
   clips to the whole surface. */
JEX_API JEX_bool JEX_SetClipRect(JEX_Surface *surface, const JEX_Rect *rect);
JEX_API void JEX_GetClipRect(JEX_Surface *surface, JEX_Rect *rect);

/* Conversion to another format; the result is a new surface. */
JEX_API JEX_Surface *JEX_ConvertSurface(JEX_Surface *src, const JEX_PixelFormat *fmt, Uint32 flags);
JEX_API JEX_Surface *JEX_ConvertSurfaceFormat(JEX_Surface *src, Uint32 pixel_format, Uint32 flags);
/* Returns a negative value on failure. */
JEX_API int JEX_ConvertPixels(int width, int height, Uint32 src_format, const void *src,
                              int src_pitch, Uint32 dst_format, void *dst, int dst_pitch);

/* Blits. The upper blits clip; the lower ones take rectangles that are
   already clipped. On return from JEX_UpperBlit, dstrect (when given)
   holds the rectangle actually drawn. Return 0 or -1. */
JEX_API int JEX_UpperBlit(JEX_Surface *src, const JEX_Rect *srcrect, JEX_Surface *dst,
                          JEX_Rect *dstrect);
JEX_API int JEX_LowerBlit(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst, JEX_Rect *dstrect);
JEX_API int JEX_UpperBlitScaled(JEX_Surface *src, const JEX_Rect *srcrect, JEX_Surface *dst,
                                const JEX_Rect *dstrect);
JEX_API int JEX_LowerBlitScaled(JEX_Surface *src, JEX_Rect *srcrect, JEX_Surface *dst,
                                JEX_Rect *dstrect);

#define JEX_BlitSurface JEX_UpperBlit
#define JEX_BlitScaled JEX_UpperBlitScaled

/* Nearest-neighbour resize between surfaces of the same pixel size, without
   conversion. Null rectangles mean the whole surface. */
JEX_API int JEX_SoftStretch(JEX_Surface *src, const JEX_Rect *srcrect, JEX_Surface *dst,
                            const JEX_Rect *dstrect);

#ifdef __cplusplus
}
#endif

#endif /* JEX_SURFACE_H */
