// The null video driver: one 1024x768 display and no window system. It has
// no OpenGL support, so windows cannot be created on it.
#include "video/sysvideo.h"

#include "JEX_error.h"
#include "JEX_pixels.h"

#include <cstdlib>
#include <cstring>

namespace {

int DUMMY_Available()
{
    const char *name = std::getenv("JEX_VIDEODRIVER");
    return name && std::strcmp(name, "dummy") == 0;
}

int DUMMY_VideoInit(JEX_VideoDevice *)
{
    JEX_DisplayMode mode;
    std::memset(&mode, 0, sizeof(mode));
    mode.format = JEX_PIXELFORMAT_RGB888;
    mode.w = 1024;
    mode.h = 768;
    if (JEX_AddBasicVideoDisplay(&mode) < 0)
        return -1;
    // The any-size entry: the closest-mode search hands the wanted size back.
    JEX_DisplayMode any;
    std::memset(&any, 0, sizeof(any));
    JEX_AddDisplayMode(JEX_GetFirstDisplay(), &any);
    return 0;
}

void DUMMY_VideoQuit(JEX_VideoDevice *) {}

int DUMMY_SetDisplayMode(JEX_VideoDevice *, JEX_VideoDisplay *, JEX_DisplayMode *)
{
    return 0;
}

void DUMMY_PumpEvents(JEX_VideoDevice *) {}

void DUMMY_DeleteDevice(JEX_VideoDevice *device)
{
    std::free(device);
}

JEX_VideoDevice *DUMMY_CreateDevice(int)
{
    auto *device = static_cast<JEX_VideoDevice *>(std::calloc(1, sizeof(JEX_VideoDevice)));
    if (!device) {
        JEX_OutOfMemory();
        return nullptr;
    }
    device->VideoInit = DUMMY_VideoInit;
    device->VideoQuit = DUMMY_VideoQuit;
    device->SetDisplayMode = DUMMY_SetDisplayMode;
    device->PumpEvents = DUMMY_PumpEvents;
    device->free = DUMMY_DeleteDevice;
    return device;
}

}  // namespace

VideoBootStrap DUMMY_bootstrap = {"dummy", "JEX dummy video driver", DUMMY_Available,
                                  DUMMY_CreateDevice};
