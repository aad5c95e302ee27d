/* The audio core: driver choice, devices 1 to 16 and their mixing threads. */
#include "audio/audio_internal.h"

#include "JEX_error.h"
#include "JEX_timer.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

namespace {

constexpr int kMaxDevices = 16;
constexpr const char kDefaultOutputName[] = "System audio output device";
constexpr const char kDefaultInputName[] = "System audio capture device";

constexpr JEX_AudioBootStrap kBootStrap[] = {
    {"alsa", "ALSA PCM audio", ALSA_Init, false},
    {"disk", "direct-to-disk audio", DISKAUD_Init, true},
    {"dummy", "JEX dummy audio driver", DUMMYAUD_Init, true},
};
constexpr int kNumDrivers = static_cast<int>(std::size(kBootStrap));

/* The audio subsystem. The driver fields and the device slots are written by
   the application's thread only (init, quit, open, close). The slots are
   atomics because the calls that may come from any thread (pause, status,
   lock) read them; such a call is only valid while the caller knows its
   device is open. The format iteration belongs to the driver opening a
   device, on the application's thread. */
struct AudioState {
    const char *name = nullptr; /* null: no driver is current */
    const char *desc = nullptr;
    JEX_AudioDriverImpl impl{};
    std::array<std::atomic<JEX_AudioDevice *>, kMaxDevices> devices{};
    int format_idx = 10;
    int format_idx_sub = 0;
};
AudioState g_audio;

constexpr JEX_AudioFormat kFormatList[10][10] = {
    {JEX_AUDIO_U8, JEX_AUDIO_S8, JEX_AUDIO_S16LSB, JEX_AUDIO_S16MSB, JEX_AUDIO_U16LSB,
     JEX_AUDIO_U16MSB, JEX_AUDIO_S32LSB, JEX_AUDIO_S32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB},
    {JEX_AUDIO_S8, JEX_AUDIO_U8, JEX_AUDIO_S16LSB, JEX_AUDIO_S16MSB, JEX_AUDIO_U16LSB,
     JEX_AUDIO_U16MSB, JEX_AUDIO_S32LSB, JEX_AUDIO_S32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB},
    {JEX_AUDIO_S16LSB, JEX_AUDIO_S16MSB, JEX_AUDIO_U16LSB, JEX_AUDIO_U16MSB, JEX_AUDIO_S32LSB,
     JEX_AUDIO_S32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
    {JEX_AUDIO_S16MSB, JEX_AUDIO_S16LSB, JEX_AUDIO_U16MSB, JEX_AUDIO_U16LSB, JEX_AUDIO_S32MSB,
     JEX_AUDIO_S32LSB, JEX_AUDIO_F32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
    {JEX_AUDIO_U16LSB, JEX_AUDIO_U16MSB, JEX_AUDIO_S16LSB, JEX_AUDIO_S16MSB, JEX_AUDIO_S32LSB,
     JEX_AUDIO_S32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
    {JEX_AUDIO_U16MSB, JEX_AUDIO_U16LSB, JEX_AUDIO_S16MSB, JEX_AUDIO_S16LSB, JEX_AUDIO_S32MSB,
     JEX_AUDIO_S32LSB, JEX_AUDIO_F32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
    {JEX_AUDIO_S32LSB, JEX_AUDIO_S32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB, JEX_AUDIO_S16LSB,
     JEX_AUDIO_S16MSB, JEX_AUDIO_U16LSB, JEX_AUDIO_U16MSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
    {JEX_AUDIO_S32MSB, JEX_AUDIO_S32LSB, JEX_AUDIO_F32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_S16MSB,
     JEX_AUDIO_S16LSB, JEX_AUDIO_U16MSB, JEX_AUDIO_U16LSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
    {JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB, JEX_AUDIO_S32LSB, JEX_AUDIO_S32MSB, JEX_AUDIO_S16LSB,
     JEX_AUDIO_S16MSB, JEX_AUDIO_U16LSB, JEX_AUDIO_U16MSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
    {JEX_AUDIO_F32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_S32MSB, JEX_AUDIO_S32LSB, JEX_AUDIO_S16MSB,
     JEX_AUDIO_S16LSB, JEX_AUDIO_U16MSB, JEX_AUDIO_U16LSB, JEX_AUDIO_U8, JEX_AUDIO_S8},
};

/* ---- Default driver operations ----------------------------------------- */

int DefaultDetectDevices(int)
{
    return -1;
}
const char *DefaultGetDeviceName(int, int)
{
    JEX_SetError("No such device");
    return nullptr;
}
int DefaultOpenDevice(JEX_AudioDevice *, const char *, int)
{
    JEX_SetError("The audio driver cannot open devices");
    return 0;
}
void DefaultDeviceOp(JEX_AudioDevice *) {}
Uint8 *DefaultGetDeviceBuf(JEX_AudioDevice *)
{
    return nullptr;
}
void DefaultDeinitialize() {}

bool OnMixingThread(JEX_AudioDevice *device)
{
    return device->thread && JEX_ThreadID() == device->threadid.load();
}
void DefaultLockDevice(JEX_AudioDevice *device)
{
    if (device->callback_lock && !OnMixingThread(device))
        JEX_LockMutex(device->callback_lock);
}
void DefaultUnlockDevice(JEX_AudioDevice *device)
{
    if (device->callback_lock && !OnMixingThread(device))
        JEX_UnlockMutex(device->callback_lock);
}

void InstallDefaults(JEX_AudioDriverImpl &impl)
{
    if (!impl.DetectDevices)
        impl.DetectDevices = DefaultDetectDevices;
    if (!impl.GetDeviceName)
        impl.GetDeviceName = DefaultGetDeviceName;
    if (!impl.OpenDevice)
        impl.OpenDevice = DefaultOpenDevice;
    for (auto *op :
         {&impl.ThreadInit, &impl.WaitDevice, &impl.PlayDevice, &impl.WaitDone, &impl.CloseDevice})
        if (!*op)
            *op = DefaultDeviceOp;
    if (!impl.GetDeviceBuf)
        impl.GetDeviceBuf = DefaultGetDeviceBuf;
    if (!impl.LockDevice)
        impl.LockDevice = DefaultLockDevice;
    if (!impl.UnlockDevice)
        impl.UnlockDevice = DefaultUnlockDevice;
    if (!impl.Deinitialize)
        impl.Deinitialize = DefaultDeinitialize;
}

bool Running()
{
    return g_audio.name != nullptr;
}

JEX_AudioDevice *GetDevice(JEX_AudioDeviceID id)
{
    JEX_AudioDevice *device =
        id >= 1 && id <= kMaxDevices ? g_audio.devices[id - 1].load() : nullptr;
    if (!device)
        JEX_SetError("Invalid audio device ID");
    return device;
}

/* ---- The mixing thread -------------------------------------------------- */

int RunAudio(void *data)
{
    auto *device = static_cast<JEX_AudioDevice *>(data);
    const JEX_AudioDriverImpl &impl = g_audio.impl;
    JEX_SetThreadPriority(JEX_THREAD_PRIORITY_HIGH);
    device->threadid = JEX_ThreadID();
    impl.ThreadInit(device);

    // At least 1 ms, so that a paused or buffer-less device never spins.
    const Uint32 period = std::max<Uint32>(
        1, static_cast<Uint32>(Uint64{device->spec.samples} * 1000 / device->spec.freq));
    const JEX_AudioCallback callback = device->spec.callback;
    void *const userdata = device->spec.userdata;
    const bool converting = device->convert.needed != 0;
    const int stream_len = converting ? device->convert.len : static_cast<int>(device->spec.size);

    while (device->enabled) {
        // Pause is set under the same lock, so no callback starts after
        // JEX_PauseAudioDevice has returned.
        if (device->callback_lock)
            JEX_LockMutex(device->callback_lock);
        if (device->paused) {
            if (device->callback_lock)
                JEX_UnlockMutex(device->callback_lock);
            JEX_AudioSleep(device, period);
            continue;
        }
        Uint8 *stream = nullptr;
        if (converting) {
            stream = device->convert.buf;
        } else {
            stream = impl.GetDeviceBuf(device);
            if (!stream)
                stream = device->spare_buffer;
        }
        callback(userdata, stream, stream_len);
        if (device->callback_lock)
            JEX_UnlockMutex(device->callback_lock);

        if (converting) {
            device->convert.len = stream_len;
            JEX_ConvertAudio(&device->convert);
            stream = impl.GetDeviceBuf(device);
            if (!stream)
                stream = device->spare_buffer;
            // Whole converted frames go out; a shortfall is silence, never
            // the previous buffer's tail.
            const Uint32 size = device->spec.size;
            const Uint32 got = std::min<Uint32>(static_cast<Uint32>(device->convert.len_out), size);
            std::memcpy(stream, device->convert.buf, got);
            std::memset(stream + got, device->spec.silence, size - got);
        }
        if (stream != device->spare_buffer) {
            impl.PlayDevice(device);
            impl.WaitDevice(device);
        } else {
            JEX_AudioSleep(device, period);
        }
    }
    impl.WaitDone(device);
    return 0;
}

void CloseDevice(JEX_AudioDevice *device)
{
    device->enabled = 0;
    if (device->thread) {
        JEX_WaitThread(device->thread, nullptr);
        device->thread = nullptr;
    }
    if (device->callback_lock)
        JEX_DestroyMutex(device->callback_lock);
    std::free(device->spare_buffer);
    std::free(device->convert.buf);
    if (device->opened)
        g_audio.impl.CloseDevice(device);
    delete device;
}

int EnvInt(const char *name, bool *set)
{
    const char *v = std::getenv(name);
    *set = v != nullptr;
    return v ? std::atoi(v) : 0;
}

JEX_AudioFormat FormatFromEnv()
{
    const char *v = std::getenv("JEX_AUDIO_FORMAT");
    if (!v)
        return JEX_AUDIO_S16LSB;
    static constexpr struct {
        const char *name;
        JEX_AudioFormat format;
    } kNames[] = {
        {"U8", JEX_AUDIO_U8},         {"S8", JEX_AUDIO_S8},         {"U16LSB", JEX_AUDIO_U16LSB},
        {"S16LSB", JEX_AUDIO_S16LSB}, {"U16MSB", JEX_AUDIO_U16MSB}, {"S16MSB", JEX_AUDIO_S16MSB},
        {"U16SYS", JEX_AUDIO_U16SYS}, {"S16SYS", JEX_AUDIO_S16SYS}, {"U16", JEX_AUDIO_U16},
        {"S16", JEX_AUDIO_S16},       {"S32LSB", JEX_AUDIO_S32LSB}, {"S32MSB", JEX_AUDIO_S32MSB},
        {"S32SYS", JEX_AUDIO_S32SYS}, {"S32", JEX_AUDIO_S32},       {"F32LSB", JEX_AUDIO_F32LSB},
        {"F32MSB", JEX_AUDIO_F32MSB}, {"F32SYS", JEX_AUDIO_F32SYS}, {"F32", JEX_AUDIO_F32}};
    for (const auto &n : kNames)
        if (std::strcmp(v, n.name) == 0)
            return n.format;
    return JEX_AUDIO_S16LSB;
}

/* Fills in what the request left open; false (with the error set) when it
   cannot be played. */
bool CompleteSpec(JEX_AudioSpec *spec)
{
    bool set = false;
    if (spec->freq == 0) {
        spec->freq = EnvInt("JEX_AUDIO_FREQUENCY", &set);
        if (spec->freq == 0)
            spec->freq = 22050;
    }
    if (spec->freq < 0) {
        JEX_SetError("Unsupported audio frequency");
        return false;
    }
    if (spec->format == 0)
        spec->format = FormatFromEnv();
    if (!JEX_IsValidAudioFormat(spec->format)) {
        JEX_SetError("Unsupported audio format");
        return false;
    }
    if (spec->channels > 6 || spec->channels == 3 || spec->channels == 5) {
        JEX_SetError("Unsupported number of audio channels.");
        return false;
    }
    if (spec->channels == 0) {
        spec->channels = static_cast<Uint8>(EnvInt("JEX_AUDIO_CHANNELS", &set) & 0xFF);
        if (spec->channels == 0)
            spec->channels = 2;
    }
    if (spec->samples == 0) {
        spec->samples = static_cast<Uint16>(EnvInt("JEX_AUDIO_SAMPLES", &set) & 0xFFFF);
        if (spec->samples == 0) {
            // About 46 ms, as a power of two; capped so that it fits.
            const int want = std::max(1, spec->freq / 1000 * 46);
            int samples = 1;
            while (samples < want && samples < 32768)
                samples *= 2;
            spec->samples = static_cast<Uint16>(samples);
        }
    }
    JEX_CalculateAudioSpec(spec);
    return true;
}

JEX_AudioDeviceID OpenDevice(const char *devname, int iscapture, const JEX_AudioSpec *desired,
                             JEX_AudioSpec *obtained, int allowed_changes, int min_id)
{
    if (!Running()) {
        JEX_SetError("Audio subsystem is not initialized");
        return 0;
    }
    if (iscapture && !g_audio.impl.can_capture) {
        JEX_SetError("No capture support");
        return 0;
    }
    if (!desired) {
        JEX_SetError("Parameter 'desired' is invalid");
        return 0;
    }
    JEX_AudioSpec scratch;
    if (!obtained)
        obtained = &scratch;
    if (obtained != desired)
        *obtained = *desired;
    if (!desired->callback) {
        JEX_SetError("JEX_OpenAudio() passed a NULL callback");
        return 0;
    }
    if (!CompleteSpec(obtained))
        return 0;

    if (!devname)
        devname = std::getenv("JEX_AUDIO_DEVICE_NAME");
    const bool default_only =
        iscapture ? g_audio.impl.default_input_only : g_audio.impl.default_output_only;
    if (default_only) {
        const char *only = iscapture ? kDefaultInputName : kDefaultOutputName;
        if (devname && std::strcmp(devname, only) != 0) {
            JEX_SetError("No such device");
            return 0;
        }
        for (const auto &slot : g_audio.devices) {
            const JEX_AudioDevice *other = slot.load();
            if (other && other->iscapture == iscapture) {
                JEX_SetError("Audio device already open");
                return 0;
            }
        }
        devname = nullptr;
    }

    auto *device = new (std::nothrow) JEX_AudioDevice();
    if (!device) {
        JEX_OutOfMemory();
        return 0;
    }
    device->spec = *obtained;
    device->iscapture = iscapture;
    if (!g_audio.impl.no_callback_lock) {
        device->callback_lock = JEX_CreateMutex();
        if (!device->callback_lock) {
            CloseDevice(device);
            JEX_SetError("Couldn't create mixer lock");
            return 0;
        }
    }
    if (!g_audio.impl.OpenDevice(device, devname, iscapture)) {
        CloseDevice(device);
        return 0;
    }
    device->opened = true;
    JEX_CalculateAudioSpec(&device->spec);
    device->spare_buffer =
        static_cast<Uint8 *>(std::malloc(std::max<Uint32>(device->spec.size, 1)));
    if (!device->spare_buffer) {
        CloseDevice(device);
        JEX_OutOfMemory();
        return 0;
    }
    std::memset(device->spare_buffer, device->spec.silence, device->spec.size);

    // What the hardware took that the caller allows becomes the caller's;
    // the rest is converted.
    bool build_cvt = false;
    if (device->spec.samples != obtained->samples)
        obtained->samples = device->spec.samples;
    if (device->spec.freq != obtained->freq) {
        if (allowed_changes & JEX_AUDIO_ALLOW_FREQUENCY_CHANGE)
            obtained->freq = device->spec.freq;
        else
            build_cvt = true;
    }
    if (device->spec.format != obtained->format) {
        if (allowed_changes & JEX_AUDIO_ALLOW_FORMAT_CHANGE)
            obtained->format = device->spec.format;
        else
            build_cvt = true;
    }
    if (device->spec.channels != obtained->channels) {
        if (allowed_changes & JEX_AUDIO_ALLOW_CHANNELS_CHANGE)
            obtained->channels = device->spec.channels;
        else
            build_cvt = true;
    }
    JEX_CalculateAudioSpec(obtained);

    if (build_cvt) {
        if (JEX_BuildAudioCVT(&device->convert, obtained->format, obtained->channels,
                              obtained->freq, device->spec.format, device->spec.channels,
                              device->spec.freq) < 0) {
            CloseDevice(device);
            return 0;
        }
        if (device->convert.needed) {
            // One converted buffer fills the device's buffer; the callback is
            // asked for whole frames of its own format.
            const int frame = (obtained->format & 0xFF) / 8 * obtained->channels;
            int len = static_cast<int>(device->spec.size / device->convert.size_ratio);
            len -= len % frame;
            device->convert.len = len;
            const size_t bytes = static_cast<size_t>(len) * device->convert.buf_mult;
            device->convert.buf = static_cast<Uint8 *>(std::malloc(std::max<size_t>(bytes, 1)));
            if (!device->convert.buf) {
                CloseDevice(device);
                JEX_OutOfMemory();
                return 0;
            }
            std::memset(device->convert.buf, obtained->silence, bytes);
        }
    }

    int slot = min_id - 1;
    while (slot < kMaxDevices && g_audio.devices[slot].load())
        ++slot;
    if (slot == kMaxDevices) {
        CloseDevice(device);
        JEX_SetError("Too many open audio devices");
        return 0;
    }
    g_audio.devices[slot] = device;

    if (!g_audio.impl.own_thread) {
        device->thread = JEX_CreateThread(RunAudio, device);
        if (!device->thread) {
            g_audio.devices[slot] = nullptr;
            CloseDevice(device);
            JEX_SetError("Couldn't create audio thread");
            return 0;
        }
    }
    return static_cast<JEX_AudioDeviceID>(slot + 1);
}

}  // namespace

void JEX_AudioSleep(JEX_AudioDevice *device, Uint32 ms)
{
    while (ms > 0 && device->enabled) {
        const Uint32 slice = std::min<Uint32>(ms, 10);
        JEX_Delay(slice);
        ms -= slice;
    }
}

bool JEX_IsValidAudioFormat(JEX_AudioFormat format)
{
    for (const auto &row : kFormatList)
        if (row[0] == format)
            return true;
    return false;
}

void JEX_CalculateAudioSpec(JEX_AudioSpec *spec)
{
    spec->silence = spec->format == JEX_AUDIO_U8 ? 0x80 : 0x00;
    spec->size = static_cast<Uint32>((spec->format & 0xFF) / 8) * spec->channels * spec->samples;
}

JEX_AudioFormat JEX_FirstAudioFormat(JEX_AudioFormat format)
{
    for (g_audio.format_idx = 0; g_audio.format_idx < 10; ++g_audio.format_idx)
        if (kFormatList[g_audio.format_idx][0] == format)
            break;
    g_audio.format_idx_sub = 0;
    return JEX_NextAudioFormat();
}

JEX_AudioFormat JEX_NextAudioFormat(void)
{
    if (g_audio.format_idx >= 10 || g_audio.format_idx_sub >= 10)
        return 0;
    return kFormatList[g_audio.format_idx][g_audio.format_idx_sub++];
}

extern "C" {

int JEX_GetNumAudioDrivers(void)
{
    return kNumDrivers;
}

const char *JEX_GetAudioDriver(int index)
{
    return index >= 0 && index < kNumDrivers ? kBootStrap[index].name : nullptr;
}

int JEX_AudioInit(const char *driver_name)
{
    // Decided from the driver, so that audio started directly is stopped
    // (its devices closed and threads joined) before anything is cleared.
    if (Running())
        JEX_AudioQuit();
    g_audio.impl = JEX_AudioDriverImpl{};
    if (!driver_name)
        driver_name = std::getenv("JEX_AUDIODRIVER");

    bool tried = false;
    bool ok = false;
    for (const auto &entry : kBootStrap) {
        if (driver_name ? strcasecmp(entry.name, driver_name) != 0 : entry.by_name_only)
            continue;
        g_audio.impl = JEX_AudioDriverImpl{};
        tried = true;
        if (entry.init(&g_audio.impl)) {
            g_audio.name = entry.name;
            g_audio.desc = entry.desc;
            ok = true;
            break;
        }
    }
    if (!ok) {
        if (!tried) {
            if (driver_name)
                JEX_SetError("Audio target '%s' not available", driver_name);
            else
                JEX_SetError("No available audio device");
        }
        g_audio.impl = JEX_AudioDriverImpl{};
        return -1;
    }
    InstallDefaults(g_audio.impl);
    return 0;
}

void JEX_AudioQuit(void)
{
    if (!Running())
        return;
    for (int id = 1; id <= kMaxDevices; ++id)
        if (g_audio.devices[id - 1].load())
            JEX_CloseAudioDevice(static_cast<JEX_AudioDeviceID>(id));
    g_audio.impl.Deinitialize();
    g_audio.impl = JEX_AudioDriverImpl{};
    g_audio.name = nullptr;
    g_audio.desc = nullptr;
}

const char *JEX_GetCurrentAudioDriver(void)
{
    return g_audio.name;
}

int JEX_GetNumAudioDevices(int iscapture)
{
    if (!Running())
        return -1;
    if (iscapture && !g_audio.impl.can_capture)
        return 0;
    if (iscapture && g_audio.impl.default_input_only)
        return 1;
    if (!iscapture && g_audio.impl.default_output_only)
        return 1;
    return g_audio.impl.DetectDevices(iscapture);
}

const char *JEX_GetAudioDeviceName(int index, int iscapture)
{
    if (!Running()) {
        JEX_SetError("Audio subsystem is not initialized");
        return nullptr;
    }
    if (iscapture && !g_audio.impl.can_capture) {
        JEX_SetError("No capture support");
        return nullptr;
    }
    if (index < 0) {
        JEX_SetError("No such device");
        return nullptr;
    }
    if (iscapture && g_audio.impl.default_input_only)
        return kDefaultInputName;
    if (!iscapture && g_audio.impl.default_output_only)
        return kDefaultOutputName;
    return g_audio.impl.GetDeviceName(index, iscapture);
}

JEX_AudioDeviceID JEX_OpenAudioDevice(const char *device, int iscapture,
                                      const JEX_AudioSpec *desired, JEX_AudioSpec *obtained,
                                      int allowed_changes)
{
    return OpenDevice(device, iscapture, desired, obtained, allowed_changes, 2);
}

int JEX_OpenAudio(JEX_AudioSpec *desired, JEX_AudioSpec *obtained)
{
    if (!Running() && JEX_AudioInit(nullptr) < 0)
        return -1;
    if (g_audio.devices[0].load()) {
        JEX_SetError("Audio device is already opened");
        return -1;
    }
    const JEX_AudioDeviceID id =
        obtained ? OpenDevice(nullptr, 0, desired, obtained, JEX_AUDIO_ALLOW_ANY_CHANGE, 1)
                 : OpenDevice(nullptr, 0, desired, desired, 0, 1);
    if (id == 0)
        return -1;
    if (id != 1) {
        JEX_CloseAudioDevice(id);
        JEX_SetError("Internal error");
        return -1;
    }
    return 0;
}

JEX_AudioStatus JEX_GetAudioDeviceStatus(JEX_AudioDeviceID id)
{
    JEX_AudioDevice *device = GetDevice(id);
    if (!device || !device->enabled)
        return JEX_AUDIO_STOPPED;
    return device->paused ? JEX_AUDIO_PAUSED : JEX_AUDIO_PLAYING;
}

JEX_AudioStatus JEX_GetAudioStatus(void)
{
    return JEX_GetAudioDeviceStatus(1);
}

void JEX_PauseAudioDevice(JEX_AudioDeviceID id, int pause_on)
{
    JEX_AudioDevice *device = GetDevice(id);
    if (!device)
        return;
    // Under the callback lock: once this returns no callback is running or
    // about to start.
    if (device->callback_lock)
        JEX_LockMutex(device->callback_lock);
    device->paused = pause_on;
    if (device->callback_lock)
        JEX_UnlockMutex(device->callback_lock);
}

void JEX_PauseAudio(int pause_on)
{
    JEX_PauseAudioDevice(1, pause_on);
}

void JEX_LockAudioDevice(JEX_AudioDeviceID id)
{
    if (JEX_AudioDevice *device = GetDevice(id))
        g_audio.impl.LockDevice(device);
}

void JEX_UnlockAudioDevice(JEX_AudioDeviceID id)
{
    if (JEX_AudioDevice *device = GetDevice(id))
        g_audio.impl.UnlockDevice(device);
}

void JEX_LockAudio(void)
{
    JEX_LockAudioDevice(1);
}

void JEX_UnlockAudio(void)
{
    JEX_UnlockAudioDevice(1);
}

void JEX_CloseAudioDevice(JEX_AudioDeviceID id)
{
    JEX_AudioDevice *device = GetDevice(id);
    if (!device)
        return;
    g_audio.devices[id - 1] = nullptr;
    CloseDevice(device);
}

void JEX_CloseAudio(void)
{
    JEX_CloseAudioDevice(1);
}

void JEX_MixAudio(Uint8 *dst, const Uint8 *src, Uint32 len, int volume)
{
    JEX_AudioDevice *device = GetDevice(1);
    if (!device)
        return;
    const JEX_AudioFormat format =
        device->convert.needed ? device->convert.src_format : device->spec.format;
    JEX_MixAudioFormat(dst, src, format, len, volume);
}

}  // extern "C"
