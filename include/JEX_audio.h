/* Audio output: sample formats and the stream description. */
#ifndef JEX_AUDIO_H
#define JEX_AUDIO_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Sample format code: the low byte is the sample width in bits; 0x8000
   means signed, 0x1000 big-endian, 0x0100 floating point. */
typedef Uint16 JEX_AudioFormat;

#define JEX_AUDIO_U8 0x0008
#define JEX_AUDIO_S8 0x8008
#define JEX_AUDIO_U16LSB 0x0010
#define JEX_AUDIO_S16LSB 0x8010
#define JEX_AUDIO_U16MSB 0x1010
#define JEX_AUDIO_S16MSB 0x9010
#define JEX_AUDIO_U16 JEX_AUDIO_U16LSB
#define JEX_AUDIO_S16 JEX_AUDIO_S16LSB
#define JEX_AUDIO_S32LSB 0x8020
#define JEX_AUDIO_S32MSB 0x9020
#define JEX_AUDIO_S32 JEX_AUDIO_S32LSB
#define JEX_AUDIO_F32LSB 0x8120
#define JEX_AUDIO_F32MSB 0x9120
#define JEX_AUDIO_F32 JEX_AUDIO_F32LSB

/* The host's byte order (this build is little-endian). */
#if defined(__BYTE_ORDER__) && (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__)
#define JEX_AUDIO_U16SYS JEX_AUDIO_U16MSB
#define JEX_AUDIO_S16SYS JEX_AUDIO_S16MSB
#define JEX_AUDIO_S32SYS JEX_AUDIO_S32MSB
#define JEX_AUDIO_F32SYS JEX_AUDIO_F32MSB
#else
#define JEX_AUDIO_U16SYS JEX_AUDIO_U16LSB
#define JEX_AUDIO_S16SYS JEX_AUDIO_S16LSB
#define JEX_AUDIO_S32SYS JEX_AUDIO_S32LSB
#define JEX_AUDIO_F32SYS JEX_AUDIO_F32LSB
#endif

/* Asked for the next len bytes of sound, written into stream. */
typedef void (*JEX_AudioCallback)(void *userdata, Uint8 *stream, int len);

typedef struct JEX_AudioSpec {
    int freq;               /* samples per second per channel */
    JEX_AudioFormat format; /* sample format code */
    Uint8 channels;         /* 1, 2, 4 or 6 */
    Uint8 silence;          /* byte value of silence; computed */
    Uint16 samples;         /* sample frames per buffer */
    Uint32 size;            /* bytes per buffer; computed */
    JEX_AudioCallback callback;
    void *userdata;
} JEX_AudioSpec;

#ifdef __cplusplus
}
#endif

#endif /* JEX_AUDIO_H */
