/* Byte order of the host and byte swapping.
   Threads: every function here is pure and may be called from any thread. */
#ifndef JEX_ENDIAN_H
#define JEX_ENDIAN_H

#include <string.h>

#include "JEX_types.h"

#define JEX_LIL_ENDIAN 1234
#define JEX_BIG_ENDIAN 4321

#if defined(__BYTE_ORDER__) && (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
#define JEX_BYTEORDER JEX_BIG_ENDIAN
#else
#define JEX_BYTEORDER JEX_LIL_ENDIAN
#endif

#ifdef __cplusplus
extern "C" {
#endif

static inline Uint16 JEX_Swap16(Uint16 x)
{
    return (Uint16)((x << 8) | (x >> 8));
}

static inline Uint32 JEX_Swap32(Uint32 x)
{
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap32(x);
#else
    return (x << 24) | ((x << 8) & 0x00FF0000u) | ((x >> 8) & 0x0000FF00u) | (x >> 24);
#endif
}

static inline Uint64 JEX_Swap64(Uint64 x)
{
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap64(x);
#else
    return ((Uint64)JEX_Swap32((Uint32)x) << 32) | JEX_Swap32((Uint32)(x >> 32));
#endif
}

static inline float JEX_SwapFloat(float x)
{
    Uint32 bits;
    memcpy(&bits, &x, sizeof bits);
    bits = JEX_Swap32(bits);
    memcpy(&x, &bits, sizeof x);
    return x;
}

/* JEX_SwapLE* converts between little-endian and the host's order,
   JEX_SwapBE* between big-endian and the host's order. */
#if JEX_BYTEORDER == JEX_LIL_ENDIAN
#define JEX_SwapLE16(X) ((Uint16)(X))
#define JEX_SwapLE32(X) ((Uint32)(X))
#define JEX_SwapLE64(X) ((Uint64)(X))
#define JEX_SwapFloatLE(X) ((float)(X))
#define JEX_SwapBE16(X) JEX_Swap16(X)
#define JEX_SwapBE32(X) JEX_Swap32(X)
#define JEX_SwapBE64(X) JEX_Swap64(X)
#define JEX_SwapFloatBE(X) JEX_SwapFloat(X)
#else
#define JEX_SwapLE16(X) JEX_Swap16(X)
#define JEX_SwapLE32(X) JEX_Swap32(X)
#define JEX_SwapLE64(X) JEX_Swap64(X)
#define JEX_SwapFloatLE(X) JEX_SwapFloat(X)
#define JEX_SwapBE16(X) ((Uint16)(X))
#define JEX_SwapBE32(X) ((Uint32)(X))
#define JEX_SwapBE64(X) ((Uint64)(X))
#define JEX_SwapFloatBE(X) ((float)(X))
#endif

#ifdef __cplusplus
}
#endif

#endif /* JEX_ENDIAN_H */
