// Shaped windows on X: the mask becomes a depth-1 pixmap that is set as the
// window's bounding shape.
#include "video/x11/x11_shape.h"

#include "JEX_error.h"
#include "video/x11/x11_window.h"

#include <cstdlib>
#include <cstring>

namespace {

// Where a shaped window waits for its next shape.
constexpr int kOutOfSight = -1000;

size_t RowBytes(int w)
{
    return (size_t(w > 0 ? w : 0) + 7) / 8;
}

Display *DisplayOf(JEX_VideoDevice *device)
{
    return static_cast<X11_VideoData *>(device->driverdata)->display;
}

// Gives the bitmap the size of the window's mask and clears it. The window
// may have been resized by the window manager or another client since the
// last shape, so the size is checked every time.
int PrepareBitmap(X11_ShapeData *data, const JEX_Window *window)
{
    const size_t needed = RowBytes(window->w) * size_t(window->h > 0 ? window->h : 0);
    if (!data->bitmap || needed != data->bitmapsize) {
        auto *bitmap = static_cast<Uint8 *>(std::malloc(needed ? needed : 1));
        if (!bitmap) {
            JEX_SetError("Could not allocate memory for shaped-window bitmap.");
            return -1;
        }
        std::free(data->bitmap);
        data->bitmap = bitmap;
        data->bitmapsize = needed;
    }
    std::memset(data->bitmap, 0, data->bitmapsize);
    return 0;
}

// A shape request to a server without SHAPE would be a protocol error.
bool ServerHasShape(Display *display)
{
    int event_base = 0, error_base = 0;
    return JEX_X11_HAVE_XSHAPE && X11.XShapeQueryExtension(display, &event_base, &error_base);
}

}  // namespace

JEX_WindowShaper *X11_CreateShaper(JEX_VideoDevice *device, JEX_Window *window)
{
    if (!window || !window->driverdata) {
        JEX_SetError("Shaped window has no X window");
        return nullptr;
    }
    if (!ServerHasShape(DisplayOf(device))) {
        JEX_SetError("The X server has no SHAPE extension");
        return nullptr;
    }
    auto *shaper = static_cast<JEX_WindowShaper *>(std::calloc(1, sizeof(JEX_WindowShaper)));
    auto *data = static_cast<X11_ShapeData *>(std::calloc(1, sizeof(X11_ShapeData)));
    if (!shaper || !data) {
        std::free(shaper);
        std::free(data);
        JEX_OutOfMemory();
        return nullptr;
    }
    shaper->window = window;
    shaper->mode.mode = ShapeModeDefault;
    shaper->mode.parameters.binarizationCutoff = 1;
    shaper->driverdata = data;
    window->shaper = shaper;
    if (X11_ResizeWindowShape(device, window) < 0) {
        X11_DestroyShaper(window);
        return nullptr;
    }
    return shaper;
}

int X11_ResizeWindowShape(JEX_VideoDevice *device, JEX_Window *window)
{
    JEX_WindowShaper *shaper = window ? window->shaper : nullptr;
    auto *wd = window ? static_cast<X11_WindowData *>(window->driverdata) : nullptr;
    if (!shaper || !shaper->driverdata || !wd) {
        JEX_SetError("Not a shaped window");
        return -1;
    }
    if (PrepareBitmap(static_cast<X11_ShapeData *>(shaper->driverdata), window) < 0)
        return -1;
    shaper->userx = window->x;
    shaper->usery = window->y;
    shaper->position_pending = JEX_TRUE;
    Display *display = DisplayOf(device);
    X11.XMoveWindow(display, wd->xwindow, kOutOfSight, kOutOfSight);
    X11.XFlush(display);
    return 0;
}

int X11_SetWindowShape(JEX_VideoDevice *device, JEX_WindowShaper *shaper, JEX_Surface *shape,
                       JEX_WindowShapeMode *mode)
{
    JEX_Window *window = shaper ? shaper->window : nullptr;
    auto *wd = window ? static_cast<X11_WindowData *>(window->driverdata) : nullptr;
    auto *data = shaper ? static_cast<X11_ShapeData *>(shaper->driverdata) : nullptr;
    if (!shape || !shape->format || !data || !wd) {
        JEX_SetError("Not a shaped window");
        return JEX_NONSHAPEABLE_WINDOW;
    }
    const JEX_WindowShapeMode used = mode ? *mode : shaper->mode;
    if (shape->format->amask == 0 && JEX_SHAPEMODEALPHA(used.mode)) {
        JEX_SetError("An alpha shape mode needs a mask with an alpha channel");
        return JEX_INVALID_SHAPE_ARGUMENT;
    }
    if (shape->w != window->w || shape->h != window->h) {
        JEX_SetError("Shape of %dx%d for a window of %dx%d", shape->w, shape->h, window->w,
                     window->h);
        return JEX_WINDOW_LACKS_SHAPE;
    }
    if (PrepareBitmap(data, window) < 0 ||
        JEX_CalculateShapeBitmapRows(used, shape, data->bitmap, 8, RowBytes(window->w)) < 0)
        return -1;
    Display *display = DisplayOf(device);
    X11_TrapErrors(display);
    const Pixmap mask =
        X11.XCreateBitmapFromData(display, wd->xwindow, reinterpret_cast<char *>(data->bitmap),
                                  unsigned(window->w), unsigned(window->h));
    if (mask) {
        X11.XShapeCombineMask(display, wd->xwindow, ShapeBounding, 0, 0, mask, ShapeSet);
        X11.XFreePixmap(display, mask);
    }
    const int error = X11_UntrapErrors(display);
    if (!mask || error) {
        JEX_SetError("The X server refused the window shape (error %d)", error);
        return -1;
    }
    return 0;
}

void X11_DestroyShaper(JEX_Window *window)
{
    JEX_WindowShaper *shaper = window ? window->shaper : nullptr;
    if (!shaper)
        return;
    if (auto *data = static_cast<X11_ShapeData *>(shaper->driverdata))
        std::free(data->bitmap);
    std::free(shaper->driverdata);
    std::free(shaper);
    window->shaper = nullptr;
}
