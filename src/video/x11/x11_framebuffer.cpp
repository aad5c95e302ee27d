// Pixel formats of X visuals.
#include "video/x11/x11_framebuffer.h"

#include "JEX_pixels.h"

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
