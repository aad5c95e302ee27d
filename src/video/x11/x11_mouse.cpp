// Colour cursors as two-colour X pixmap cursors, and the invisible cursor.
#include "video/x11/x11_mouse.h"

#include "JEX_error.h"
#include "JEX_surface.h"
#include "video/x11/x11_window.h"

#include <cstdlib>

namespace {

X11_VideoData *CurrentData()
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    return device ? static_cast<X11_VideoData *>(device->driverdata) : nullptr;
}

Display *CurrentDisplay()
{
    X11_VideoData *data = CurrentData();
    return data ? data->display : nullptr;
}

Cursor EmptyCursor(Display *display)
{
    Cursor &empty = CurrentData()->empty_cursor;
    if (empty == None) {
        const char zero = 0;
        const Window root = RootWindow(display, DefaultScreen(display));
        const Pixmap pixmap = X11.XCreateBitmapFromData(display, root, &zero, 1, 1);
        if (pixmap) {
            XColor black{};
            empty = X11.XCreatePixmapCursor(display, pixmap, pixmap, &black, &black, 0, 0);
            X11.XFreePixmap(display, pixmap);
        }
    }
    return empty;
}

}  // namespace

bool X11_MakeCursorBitmaps(const Uint32 *pixels, int pitch, int w, int h, X11_CursorBitmaps *out)
{
    const size_t row = size_t(w + 7) / 8;
    out->data = static_cast<unsigned char *>(std::calloc(row * size_t(h) + 1, 1));
    out->mask = static_cast<unsigned char *>(std::calloc(row * size_t(h) + 1, 1));
    if (!out->data || !out->mask) {
        std::free(out->data);
        std::free(out->mask);
        out->data = out->mask = nullptr;
        return false;
    }
    // 64-bit sums: a channel sum times 257 passes 32 bits from 257 x 257
    // white pixels on, the sum itself from 4105 x 4105.
    Uint64 fg[3] = {}, bg[3] = {};
    Uint64 light = 0, dark = 0;
    for (int y = 0; y < h; ++y) {
        const Uint32 *src = reinterpret_cast<const Uint32 *>(
            reinterpret_cast<const Uint8 *>(pixels) + size_t(y) * size_t(pitch));
        for (int x = 0; x < w; ++x) {
            const Uint32 p = src[x];
            const unsigned a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (a <= 25)
                continue;
            const size_t byte = size_t(y) * row + size_t(x) / 8;
            const unsigned char bit = static_cast<unsigned char>(1u << (x % 8));
            out->mask[byte] |= bit;
            if (r + g + b < 65) {
                bg[0] += r, bg[1] += g, bg[2] += b;
                ++dark;
            } else {
                out->data[byte] |= bit;
                fg[0] += r, fg[1] += g, fg[2] += b;
                ++light;
            }
        }
    }
    out->fg = XColor{};
    out->bg = XColor{};
    if (light) {
        out->fg.red = static_cast<unsigned short>(fg[0] * 257 / light);
        out->fg.green = static_cast<unsigned short>(fg[1] * 257 / light);
        out->fg.blue = static_cast<unsigned short>(fg[2] * 257 / light);
    }
    if (dark) {
        out->bg.red = static_cast<unsigned short>(bg[0] * 257 / dark);
        out->bg.green = static_cast<unsigned short>(bg[1] * 257 / dark);
        out->bg.blue = static_cast<unsigned short>(bg[2] * 257 / dark);
    }
    return true;
}

JEX_Cursor *X11_CreateCursor(JEX_VideoDevice *, JEX_Surface *surface, int hot_x, int hot_y)
{
    Display *display = CurrentDisplay();
    if (!display || !surface) {
        JEX_SetError("No X display or cursor image");
        return nullptr;
    }
    auto *cursor = static_cast<JEX_Cursor *>(std::calloc(1, sizeof(JEX_Cursor)));
    if (!cursor) {
        JEX_OutOfMemory();
        return nullptr;
    }
    // A record without an X cursor would show the server's default cursor
    // while reporting success, so every failure below returns null.
    JEX_Surface *argb = JEX_ConvertSurfaceFormat(surface, JEX_PIXELFORMAT_ARGB8888, 0);
    if (!argb) {
        std::free(cursor);
        return nullptr;
    }
    X11_CursorBitmaps bitmaps{};
    if (!X11_MakeCursorBitmaps(static_cast<const Uint32 *>(argb->pixels), argb->pitch, argb->w,
                               argb->h, &bitmaps)) {
        JEX_FreeSurface(argb);
        std::free(cursor);
        JEX_OutOfMemory();
        return nullptr;
    }
    const Window root = RootWindow(display, DefaultScreen(display));
    const Pixmap data =
        X11.XCreateBitmapFromData(display, root, reinterpret_cast<char *>(bitmaps.data),
                                  unsigned(argb->w), unsigned(argb->h));
    const Pixmap mask =
        X11.XCreateBitmapFromData(display, root, reinterpret_cast<char *>(bitmaps.mask),
                                  unsigned(argb->w), unsigned(argb->h));
    Cursor x = None;
    if (data && mask) {
        x = X11.XCreatePixmapCursor(display, data, mask, &bitmaps.fg, &bitmaps.bg, unsigned(hot_x),
                                    unsigned(hot_y));
    }
    if (data)
        X11.XFreePixmap(display, data);
    if (mask)
        X11.XFreePixmap(display, mask);
    std::free(bitmaps.data);
    std::free(bitmaps.mask);
    JEX_FreeSurface(argb);
    if (x == None) {
        std::free(cursor);
        JEX_SetError("Could not create an X cursor");
        return nullptr;
    }
    cursor->driverdata = reinterpret_cast<void *>(x);
    return cursor;
}

int X11_ShowCursor(JEX_VideoDevice *, JEX_Cursor *cursor)
{
    Display *display = CurrentDisplay();
    if (!display)
        return 0;
    const Cursor x =
        cursor ? Cursor(reinterpret_cast<uintptr_t>(cursor->driverdata)) : EmptyCursor(display);
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    for (JEX_Window *window = device->windows; window; window = window->next) {
        auto *wd = static_cast<X11_WindowData *>(window->driverdata);
        if (!wd)
            continue;
        if (x != None)
            X11.XDefineCursor(display, wd->xwindow, x);
        else
            X11.XUndefineCursor(display, wd->xwindow);
    }
    X11.XFlush(display);
    return 0;
}

void X11_FreeCursor(JEX_VideoDevice *, JEX_Cursor *cursor)
{
    if (!cursor)
        return;
    const Cursor x = Cursor(reinterpret_cast<uintptr_t>(cursor->driverdata));
    Display *display = CurrentDisplay();
    if (x != None && display)
        X11.XFreeCursor(display, x);
    std::free(cursor);
}

void X11_WarpMouse(JEX_VideoDevice *, JEX_Window *window, int x, int y)
{
    Display *display = CurrentDisplay();
    auto *wd = window ? static_cast<X11_WindowData *>(window->driverdata) : nullptr;
    if (!display || !wd)
        return;
    X11.XWarpPointer(display, None, wd->xwindow, 0, 0, 0, 0, x, y);
    X11.XSync(display, False);
}

int X11_SetRelativeMouseMode(JEX_VideoDevice *, JEX_bool)
{
    JEX_Error(JEX_ERR_UNSUPPORTED);
    return -1;
}

void X11_InitMouse(JEX_VideoDevice *device)
{
    device->CreateCursor = X11_CreateCursor;
    device->ShowCursor = X11_ShowCursor;
    device->FreeCursor = X11_FreeCursor;
    device->WarpMouse = X11_WarpMouse;
    device->SetRelativeMouseMode = X11_SetRelativeMouseMode;
    // The server's own cursor: a record with no X cursor of its own.
    if (auto *standard = static_cast<JEX_Cursor *>(std::calloc(1, sizeof(JEX_Cursor))))
        JEX_SetDefaultCursor(standard);
}

void X11_QuitMouse(JEX_VideoDevice *device)
{
    auto *data = static_cast<X11_VideoData *>(device->driverdata);
    if (data->empty_cursor != None && data->display)
        X11.XFreeCursor(data->display, data->empty_cursor);
    data->empty_cursor = None;
}
