/* The contract between the renderer core and a render driver: the renderer
   and texture records with their operation slots, and the driver table. */
#ifndef JEX_SYSRENDER_H
#define JEX_SYSRENDER_H

#include "JEX_events.h"
#include "JEX_render.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JEX_SW_YUVTexture JEX_SW_YUVTexture;

struct JEX_Texture {
    const void *magic; /* &texture_magic while valid */
    Uint32 format;
    int access;
    int w;
    int h;
    int modMode; /* JEX_TEXTUREMODULATE_* bits */
    int blendMode;
    Uint8 r, g, b, a; /* 255 at creation */
    JEX_Renderer *renderer;
    /* A backing texture in a format the driver holds, or null. */
    JEX_Texture *native;
    JEX_SW_YUVTexture *yuv;
    /* Memory copy of a streaming texture with a non-FOURCC backing. */
    void *pixels;
    int pitch;
    JEX_Rect locked_rect;
    void *driverdata;
    JEX_Texture *prev;
    JEX_Texture *next;
};

/* Slots 11 to 14 get arguments the core has checked, copies already
   clipped; DestroyTexture also sees wrappers whose CreateTexture never ran. */
struct JEX_Renderer {
    const void *magic; /* &renderer_magic while valid */
    void (*WindowEvent)(JEX_Renderer *renderer, const JEX_WindowEvent *event); /* optional */
    int (*CreateTexture)(JEX_Renderer *renderer, JEX_Texture *texture);
    int (*SetTextureColorMod)(JEX_Renderer *renderer, JEX_Texture *texture);  /* optional */
    int (*SetTextureAlphaMod)(JEX_Renderer *renderer, JEX_Texture *texture);  /* optional */
    int (*SetTextureBlendMode)(JEX_Renderer *renderer, JEX_Texture *texture); /* optional */
    int (*UpdateTexture)(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *rect,
                         const void *pixels, int pitch);
    int (*LockTexture)(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *rect,
                       void **pixels, int *pitch);
    void (*UnlockTexture)(JEX_Renderer *renderer, JEX_Texture *texture);
    int (*UpdateViewport)(JEX_Renderer *renderer);
    int (*RenderClear)(JEX_Renderer *renderer);
    int (*RenderDrawPoints)(JEX_Renderer *renderer, const JEX_Point *points, int count);
    int (*RenderDrawLines)(JEX_Renderer *renderer, const JEX_Point *points, int count);
    int (*RenderFillRects)(JEX_Renderer *renderer, const JEX_Rect *rects, int count);
    int (*RenderCopy)(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *srcrect,
                      const JEX_Rect *dstrect);
    int (*RenderReadPixels)(JEX_Renderer *renderer, const JEX_Rect *rect, Uint32 format,
                            void *pixels, int pitch); /* optional */
    void (*RenderPresent)(JEX_Renderer *renderer);
    void (*DestroyTexture)(JEX_Renderer *renderer, JEX_Texture *texture);
    void (*DestroyRenderer)(JEX_Renderer *renderer); /* frees the record */

    JEX_RendererInfo info;
    JEX_Window *window;    /* null for a renderer made for a surface */
    JEX_Rect viewport;     /* in window coordinates */
    JEX_Texture *textures; /* newest first */
    Uint8 r, g, b, a;      /* draw colour */
    int blendMode;         /* draw blend mode */
    void *driverdata;
};

typedef struct JEX_RenderDriver {
    JEX_Renderer *(*CreateRenderer)(JEX_Window *window, Uint32 flags);
    JEX_RendererInfo info;
} JEX_RenderDriver;

/* The table, in index order: "opengl", then "software". */
extern const JEX_RenderDriver GL_RenderDriver;
extern const JEX_RenderDriver SW_RenderDriver;

/* The software renderer drawing into any surface. */
JEX_Renderer *SW_CreateRendererForSurface(JEX_Surface *surface);

/* Bytes per pixel of a texture format: the low byte of an RGB code, 2 for
   the packed YUV codes, 1 for the planar ones. */
int JEX_TextureBytesPerPixel(Uint32 format);

#ifdef __cplusplus
}
#endif

#endif /* JEX_SYSRENDER_H */
