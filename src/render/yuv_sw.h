/* The software YUV state behind a texture in one of the FOURCC formats: the
   application's YUV image, and its conversion to RGB target pixels. Used by
   the renderer core on the application's thread; a state is never shared
   between threads. */
#ifndef JEX_YUV_SW_H
#define JEX_YUV_SW_H

#include "JEX_rect.h"
#include "JEX_stdinc.h"
#include "render/sysrender.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Null with a message for a format other than YV12, IYUV, YUY2, UYVY, YVYU,
   a size below 1, or out of memory. */
JEX_SW_YUVTexture *JEX_SW_CreateYUVTexture(Uint32 format, int w, int h);

/* The first plane and its row length in bytes; 0. */
int JEX_SW_QueryYUVTexturePixels(JEX_SW_YUVTexture *yuv, void **pixels, int *pitch);

/* Planar formats take only the whole image: the luma plane (h rows of
   `pitch` bytes) followed by the two chroma planes ((h + 1) / 2 rows of
   (pitch + 1) / 2 bytes each), in the format's plane order. Packed formats
   take any rectangle inside the image. 0 or -1. */
int JEX_SW_UpdateYUVTexture(JEX_SW_YUVTexture *yuv, const JEX_Rect *rect, const void *pixels,
                            int pitch);

/* Planar formats lock only the whole image; 0 or -1. */
int JEX_SW_LockYUVTexture(JEX_SW_YUVTexture *yuv, const JEX_Rect *rect, void **pixels, int *pitch);
void JEX_SW_UnlockYUVTexture(JEX_SW_YUVTexture *yuv);

/* Converts `srcrect` of the image (clipped to it) into w x h pixels of an RGB
   format of 2, 3 or 4 bytes per pixel with channels of at most 8 bits, rows
   `pitch` bytes apart, resizing by nearest neighbour. Full-range BT.601. */
int JEX_SW_CopyYUVToRGB(JEX_SW_YUVTexture *yuv, const JEX_Rect *srcrect, Uint32 target_format,
                        int w, int h, void *pixels, int pitch);

/* Null is ignored. */
void JEX_SW_DestroyYUVTexture(JEX_SW_YUVTexture *yuv);

#ifdef __cplusplus
}
#endif

#endif /* JEX_YUV_SW_H */
