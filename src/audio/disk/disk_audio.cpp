/* The disk writer: every buffer the application produces goes to a raw
   file, one buffer per delay period, so that audio output can be checked
   without hardware. */
#include "audio/audio_internal.h"

#include "JEX_error.h"
#include "JEX_log.h"
#include "JEX_rwops.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr Uint32 kDefaultDelayMs = 150;

struct DiskData {
    JEX_RWops *output = nullptr;
    Uint8 *buffer = nullptr;
    Uint32 buffer_len = 0;
    Uint32 delay_ms = 0;
};

DiskData *Data(JEX_AudioDevice *device)
{
    return static_cast<DiskData *>(device->driver_data);
}

void DISKAUD_WaitDevice(JEX_AudioDevice *device)
{
    JEX_AudioSleep(device, Data(device)->delay_ms);
}

/* The whole buffer is written, a short write retried for the rest, until
   the stream reports a failure; then the device stops (a full disk ends
   playback). */
void DISKAUD_PlayDevice(JEX_AudioDevice *device)
{
    DiskData *d = Data(device);
    Uint32 done = 0;
    while (done < d->buffer_len) {
        const size_t n = JEX_RWwrite(d->output, d->buffer + done, 1, d->buffer_len - done);
        if (n == 0) {
            device->enabled = 0;
            return;
        }
        done += static_cast<Uint32>(n);
    }
}

Uint8 *DISKAUD_GetDeviceBuf(JEX_AudioDevice *device)
{
    return Data(device)->buffer;
}

void DISKAUD_CloseDevice(JEX_AudioDevice *device)
{
    DiskData *d = Data(device);
    if (!d)
        return;
    std::free(d->buffer);
    if (d->output && JEX_RWclose(d->output) != 0)
        JEX_LogError(JEX_LOG_CATEGORY_AUDIO, "Disk audio: closing the output file failed: %s",
                     JEX_GetError());
    delete d;
    device->driver_data = nullptr;
}

int DISKAUD_OpenDevice(JEX_AudioDevice *device, const char *devname, int)
{
    const char *delay = std::getenv("JEX_DISKAUDIODELAY");
    const char *fname = devname ? devname : std::getenv("JEX_DISKAUDIOFILE");
    if (!fname)
        fname = "jexaudio.raw";

    auto *d = new (std::nothrow) DiskData();
    if (!d) {
        JEX_OutOfMemory();
        return 0;
    }
    device->driver_data = d;
    d->output = JEX_RWFromFile(fname, "wb");
    if (!d->output) {
        DISKAUD_CloseDevice(device);
        return 0;
    }
    d->buffer_len = device->spec.size;
    d->buffer = static_cast<Uint8 *>(std::malloc(d->buffer_len ? d->buffer_len : 1));
    if (!d->buffer) {
        DISKAUD_CloseDevice(device);
        JEX_OutOfMemory();
        return 0;
    }
    std::memset(d->buffer, device->spec.silence, d->buffer_len);
    // A negative delay would be a wait of weeks: it counts as unset.
    const long delay_ms = delay ? std::strtol(delay, nullptr, 10) : -1;
    d->delay_ms = delay_ms >= 0 ? static_cast<Uint32>(delay_ms) : kDefaultDelayMs;

    std::fprintf(stderr,
                 "WARNING: You are using the JEX disk writer audio driver!\n"
                 " Writing to file [%s].\n",
                 fname);
    return 1;
}

}  // namespace

int DISKAUD_Init(JEX_AudioDriverImpl *impl)
{
    impl->OpenDevice = DISKAUD_OpenDevice;
    impl->WaitDevice = DISKAUD_WaitDevice;
    impl->PlayDevice = DISKAUD_PlayDevice;
    impl->GetDeviceBuf = DISKAUD_GetDeviceBuf;
    impl->CloseDevice = DISKAUD_CloseDevice;
    return 1;
}
