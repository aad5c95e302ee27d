// The null video driver: one 1024x768 display and no window system. It has
// no OpenGL support, so windows cannot be created on it. Its window
// framebuffer is a surface in memory; with JEX_VIDEO_DUMMY_SAVE_FRAMES set,
// every update writes the whole frame to a BMP file.
#include "video/sysvideo.h"

#include "JEX_bmp.h"
#include "JEX_error.h"
#include "JEX_pixels.h"
#include "JEX_rwops.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char *kSurfaceName = "_JEX_DummySurface";

// The driver's state: the number of the last saved frame, counted across
// all windows. Used only from the thread that started video.
struct DummyState {
    int frame_number = 0;
};
DummyState g_dummy;

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

// Detached before it is freed, so a failed create leaves no freed surface
// behind for the next update or destroy to find.
void DUMMY_DestroyWindowFramebuffer(JEX_VideoDevice *, JEX_Window *window)
{
    JEX_FreeSurface(static_cast<JEX_Surface *>(JEX_SetWindowData(window, kSurfaceName, nullptr)));
}

int DUMMY_CreateWindowFramebuffer(JEX_VideoDevice *device, JEX_Window *window, Uint32 *format,
                                  void **pixels, int *pitch)
{
    DUMMY_DestroyWindowFramebuffer(device, window);
    constexpr Uint32 kFormat = JEX_PIXELFORMAT_RGB888;
    int bpp = 0;
    Uint32 rmask = 0, gmask = 0, bmask = 0, amask = 0;
    if (!JEX_PixelFormatEnumToMasks(kFormat, &bpp, &rmask, &gmask, &bmask, &amask))
        return -1;
    JEX_Surface *surface =
        JEX_CreateRGBSurface(0, window->w, window->h, bpp, rmask, gmask, bmask, amask);
    if (!surface)
        return -1;
    JEX_SetWindowData(window, kSurfaceName, surface);
    if (JEX_GetWindowData(window, kSurfaceName) != surface) {
        JEX_FreeSurface(surface);
        return -1;
    }
    *format = kFormat;
    *pixels = surface->pixels;
    *pitch = surface->pitch;
    return 0;
}

int DUMMY_UpdateWindowFramebuffer(JEX_VideoDevice *, JEX_Window *window, const JEX_Rect *, int)
{
    auto *surface = static_cast<JEX_Surface *>(JEX_GetWindowData(window, kSurfaceName));
    if (!surface) {
        JEX_SetError("Couldn't find dummy surface for window");
        return -1;
    }
    if (std::getenv("JEX_VIDEO_DUMMY_SAVE_FRAMES")) {
        char file[128];
        std::snprintf(file, sizeof(file), "JEX_window%u-%8.8d.bmp", unsigned(window->id),
                      ++g_dummy.frame_number);
        // A frame that cannot be written is not the caller's failure.
        JEX_SaveBMP_RW(surface, JEX_RWFromFile(file, "wb"), 1);
    }
    return 0;
}

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
    device->CreateWindowFramebuffer = DUMMY_CreateWindowFramebuffer;
    device->UpdateWindowFramebuffer = DUMMY_UpdateWindowFramebuffer;
    device->DestroyWindowFramebuffer = DUMMY_DestroyWindowFramebuffer;
    device->free = DUMMY_DeleteDevice;
    return device;
}

}  // namespace

VideoBootStrap DUMMY_bootstrap = {"dummy", "JEX dummy video driver", DUMMY_Available,
                                  DUMMY_CreateDevice};
