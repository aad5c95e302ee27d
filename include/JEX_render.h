/* 2D rendering into a window. */
#ifndef JEX_RENDER_H
#define JEX_RENDER_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JEX_Renderer JEX_Renderer;

typedef enum {
    JEX_RENDERER_SOFTWARE = 0x00000001,
    JEX_RENDERER_ACCELERATED = 0x00000002,
    JEX_RENDERER_PRESENTVSYNC = 0x00000004
} JEX_RendererFlags;

#ifdef __cplusplus
}
#endif

#endif /* JEX_RENDER_H */
