/* Video drivers, displays and display modes, windows, window flags and
   position codes, the screen saver, the clipboard and OpenGL attributes.

   Threads: every call belongs to the thread that started video (and made
   its GL contexts current), except the driver list (JEX_GetNumVideoDrivers,
   JEX_GetVideoDriver), which any thread may read. */
#ifndef JEX_VIDEO_H
#define JEX_VIDEO_H

#include "JEX_types.h"
#include "JEX_rect.h"
#include "JEX_surface.h"

#ifdef __cplusplus
extern "C" {
#endif

/* One mode of a display. Zero fields mean "any" (format, size) or
   "unspecified" (refresh rate). */
typedef struct JEX_DisplayMode {
    Uint32 format;    /* pixel format code */
    int w;            /* width in pixels */
    int h;            /* height in pixels */
    int refresh_rate; /* Hz */
    void *driverdata; /* owned by the display that holds the mode */
} JEX_DisplayMode;

typedef struct JEX_Window JEX_Window;

/* Window-system information record; its layout belongs to the platform
   driver except its second 32-bit field, the window-system kind. */
struct JEX_SysWMinfo;

/* An OpenGL context, made and interpreted by the video driver. */
typedef void *JEX_GLContext;

typedef enum {
    JEX_WINDOW_FULLSCREEN = 0x00000001,
    JEX_WINDOW_OPENGL = 0x00000002,
    JEX_WINDOW_SHOWN = 0x00000004,
    JEX_WINDOW_HIDDEN = 0x00000008,
    JEX_WINDOW_BORDERLESS = 0x00000010,
    JEX_WINDOW_RESIZABLE = 0x00000020,
    JEX_WINDOW_MINIMIZED = 0x00000040,
    JEX_WINDOW_MAXIMIZED = 0x00000080,
    JEX_WINDOW_INPUT_GRABBED = 0x00000100,
    JEX_WINDOW_INPUT_FOCUS = 0x00000200,
    JEX_WINDOW_MOUSE_FOCUS = 0x00000400,
    JEX_WINDOW_FOREIGN = 0x00000800
} JEX_WindowFlags;

/* A coordinate whose upper 16 bits are those of a mask is a position code;
   its lower 16 bits name a display index. */
#define JEX_WINDOWPOS_UNDEFINED_MASK 0x1FFF0000
#define JEX_WINDOWPOS_UNDEFINED_DISPLAY(X) (JEX_WINDOWPOS_UNDEFINED_MASK | (X))
#define JEX_WINDOWPOS_UNDEFINED JEX_WINDOWPOS_UNDEFINED_DISPLAY(0)
#define JEX_WINDOWPOS_ISUNDEFINED(X) (((X)&0xFFFF0000) == JEX_WINDOWPOS_UNDEFINED_MASK)

#define JEX_WINDOWPOS_CENTERED_MASK 0x2FFF0000
#define JEX_WINDOWPOS_CENTERED_DISPLAY(X) (JEX_WINDOWPOS_CENTERED_MASK | (X))
#define JEX_WINDOWPOS_CENTERED JEX_WINDOWPOS_CENTERED_DISPLAY(0)
#define JEX_WINDOWPOS_ISCENTERED(X) (((X)&0xFFFF0000) == JEX_WINDOWPOS_CENTERED_MASK)

typedef enum {
    JEX_GL_RED_SIZE = 0,
    JEX_GL_GREEN_SIZE = 1,
    JEX_GL_BLUE_SIZE = 2,
    JEX_GL_ALPHA_SIZE = 3,
    JEX_GL_BUFFER_SIZE = 4,
    JEX_GL_DOUBLEBUFFER = 5,
    JEX_GL_DEPTH_SIZE = 6,
    JEX_GL_STENCIL_SIZE = 7,
    JEX_GL_ACCUM_RED_SIZE = 8,
    JEX_GL_ACCUM_GREEN_SIZE = 9,
    JEX_GL_ACCUM_BLUE_SIZE = 10,
    JEX_GL_ACCUM_ALPHA_SIZE = 11,
    JEX_GL_STEREO = 12,
    JEX_GL_MULTISAMPLEBUFFERS = 13,
    JEX_GL_MULTISAMPLESAMPLES = 14,
    JEX_GL_ACCELERATED_VISUAL = 15,
    JEX_GL_RETAINED_BACKING = 16,
    JEX_GL_CONTEXT_MAJOR_VERSION = 17,
    JEX_GL_CONTEXT_MINOR_VERSION = 18
} JEX_GLattr;

/* Window event codes (the event field of a window event). */
typedef enum {
    JEX_WINDOWEVENT_NONE = 0,
    JEX_WINDOWEVENT_SHOWN = 1,
    JEX_WINDOWEVENT_HIDDEN = 2,
    JEX_WINDOWEVENT_EXPOSED = 3,
    JEX_WINDOWEVENT_MOVED = 4,
    JEX_WINDOWEVENT_RESIZED = 5,
    JEX_WINDOWEVENT_SIZE_CHANGED = 6,
    JEX_WINDOWEVENT_MINIMIZED = 7,
    JEX_WINDOWEVENT_MAXIMIZED = 8,
    JEX_WINDOWEVENT_RESTORED = 9,
    JEX_WINDOWEVENT_ENTER = 10,
    JEX_WINDOWEVENT_LEAVE = 11,
    JEX_WINDOWEVENT_FOCUS_GAINED = 12,
    JEX_WINDOWEVENT_FOCUS_LOST = 13,
    JEX_WINDOWEVENT_CLOSE = 14
} JEX_WindowEventID;

/* Drivers and start-up. */
JEX_API int JEX_GetNumVideoDrivers(void);
JEX_API const char *JEX_GetVideoDriver(int index);
JEX_API int JEX_VideoInit(const char *driver_name);
JEX_API void JEX_VideoQuit(void);
JEX_API const char *JEX_GetCurrentVideoDriver(void);

/* Displays and their modes. */
JEX_API int JEX_GetNumVideoDisplays(void);
JEX_API int JEX_GetDisplayBounds(int displayIndex, JEX_Rect *rect);
JEX_API int JEX_GetNumDisplayModes(int displayIndex);
JEX_API int JEX_GetDisplayMode(int displayIndex, int modeIndex, JEX_DisplayMode *mode);
JEX_API int JEX_GetDesktopDisplayMode(int displayIndex, JEX_DisplayMode *mode);
JEX_API int JEX_GetCurrentDisplayMode(int displayIndex, JEX_DisplayMode *mode);
JEX_API JEX_DisplayMode *JEX_GetClosestDisplayMode(int displayIndex, const JEX_DisplayMode *mode,
                                                   JEX_DisplayMode *closest);

/* Windows. Width and height must be positive. */
JEX_API JEX_Window *JEX_CreateWindow(const char *title, int x, int y, int w, int h, Uint32 flags);
JEX_API JEX_Window *JEX_CreateWindowFrom(const void *data);
JEX_API void JEX_DestroyWindow(JEX_Window *window);
JEX_API JEX_Window *JEX_GetWindowFromID(Uint32 id);
JEX_API Uint32 JEX_GetWindowID(JEX_Window *window);
JEX_API Uint32 JEX_GetWindowFlags(JEX_Window *window);
JEX_API JEX_Window *JEX_GetFocusWindow(void);
JEX_API int JEX_GetWindowDisplay(JEX_Window *window);
JEX_API Uint32 JEX_GetWindowPixelFormat(JEX_Window *window);
JEX_API int JEX_SetWindowDisplayMode(JEX_Window *window, const JEX_DisplayMode *mode);
JEX_API int JEX_GetWindowDisplayMode(JEX_Window *window, JEX_DisplayMode *mode);

JEX_API void JEX_SetWindowTitle(JEX_Window *window, const char *title);
JEX_API const char *JEX_GetWindowTitle(JEX_Window *window);
JEX_API void JEX_SetWindowIcon(JEX_Window *window, JEX_Surface *icon);
JEX_API void *JEX_SetWindowData(JEX_Window *window, const char *name, void *userdata);
JEX_API void *JEX_GetWindowData(JEX_Window *window, const char *name);

JEX_API void JEX_SetWindowPosition(JEX_Window *window, int x, int y);
JEX_API void JEX_GetWindowPosition(JEX_Window *window, int *x, int *y);
JEX_API void JEX_SetWindowSize(JEX_Window *window, int w, int h);
JEX_API void JEX_GetWindowSize(JEX_Window *window, int *w, int *h);

JEX_API void JEX_ShowWindow(JEX_Window *window);
JEX_API void JEX_HideWindow(JEX_Window *window);
JEX_API void JEX_RaiseWindow(JEX_Window *window);
JEX_API void JEX_MaximizeWindow(JEX_Window *window);
JEX_API void JEX_MinimizeWindow(JEX_Window *window);
JEX_API void JEX_RestoreWindow(JEX_Window *window);
JEX_API int JEX_SetWindowFullscreen(JEX_Window *window, JEX_bool fullscreen);

/* The window's framebuffer as a surface to draw into with the CPU. It stays
   the window's (freeing it does nothing) and is valid until the window's
   size changes; call again after that for one of the new size. The updates
   show the whole surface or the given rectangles on screen, and fail while
   the surface is not valid. */
JEX_API JEX_Surface *JEX_GetWindowSurface(JEX_Window *window);
JEX_API int JEX_UpdateWindowSurface(JEX_Window *window);
JEX_API int JEX_UpdateWindowSurfaceRects(JEX_Window *window, const JEX_Rect *rects, int numrects);

JEX_API void JEX_SetWindowGrab(JEX_Window *window, JEX_bool grabbed);
JEX_API JEX_bool JEX_GetWindowGrab(JEX_Window *window);

/* Ramps are 256 entries per channel; a null channel is left alone. */
JEX_API int JEX_SetWindowBrightness(JEX_Window *window, float brightness);
JEX_API float JEX_GetWindowBrightness(JEX_Window *window);
JEX_API int JEX_SetWindowGammaRamp(JEX_Window *window, const Uint16 *red, const Uint16 *green,
                                   const Uint16 *blue);
JEX_API int JEX_GetWindowGammaRamp(JEX_Window *window, Uint16 *red, Uint16 *green, Uint16 *blue);

JEX_API JEX_bool JEX_GetWindowWMInfo(JEX_Window *window, struct JEX_SysWMinfo *info);

/* Screen saver and text input. */
JEX_API JEX_bool JEX_IsScreenSaverEnabled(void);
JEX_API void JEX_EnableScreenSaver(void);
JEX_API void JEX_DisableScreenSaver(void);
JEX_API void JEX_StartTextInput(void);
JEX_API void JEX_StopTextInput(void);
JEX_API void JEX_SetTextInputRect(JEX_Rect *rect);

/* Clipboard text; JEX_GetClipboardText's result is freed by the caller
   with free(). */
JEX_API int JEX_SetClipboardText(const char *text);
JEX_API char *JEX_GetClipboardText(void);
JEX_API JEX_bool JEX_HasClipboardText(void);

/* ---- OpenGL ------------------------------------------------------------ */

/* OpenGL library loading. Every successful load counts once and is given
   back by one unload; the library is closed when the count reaches 0. A
   null path lets the driver choose ("JEX_OPENGL_LIBRARY", or the platform's
   default library). Every OpenGL window holds one load. */
JEX_API int JEX_GL_LoadLibrary(const char *path);
JEX_API void JEX_GL_UnloadLibrary(void);

/* An entry point of the loaded GL library, or null. */
JEX_API void *JEX_GL_GetProcAddress(const char *proc);

/* Whether the current context lists the extension, as a whole name. Setting
   an environment variable named after the extension to a value starting
   with '0' reports it as unsupported. */
JEX_API JEX_bool JEX_GL_ExtensionSupported(const char *extension);

/* Attribute requests (JEX_GLattr codes) for windows and contexts created
   afterwards. JEX_GL_GetAttribute answers for the current context. */
JEX_API int JEX_GL_SetAttribute(int attr, int value);
JEX_API int JEX_GL_GetAttribute(int attr, int *value);

/* Contexts belong to the caller: neither destroying a window nor stopping
   video deletes them. Making a null context current unbinds. */
JEX_API JEX_GLContext JEX_GL_CreateContext(JEX_Window *window);
JEX_API int JEX_GL_MakeCurrent(JEX_Window *window, JEX_GLContext context);
JEX_API int JEX_GL_SetSwapInterval(int interval);
JEX_API int JEX_GL_GetSwapInterval(void);
JEX_API void JEX_GL_SwapWindow(JEX_Window *window);
JEX_API void JEX_GL_DeleteContext(JEX_GLContext context);

#ifdef __cplusplus
}
#endif

#endif /* JEX_VIDEO_H */
