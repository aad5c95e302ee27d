// The video core's side of the input sources' window interface: window
// facts, focus reports and the device's text input and cursor operations.
#include "events/input_window.h"

#include "JEX_error.h"
#include "video/sysvideo.h"

namespace {

// The device when it has the operation `slot`, else null.
template <typename Slot>
JEX_VideoDevice *DeviceWith(Slot JEX_VideoDevice::*slot)
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    return device && device->*slot ? device : nullptr;
}

}  // namespace

extern "C" {

Uint32 JEX_InputWindowID(const JEX_Window *window)
{
    return window ? window->id : 0;
}

void JEX_InputWindowSize(const JEX_Window *window, int *w, int *h)
{
    const bool live = JEX_InputWindowIsLive(window);
    *w = live ? window->w : 0;
    *h = live ? window->h : 0;
}

JEX_bool JEX_InputWindowIsLive(const JEX_Window *window)
{
    return JEX_IsLiveWindow(JEX_GetVideoDevice(), window) ? JEX_TRUE : JEX_FALSE;
}

void JEX_InputWindowFocus(JEX_Window *window, Uint8 windowevent)
{
    JEX_SendWindowEvent(window, windowevent, 0, 0);
}

void JEX_InputStartTextInput(void)
{
    if (JEX_VideoDevice *device = DeviceWith(&JEX_VideoDevice::StartTextInput))
        device->StartTextInput(device);
}

void JEX_InputStopTextInput(void)
{
    if (JEX_VideoDevice *device = DeviceWith(&JEX_VideoDevice::StopTextInput))
        device->StopTextInput(device);
}

JEX_bool JEX_InputHasCursors(void)
{
    return DeviceWith(&JEX_VideoDevice::CreateCursor) ? JEX_TRUE : JEX_FALSE;
}

JEX_Cursor *JEX_InputCreateCursor(JEX_Surface *argb, int hot_x, int hot_y)
{
    JEX_VideoDevice *device = DeviceWith(&JEX_VideoDevice::CreateCursor);
    if (!device) {
        JEX_SetError("Cursors are not currently supported");
        return nullptr;
    }
    return device->CreateCursor(device, argb, hot_x, hot_y);
}

void JEX_InputShowCursor(JEX_Cursor *cursor)
{
    if (JEX_VideoDevice *device = DeviceWith(&JEX_VideoDevice::ShowCursor))
        device->ShowCursor(device, cursor);
}

void JEX_InputFreeCursor(JEX_Cursor *cursor)
{
    if (JEX_VideoDevice *device = DeviceWith(&JEX_VideoDevice::FreeCursor))
        device->FreeCursor(device, cursor);
}

JEX_bool JEX_InputWarpMouse(JEX_Window *window, int x, int y)
{
    JEX_VideoDevice *device = DeviceWith(&JEX_VideoDevice::WarpMouse);
    if (!device)
        return JEX_FALSE;
    device->WarpMouse(device, window, x, y);
    return JEX_TRUE;
}

int JEX_InputSetRelativeMouseMode(JEX_bool enabled)
{
    JEX_VideoDevice *device = DeviceWith(&JEX_VideoDevice::SetRelativeMouseMode);
    if (!device) {
        JEX_Error(JEX_ERR_UNSUPPORTED);
        return -1;
    }
    return device->SetRelativeMouseMode(device, enabled);
}

}  // extern "C"
