/* The null audio driver: accepts any request and lets the core pace the
   callback in real time, discarding what it produces. */
#include "audio/audio_internal.h"

namespace {

int DUMMYAUD_OpenDevice(JEX_AudioDevice *, const char *, int)
{
    return 1;
}

}  // namespace

int DUMMYAUD_Init(JEX_AudioDriverImpl *impl)
{
    impl->OpenDevice = DUMMYAUD_OpenDevice;
    impl->default_output_only = true;
    return 1;
}
