/* Blend modes shared by surfaces and the renderer. */
#ifndef JEX_BLENDMODE_H
#define JEX_BLENDMODE_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* How a source pixel combines with the destination pixel it lands on. */
typedef enum {
    JEX_BLENDMODE_NONE = 0x00000000,  /* dst = src */
    JEX_BLENDMODE_BLEND = 0x00000001, /* dst = src + dst * (1 - src alpha) */
    JEX_BLENDMODE_ADD = 0x00000002,   /* dst = src + dst, saturating */
    JEX_BLENDMODE_MOD = 0x00000004    /* dst = src * dst */
} JEX_BlendMode;

#ifdef __cplusplus
}
#endif

#endif /* JEX_BLENDMODE_H */
