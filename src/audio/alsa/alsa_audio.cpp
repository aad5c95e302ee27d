/* The ALSA driver: interleaved blocking playback through libasound, which
   is opened at run time (never linked) so that the library loads on
   machines without it. PipeWire and PulseAudio desktops are reached through
   ALSA's own plugins. */
#include "audio/alsa/alsa_sym.h"
#include "audio/audio_internal.h"

#include "JEX_error.h"
#include "JEX_log.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

struct AlsaSymbols {
#define JEX_ALSA_MEMBER(name) decltype(&::name) name;
    JEX_ALSA_SYMS(JEX_ALSA_MEMBER)
#undef JEX_ALSA_MEMBER
};

/* The driver's state, touched only by the application's thread (loading,
   device lists, opening and closing); the mixing thread only calls through
   the table, which does not change while a device is open. */
struct AlsaState {
    void *handle = nullptr;
    AlsaSymbols sym{};
    std::vector<std::string> names; /* output device names from the last listing */
};
AlsaState g_alsa;

struct AlsaDevice {
    snd_pcm_t *pcm = nullptr;
    Uint8 *mixbuf = nullptr;
    snd_pcm_uframes_t frames = 0; /* frames per buffer */
    int frame_bytes = 0;
};

AlsaDevice *Data(JEX_AudioDevice *device)
{
    return static_cast<AlsaDevice *>(device->driver_data);
}

/* libasound prints its diagnostics to standard error unless told not to;
   failures reach the caller through the error record instead. */
void SilentErrorHandler(const char *, int, const char *, int, const char *, ...) {}

void UnloadLibrary()
{
    // libasound stays mapped, so its error output goes back to its default.
    if (g_alsa.sym.snd_lib_error_set_handler)
        g_alsa.sym.snd_lib_error_set_handler(nullptr);
    if (g_alsa.handle)
        dlclose(g_alsa.handle);
    g_alsa = AlsaState{};
}

bool LoadLibrary()
{
    // libasound keeps process-wide configuration caches it never frees;
    // it is not made to be unmapped.
    g_alsa.handle = dlopen(JEX_ALSA_SONAME, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!g_alsa.handle) {
        JEX_SetError("ALSA: couldn't load %s", JEX_ALSA_SONAME);
        return false;
    }
#define JEX_ALSA_RESOLVE(name)                                                                     \
    g_alsa.sym.name = reinterpret_cast<decltype(&::name)>(dlsym(g_alsa.handle, #name));            \
    if (!g_alsa.sym.name) {                                                                        \
        JEX_SetError("ALSA: %s lacks %s", JEX_ALSA_SONAME, #name);                                 \
        UnloadLibrary();                                                                           \
        return false;                                                                              \
    }
    JEX_ALSA_SYMS(JEX_ALSA_RESOLVE)
#undef JEX_ALSA_RESOLVE
    g_alsa.sym.snd_lib_error_set_handler(SilentErrorHandler);
    return true;
}

snd_pcm_format_t AlsaFormat(JEX_AudioFormat format)
{
    switch (format) {
    case JEX_AUDIO_U8: return SND_PCM_FORMAT_U8;
    case JEX_AUDIO_S8: return SND_PCM_FORMAT_S8;
    case JEX_AUDIO_U16LSB: return SND_PCM_FORMAT_U16_LE;
    case JEX_AUDIO_U16MSB: return SND_PCM_FORMAT_U16_BE;
    case JEX_AUDIO_S16LSB: return SND_PCM_FORMAT_S16_LE;
    case JEX_AUDIO_S16MSB: return SND_PCM_FORMAT_S16_BE;
    case JEX_AUDIO_S32LSB: return SND_PCM_FORMAT_S32_LE;
    case JEX_AUDIO_S32MSB: return SND_PCM_FORMAT_S32_BE;
    case JEX_AUDIO_F32LSB: return SND_PCM_FORMAT_FLOAT_LE;
    case JEX_AUDIO_F32MSB: return SND_PCM_FORMAT_FLOAT_BE;
    default: return SND_PCM_FORMAT_UNKNOWN;
    }
}

int ALSA_DetectDevices(int iscapture)
{
    const AlsaSymbols &a = g_alsa.sym;
    g_alsa.names.clear();
    void **hints = nullptr;
    if (a.snd_device_name_hint(-1, "pcm", &hints) < 0)
        return -1;
    try {
        for (void **h = hints; *h; ++h) {
            char *name = a.snd_device_name_get_hint(*h, "NAME");
            char *ioid = a.snd_device_name_get_hint(*h, "IOID");
            // No IOID means the device works both ways.
            const bool wanted = !ioid || std::strcmp(ioid, iscapture ? "Input" : "Output") == 0;
            if (name && wanted && std::strcmp(name, "null") != 0)
                g_alsa.names.emplace_back(name);
            std::free(name);
            std::free(ioid);
        }
    } catch (const std::bad_alloc &) {
        a.snd_device_name_free_hint(hints);
        g_alsa.names.clear();
        JEX_OutOfMemory();
        return -1;
    }
    a.snd_device_name_free_hint(hints);
    return static_cast<int>(g_alsa.names.size());
}

const char *ALSA_GetDeviceName(int index, int iscapture)
{
    if (g_alsa.names.empty())
        ALSA_DetectDevices(iscapture);
    if (index < 0 || static_cast<size_t>(index) >= g_alsa.names.size()) {
        JEX_SetError("No such device");
        return nullptr;
    }
    return g_alsa.names[index].c_str();
}

void ALSA_CloseDevice(JEX_AudioDevice *device)
{
    AlsaDevice *d = Data(device);
    if (!d)
        return;
    if (d->pcm)
        g_alsa.sym.snd_pcm_close(d->pcm);
    std::free(d->mixbuf);
    delete d;
    device->driver_data = nullptr;
}

/* Closes what was opened so far and records why. */
int OpenFailed(JEX_AudioDevice *device, snd_pcm_hw_params_t *hw, const char *what, int err)
{
    if (hw)
        g_alsa.sym.snd_pcm_hw_params_free(hw);
    ALSA_CloseDevice(device);
    JEX_SetError("ALSA: %s: %s", what, g_alsa.sym.snd_strerror(err));
    return 0;
}

int ALSA_OpenDevice(JEX_AudioDevice *device, const char *devname, int)
{
    const AlsaSymbols &a = g_alsa.sym;
    auto *d = new (std::nothrow) AlsaDevice();
    if (!d) {
        JEX_OutOfMemory();
        return 0;
    }
    device->driver_data = d;
    int err = a.snd_pcm_open(&d->pcm, devname ? devname : "default", SND_PCM_STREAM_PLAYBACK, 0);
    if (err < 0) {
        d->pcm = nullptr;
        return OpenFailed(device, nullptr, "couldn't open audio device", err);
    }
    snd_pcm_hw_params_t *hw = nullptr;
    if ((err = a.snd_pcm_hw_params_malloc(&hw)) < 0)
        return OpenFailed(device, nullptr, "couldn't allocate hardware parameters", err);
    if ((err = a.snd_pcm_hw_params_any(d->pcm, hw)) < 0)
        return OpenFailed(device, hw, "couldn't get hardware parameters", err);
    if ((err = a.snd_pcm_hw_params_set_access(d->pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return OpenFailed(device, hw, "couldn't set interleaved access", err);

    // The request's own format if the device takes it, else the nearest in
    // the core's preference order; the core converts the difference.
    JEX_AudioFormat format = JEX_FirstAudioFormat(device->spec.format);
    for (; format; format = JEX_NextAudioFormat())
        if (a.snd_pcm_hw_params_test_format(d->pcm, hw, AlsaFormat(format)) == 0)
            break;
    if (!format) {
        a.snd_pcm_hw_params_free(hw);
        ALSA_CloseDevice(device);
        JEX_SetError("ALSA: couldn't find any hardware audio formats");
        return 0;
    }
    if ((err = a.snd_pcm_hw_params_set_format(d->pcm, hw, AlsaFormat(format))) < 0)
        return OpenFailed(device, hw, "couldn't set audio format", err);

    unsigned int channels = device->spec.channels;
    if ((err = a.snd_pcm_hw_params_set_channels_near(d->pcm, hw, &channels)) < 0)
        return OpenFailed(device, hw, "couldn't set audio channels", err);
    // Rate changes are the core's, so that what the device plays is what it
    // reports.
    a.snd_pcm_hw_params_set_rate_resample(d->pcm, hw, 0);
    unsigned int rate = static_cast<unsigned int>(device->spec.freq);
    if ((err = a.snd_pcm_hw_params_set_rate_near(d->pcm, hw, &rate, nullptr)) < 0)
        return OpenFailed(device, hw, "couldn't set audio frequency", err);
    snd_pcm_uframes_t period = device->spec.samples;
    if ((err = a.snd_pcm_hw_params_set_period_size_near(d->pcm, hw, &period, nullptr)) < 0)
        return OpenFailed(device, hw, "couldn't set the period size", err);
    // Two periods of buffer, or as few more as the device needs.
    unsigned int periods = 2;
    a.snd_pcm_hw_params_set_periods_min(d->pcm, hw, &periods, nullptr);
    a.snd_pcm_hw_params_set_periods_first(d->pcm, hw, &periods, nullptr);
    if ((err = a.snd_pcm_hw_params(d->pcm, hw)) < 0)
        return OpenFailed(device, hw, "couldn't set hardware parameters", err);

    a.snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    a.snd_pcm_hw_params_get_channels(hw, &channels);
    a.snd_pcm_hw_params_get_rate(hw, &rate, nullptr);
    a.snd_pcm_hw_params_free(hw);

    device->spec.format = format;
    device->spec.channels = static_cast<Uint8>(channels);
    device->spec.freq = static_cast<int>(rate);
    device->spec.samples = static_cast<Uint16>(period > 32768 ? 32768 : period);
    JEX_CalculateAudioSpec(&device->spec);
    d->frames = device->spec.samples;
    d->frame_bytes = (format & 0xFF) / 8 * static_cast<int>(channels);

    d->mixbuf = static_cast<Uint8 *>(std::malloc(device->spec.size ? device->spec.size : 1));
    if (!d->mixbuf) {
        ALSA_CloseDevice(device);
        JEX_OutOfMemory();
        return 0;
    }
    std::memset(d->mixbuf, device->spec.silence, device->spec.size);
    return 1;
}

Uint8 *ALSA_GetDeviceBuf(JEX_AudioDevice *device)
{
    return Data(device)->mixbuf;
}

/* Blocking write of the whole buffer (also the last one produced before a
   close); the write itself paces the thread. An underrun or a suspend is
   recovered and the rest written; anything else stops the device. */
void ALSA_PlayDevice(JEX_AudioDevice *device)
{
    AlsaDevice *d = Data(device);
    const AlsaSymbols &a = g_alsa.sym;
    const Uint8 *p = d->mixbuf;
    snd_pcm_uframes_t left = d->frames;
    while (left > 0) {
        snd_pcm_sframes_t n = a.snd_pcm_writei(d->pcm, p, left);
        if (n == -EAGAIN)
            continue;
        if (n < 0) {
            n = a.snd_pcm_recover(d->pcm, static_cast<int>(n), 1);
            if (n < 0) {
                JEX_LogError(JEX_LOG_CATEGORY_AUDIO, "ALSA: write failed: %s",
                             a.snd_strerror(static_cast<int>(n)));
                device->enabled = 0;
                return;
            }
            continue;
        }
        p += n * d->frame_bytes;
        left -= static_cast<snd_pcm_uframes_t>(n);
    }
}

void ALSA_WaitDone(JEX_AudioDevice *device)
{
    g_alsa.sym.snd_pcm_drain(Data(device)->pcm);
}

void ALSA_Deinitialize()
{
    UnloadLibrary();
}

}  // namespace

int ALSA_Init(JEX_AudioDriverImpl *impl)
{
    if (!LoadLibrary())
        return 0;
    impl->DetectDevices = ALSA_DetectDevices;
    impl->GetDeviceName = ALSA_GetDeviceName;
    impl->OpenDevice = ALSA_OpenDevice;
    impl->PlayDevice = ALSA_PlayDevice;
    impl->GetDeviceBuf = ALSA_GetDeviceBuf;
    impl->WaitDone = ALSA_WaitDone;
    impl->CloseDevice = ALSA_CloseDevice;
    impl->Deinitialize = ALSA_Deinitialize;
    return 1;
}
