// Clipboard text: the driver's clipboard when it has one, otherwise a copy
// kept by the device.
#include "video/sysvideo.h"

#include "JEX_error.h"

#include <cstdlib>
#include <cstring>

namespace {

JEX_VideoDevice *DeviceOrError()
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device)
        JEX_SetError("Video subsystem has not been initialized");
    return device;
}

}  // namespace

extern "C" {

int JEX_SetClipboardText(const char *text)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return -1;
    if (!text)
        text = "";
    if (device->SetClipboardText)
        return device->SetClipboardText(device, text);
    char *copy = strdup(text);
    if (!copy) {
        JEX_OutOfMemory();
        return -1;
    }
    std::free(device->clipboard_text);
    device->clipboard_text = copy;
    return 0;
}

char *JEX_GetClipboardText(void)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return nullptr;
    if (device->GetClipboardText)
        return device->GetClipboardText(device);
    char *copy = strdup(device->clipboard_text ? device->clipboard_text : "");
    if (!copy)
        JEX_OutOfMemory();
    return copy;
}

JEX_bool JEX_HasClipboardText(void)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return JEX_FALSE;
    if (device->HasClipboardText)
        return device->HasClipboardText(device);
    return device->clipboard_text ? JEX_TRUE : JEX_FALSE;
}

}  // extern "C"
