/* The audio core's contract with its drivers, and the device record. */
#ifndef JEX_AUDIO_INTERNAL_H
#define JEX_AUDIO_INTERNAL_H

#include "JEX_audio.h"
#include "JEX_mutex.h"
#include "JEX_thread.h"

#include <atomic>

struct JEX_AudioDevice;

/* Filled by a driver's init; the core puts its defaults into empty slots. */
struct JEX_AudioDriverImpl {
    int (*DetectDevices)(int iscapture);
    const char *(*GetDeviceName)(int index, int iscapture);
    int (*OpenDevice)(JEX_AudioDevice *device, const char *devname, int iscapture);
    void (*ThreadInit)(JEX_AudioDevice *device);
    void (*WaitDevice)(JEX_AudioDevice *device);
    void (*PlayDevice)(JEX_AudioDevice *device);
    Uint8 *(*GetDeviceBuf)(JEX_AudioDevice *device);
    void (*WaitDone)(JEX_AudioDevice *device);
    void (*CloseDevice)(JEX_AudioDevice *device);
    void (*LockDevice)(JEX_AudioDevice *device);
    void (*UnlockDevice)(JEX_AudioDevice *device);
    void (*Deinitialize)(void);

    bool own_thread;
    bool no_callback_lock;
    bool can_capture;
    bool default_output_only;
    bool default_input_only;
};

struct JEX_AudioBootStrap {
    const char *name;
    const char *desc;
    int (*init)(JEX_AudioDriverImpl *impl);
    bool by_name_only;
};

/* One open device. `enabled` and `paused` are written by the application's
   thread (and `enabled` by a driver that gives up) and read by the mixing
   thread, so they are atomics; `paused` changes only under callback_lock so
   that no callback starts after a pause has returned. Everything else is
   set before the thread starts and read-only while it runs. */
struct JEX_AudioDevice {
    JEX_AudioSpec spec; /* the hardware's */
    JEX_AudioCVT convert;
    int iscapture = 0;
    std::atomic<int> enabled{1};
    std::atomic<int> paused{1};
    bool opened = false;
    Uint8 *spare_buffer = nullptr;
    JEX_mutex *callback_lock = nullptr;
    JEX_Thread *thread = nullptr;
    std::atomic<JEX_threadID> threadid{0};
    void *driver_data = nullptr;
};

/* Sleeps up to ms milliseconds in short slices, returning early once the
   device is disabled, so that closing never waits out a long period. */
void JEX_AudioSleep(JEX_AudioDevice *device, Uint32 ms);

void JEX_CalculateAudioSpec(JEX_AudioSpec *spec);
JEX_AudioFormat JEX_FirstAudioFormat(JEX_AudioFormat format);
JEX_AudioFormat JEX_NextAudioFormat(void);

/* True for the ten sample format codes. */
bool JEX_IsValidAudioFormat(JEX_AudioFormat format);

int DISKAUD_Init(JEX_AudioDriverImpl *impl);
int DUMMYAUD_Init(JEX_AudioDriverImpl *impl);
int ALSA_Init(JEX_AudioDriverImpl *impl);

#endif /* JEX_AUDIO_INTERNAL_H */
