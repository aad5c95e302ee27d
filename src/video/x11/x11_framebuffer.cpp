// The window framebuffer: an X image over a block of pixels in the
// window's own format, put to the window rectangle by rectangle. Pixels live
// in a shared-memory segment when the server is on this machine and takes
// the segment; otherwise in ordinary memory, sent over the connection.
// Also the pixel formats of X visuals.
#include "video/x11/x11_framebuffer.h"

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "video/x11/x11_window.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

X11_WindowData *WindowData(JEX_Window *window)
{
    return static_cast<X11_WindowData *>(window->driverdata);
}

// Shared memory needs a server on this machine that offers MIT-SHM.
bool SharedMemoryUsable(Display *display)
{
    const char *name = DisplayString(display);
    if (!name || (name[0] != ':' && std::strncmp(name, "unix:", 5) != 0))
        return false;
    return JEX_X11_HAVE_SHM && X11.XShmQueryExtension(display);
}

// A segment of `size` bytes attached on both sides, or false. The segment
// is marked for removal as soon as the server has had its chance to attach,
// so it disappears with the last detach, even if the process dies.
bool AttachSegment(Display *display, XShmSegmentInfo &shminfo, size_t size)
{
    shminfo.shmid = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (shminfo.shmid < 0)
        return false;
    void *address = shmat(shminfo.shmid, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        shmctl(shminfo.shmid, IPC_RMID, nullptr);
        return false;
    }
    shminfo.shmaddr = static_cast<char *>(address);
    shminfo.readOnly = False;
    // Any error here (a server that cannot reach the segment answers
    // BadAccess) means no shared memory; the trap keeps it from the log
    // and synchronises without dropping queued events.
    X11_TrapErrors(display);
    const Bool attached = X11.XShmAttach(display, &shminfo);
    const int error = X11_UntrapErrors(display);
    shmctl(shminfo.shmid, IPC_RMID, nullptr);
    if (!attached || error != 0) {
        shmdt(shminfo.shmaddr);
        shminfo.shmaddr = nullptr;
        return false;
    }
    return true;
}

void DetachSegment(Display *display, XShmSegmentInfo &shminfo)
{
    X11.XShmDetach(display, &shminfo);
    X11.XSync(display, False);
    shmdt(shminfo.shmaddr);
    shminfo.shmaddr = nullptr;
}

// The image must lay its pixels out exactly as the surface over them will.
bool ImageMatches(const XImage *image, int bytes_per_pixel, int pitch)
{
    return image->bits_per_pixel == bytes_per_pixel * 8 && image->bytes_per_line == pitch;
}

// Frees the image record only: its pixels are released by the caller, and
// for a shared image obdata points into the window record.
void DestroyImageRecord(XImage *image)
{
    image->data = nullptr;
    image->obdata = nullptr;
    XDestroyImage(image);
}

// The shared-memory image, or null for the fallback.
XImage *CreateSharedImage(Display *display, X11_WindowData *wd, const XVisualInfo &vinfo, int w,
                          int h, int bytes_per_pixel, int pitch)
{
    if (!SharedMemoryUsable(display) ||
        !AttachSegment(display, wd->shminfo, size_t(pitch) * size_t(h)))
        return nullptr;
    XImage *image =
        X11.XShmCreateImage(display, vinfo.visual, unsigned(vinfo.depth), ZPixmap,
                            wd->shminfo.shmaddr, &wd->shminfo, unsigned(w), unsigned(h));
    if (image && ImageMatches(image, bytes_per_pixel, pitch))
        return image;
    if (image)
        DestroyImageRecord(image);
    DetachSegment(display, wd->shminfo);
    return nullptr;
}

}  // namespace

int X11_CreateWindowFramebuffer(JEX_VideoDevice *device, JEX_Window *window, Uint32 *format,
                                void **pixels, int *pitch)
{
    X11_WindowData *wd = WindowData(window);
    Display *display = static_cast<X11_VideoData *>(device->driverdata)->display;
    X11_DestroyWindowFramebuffer(device, window);

    XGCValues values{};
    values.graphics_exposures = False;
    wd->gc = X11.XCreateGC(display, wd->xwindow, GCGraphicsExposures, &values);
    if (!wd->gc) {
        JEX_SetError("Couldn't create graphics context");
        return -1;
    }
    XVisualInfo vinfo;
    if (X11_GetVisualInfoFromVisual(display, wd->visual, &vinfo) < 0) {
        JEX_SetError("Couldn't get window visual information");
        return -1;
    }
    *format = X11_GetPixelFormatFromVisualInfo(display, &vinfo);
    if (*format == 0 || JEX_ISPIXELFORMAT_FOURCC(*format)) {
        JEX_SetError("Unknown window pixel format");
        return -1;
    }
    // The server's pixmap format decides how many bits a pixel takes in
    // the image; a format that disagrees cannot describe the pixels.
    const int bytes_per_pixel = JEX_BYTESPERPIXEL(*format);
    int server_bits = 0;
    if (bytes_per_pixel == 0 || (X11_GetPixmapFormat(display, vinfo.depth, &server_bits, nullptr) &&
                                 server_bits != bytes_per_pixel * 8)) {
        JEX_SetError("Unknown window pixel format");
        return -1;
    }
    const int w = window->w, h = window->h;
    *pitch = (bytes_per_pixel * w + 3) & ~3;

    wd->ximage = CreateSharedImage(display, wd, vinfo, w, h, bytes_per_pixel, *pitch);
    if (wd->ximage) {
        wd->use_mitshm = true;
        *pixels = wd->shminfo.shmaddr;
        return 0;
    }

    char *block = static_cast<char *>(std::malloc(size_t(*pitch) * size_t(h)));
    if (!block) {
        JEX_OutOfMemory();
        return -1;
    }
    XImage *image = X11.XCreateImage(display, vinfo.visual, unsigned(vinfo.depth), ZPixmap, 0,
                                     block, unsigned(w), unsigned(h), 32, *pitch);
    if (!image || !ImageMatches(image, bytes_per_pixel, *pitch)) {
        if (image)
            DestroyImageRecord(image);
        std::free(block);
        JEX_SetError("Couldn't create XImage");
        return -1;
    }
    wd->ximage = image;
    *pixels = block;
    return 0;
}

int X11_UpdateWindowFramebuffer(JEX_VideoDevice *device, JEX_Window *window, const JEX_Rect *rects,
                                int numrects)
{
    X11_WindowData *wd = WindowData(window);
    if (!wd || !wd->ximage || !rects)
        return 0;
    Display *display = static_cast<X11_VideoData *>(device->driverdata)->display;
    XImage *image = wd->ximage;
    for (int i = 0; i < numrects; ++i) {
        // A rectangle reaching outside the image would be a BadValue.
        const long x0 = std::max(0L, long(rects[i].x));
        const long y0 = std::max(0L, long(rects[i].y));
        const long x1 = std::min(long(image->width), long(rects[i].x) + rects[i].w);
        const long y1 = std::min(long(image->height), long(rects[i].y) + rects[i].h);
        if (x1 <= x0 || y1 <= y0)
            continue;
        const int x = int(x0), y = int(y0);
        const auto cw = unsigned(x1 - x0), ch = unsigned(y1 - y0);
        if (wd->use_mitshm)
            X11.XShmPutImage(display, wd->xwindow, wd->gc, image, x, y, x, y, cw, ch, False);
        else
            X11.XPutImage(display, wd->xwindow, wd->gc, image, x, y, x, y, cw, ch);
    }
    X11.XSync(display, False);
    return 0;
}

void X11_DestroyWindowFramebuffer(JEX_VideoDevice *device, JEX_Window *window)
{
    X11_WindowData *wd = WindowData(window);
    if (!wd)
        return;
    Display *display = static_cast<X11_VideoData *>(device->driverdata)->display;
    if (XImage *image = wd->ximage) {
        wd->ximage = nullptr;
        if (wd->use_mitshm) {
            DetachSegment(display, wd->shminfo);
            wd->use_mitshm = false;
        } else {
            std::free(image->data);
        }
        DestroyImageRecord(image);
    }
    if (wd->gc) {
        X11.XFreeGC(display, wd->gc);
        wd->gc = nullptr;
    }
}

int X11_GetVisualInfoFromVisual(Display *display, Visual *visual, XVisualInfo *info)
{
    XVisualInfo wanted{};
    wanted.visualid = X11.XVisualIDFromVisual(visual);
    int count = 0;
    XVisualInfo *found = X11.XGetVisualInfo(display, VisualIDMask, &wanted, &count);
    if (!found)
        return -1;
    const bool ok = count > 0;
    if (ok)
        *info = found[0];
    X11.XFree(found);
    return ok ? 0 : -1;
}

bool X11_GetPixmapFormat(Display *display, int depth, int *bits_per_pixel, int *scanline_pad)
{
    int count = 0;
    XPixmapFormatValues *formats = X11.XListPixmapFormats(display, &count);
    if (!formats)
        return false;
    bool found = false;
    for (int i = 0; i < count && !found; ++i) {
        if (formats[i].depth == depth) {
            if (bits_per_pixel)
                *bits_per_pixel = formats[i].bits_per_pixel;
            if (scanline_pad)
                *scanline_pad = formats[i].scanline_pad;
            found = true;
        }
    }
    X11.XFree(formats);
    return found;
}

Uint32 X11_GetPixelFormatFromVisualInfo(Display *display, const XVisualInfo *info)
{
    if (info->c_class == TrueColor || info->c_class == DirectColor) {
        const auto red = Uint32(info->red_mask);
        const auto green = Uint32(info->green_mask);
        const auto blue = Uint32(info->blue_mask);
        Uint32 alpha = 0;
        int bpp = info->depth;
        if (info->depth == 32) {
            alpha = ~(red | green | blue);
            bpp = 32;
        } else if (info->depth == 24) {
            // A depth-24 visual usually lives in 32-bit pixels.
            bpp = 24;
            X11_GetPixmapFormat(display, 24, &bpp, nullptr);
        }
        return JEX_MasksToPixelFormatEnum(bpp, red, green, blue, alpha);
    }
    if (info->c_class == PseudoColor || info->c_class == StaticColor) {
        const bool lsb_first = BitmapBitOrder(display) == LSBFirst;
        switch (info->depth) {
        case 8: return JEX_PIXELFORMAT_INDEX8;
        case 4: return lsb_first ? JEX_PIXELFORMAT_INDEX4LSB : JEX_PIXELFORMAT_INDEX4MSB;
        case 1: return lsb_first ? JEX_PIXELFORMAT_INDEX1LSB : JEX_PIXELFORMAT_INDEX1MSB;
        default: break;
        }
    }
    return 0;
}
