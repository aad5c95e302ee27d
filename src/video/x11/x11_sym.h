/* The X libraries the X11 driver opens at run time and, for each library,
   the functions it takes from it. Every entry names its availability group;
   the function's type comes from the library's own header, so a pointer can
   never disagree with the prototype it stands for.

   Only real functions belong here: names that Xutil.h also defines as
   function-like macros (XDestroyImage, XGetPixel, ...) would be expanded at
   the call site. */
#ifndef JEX_X11_SYM_H
#define JEX_X11_SYM_H

/* (id, shared-library name), in lookup order. */
#define JEX_X11_LIBRARIES(L)                                                                       \
    L(X11, "libX11.so.6")                                                                          \
    L(XEXT, "libXext.so.6")                                                                        \
    L(XINERAMA, "libXinerama.so.1")                                                                \
    L(XI, "libXi.so.6")                                                                            \
    L(XRANDR, "libXrandr.so.2")                                                                    \
    L(XSS, "libXss.so.1")                                                                          \
    L(XXF86VM, "libXxf86vm.so.1")

/* Availability groups; a group is usable while every one of its functions
   was found. */
#define JEX_X11_GROUPS(G)                                                                          \
    G(BASEXLIB)                                                                                    \
    G(UTF8)                                                                                        \
    G(SHM)                                                                                         \
    G(XINERAMA)                                                                                    \
    G(XINPUT)                                                                                      \
    G(XRANDR)                                                                                      \
    G(XSS)                                                                                         \
    G(XSHAPE)                                                                                      \
    G(XVIDMODE)

/* libX11: S(library, group, function) */
#define JEX_X11_SYMS_X11(S)                                                                        \
    S(X11, BASEXLIB, XAllocClassHint)                                                              \
    S(X11, BASEXLIB, XAllocSizeHints)                                                              \
    S(X11, BASEXLIB, XAllocWMHints)                                                                \
    S(X11, BASEXLIB, XAutoRepeatOn)                                                                \
    S(X11, BASEXLIB, XChangeProperty)                                                              \
    S(X11, BASEXLIB, XChangeWindowAttributes)                                                      \
    S(X11, BASEXLIB, XCheckIfEvent)                                                                \
    S(X11, BASEXLIB, XCloseDisplay)                                                                \
    S(X11, BASEXLIB, XConfigureWindow)                                                             \
    S(X11, BASEXLIB, XConvertSelection)                                                            \
    S(X11, BASEXLIB, XCreateBitmapFromData)                                                        \
    S(X11, BASEXLIB, XCreateColormap)                                                              \
    S(X11, BASEXLIB, XCreateFontCursor)                                                            \
    S(X11, BASEXLIB, XCreateGC)                                                                    \
    S(X11, BASEXLIB, XCreateImage)                                                                 \
    S(X11, BASEXLIB, XCreatePixmap)                                                                \
    S(X11, BASEXLIB, XCreatePixmapCursor)                                                          \
    S(X11, BASEXLIB, XCreateWindow)                                                                \
    S(X11, BASEXLIB, XDefineCursor)                                                                \
    S(X11, BASEXLIB, XDeleteProperty)                                                              \
    S(X11, BASEXLIB, XDestroyWindow)                                                               \
    S(X11, BASEXLIB, XDisplayKeycodes)                                                             \
    S(X11, BASEXLIB, XDisplayName)                                                                 \
    S(X11, BASEXLIB, XEventsQueued)                                                                \
    S(X11, BASEXLIB, XFilterEvent)                                                                 \
    S(X11, BASEXLIB, XFlush)                                                                       \
    S(X11, BASEXLIB, XFree)                                                                        \
    S(X11, BASEXLIB, XFreeColormap)                                                                \
    S(X11, BASEXLIB, XFreeCursor)                                                                  \
    S(X11, BASEXLIB, XFreeGC)                                                                      \
    S(X11, BASEXLIB, XFreePixmap)                                                                  \
    S(X11, BASEXLIB, XFreeStringList)                                                              \
    S(X11, BASEXLIB, XGetAtomName)                                                                 \
    S(X11, BASEXLIB, XGetErrorText)                                                                \
    S(X11, BASEXLIB, XGetGeometry)                                                                 \
    S(X11, BASEXLIB, XGetImage)                                                                    \
    S(X11, BASEXLIB, XGetInputFocus)                                                               \
    S(X11, BASEXLIB, XGetKeyboardMapping)                                                          \
    S(X11, BASEXLIB, XGetSelectionOwner)                                                           \
    S(X11, BASEXLIB, XGetVisualInfo)                                                               \
    S(X11, BASEXLIB, XGetWindowAttributes)                                                         \
    S(X11, BASEXLIB, XGetWindowProperty)                                                           \
    S(X11, BASEXLIB, XGetWMHints)                                                                  \
    S(X11, BASEXLIB, XGetWMNormalHints)                                                            \
    S(X11, BASEXLIB, XGrabKeyboard)                                                                \
    S(X11, BASEXLIB, XGrabPointer)                                                                 \
    S(X11, BASEXLIB, XIconifyWindow)                                                               \
    S(X11, BASEXLIB, XInternAtom)                                                                  \
    S(X11, BASEXLIB, XKeysymToKeycode)                                                             \
    S(X11, BASEXLIB, XKeysymToString)                                                              \
    S(X11, BASEXLIB, XListPixmapFormats)                                                           \
    S(X11, BASEXLIB, XLookupString)                                                                \
    S(X11, BASEXLIB, XMapRaised)                                                                   \
    S(X11, BASEXLIB, XMapWindow)                                                                   \
    S(X11, BASEXLIB, XMatchVisualInfo)                                                             \
    S(X11, BASEXLIB, XMaxRequestSize)                                                              \
    S(X11, BASEXLIB, XMoveResizeWindow)                                                            \
    S(X11, BASEXLIB, XMoveWindow)                                                                  \
    S(X11, BASEXLIB, XNextEvent)                                                                   \
    S(X11, BASEXLIB, XOpenDisplay)                                                                 \
    S(X11, BASEXLIB, XPeekEvent)                                                                   \
    S(X11, BASEXLIB, XPending)                                                                     \
    S(X11, BASEXLIB, XPutImage)                                                                    \
    S(X11, BASEXLIB, XQueryExtension)                                                              \
    S(X11, BASEXLIB, XQueryKeymap)                                                                 \
    S(X11, BASEXLIB, XQueryPointer)                                                                \
    S(X11, BASEXLIB, XRaiseWindow)                                                                 \
    S(X11, BASEXLIB, XRefreshKeyboardMapping)                                                      \
    S(X11, BASEXLIB, XReparentWindow)                                                              \
    S(X11, BASEXLIB, XResetScreenSaver)                                                            \
    S(X11, BASEXLIB, XResizeWindow)                                                                \
    S(X11, BASEXLIB, XSelectInput)                                                                 \
    S(X11, BASEXLIB, XSendEvent)                                                                   \
    S(X11, BASEXLIB, XSetClassHint)                                                                \
    S(X11, BASEXLIB, XSetErrorHandler)                                                             \
    S(X11, BASEXLIB, XSetSelectionOwner)                                                           \
    S(X11, BASEXLIB, XSetTextProperty)                                                             \
    S(X11, BASEXLIB, XSetTransientForHint)                                                         \
    S(X11, BASEXLIB, XSetWMHints)                                                                  \
    S(X11, BASEXLIB, XSetWMNormalHints)                                                            \
    S(X11, BASEXLIB, XSetWMProtocols)                                                              \
    S(X11, BASEXLIB, XStoreColors)                                                                 \
    S(X11, BASEXLIB, XStringListToTextProperty)                                                    \
    S(X11, BASEXLIB, XSync)                                                                        \
    S(X11, BASEXLIB, XTranslateCoordinates)                                                        \
    S(X11, BASEXLIB, XUndefineCursor)                                                              \
    S(X11, BASEXLIB, XUngrabKeyboard)                                                              \
    S(X11, BASEXLIB, XUngrabPointer)                                                               \
    S(X11, BASEXLIB, XUnmapWindow)                                                                 \
    S(X11, BASEXLIB, XVisualIDFromVisual)                                                          \
    S(X11, BASEXLIB, XWarpPointer)                                                                 \
    S(X11, UTF8, Xutf8TextListToTextProperty)                                                      \
    S(X11, UTF8, Xutf8LookupString)                                                                \
    S(X11, UTF8, XDestroyIC)                                                                       \
    S(X11, UTF8, XSetICFocus)                                                                      \
    S(X11, UTF8, XUnsetICFocus)                                                                    \
    S(X11, UTF8, XOpenIM)                                                                          \
    S(X11, UTF8, XCloseIM)                                                                         \
    S(X11, UTF8, XGetICValues)                                                                     \
    S(X11, UTF8, XCreateIC)

/* libXext */
#define JEX_X11_SYMS_XEXT(S)                                                                       \
    S(XEXT, SHM, XShmAttach)                                                                       \
    S(XEXT, SHM, XShmDetach)                                                                       \
    S(XEXT, SHM, XShmPutImage)                                                                     \
    S(XEXT, SHM, XShmCreateImage)                                                                  \
    S(XEXT, SHM, XShmCreatePixmap)                                                                 \
    S(XEXT, SHM, XShmQueryExtension)                                                               \
    S(XEXT, XSHAPE, XShapeCombineMask)                                                             \
    S(XEXT, XSHAPE, XShapeGetRectangles)                                                           \
    S(XEXT, XSHAPE, XShapeQueryExtension)

/* libXinerama */
#define JEX_X11_SYMS_XINERAMA(S)                                                                   \
    S(XINERAMA, XINERAMA, XineramaIsActive)                                                        \
    S(XINERAMA, XINERAMA, XineramaQueryExtension)                                                  \
    S(XINERAMA, XINERAMA, XineramaQueryVersion)                                                    \
    S(XINERAMA, XINERAMA, XineramaQueryScreens)

/* libXi */
#define JEX_X11_SYMS_XI(S)                                                                         \
    S(XI, XINPUT, XListInputDevices)                                                               \
    S(XI, XINPUT, XFreeDeviceList)                                                                 \
    S(XI, XINPUT, XSelectExtensionEvent)                                                           \
    S(XI, XINPUT, XOpenDevice)                                                                     \
    S(XI, XINPUT, XCloseDevice)

/* libXrandr */
#define JEX_X11_SYMS_XRANDR(S)                                                                     \
    S(XRANDR, XRANDR, XRRQueryVersion)                                                             \
    S(XRANDR, XRANDR, XRRGetScreenInfo)                                                            \
    S(XRANDR, XRANDR, XRRConfigCurrentConfiguration)                                               \
    S(XRANDR, XRANDR, XRRConfigCurrentRate)                                                        \
    S(XRANDR, XRANDR, XRRConfigRates)                                                              \
    S(XRANDR, XRANDR, XRRConfigSizes)                                                              \
    S(XRANDR, XRANDR, XRRSetScreenConfigAndRate)                                                   \
    S(XRANDR, XRANDR, XRRFreeScreenConfigInfo)

/* libXss */
#define JEX_X11_SYMS_XSS(S)                                                                        \
    S(XSS, XSS, XScreenSaverQueryExtension)                                                        \
    S(XSS, XSS, XScreenSaverQueryVersion)                                                          \
    S(XSS, XSS, XScreenSaverSuspend)

/* libXxf86vm */
#define JEX_X11_SYMS_XXF86VM(S)                                                                    \
    S(XXF86VM, XVIDMODE, XF86VidModeGetAllModeLines)                                               \
    S(XXF86VM, XVIDMODE, XF86VidModeGetModeLine)                                                   \
    S(XXF86VM, XVIDMODE, XF86VidModeGetViewPort)                                                   \
    S(XXF86VM, XVIDMODE, XF86VidModeQueryExtension)                                                \
    S(XXF86VM, XVIDMODE, XF86VidModeQueryVersion)                                                  \
    S(XXF86VM, XVIDMODE, XF86VidModeSwitchToMode)

#define JEX_X11_ALL_SYMS(S)                                                                        \
    JEX_X11_SYMS_X11(S)                                                                            \
    JEX_X11_SYMS_XEXT(S)                                                                           \
    JEX_X11_SYMS_XINERAMA(S)                                                                       \
    JEX_X11_SYMS_XI(S)                                                                             \
    JEX_X11_SYMS_XRANDR(S)                                                                         \
    JEX_X11_SYMS_XSS(S)                                                                            \
    JEX_X11_SYMS_XXF86VM(S)

#endif /* JEX_X11_SYM_H */
