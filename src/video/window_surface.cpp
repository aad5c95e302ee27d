// Window surfaces: a software surface over the window's framebuffer, made
// through the device's framebuffer slots and pushed to the screen rectangle
// by rectangle.
#include "video/sysvideo.h"

#include "JEX_error.h"
#include "JEX_pixels.h"

namespace {

// A size change the driver made behind the core's back (it answered a
// resize with another size) leaves the flag set; the size check keeps such
// a surface from being used at the wrong size.
bool SurfaceMatches(const JEX_Window *window)
{
    return window->surface_valid && window->surface && window->surface->w == window->w &&
           window->surface->h == window->h;
}

JEX_Surface *CreateFramebufferSurface(JEX_VideoDevice *device, JEX_Window *window)
{
    if (!device->CreateWindowFramebuffer || !device->UpdateWindowFramebuffer)
        return nullptr;
    Uint32 format = 0;
    void *pixels = nullptr;
    int pitch = 0;
    if (device->CreateWindowFramebuffer(device, window, &format, &pixels, &pitch) < 0)
        return nullptr;
    int bpp = 0;
    Uint32 rmask = 0, gmask = 0, bmask = 0, amask = 0;
    if (!JEX_PixelFormatEnumToMasks(format, &bpp, &rmask, &gmask, &bmask, &amask))
        return nullptr;
    return JEX_CreateRGBSurfaceFrom(pixels, window->w, window->h, bpp, pitch, rmask, gmask, bmask,
                                    amask);
}

int CheckedForUpdate(JEX_Window *window, JEX_VideoDevice *&device)
{
    device = JEX_CheckWindow(window);
    if (!device)
        return -1;
    if (!SurfaceMatches(window)) {
        JEX_SetError("Window surface is invalid, please call JEX_GetWindowSurface() to get a new "
                     "surface");
        return -1;
    }
    return 0;
}

}  // namespace

extern "C" {

JEX_Surface *JEX_GetWindowSurface(JEX_Window *window)
{
    JEX_VideoDevice *device = JEX_CheckWindow(window);
    if (!device)
        return nullptr;
    if (SurfaceMatches(window))
        return window->surface;
    if (JEX_Surface *old = window->surface) {
        window->surface = nullptr;
        old->flags &= ~Uint32(JEX_SURFACE_DONTFREE);
        JEX_FreeSurface(old);
    }
    window->surface_valid = 0;
    window->surface = CreateFramebufferSurface(device, window);
    if (!window->surface)
        return nullptr;
    window->surface_valid = 1;
    window->surface->flags |= JEX_SURFACE_DONTFREE;
    return window->surface;
}

int JEX_UpdateWindowSurface(JEX_Window *window)
{
    JEX_VideoDevice *device = nullptr;
    if (CheckedForUpdate(window, device) < 0)
        return -1;
    const JEX_Rect full = {0, 0, window->w, window->h};
    return device->UpdateWindowFramebuffer(device, window, &full, 1);
}

int JEX_UpdateWindowSurfaceRects(JEX_Window *window, const JEX_Rect *rects, int numrects)
{
    JEX_VideoDevice *device = nullptr;
    if (CheckedForUpdate(window, device) < 0)
        return -1;
    if (numrects < 0 || (!rects && numrects > 0)) {
        JEX_SetError("Parameter '%s' is invalid", rects ? "numrects" : "rects");
        return -1;
    }
    return device->UpdateWindowFramebuffer(device, window, rects, numrects);
}

}  // extern "C"
