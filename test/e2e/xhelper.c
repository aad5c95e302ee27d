/* A small X client for the end-to-end tests: what xdotool and friends do
   not offer.
     xhelper close WINDOW        ask the window to close (WM_DELETE_WINDOW)
     xhelper pixel WINDOW X Y    print the pixel's colour as "R G B" (0-255)
     xhelper hash WINDOW         print a checksum of the window's pixels
     xhelper colours WINDOW      print how many pixels are not black and how
                                 many distinct colours there are */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

static Display *dpy;

static int fail(const char *what)
{
    fprintf(stderr, "xhelper: %s\n", what);
    return 1;
}

static XImage *grab(Window w)
{
    XWindowAttributes attr;
    if (!XGetWindowAttributes(dpy, w, &attr))
        return NULL;
    return XGetImage(dpy, w, 0, 0, (unsigned)attr.width, (unsigned)attr.height, AllPlanes, ZPixmap);
}

static void rgb(XImage *img, int x, int y, unsigned *r, unsigned *g, unsigned *b)
{
    unsigned long p = XGetPixel(img, x, y);
    *r = (unsigned)((p & img->red_mask) >> __builtin_ctzl(img->red_mask));
    *g = (unsigned)((p & img->green_mask) >> __builtin_ctzl(img->green_mask));
    *b = (unsigned)((p & img->blue_mask) >> __builtin_ctzl(img->blue_mask));
}

static int compare_ulong(const void *a, const void *b)
{
    unsigned long x = *(const unsigned long *)a, y = *(const unsigned long *)b;
    return (x > y) - (x < y);
}

int main(int argc, char **argv)
{
    if (argc < 3)
        return fail("usage: xhelper close|pixel|hash|colours WINDOW [X Y]");
    dpy = XOpenDisplay(NULL);
    if (!dpy)
        return fail("cannot open the display");
    Window w = (Window)strtoul(argv[2], NULL, 0);

    if (strcmp(argv[1], "close") == 0) {
        XEvent ev;
        memset(&ev, 0, sizeof(ev));
        ev.xclient.type = ClientMessage;
        ev.xclient.window = w;
        ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
        ev.xclient.format = 32;
        ev.xclient.data.l[0] = (long)XInternAtom(dpy, "WM_DELETE_WINDOW", False);
        ev.xclient.data.l[1] = CurrentTime;
        XSendEvent(dpy, w, False, NoEventMask, &ev);
        XSync(dpy, False);
        return 0;
    }

    XImage *img = grab(w);
    if (!img)
        return fail("cannot read the window");
    if (strcmp(argv[1], "pixel") == 0 && argc == 5) {
        unsigned r, g, b;
        int x = atoi(argv[3]), y = atoi(argv[4]);
        if (x < 0 || y < 0 || x >= img->width || y >= img->height)
            return fail("pixel outside the window");
        rgb(img, x, y, &r, &g, &b);
        printf("%u %u %u\n", r, g, b);
    } else if (strcmp(argv[1], "hash") == 0) {
        unsigned long long h = 1469598103934665603ull;
        for (int y = 0; y < img->height; ++y)
            for (int x = 0; x < img->width; ++x)
                h = (h ^ XGetPixel(img, x, y)) * 1099511628211ull;
        printf("%016llx\n", h);
    } else if (strcmp(argv[1], "colours") == 0) {
        size_t n = (size_t)img->width * (size_t)img->height, lit = 0, distinct = 0;
        unsigned long *px = malloc(n * sizeof(*px));
        if (!px)
            return fail("out of memory");
        for (int y = 0; y < img->height; ++y) {
            for (int x = 0; x < img->width; ++x) {
                unsigned long p =
                    XGetPixel(img, x, y) & (img->red_mask | img->green_mask | img->blue_mask);
                px[(size_t)y * (size_t)img->width + (size_t)x] = p;
                lit += p != 0;
            }
        }
        qsort(px, n, sizeof(*px), compare_ulong);
        for (size_t i = 0; i < n; ++i)
            distinct += i == 0 || px[i] != px[i - 1];
        printf("%zu %zu\n", lit, distinct);
        free(px);
    } else {
        return fail("unknown command");
    }
    XDestroyImage(img);
    XCloseDisplay(dpy);
    return 0;
}
