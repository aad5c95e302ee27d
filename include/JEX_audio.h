/* Audio output: drivers, devices with one mixing thread each, sample mixing
   and format conversion.

   Threads: the driver and device calls (JEX_AudioInit, JEX_AudioQuit,
   JEX_OpenAudio*, JEX_CloseAudio*, the driver and device queries) belong to
   the application's thread. JEX_PauseAudioDevice, JEX_GetAudioDeviceStatus,
   JEX_LockAudioDevice and JEX_UnlockAudioDevice (and their id-1 forms) may be
   called from any thread while the device is open; the callback runs on the
   device's own mixing thread with the device's callback lock held, so
   holding JEX_LockAudioDevice keeps it from running. JEX_MixAudioFormat,
   JEX_BuildAudioCVT and JEX_ConvertAudio touch only their arguments and may
   be called from any thread. Never close a device from its own callback. */
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

/* Which differences from the request a device may keep (the rest are
   converted by the core). */
#define JEX_AUDIO_ALLOW_FREQUENCY_CHANGE 0x00000001
#define JEX_AUDIO_ALLOW_FORMAT_CHANGE 0x00000002
#define JEX_AUDIO_ALLOW_CHANNELS_CHANGE 0x00000004
#define JEX_AUDIO_ALLOW_ANY_CHANGE 0x00000007

typedef enum { JEX_AUDIO_STOPPED = 0, JEX_AUDIO_PLAYING = 1, JEX_AUDIO_PAUSED = 2 } JEX_AudioStatus;

/* Devices have ids 1 to 16; 0 is never valid. Id 1 is the single-device
   interface's (JEX_OpenAudio and friends). */
typedef Uint32 JEX_AudioDeviceID;

#define JEX_MIX_MAXVOLUME 128

struct JEX_AudioCVT;
/* One conversion step: rewrites cvt->buf over cvt->len_out bytes, given the
   data's current format, then runs the next step. */
typedef void (*JEX_AudioFilter)(struct JEX_AudioCVT *cvt, JEX_AudioFormat format);

/* A conversion plan, run in place on buf. */
typedef struct JEX_AudioCVT {
    int needed;                  /* 1 when there is anything to do */
    JEX_AudioFormat src_format;  /* source sample format */
    JEX_AudioFormat dst_format;  /* destination sample format */
    double rate_factor;          /* destination rate / source rate */
    Uint8 *buf;                  /* caller's buffer of len * buf_mult bytes */
    int len;                     /* bytes of input in buf */
    int len_out;                 /* bytes of data in buf; the output length afterwards */
    int buf_mult;                /* buf must hold len * buf_mult bytes */
    double size_ratio;           /* output length / input length */
    JEX_AudioFilter filters[10]; /* the steps, a null entry ending the list */
    int filter_pos;              /* the running step */
} JEX_AudioCVT;

/* Drivers. */
JEX_API int JEX_GetNumAudioDrivers(void);
JEX_API const char *JEX_GetAudioDriver(int index);
/* Starts the named driver (null: "JEX_AUDIODRIVER", else the first that
   works); a running driver is stopped first. 0 or -1. */
JEX_API int JEX_AudioInit(const char *driver_name);
JEX_API void JEX_AudioQuit(void);
JEX_API const char *JEX_GetCurrentAudioDriver(void);

/* Devices. */
JEX_API int JEX_GetNumAudioDevices(int iscapture);
JEX_API const char *JEX_GetAudioDeviceName(int index, int iscapture);
/* Opens a device; the device starts paused. Returns its id (2 to 16), 0 on
   failure. */
JEX_API JEX_AudioDeviceID JEX_OpenAudioDevice(const char *device, int iscapture,
                                              const JEX_AudioSpec *desired, JEX_AudioSpec *obtained,
                                              int allowed_changes);
JEX_API JEX_AudioStatus JEX_GetAudioDeviceStatus(JEX_AudioDeviceID dev);
JEX_API void JEX_PauseAudioDevice(JEX_AudioDeviceID dev, int pause_on);
JEX_API void JEX_LockAudioDevice(JEX_AudioDeviceID dev);
JEX_API void JEX_UnlockAudioDevice(JEX_AudioDeviceID dev);
JEX_API void JEX_CloseAudioDevice(JEX_AudioDeviceID dev);

/* The single device, id 1. Without obtained, desired is completed in place
   and every difference of the hardware is converted. 0 or -1. */
JEX_API int JEX_OpenAudio(JEX_AudioSpec *desired, JEX_AudioSpec *obtained);
JEX_API JEX_AudioStatus JEX_GetAudioStatus(void);
JEX_API void JEX_PauseAudio(int pause_on);
JEX_API void JEX_LockAudio(void);
JEX_API void JEX_UnlockAudio(void);
JEX_API void JEX_CloseAudio(void);

/* Adds src scaled by volume / 128 to dst, clipping; in device 1's
   application format, or in the given format. */
JEX_API void JEX_MixAudio(Uint8 *dst, const Uint8 *src, Uint32 len, int volume);
JEX_API void JEX_MixAudioFormat(Uint8 *dst, const Uint8 *src, JEX_AudioFormat format, Uint32 len,
                                int volume);

/* Plans a conversion: 1 when one is needed, 0 when the descriptions are
   identical, -1 when it cannot be done. */
JEX_API int JEX_BuildAudioCVT(JEX_AudioCVT *cvt, JEX_AudioFormat src_format, Uint8 src_channels,
                              int src_rate, JEX_AudioFormat dst_format, Uint8 dst_channels,
                              int dst_rate);
/* Runs the plan over cvt->len bytes in cvt->buf; the output is
   cvt->len_out bytes, always whole frames. 0 or -1. */
JEX_API int JEX_ConvertAudio(JEX_AudioCVT *cvt);

#ifdef __cplusplus
}
#endif

#endif /* JEX_AUDIO_H */
