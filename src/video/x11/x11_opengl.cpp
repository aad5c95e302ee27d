// OpenGL through GLX. The GL library is opened at run time like the X
// libraries; every GLX entry point is a pointer taken from it.
#include "video/x11/x11_opengl.h"

#include "JEX_error.h"
#include "JEX_loadso.h"
#include "video/x11/x11_events.h"
#include "video/x11/x11_window.h"

#include <GL/glx.h>
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr int kSampleBuffersARB = 100000;
constexpr int kSamplesARB = 100001;
constexpr int kVisualCaveatEXT = 0x20;
constexpr int kNoneEXT = 0x8000;
constexpr int kSlowVisualEXT = 0x8001;
constexpr int kContextMajorVersionARB = 0x2091;
constexpr int kContextMinorVersionARB = 0x2092;

struct X11_GLData {
    bool HAS_GLX_EXT_visual_rating;
    void *(*glXGetProcAddress)(const GLubyte *);
    XVisualInfo *(*glXChooseVisual)(Display *, int, int *);
    GLXContext (*glXCreateContext)(Display *, XVisualInfo *, GLXContext, Bool);
    void (*glXDestroyContext)(Display *, GLXContext);
    Bool (*glXMakeCurrent)(Display *, GLXDrawable, GLXContext);
    GLXContext (*glXGetCurrentContext)(void);    // optional
    GLXDrawable (*glXGetCurrentDrawable)(void);  // optional
    void (*glXSwapBuffers)(Display *, GLXDrawable);
    int (*glXSwapIntervalSGI)(int);
    int (*glXSwapIntervalMESA)(unsigned);
    int (*glXGetSwapIntervalMESA)(void);
    int swap_interval;  // the last one set, -1 before any
};

using CreateContextAttribsFn = GLXContext (*)(Display *, GLXFBConfig, GLXContext, Bool,
                                              const int *);
using ChooseFBConfigFn = GLXFBConfig *(*)(Display *, int, const int *, int *);
using GetFBConfigAttribFn = int (*)(Display *, GLXFBConfig, int, int *);
using QueryExtensionsStringFn = const char *(*)(Display *, int);

X11_GLData *GLData(JEX_VideoDevice *device)
{
    return static_cast<X11_GLData *>(device->gl_data);
}

Display *XDisplayOf(JEX_VideoDevice *device)
{
    return static_cast<X11_VideoData *>(device->driverdata)->display;
}

template <typename Fn>
Fn Entry(JEX_VideoDevice *device, const char *name)
{
    return reinterpret_cast<Fn>(X11_GL_GetProcAddress(device, name));
}

// Appends one item when there is room for it and the closing None.
struct ListBuilder {
    int *list;
    int capacity;
    int count = 0;
    void add(int value)
    {
        if (count < capacity - 1)
            list[count++] = value;
    }
    int finish()
    {
        if (capacity > 0)
            list[count++] = None;
        return count;
    }
};

void ProbeExtensions(JEX_VideoDevice *device)
{
    X11_GLData *glx = GLData(device);
    Display *display = XDisplayOf(device);
    const int screen = DefaultScreen(display);

    // Some libraries only answer the extension query with a current
    // context; make one on a small window for the duration.
    GLXContext context = nullptr;
    Window window = None;
    Colormap colormap = None;
    if (XVisualInfo *vinfo = X11_GL_GetVisual(device, display, screen)) {
        const Window root = RootWindow(display, screen);
        XSetWindowAttributes xattr{};
        colormap = X11.XCreateColormap(display, root, vinfo->visual, AllocNone);
        xattr.background_pixel = 0;
        xattr.border_pixel = 0;
        xattr.colormap = colormap;
        X11_TrapErrors(display);
        window = X11.XCreateWindow(display, root, 0, 0, 32, 32, 0, vinfo->depth, InputOutput,
                                   vinfo->visual, CWBackPixel | CWBorderPixel | CWColormap, &xattr);
        context = glx->glXCreateContext(display, vinfo, nullptr, True);
        if (context && window)
            glx->glXMakeCurrent(display, window, context);
        X11_UntrapErrors(display);
        X11.XFree(vinfo);
    }

    const auto query = Entry<QueryExtensionsStringFn>(device, "glXQueryExtensionsString");
    const char *extensions = query ? query(display, screen) : nullptr;
    if (extensions) {
        if (X11_GL_HasExtension(extensions, "GLX_SGI_swap_control"))
            glx->glXSwapIntervalSGI = Entry<int (*)(int)>(device, "glXSwapIntervalSGI");
        if (X11_GL_HasExtension(extensions, "GLX_MESA_swap_control")) {
            glx->glXSwapIntervalMESA = Entry<int (*)(unsigned)>(device, "glXSwapIntervalMESA");
            glx->glXGetSwapIntervalMESA = Entry<int (*)(void)>(device, "glXGetSwapIntervalMESA");
        }
        glx->HAS_GLX_EXT_visual_rating = X11_GL_HasExtension(extensions, "GLX_EXT_visual_rating");
    }

    if (context) {
        glx->glXMakeCurrent(display, None, nullptr);
        glx->glXDestroyContext(display, context);
    }
    if (window)
        X11.XDestroyWindow(display, window);
    if (colormap)
        X11.XFreeColormap(display, colormap);
    X11_PumpEvents(device);
}

// The visual request as attribute/value pairs, the form glXChooseFBConfig
// takes; returns its length, the closing None included.
int GetFBConfigAttributes(JEX_VideoDevice *device, int *list, int capacity)
{
    // The visual request turned into pairs: booleans carry a value here,
    // and RGBA becomes the render type.
    int visual[X11_GL_MAX_ATTRIBUTES];
    const int n = X11_GL_GetAttributes(device, nullptr, 0, visual, X11_GL_MAX_ATTRIBUTES);
    ListBuilder b{list, capacity};
    b.add(GLX_X_RENDERABLE);
    b.add(True);
    b.add(GLX_DRAWABLE_TYPE);
    b.add(GLX_WINDOW_BIT);
    for (int i = 0; i < n && visual[i] != None; ++i) {
        switch (visual[i]) {
        case GLX_RGBA:
            b.add(GLX_RENDER_TYPE);
            b.add(GLX_RGBA_BIT);
            break;
        case GLX_DOUBLEBUFFER:
        case GLX_STEREO:
            b.add(visual[i]);
            b.add(True);
            break;
        default:
            b.add(visual[i]);
            b.add(visual[i + 1]);
            ++i;
            break;
        }
    }
    return b.finish();
}

// The frame-buffer configuration behind the window's visual: the first of
// the configurations that satisfy the request and carry that visual, else
// the first that satisfies it.
GLXFBConfig ChooseFBConfig(JEX_VideoDevice *device, Display *display, int screen, VisualID visual)
{
    const auto choose = Entry<ChooseFBConfigFn>(device, "glXChooseFBConfig");
    if (!choose)
        return nullptr;
    int attributes[X11_GL_MAX_ATTRIBUTES];
    GetFBConfigAttributes(device, attributes, X11_GL_MAX_ATTRIBUTES);
    int count = 0;
    GLXFBConfig *configs = choose(display, screen, attributes, &count);
    if (!configs)
        return nullptr;
    GLXFBConfig chosen = count > 0 ? configs[0] : nullptr;
    if (const auto get = Entry<GetFBConfigAttribFn>(device, "glXGetFBConfigAttrib")) {
        for (int i = 0; i < count; ++i) {
            int id = 0;
            if (get(display, configs[i], GLX_VISUAL_ID, &id) == Success && VisualID(id) == visual) {
                chosen = configs[i];
                break;
            }
        }
    }
    X11.XFree(configs);
    return chosen;
}

}  // namespace

bool X11_GL_HasExtension(const char *list, const char *name)
{
    const size_t n = std::strlen(name);
    if (!list || n == 0)
        return false;
    for (const char *p = list; (p = std::strstr(p, name)) != nullptr; p += n) {
        const bool starts = p == list || p[-1] == ' ';
        const bool ends = p[n] == '\0' || p[n] == ' ';
        if (starts && ends)
            return true;
    }
    return false;
}

int X11_GL_LoadLibrary(JEX_VideoDevice *device, const char *path)
{
    if (!path)
        path = std::getenv("JEX_OPENGL_LIBRARY");
    if (!path)
        path = X11_DEFAULT_OPENGL_LIBRARY;
    auto *data = static_cast<X11_VideoData *>(device->driverdata);
    void *handle = JEX_LoadObject(path);
    if (!handle) {
        // The window is still made without GL; the reason must outlive the
        // error record until a context is asked for.
        std::snprintf(data->gl_load_error, sizeof(data->gl_load_error), "%s", JEX_GetError());
        return -1;
    }
    data->gl_load_error[0] = '\0';
    // GLX hooks itself into the display connection, which outlives the
    // library's use here and calls back into it when it closes: the GL
    // library must stay mapped once opened.
    dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
    JEX_GLConfig &gl = device->gl_config;
    std::strncpy(gl.driver_path, path, sizeof(gl.driver_path) - 1);
    gl.driver_path[sizeof(gl.driver_path) - 1] = '\0';

    auto *glx = static_cast<X11_GLData *>(std::calloc(1, sizeof(X11_GLData)));
    if (!glx) {
        JEX_UnloadObject(handle);
        JEX_OutOfMemory();
        return -1;
    }
    glx->swap_interval = -1;
    gl.dll_handle = handle;
    device->gl_data = glx;

    glx->glXGetProcAddress = reinterpret_cast<void *(*)(const GLubyte *)>(
        JEX_LoadFunction(handle, "glXGetProcAddressARB"));
    glx->glXChooseVisual = Entry<decltype(glx->glXChooseVisual)>(device, "glXChooseVisual");
    glx->glXCreateContext = Entry<decltype(glx->glXCreateContext)>(device, "glXCreateContext");
    glx->glXDestroyContext = Entry<decltype(glx->glXDestroyContext)>(device, "glXDestroyContext");
    glx->glXMakeCurrent = Entry<decltype(glx->glXMakeCurrent)>(device, "glXMakeCurrent");
    glx->glXSwapBuffers = Entry<decltype(glx->glXSwapBuffers)>(device, "glXSwapBuffers");
    glx->glXGetCurrentContext =
        Entry<decltype(glx->glXGetCurrentContext)>(device, "glXGetCurrentContext");
    glx->glXGetCurrentDrawable =
        Entry<decltype(glx->glXGetCurrentDrawable)>(device, "glXGetCurrentDrawable");
    if (!glx->glXChooseVisual || !glx->glXCreateContext || !glx->glXDestroyContext ||
        !glx->glXMakeCurrent || !glx->glXSwapBuffers) {
        X11_GL_UnloadLibrary(device);
        JEX_SetError("Could not retrieve OpenGL functions");
        return -1;
    }
    ProbeExtensions(device);
    return 0;
}

void *X11_GL_GetProcAddress(JEX_VideoDevice *device, const char *proc)
{
    X11_GLData *glx = GLData(device);
    if (glx && glx->glXGetProcAddress)
        return glx->glXGetProcAddress(reinterpret_cast<const GLubyte *>(proc));
    return device->gl_config.dll_handle ? JEX_LoadFunction(device->gl_config.dll_handle, proc)
                                        : nullptr;
}

void X11_GL_UnloadLibrary(JEX_VideoDevice *device)
{
    if (device->gl_config.dll_handle) {
        JEX_UnloadObject(device->gl_config.dll_handle);
        device->gl_config.dll_handle = nullptr;
    }
    std::free(device->gl_data);
    device->gl_data = nullptr;
}

int X11_GL_GetAttributes(JEX_VideoDevice *device, Display *, int, int *list, int capacity)
{
    const JEX_GLConfig &gl = device->gl_config;
    const X11_GLData *glx = GLData(device);
    ListBuilder b{list, capacity};
    b.add(GLX_RGBA);
    b.add(GLX_RED_SIZE);
    b.add(gl.red_size);
    b.add(GLX_GREEN_SIZE);
    b.add(gl.green_size);
    b.add(GLX_BLUE_SIZE);
    b.add(gl.blue_size);
    if (gl.alpha_size) {
        b.add(GLX_ALPHA_SIZE);
        b.add(gl.alpha_size);
    }
    if (gl.buffer_size) {
        b.add(GLX_BUFFER_SIZE);
        b.add(gl.buffer_size);
    }
    if (gl.double_buffer)
        b.add(GLX_DOUBLEBUFFER);
    b.add(GLX_DEPTH_SIZE);
    b.add(gl.depth_size);
    const std::pair<int, int> optional[] = {
        {GLX_STENCIL_SIZE, gl.stencil_size},         {GLX_ACCUM_RED_SIZE, gl.accum_red_size},
        {GLX_ACCUM_GREEN_SIZE, gl.accum_green_size}, {GLX_ACCUM_BLUE_SIZE, gl.accum_blue_size},
        {GLX_ACCUM_ALPHA_SIZE, gl.accum_alpha_size},
    };
    for (const auto &[name, value] : optional) {
        if (value) {
            b.add(name);
            b.add(value);
        }
    }
    if (gl.stereo)
        b.add(GLX_STEREO);
    if (gl.multisamplebuffers) {
        b.add(kSampleBuffersARB);
        b.add(gl.multisamplebuffers);
    }
    if (gl.multisamplesamples) {
        b.add(kSamplesARB);
        b.add(gl.multisamplesamples);
    }
    if ((gl.accelerated == 0 || gl.accelerated == 1) && glx && glx->HAS_GLX_EXT_visual_rating) {
        b.add(kVisualCaveatEXT);
        b.add(gl.accelerated ? kNoneEXT : kSlowVisualEXT);
    }
    return b.finish();
}

XVisualInfo *X11_GL_GetVisual(JEX_VideoDevice *device, Display *display, int screen)
{
    X11_GLData *glx = GLData(device);
    if (!glx) {
        JEX_SetError("OpenGL library not loaded");
        return nullptr;
    }
    int attributes[X11_GL_MAX_ATTRIBUTES];
    X11_GL_GetAttributes(device, display, screen, attributes, X11_GL_MAX_ATTRIBUTES);
    XVisualInfo *vinfo = glx->glXChooseVisual(display, screen, attributes);
    if (!vinfo)
        JEX_SetError("Couldn't find matching GLX visual");
    return vinfo;
}

JEX_GLContext X11_GL_CreateContext(JEX_VideoDevice *device, JEX_Window *window)
{
    X11_GLData *glx = GLData(device);
    Display *display = XDisplayOf(device);
    auto *wd = static_cast<X11_WindowData *>(window->driverdata);
    if (!glx || !wd) {
        const char *reason = static_cast<X11_VideoData *>(device->driverdata)->gl_load_error;
        if (reason[0])
            JEX_SetError("Could not create GL context: %s", reason);
        else
            JEX_SetError("Could not create GL context");
        return nullptr;
    }
    X11.XSync(display, False);
    XWindowAttributes attributes{};
    X11.XGetWindowAttributes(display, wd->xwindow, &attributes);
    XVisualInfo wanted{};
    for (int i = 0; i < ScreenCount(display); ++i)
        if (RootWindow(display, i) == attributes.root)
            wanted.screen = i;
    wanted.visualid = X11.XVisualIDFromVisual(attributes.visual);
    int count = 0;
    XVisualInfo *vinfo =
        X11.XGetVisualInfo(display, VisualScreenMask | VisualIDMask, &wanted, &count);

    GLXContext context = nullptr;
    if (vinfo) {
        const JEX_GLConfig &gl = device->gl_config;
        // A version or a configuration the server refuses is a protocol
        // error; it must come back here as a failure, not end the program.
        X11_TrapErrors(display);
        context = glx->glXCreateContext(display, vinfo, nullptr, True);
        X11_UntrapErrors(display);
        if (context && gl.major_version >= 3) {
            const auto create_attribs =
                Entry<CreateContextAttribsFn>(device, "glXCreateContextAttribsARB");
            GLXFBConfig config = nullptr;
            if (!create_attribs) {
                JEX_SetError("GL 3.x is not supported");
            } else if (!(config =
                             ChooseFBConfig(device, display, wanted.screen, wanted.visualid))) {
                JEX_SetError("No good framebuffers found. GL 3.x disabled");
            } else {
                const int version[] = {kContextMajorVersionARB, gl.major_version,
                                       kContextMinorVersionARB, gl.minor_version, None};
                X11_TrapErrors(display);
                GLXContext versioned = create_attribs(display, config, nullptr, True, version);
                const int error = X11_UntrapErrors(display);
                if (versioned && error == 0) {
                    glx->glXDestroyContext(display, context);
                    context = versioned;
                } else {
                    if (versioned)
                        glx->glXDestroyContext(display, versioned);
                    JEX_SetError("Could not create GL %d.%d context", gl.major_version,
                                 gl.minor_version);
                    glx->glXDestroyContext(display, context);
                    context = nullptr;
                }
            }
        }
        X11.XFree(vinfo);
    }
    if (!context) {
        if (device->gl_config.major_version < 3 || !vinfo)
            JEX_SetError("Could not create GL context");
        return nullptr;
    }
    if (!glx->glXMakeCurrent(display, wd->xwindow, context)) {
        JEX_SetError("Unable to make GL context current");
        glx->glXDestroyContext(display, context);
        X11.XSync(display, False);
        return nullptr;
    }
    X11.XSync(display, False);
    return reinterpret_cast<JEX_GLContext>(context);
}

int X11_GL_MakeCurrent(JEX_VideoDevice *device, JEX_Window *window, JEX_GLContext context)
{
    X11_GLData *glx = GLData(device);
    Display *display = XDisplayOf(device);
    if (!glx) {
        JEX_SetError("OpenGL library not loaded");
        return -1;
    }
    const Window drawable = window && window->driverdata
                                ? static_cast<X11_WindowData *>(window->driverdata)->xwindow
                                : None;
    // A program that makes its context current every frame must not pay a
    // server round trip when nothing changes: no request is sent, so there
    // is nothing to synchronise with.
    if (context && drawable != None && glx->glXGetCurrentContext && glx->glXGetCurrentDrawable &&
        glx->glXGetCurrentContext() == reinterpret_cast<GLXContext>(context) &&
        glx->glXGetCurrentDrawable() == drawable)
        return 0;
    if (!glx->glXMakeCurrent(display, drawable, reinterpret_cast<GLXContext>(context))) {
        JEX_SetError("Unable to make GL context current");
        return -1;
    }
    X11.XSync(display, False);
    return 0;
}

int X11_GL_SetSwapInterval(JEX_VideoDevice *device, int interval)
{
    X11_GLData *glx = GLData(device);
    if (glx && glx->glXSwapIntervalMESA) {
        if (glx->glXSwapIntervalMESA(unsigned(interval)) != 0) {
            JEX_SetError("glxSwapIntervalMESA failed");
            return -1;
        }
    } else if (glx && glx->glXSwapIntervalSGI) {
        if (glx->glXSwapIntervalSGI(interval) != 0) {
            JEX_SetError("glxSwapIntervalSGI failed");
            return -1;
        }
    } else {
        JEX_Error(JEX_ERR_UNSUPPORTED);
        return -1;
    }
    glx->swap_interval = interval;
    return 0;
}

int X11_GL_GetSwapInterval(JEX_VideoDevice *device)
{
    X11_GLData *glx = GLData(device);
    if (glx && glx->glXGetSwapIntervalMESA)
        return glx->glXGetSwapIntervalMESA();
    return glx ? glx->swap_interval : -1;
}

void X11_GL_SwapWindow(JEX_VideoDevice *device, JEX_Window *window)
{
    X11_GLData *glx = GLData(device);
    auto *wd = static_cast<X11_WindowData *>(window->driverdata);
    if (glx && wd)
        glx->glXSwapBuffers(XDisplayOf(device), wd->xwindow);
}

void X11_GL_DeleteContext(JEX_VideoDevice *device, JEX_GLContext context)
{
    X11_GLData *glx = GLData(device);
    if (glx && context) {
        glx->glXDestroyContext(XDisplayOf(device), reinterpret_cast<GLXContext>(context));
        X11.XSync(XDisplayOf(device), False);
    }
}
