/* The X11 driver's OpenGL part: the GL library, GLX visuals and contexts. */
#ifndef JEX_X11_OPENGL_H
#define JEX_X11_OPENGL_H

#include "video/x11/x11_video.h"

/* Where the GL library is looked for when neither the caller nor
   JEX_OPENGL_LIBRARY names one. */
#define X11_DEFAULT_OPENGL_LIBRARY "libGL.so.1"

/* Entries of an attribute list; callers pass this capacity. */
constexpr int X11_GL_MAX_ATTRIBUTES = 64;

int X11_GL_LoadLibrary(JEX_VideoDevice *device, const char *path);
void *X11_GL_GetProcAddress(JEX_VideoDevice *device, const char *proc);
void X11_GL_UnloadLibrary(JEX_VideoDevice *device);

/* The visual that satisfies the GL attributes on `screen`, for the caller
   to free with XFree; null (with the error set) when there is none. */
XVisualInfo *X11_GL_GetVisual(JEX_VideoDevice *device, Display *display, int screen);

/* Fills `list` with the glXChooseVisual request for the GL attributes and
   returns its length, the closing None included. */
int X11_GL_GetAttributes(JEX_VideoDevice *device, Display *display, int screen, int *list,
                         int capacity);

JEX_GLContext X11_GL_CreateContext(JEX_VideoDevice *device, JEX_Window *window);
int X11_GL_MakeCurrent(JEX_VideoDevice *device, JEX_Window *window, JEX_GLContext context);
int X11_GL_SetSwapInterval(JEX_VideoDevice *device, int interval);
int X11_GL_GetSwapInterval(JEX_VideoDevice *device);
void X11_GL_SwapWindow(JEX_VideoDevice *device, JEX_Window *window);
void X11_GL_DeleteContext(JEX_VideoDevice *device, JEX_GLContext context);

/* True when `name` is one of the space-separated words of `list`. */
bool X11_GL_HasExtension(const char *list, const char *name);

#endif /* JEX_X11_OPENGL_H */
