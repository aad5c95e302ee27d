/* The contract between the video core and a video driver: the device record
   with its operation table, displays, the window record, and the bootstrap
   entries the core picks a driver from. */
#ifndef JEX_SYSVIDEO_H
#define JEX_SYSVIDEO_H

#include "JEX_mouse.h"
#include "JEX_shape.h"
#include "JEX_video.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct JEX_VideoDevice JEX_VideoDevice;
typedef struct JEX_VideoDisplay JEX_VideoDisplay;
struct JEX_WindowShaper;

/* Named user data of a window; the name is owned, the data is not. */
typedef struct JEX_WindowUserData {
    char *name;
    void *data;
    struct JEX_WindowUserData *next;
} JEX_WindowUserData;

struct JEX_Window {
    const void *magic; /* &device->window_magic while valid */
    Uint32 id;
    char *title; /* owned, or null */
    int x, y;
    int w, h;
    Uint32 flags;
    JEX_Rect windowed; /* last geometry while not full-screen */
    JEX_DisplayMode fullscreen_mode;
    float brightness;
    Uint16 *gamma;        /* 3 x 256 entries, null until first used */
    Uint16 *saved_gamma;  /* right behind gamma in the same block */
    JEX_Surface *surface; /* framebuffer surface, flagged DONTFREE; or null */
    int surface_valid;    /* surface still matches the window's size */
    JEX_WindowUserData *data;
    void *driverdata;
    JEX_Window *prev;
    JEX_Window *next;
    /* Core bookkeeping after the shared fields. */
    int gl_loaded;             /* this window holds one GL library load */
    int is_destroying;         /* inside JEX_DestroyWindow */
    int framebuffer_by_driver; /* the driver's own slots made the framebuffer */
    /* Shaped windows only; made and freed by the driver. */
    struct JEX_WindowShaper *shaper;
};

/* The largest window width or height the core passes to a driver: X keeps
   sizes in signed 16 bits. */
#define JEX_MAX_WINDOW_SIZE 32767

#define FULLSCREEN_VISIBLE(W)                                                                      \
    ((((W)->flags & JEX_WINDOW_FULLSCREEN) != 0) && (((W)->flags & JEX_WINDOW_SHOWN) != 0) &&      \
     (((W)->flags & JEX_WINDOW_MINIMIZED) == 0))

struct JEX_VideoDisplay {
    int max_display_modes;
    int num_display_modes;
    JEX_DisplayMode *display_modes; /* kept sorted */
    JEX_DisplayMode desktop_mode;
    JEX_DisplayMode current_mode;
    JEX_Window *fullscreen_window;
    JEX_VideoDevice *device;
    void *driverdata;
};

typedef struct JEX_GLConfig {
    int red_size;
    int green_size;
    int blue_size;
    int alpha_size;
    int depth_size;
    int buffer_size;
    int stencil_size;
    int double_buffer;
    int accum_red_size;
    int accum_green_size;
    int accum_blue_size;
    int accum_alpha_size;
    int stereo;
    int multisamplebuffers;
    int multisamplesamples;
    int accelerated;
    int major_version;
    int minor_version;
    int retained_backing;
    int driver_loaded; /* load count; 0 = not loaded */
    char driver_path[256];
    void *dll_handle;
} JEX_GLConfig;

/* A driver's three framebuffer slots, kept aside when the texture-backed
   framebuffer takes their place. */
typedef struct JEX_FramebufferOps {
    int (*Create)(JEX_VideoDevice *_this, JEX_Window *window, Uint32 *format, void **pixels,
                  int *pitch);
    int (*Update)(JEX_VideoDevice *_this, JEX_Window *window, const JEX_Rect *rects, int numrects);
    void (*Destroy)(JEX_VideoDevice *_this, JEX_Window *window);
} JEX_FramebufferOps;

/* The operation table, in table order; a null slot is not supported. Every
   slot receives the device first. */
struct JEX_VideoDevice {
    const char *name;

    /* 1 - 5: start-up and displays */
    int (*VideoInit)(JEX_VideoDevice *_this);
    void (*VideoQuit)(JEX_VideoDevice *_this);
    int (*GetDisplayBounds)(JEX_VideoDevice *_this, JEX_VideoDisplay *display, JEX_Rect *rect);
    void (*GetDisplayModes)(JEX_VideoDevice *_this, JEX_VideoDisplay *display);
    int (*SetDisplayMode)(JEX_VideoDevice *_this, JEX_VideoDisplay *display, JEX_DisplayMode *mode);

    /* 6 - 22: windows */
    int (*CreateWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    int (*CreateWindowFrom)(JEX_VideoDevice *_this, JEX_Window *window, const void *data);
    void (*SetWindowTitle)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*SetWindowIcon)(JEX_VideoDevice *_this, JEX_Window *window, JEX_Surface *icon);
    void (*SetWindowPosition)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*SetWindowSize)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*ShowWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*HideWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*RaiseWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*MaximizeWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*MinimizeWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*RestoreWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*SetWindowFullscreen)(JEX_VideoDevice *_this, JEX_Window *window,
                                JEX_VideoDisplay *display, JEX_bool fullscreen);
    int (*SetWindowGammaRamp)(JEX_VideoDevice *_this, JEX_Window *window, const Uint16 *ramp);
    int (*GetWindowGammaRamp)(JEX_VideoDevice *_this, JEX_Window *window, Uint16 *ramp);
    void (*SetWindowGrab)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*DestroyWindow)(JEX_VideoDevice *_this, JEX_Window *window);

    /* Window framebuffers: a block of w x h pixels in *format, *pitch bytes
       per row, valid until the next create or the destroy for the window. */
    int (*CreateWindowFramebuffer)(JEX_VideoDevice *_this, JEX_Window *window, Uint32 *format,
                                   void **pixels, int *pitch);
    int (*UpdateWindowFramebuffer)(JEX_VideoDevice *_this, JEX_Window *window,
                                   const JEX_Rect *rects, int numrects);
    void (*DestroyWindowFramebuffer)(JEX_VideoDevice *_this, JEX_Window *window);

    /* 23 */
    JEX_bool (*GetWindowWMInfo)(JEX_VideoDevice *_this, JEX_Window *window,
                                struct JEX_SysWMinfo *info);

    /* 24 - 32: OpenGL */
    int (*GL_LoadLibrary)(JEX_VideoDevice *_this, const char *path);
    void *(*GL_GetProcAddress)(JEX_VideoDevice *_this, const char *proc);
    void (*GL_UnloadLibrary)(JEX_VideoDevice *_this);
    JEX_GLContext (*GL_CreateContext)(JEX_VideoDevice *_this, JEX_Window *window);
    int (*GL_MakeCurrent)(JEX_VideoDevice *_this, JEX_Window *window, JEX_GLContext context);
    int (*GL_SetSwapInterval)(JEX_VideoDevice *_this, int interval);
    int (*GL_GetSwapInterval)(JEX_VideoDevice *_this);
    void (*GL_SwapWindow)(JEX_VideoDevice *_this, JEX_Window *window);
    void (*GL_DeleteContext)(JEX_VideoDevice *_this, JEX_GLContext context);

    /* 33 - 37: the pointer. CreateCursor allocates the JEX_Cursor record;
       ShowCursor(null) hides the pointer. */
    JEX_Cursor *(*CreateCursor)(JEX_VideoDevice *_this, JEX_Surface *argb, int hot_x, int hot_y);
    int (*ShowCursor)(JEX_VideoDevice *_this, JEX_Cursor *cursor);
    void (*FreeCursor)(JEX_VideoDevice *_this, JEX_Cursor *cursor);
    void (*WarpMouse)(JEX_VideoDevice *_this, JEX_Window *window, int x, int y);
    int (*SetRelativeMouseMode)(JEX_VideoDevice *_this, JEX_bool enabled);

    /* 38 - 45: events, screen saver, text input, clipboard */
    void (*PumpEvents)(JEX_VideoDevice *_this);
    void (*SuspendScreenSaver)(JEX_VideoDevice *_this);
    void (*StartTextInput)(JEX_VideoDevice *_this);
    void (*StopTextInput)(JEX_VideoDevice *_this);
    void (*SetTextInputRect)(JEX_VideoDevice *_this, JEX_Rect *rect);
    int (*SetClipboardText)(JEX_VideoDevice *_this, const char *text);
    char *(*GetClipboardText)(JEX_VideoDevice *_this);
    JEX_bool (*HasClipboardText)(JEX_VideoDevice *_this);

    /* Shaped windows (video/shape_internal.h). CreateShaper attaches the
       new shaper to the window; the driver frees it with the window.
       SetWindowShape reads the mode it is given, not the shaper's, which
       the core updates only when the shape was applied. ResizeWindowShape
       is the driver's own, for windows it resizes. */
    struct JEX_WindowShaper *(*CreateShaper)(JEX_VideoDevice *_this, JEX_Window *window);
    int (*SetWindowShape)(JEX_VideoDevice *_this, struct JEX_WindowShaper *shaper,
                          JEX_Surface *shape, JEX_WindowShapeMode *mode);
    int (*ResizeWindowShape)(JEX_VideoDevice *_this, JEX_Window *window);

    /* Core state. */
    int suspend_screensaver;
    int num_displays;
    JEX_VideoDisplay *displays;
    JEX_Window *windows; /* newest first */
    Uint8 window_magic;  /* only its address is used */
    Uint32 next_object_id;
    char *clipboard_text; /* used when the driver has no clipboard */
    JEX_GLConfig gl_config;
    JEX_FramebufferOps driver_framebuffer; /* the driver's own framebuffer slots */
    void *driverdata;
    void *gl_data;
    void (*free)(JEX_VideoDevice *_this);
};

typedef struct VideoBootStrap {
    const char *name;
    const char *desc;
    int (*available)(void);
    JEX_VideoDevice *(*create)(int devindex);
} VideoBootStrap;

extern VideoBootStrap X11_bootstrap;
extern VideoBootStrap DUMMY_bootstrap;

/* Starts video on one given driver entry, which need not be a row of the
   driver table (the tests bring their own); otherwise as JEX_VideoInit. */
int JEX_VideoInitWithBootstrap(const VideoBootStrap *bootstrap);

/* True when window is a live window of device. The handle is compared with
   the device's window list before anything is read through it, so a stale
   or foreign pointer is never dereferenced. */
int JEX_IsLiveWindow(const JEX_VideoDevice *device, const JEX_Window *window);
/* The device of a live window, or null with "Video subsystem has not been
   initialized" or "Invalid window" set. */
JEX_VideoDevice *JEX_CheckWindow(JEX_Window *window);

JEX_VideoDevice *JEX_GetVideoDevice(void);
int JEX_AddBasicVideoDisplay(const JEX_DisplayMode *desktop_mode);
int JEX_AddVideoDisplay(const JEX_VideoDisplay *display);
int JEX_GetIndexOfDisplay(JEX_VideoDisplay *display);
JEX_VideoDisplay *JEX_GetFirstDisplay(void);
JEX_bool JEX_AddDisplayMode(JEX_VideoDisplay *display, const JEX_DisplayMode *mode);
JEX_DisplayMode *JEX_GetClosestDisplayModeForDisplay(JEX_VideoDisplay *display,
                                                     const JEX_DisplayMode *mode,
                                                     JEX_DisplayMode *closest);
int JEX_SetDisplayModeForDisplay(JEX_VideoDisplay *display, const JEX_DisplayMode *mode);

/* The texture-backed framebuffer (slots 23 to 25 when it is chosen). A
   window that gets no hardware renderer uses the driver's own slots, if the
   driver has them, for the life of its framebuffer. */
int JEX_CreateWindowTexture(JEX_VideoDevice *_this, JEX_Window *window, Uint32 *format,
                            void **pixels, int *pitch);
int JEX_UpdateWindowTexture(JEX_VideoDevice *_this, JEX_Window *window, const JEX_Rect *rects,
                            int numrects);
void JEX_DestroyWindowTexture(JEX_VideoDevice *_this, JEX_Window *window);
/* Bytes per row of the texture-backed framebuffer: rows padded to 4 bytes. */
int JEX_WindowTexturePitch(Uint32 format, int w);

/* Keeps the driver's framebuffer slots, or puts the texture-backed ones in
   their place, as the framebuffer hints say; the last step of start-up. */
void JEX_ChooseWindowFramebuffer(JEX_VideoDevice *_this);

/* A number that changes on the calling thread whenever a call of the library
   there may have changed which GL context or drawable is current (making
   current, creating or deleting a context, re-creating a window): 0 before
   the first, never the same on two threads. A renderer that saw its own
   context made current at number n needs no new make-current while the
   number is still n. Contexts made current behind the library's back (with
   GLX directly) are not counted. */
Uint64 JEX_GL_CurrentSerial(void);
void JEX_GL_TouchCurrent(void);

JEX_VideoDisplay *JEX_GetDisplayForWindow(JEX_Window *window);
int JEX_RecreateWindow(JEX_Window *window, Uint32 flags);
void JEX_FinishWindowCreation(JEX_Window *window, Uint32 flags);
void JEX_UpdateFullscreenMode(JEX_Window *window, JEX_bool attempt);

/* Updates the window record for a driver's or the core's report, runs the
   core's reaction and queues a coalesced window event; 1 when an event was
   queued. */
int JEX_SendWindowEvent(JEX_Window *window, Uint8 windowevent, int data1, int data2);

void JEX_OnWindowShown(JEX_Window *window);
void JEX_OnWindowHidden(JEX_Window *window);
void JEX_OnWindowResized(JEX_Window *window);
void JEX_OnWindowMinimized(JEX_Window *window);
void JEX_OnWindowRestored(JEX_Window *window);
void JEX_OnWindowFocusGained(JEX_Window *window);
void JEX_OnWindowFocusLost(JEX_Window *window);

#ifdef __cplusplus
}
#endif

#endif /* JEX_SYSVIDEO_H */
