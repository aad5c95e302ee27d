/* The frame-rate yardstick for the GL cube program: the same cube, colours,
   rotation and GL state, drawn into the same number of 640x480 double-buffered
   windows, with nothing but Xlib and GLX in between.  Each main-loop pass
   drains the X event queue, then for every window makes the one shared
   context current, sets the viewport, draws and swaps, exactly as the cube
   program does.

   Usage: glcube_raw [--windows N] [--seconds S] [--frames F]
   It runs until Escape, a window close, SIGTERM/SIGINT, or the optional time
   or frame limit, then prints one line:
     GLCUBE_RAW windows=N frames=F seconds=S fps=X visual=0xID */
#define _POSIX_C_SOURCE 200809L
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <GL/gl.h>
#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#define MAX_WINDOWS 64

static volatile sig_atomic_t stop_requested;

static void on_signal(int sig)
{
    (void)sig;
    stop_requested = 1;
}

static double now_seconds(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static void render(void)
{
    static const GLfloat color[8][3] = {
        {1.0f, 1.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f},
        {0.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f}, {1.0f, 0.0f, 1.0f}, {0.0f, 0.0f, 1.0f},
    };
    static const GLfloat cube[8][3] = {
        {0.5f, 0.5f, -0.5f}, {0.5f, -0.5f, -0.5f}, {-0.5f, -0.5f, -0.5f}, {-0.5f, 0.5f, -0.5f},
        {-0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f},   {0.5f, -0.5f, 0.5f},   {-0.5f, -0.5f, 0.5f},
    };
    static const int faces[6][4] = {
        {0, 1, 2, 3}, {3, 4, 7, 2}, {0, 5, 6, 1}, {5, 4, 7, 6}, {5, 0, 3, 4}, {6, 1, 2, 7},
    };

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

    glBegin(GL_QUADS);
    for (int f = 0; f < 6; ++f) {
        for (int v = 0; v < 4; ++v) {
            const int i = faces[f][v];
            glColor3fv(color[i]);
            glVertex3fv(cube[i]);
        }
    }
    glEnd();

    glMatrixMode(GL_MODELVIEW);
    glRotatef(5.0f, 1.0f, 1.0f, 1.0f);
}

static int parse_positive(const char *s, long max, long *out)
{
    char *end = NULL;
    long v = strtol(s, &end, 10);
    if (!*s || *end || v < 1 || v > max)
        return 0;
    *out = v;
    return 1;
}

int main(int argc, char *argv[])
{
    long nwindows = 1, seconds = 0, max_frames = 0;
    for (int i = 1; i < argc; ++i) {
        int ok = 0;
        if (i + 1 < argc) {
            if (strcmp(argv[i], "--windows") == 0)
                ok = parse_positive(argv[++i], MAX_WINDOWS, &nwindows);
            else if (strcmp(argv[i], "--seconds") == 0)
                ok = parse_positive(argv[++i], 86400, &seconds);
            else if (strcmp(argv[i], "--frames") == 0)
                ok = parse_positive(argv[++i], 0xFFFFFFFFL, &max_frames);
        }
        if (!ok) {
            fprintf(stderr, "Usage: %s [--windows N] [--seconds S] [--frames F]\n", argv[0]);
            return 1;
        }
    }

    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = on_signal;
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGINT, &sa, NULL);

    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "glcube_raw: cannot open display\n");
        return 2;
    }
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);

    /* The same frame-buffer request as the cube program: 5/5/5 colour,
       16-bit depth, double-buffered. */
    int attrs[] = {
        GLX_RGBA,       GLX_RED_SIZE, 5,   GLX_GREEN_SIZE, 5, GLX_BLUE_SIZE, 5, GLX_DOUBLEBUFFER,
        GLX_DEPTH_SIZE, 16,           None};
    XVisualInfo *vi = glXChooseVisual(dpy, screen, attrs);
    if (!vi) {
        fprintf(stderr, "glcube_raw: no matching GLX visual\n");
        return 2;
    }

    Atom wm_delete = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
    Atom net_wm_pid = XInternAtom(dpy, "_NET_WM_PID", False);
    const long pid = (long)getpid();
    XSetWindowAttributes xattr;
    memset(&xattr, 0, sizeof(xattr));
    xattr.background_pixel = 0;
    xattr.border_pixel = 0;
    xattr.colormap = XCreateColormap(dpy, root, vi->visual, AllocNone);
    /* The input a toolkit window listens to, so the server sends the same
       traffic to both programs. */
    xattr.event_mask = KeyPressMask | KeyReleaseMask | ButtonPressMask | ButtonReleaseMask |
                       EnterWindowMask | LeaveWindowMask | PointerMotionMask | KeymapStateMask |
                       ExposureMask | StructureNotifyMask | FocusChangeMask | PropertyChangeMask;

    Window windows[MAX_WINDOWS];
    int width[MAX_WINDOWS], height[MAX_WINDOWS];
    for (long i = 0; i < nwindows; ++i) {
        /* Centred and stacked, where the cube program puts its windows. */
        windows[i] = XCreateWindow(dpy, root, (DisplayWidth(dpy, screen) - 640) / 2,
                                   (DisplayHeight(dpy, screen) - 480) / 2, 640, 480, 0, vi->depth,
                                   InputOutput, vi->visual,
                                   CWBackPixel | CWBorderPixel | CWColormap | CWEventMask, &xattr);
        width[i] = 640;
        height[i] = 480;
        XStoreName(dpy, windows[i], "glcube_raw");
        XSetWMProtocols(dpy, windows[i], &wm_delete, 1);
        /* Lets tools find the window by process id (xdotool search --pid). */
        XChangeProperty(dpy, windows[i], net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                        (const unsigned char *)&pid, 1);
        XMapWindow(dpy, windows[i]);
    }
    /* Drawing starts once every window is on screen. */
    for (long mapped = 0; mapped < nwindows;) {
        XEvent ev;
        XNextEvent(dpy, &ev);
        if (ev.type == MapNotify)
            ++mapped;
    }

    GLXContext ctx = glXCreateContext(dpy, vi, NULL, True);
    if (!ctx || !glXMakeCurrent(dpy, windows[0], ctx)) {
        fprintf(stderr, "glcube_raw: cannot create a GL context\n");
        return 2;
    }
    /* Vsync off, as the cube program has it without --vsync. */
    {
        typedef int (*SwapIntervalMESA)(unsigned);
        typedef int (*SwapIntervalSGI)(int);
        const char *ext = glXQueryExtensionsString(dpy, screen);
        if (ext && strstr(ext, "GLX_MESA_swap_control")) {
            SwapIntervalMESA f =
                (SwapIntervalMESA)glXGetProcAddress((const GLubyte *)"glXSwapIntervalMESA");
            if (f)
                f(0);
        } else if (ext && strstr(ext, "GLX_SGI_swap_control")) {
            SwapIntervalSGI f =
                (SwapIntervalSGI)glXGetProcAddress((const GLubyte *)"glXSwapIntervalSGI");
            if (f)
                f(0);
        }
    }

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-2.0, 2.0, -2.0, 2.0, -20.0, 20.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glShadeModel(GL_SMOOTH);

    unsigned long frames = 0;
    const double then = now_seconds();
    const double deadline = seconds ? then + (double)seconds : 0.0;
    int done = 0;
    while (!done && !stop_requested) {
        ++frames;
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == KeyPress && XLookupKeysym(&ev.xkey, 0) == XK_Escape) {
                done = 1;
            } else if (ev.type == ClientMessage && (Atom)ev.xclient.data.l[0] == wm_delete) {
                done = 1;
            } else if (ev.type == ConfigureNotify) {
                for (long i = 0; i < nwindows; ++i) {
                    if (windows[i] == ev.xconfigure.window) {
                        width[i] = ev.xconfigure.width;
                        height[i] = ev.xconfigure.height;
                    }
                }
            }
        }
        for (long i = 0; i < nwindows; ++i) {
            glXMakeCurrent(dpy, windows[i], ctx);
            glViewport(0, 0, width[i], height[i]);
            render();
            glXSwapBuffers(dpy, windows[i]);
        }
        if ((max_frames && frames >= (unsigned long)max_frames) ||
            (deadline && now_seconds() >= deadline))
            done = 1;
    }
    const double elapsed = now_seconds() - then;

    printf("GLCUBE_RAW windows=%ld frames=%lu seconds=%.3f fps=%.2f visual=0x%lx\n", nwindows,
           frames, elapsed, elapsed > 0 ? (double)frames / elapsed : 0.0,
           (unsigned long)vi->visualid);
    fflush(stdout);

    glXMakeCurrent(dpy, None, NULL);
    glXDestroyContext(dpy, ctx);
    for (long i = 0; i < nwindows; ++i)
        XDestroyWindow(dpy, windows[i]);
    XFree(vi);
    XCloseDisplay(dpy);
    return 0;
}
