/* 2D rendering: render drivers, renderers drawing into a window or a
   surface, textures, the draw state and the drawing calls.

   Threads: every call belongs to the thread that owns the renderer's window
   (the thread that started video); a renderer made for a surface belongs to
   the thread that made it. Nothing here may be called from two threads at
   once. */
#ifndef JEX_RENDER_H
#define JEX_RENDER_H

#include "JEX_types.h"
#include "JEX_rect.h"
#include "JEX_blendmode.h"
#include "JEX_surface.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef enum {
    JEX_RENDERER_SOFTWARE = 0x00000001,    /* draws with the CPU */
    JEX_RENDERER_ACCELERATED = 0x00000002, /* draws with the graphics hardware */
    JEX_RENDERER_PRESENTVSYNC = 0x00000004 /* presents in step with the refresh */
} JEX_RendererFlags;

/* What a render driver or a renderer offers. */
typedef struct JEX_RendererInfo {
    const char *name;
    Uint32 flags;
    Uint32 num_texture_formats;
    Uint32 texture_formats[16];
    int max_texture_width;  /* 0: no known limit */
    int max_texture_height; /* 0: no known limit */
} JEX_RendererInfo;

typedef enum {
    JEX_TEXTUREACCESS_STATIC = 0,   /* changes rarely, not lockable */
    JEX_TEXTUREACCESS_STREAMING = 1 /* changes often, lockable */
} JEX_TextureAccess;

typedef enum {
    JEX_TEXTUREMODULATE_NONE = 0x00000000,
    JEX_TEXTUREMODULATE_COLOR = 0x00000001,
    JEX_TEXTUREMODULATE_ALPHA = 0x00000002
} JEX_TextureModulate;

typedef struct JEX_Renderer JEX_Renderer;
typedef struct JEX_Texture JEX_Texture;

JEX_API int JEX_GetNumRenderDrivers(void);
JEX_API int JEX_GetRenderDriverInfo(int index, JEX_RendererInfo *info);
JEX_API JEX_Renderer *JEX_CreateRenderer(JEX_Window *window, int index, Uint32 flags);
JEX_API JEX_Renderer *JEX_CreateSoftwareRenderer(JEX_Surface *surface);
JEX_API JEX_Renderer *JEX_GetRenderer(JEX_Window *window);
JEX_API int JEX_GetRendererInfo(JEX_Renderer *renderer, JEX_RendererInfo *info);

JEX_API JEX_Texture *JEX_CreateTexture(JEX_Renderer *renderer, Uint32 format, int access, int w,
                                       int h);
JEX_API JEX_Texture *JEX_CreateTextureFromSurface(JEX_Renderer *renderer, JEX_Surface *surface);
JEX_API int JEX_QueryTexture(JEX_Texture *texture, Uint32 *format, int *access, int *w, int *h);
JEX_API int JEX_SetTextureColorMod(JEX_Texture *texture, Uint8 r, Uint8 g, Uint8 b);
JEX_API int JEX_GetTextureColorMod(JEX_Texture *texture, Uint8 *r, Uint8 *g, Uint8 *b);
JEX_API int JEX_SetTextureAlphaMod(JEX_Texture *texture, Uint8 alpha);
JEX_API int JEX_GetTextureAlphaMod(JEX_Texture *texture, Uint8 *alpha);
JEX_API int JEX_SetTextureBlendMode(JEX_Texture *texture, int blendMode);
JEX_API int JEX_GetTextureBlendMode(JEX_Texture *texture, int *blendMode);
JEX_API int JEX_UpdateTexture(JEX_Texture *texture, const JEX_Rect *rect, const void *pixels,
                              int pitch);
JEX_API int JEX_LockTexture(JEX_Texture *texture, const JEX_Rect *rect, void **pixels, int *pitch);
JEX_API void JEX_UnlockTexture(JEX_Texture *texture);

JEX_API int JEX_RenderSetViewport(JEX_Renderer *renderer, const JEX_Rect *rect);
JEX_API void JEX_RenderGetViewport(JEX_Renderer *renderer, JEX_Rect *rect);
JEX_API int JEX_SetRenderDrawColor(JEX_Renderer *renderer, Uint8 r, Uint8 g, Uint8 b, Uint8 a);
JEX_API int JEX_GetRenderDrawColor(JEX_Renderer *renderer, Uint8 *r, Uint8 *g, Uint8 *b, Uint8 *a);
JEX_API int JEX_SetRenderDrawBlendMode(JEX_Renderer *renderer, int blendMode);
JEX_API int JEX_GetRenderDrawBlendMode(JEX_Renderer *renderer, int *blendMode);

/* Coordinates of the drawing calls are relative to the viewport. */
JEX_API int JEX_RenderClear(JEX_Renderer *renderer);
JEX_API int JEX_RenderDrawPoint(JEX_Renderer *renderer, int x, int y);
JEX_API int JEX_RenderDrawPoints(JEX_Renderer *renderer, const JEX_Point *points, int count);
JEX_API int JEX_RenderDrawLine(JEX_Renderer *renderer, int x1, int y1, int x2, int y2);
JEX_API int JEX_RenderDrawLines(JEX_Renderer *renderer, const JEX_Point *points, int count);
JEX_API int JEX_RenderDrawRect(JEX_Renderer *renderer, const JEX_Rect *rect);
JEX_API int JEX_RenderDrawRects(JEX_Renderer *renderer, const JEX_Rect *rects, int count);
JEX_API int JEX_RenderFillRect(JEX_Renderer *renderer, const JEX_Rect *rect);
JEX_API int JEX_RenderFillRects(JEX_Renderer *renderer, const JEX_Rect *rects, int count);
JEX_API int JEX_RenderCopy(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *srcrect,
                           const JEX_Rect *dstrect);
/* format 0 means the window's pixel format. */
JEX_API int JEX_RenderReadPixels(JEX_Renderer *renderer, const JEX_Rect *rect, Uint32 format,
                                 void *pixels, int pitch);
JEX_API void JEX_RenderPresent(JEX_Renderer *renderer);

JEX_API void JEX_DestroyTexture(JEX_Texture *texture);
JEX_API void JEX_DestroyRenderer(JEX_Renderer *renderer);

#ifdef __cplusplus
}
#endif

#endif /* JEX_RENDER_H */
