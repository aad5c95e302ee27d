/* Pixel format codes, format records, palettes and colour mapping. */
#ifndef JEX_PIXELS_H
#define JEX_PIXELS_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define JEX_ALPHA_OPAQUE 255
#define JEX_ALPHA_TRANSPARENT 0

/* Pixel type (bits 24-27 of a packed code). */
enum {
    JEX_PIXELTYPE_UNKNOWN = 0,
    JEX_PIXELTYPE_INDEX1 = 1,
    JEX_PIXELTYPE_INDEX4 = 2,
    JEX_PIXELTYPE_INDEX8 = 3,
    JEX_PIXELTYPE_PACKED8 = 4,
    JEX_PIXELTYPE_PACKED16 = 5,
    JEX_PIXELTYPE_PACKED32 = 6,
    JEX_PIXELTYPE_ARRAYU8 = 7
};

/* Bit order of the 1- and 4-bit indexed types. */
enum { JEX_BITMAPORDER_NONE = 0, JEX_BITMAPORDER_4321 = 1, JEX_BITMAPORDER_1234 = 2 };

/* Channel order of the packed types, from the most significant slot. */
enum {
    JEX_PACKEDORDER_NONE = 0,
    JEX_PACKEDORDER_XRGB = 1,
    JEX_PACKEDORDER_RGBX = 2,
    JEX_PACKEDORDER_ARGB = 3,
    JEX_PACKEDORDER_RGBA = 4,
    JEX_PACKEDORDER_XBGR = 5,
    JEX_PACKEDORDER_BGRX = 6,
    JEX_PACKEDORDER_ABGR = 7,
    JEX_PACKEDORDER_BGRA = 8
};

/* Memory order of the byte-array types. */
enum { JEX_ARRAYORDER_NONE = 0, JEX_ARRAYORDER_RGB = 1, JEX_ARRAYORDER_BGR = 4 };

/* Channel widths of the packed types. */
enum {
    JEX_PACKEDLAYOUT_NONE = 0,
    JEX_PACKEDLAYOUT_332 = 1,
    JEX_PACKEDLAYOUT_4444 = 2,
    JEX_PACKEDLAYOUT_1555 = 3,
    JEX_PACKEDLAYOUT_5551 = 4,
    JEX_PACKEDLAYOUT_565 = 5,
    JEX_PACKEDLAYOUT_8888 = 6,
    JEX_PACKEDLAYOUT_2101010 = 7,
    JEX_PACKEDLAYOUT_1010102 = 8
};

#define JEX_FOURCC(A, B, C, D)                                                                     \
    (((Uint32)(Uint8)(A)) | ((Uint32)(Uint8)(B) << 8) | ((Uint32)(Uint8)(C) << 16) |               \
     ((Uint32)(Uint8)(D) << 24))
#define JEX_DEFINE_PIXELFOURCC(A, B, C, D) JEX_FOURCC(A, B, C, D)

#define JEX_DEFINE_PIXELFORMAT(type, order, layout, bits, bytes)                                   \
    ((Uint32)((1u << 31) | ((Uint32)(type) << 24) | ((Uint32)(order) << 20) |                      \
              ((Uint32)(layout) << 16) | ((Uint32)(bits) << 8) | ((Uint32)(bytes) << 0)))

#define JEX_PIXELFLAG(X) ((((Uint32)(X)) >> 28) & 0x0F)
#define JEX_PIXELTYPE(X) ((((Uint32)(X)) >> 24) & 0x0F)
#define JEX_PIXELORDER(X) ((((Uint32)(X)) >> 20) & 0x0F)
#define JEX_PIXELLAYOUT(X) ((((Uint32)(X)) >> 16) & 0x0F)
#define JEX_BITSPERPIXEL(X) ((((Uint32)(X)) >> 8) & 0xFF)

/* A code is FOURCC when it is positive read as a signed 32-bit value. */
#define JEX_ISPIXELFORMAT_FOURCC(X) ((Sint32)(Uint32)(X) > 0)

/* Bytes per pixel of a packed code (0 for the sub-byte formats); for the
   FOURCC formats the packed YUV ones are 2 bytes, the planar ones 1. */
#define JEX_BYTESPERPIXEL(X)                                                                       \
    (JEX_ISPIXELFORMAT_FOURCC(X)                                                                   \
         ? ((((Uint32)(X)) == JEX_PIXELFORMAT_YUY2 || ((Uint32)(X)) == JEX_PIXELFORMAT_UYVY ||     \
             ((Uint32)(X)) == JEX_PIXELFORMAT_YVYU)                                                \
                ? 2u                                                                               \
                : 1u)                                                                              \
         : (((Uint32)(X)) & 0xFF))

#define JEX_ISPIXELFORMAT_INDEXED(X)                                                               \
    (!JEX_ISPIXELFORMAT_FOURCC(X) &&                                                               \
     (JEX_PIXELTYPE(X) == JEX_PIXELTYPE_INDEX1 || JEX_PIXELTYPE(X) == JEX_PIXELTYPE_INDEX4 ||      \
      JEX_PIXELTYPE(X) == JEX_PIXELTYPE_INDEX8))

#define JEX_ISPIXELFORMAT_PACKED(X)                                                                \
    (!JEX_ISPIXELFORMAT_FOURCC(X) &&                                                               \
     (JEX_PIXELTYPE(X) == JEX_PIXELTYPE_PACKED8 || JEX_PIXELTYPE(X) == JEX_PIXELTYPE_PACKED16 ||   \
      JEX_PIXELTYPE(X) == JEX_PIXELTYPE_PACKED32))

#define JEX_ISPIXELFORMAT_ALPHA(X)                                                                 \
    (JEX_ISPIXELFORMAT_PACKED(X) &&                                                                \
     (JEX_PIXELORDER(X) == JEX_PACKEDORDER_ARGB || JEX_PIXELORDER(X) == JEX_PACKEDORDER_RGBA ||    \
      JEX_PIXELORDER(X) == JEX_PACKEDORDER_ABGR || JEX_PIXELORDER(X) == JEX_PACKEDORDER_BGRA))

/* Pixel format codes. */
#define JEX_PIXELFORMAT_UNKNOWN 0u
#define JEX_PIXELFORMAT_INDEX1LSB 0x81100100u
#define JEX_PIXELFORMAT_INDEX1MSB 0x81200100u
#define JEX_PIXELFORMAT_INDEX4LSB 0x82100400u
#define JEX_PIXELFORMAT_INDEX4MSB 0x82200400u
#define JEX_PIXELFORMAT_INDEX8 0x83000801u
#define JEX_PIXELFORMAT_RGB332 0x84110801u
#define JEX_PIXELFORMAT_RGB444 0x85120C02u
#define JEX_PIXELFORMAT_RGB555 0x85130F02u
#define JEX_PIXELFORMAT_BGR555 0x85530F02u
#define JEX_PIXELFORMAT_ARGB4444 0x85321002u
#define JEX_PIXELFORMAT_RGBA4444 0x85421002u
#define JEX_PIXELFORMAT_ABGR4444 0x85721002u
#define JEX_PIXELFORMAT_BGRA4444 0x85821002u
#define JEX_PIXELFORMAT_ARGB1555 0x85331002u
#define JEX_PIXELFORMAT_RGBA5551 0x85441002u
#define JEX_PIXELFORMAT_ABGR1555 0x85731002u
#define JEX_PIXELFORMAT_BGRA5551 0x85841002u
#define JEX_PIXELFORMAT_RGB565 0x85151002u
#define JEX_PIXELFORMAT_BGR565 0x85551002u
#define JEX_PIXELFORMAT_RGB24 0x87101803u
#define JEX_PIXELFORMAT_BGR24 0x87401803u
#define JEX_PIXELFORMAT_RGB888 0x86161804u
#define JEX_PIXELFORMAT_BGR888 0x86561804u
#define JEX_PIXELFORMAT_ARGB8888 0x86362004u
#define JEX_PIXELFORMAT_RGBA8888 0x86462004u
#define JEX_PIXELFORMAT_ABGR8888 0x86762004u
#define JEX_PIXELFORMAT_BGRA8888 0x86862004u
#define JEX_PIXELFORMAT_ARGB2101010 0x86372004u
#define JEX_PIXELFORMAT_YV12 0x32315659u /* "YV12" */
#define JEX_PIXELFORMAT_IYUV 0x56555949u /* "IYUV" */
#define JEX_PIXELFORMAT_YUY2 0x32595559u /* "YUY2" */
#define JEX_PIXELFORMAT_UYVY 0x59565955u /* "UYVY" */
#define JEX_PIXELFORMAT_YVYU 0x55595659u /* "YVYU" */

/* The 3-byte formats are byte arrays: RGB24 holds R, G, B at increasing
   addresses and BGR24 the reverse. Their masks describe those three bytes
   read as a little-endian integer: RGB24 R=0x0000FF G=0x00FF00 B=0xFF0000,
   BGR24 R=0xFF0000 G=0x00FF00 B=0x0000FF. */

typedef struct JEX_Color {
    Uint8 r;
    Uint8 g;
    Uint8 b;
    Uint8 a;
} JEX_Color;

typedef struct JEX_Palette {
    int ncolors;
    JEX_Color *colors;
    Uint32 version; /* bumped by every JEX_SetPaletteColors; never 0 */
    int refcount;
} JEX_Palette;

/* Shared description of a pixel format. For channels wider than 8 bits
   (ARGB2101010) the shift addresses the channel's top 8 bits and the loss
   is 0, so (pixel & mask) >> shift always yields at most 8 bits and the
   lower bits of such a channel read as, and are written as, 0. */
typedef struct JEX_PixelFormat {
    Uint32 format;
    JEX_Palette *palette;
    Uint8 bits_per_pixel;
    Uint8 bytes_per_pixel;
    Uint32 rmask;
    Uint32 gmask;
    Uint32 bmask;
    Uint32 amask;
    Uint8 rloss;
    Uint8 gloss;
    Uint8 bloss;
    Uint8 aloss;
    Uint8 rshift;
    Uint8 gshift;
    Uint8 bshift;
    Uint8 ashift;
    int refcount;
    struct JEX_PixelFormat *next;
} JEX_PixelFormat;

JEX_API const char *JEX_GetPixelFormatName(Uint32 format);

/* Returns JEX_TRUE on success; outputs may be null. */
JEX_API JEX_bool JEX_PixelFormatEnumToMasks(Uint32 format, int *bpp, Uint32 *Rmask, Uint32 *Gmask,
                                            Uint32 *Bmask, Uint32 *Amask);
JEX_API Uint32 JEX_MasksToPixelFormatEnum(int bpp, Uint32 Rmask, Uint32 Gmask, Uint32 Bmask,
                                          Uint32 Amask);

JEX_API JEX_PixelFormat *JEX_AllocFormat(Uint32 pixel_format);
JEX_API void JEX_FreeFormat(JEX_PixelFormat *format);

JEX_API JEX_Palette *JEX_AllocPalette(int ncolors);
JEX_API int JEX_SetPixelFormatPalette(JEX_PixelFormat *format, JEX_Palette *palette);
JEX_API int JEX_SetPaletteColors(JEX_Palette *palette, const JEX_Color *colors, int firstcolor,
                                 int ncolors);
JEX_API void JEX_FreePalette(JEX_Palette *palette);

JEX_API Uint32 JEX_MapRGB(const JEX_PixelFormat *format, Uint8 r, Uint8 g, Uint8 b);
JEX_API Uint32 JEX_MapRGBA(const JEX_PixelFormat *format, Uint8 r, Uint8 g, Uint8 b, Uint8 a);
JEX_API void JEX_GetRGB(Uint32 pixel, const JEX_PixelFormat *format, Uint8 *r, Uint8 *g, Uint8 *b);
JEX_API void JEX_GetRGBA(Uint32 pixel, const JEX_PixelFormat *format, Uint8 *r, Uint8 *g, Uint8 *b,
                         Uint8 *a);

/* Fills 256 entries. */
JEX_API void JEX_CalculateGammaRamp(float gamma, Uint16 *ramp);

#ifdef __cplusplus
}
#endif

#endif /* JEX_PIXELS_H */
