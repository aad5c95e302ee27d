/* Run-time access to the X libraries. The driver never links against them:
   every X function it uses lives in one private table of typed pointers
   (`X11`), called as X11.XOpenDisplay(...). No symbol of this library has an
   X function's name, so the GL library's own Xlib calls can never land in
   here. The X headers are needed to build, not to run. */
#ifndef JEX_X11_DYN_H
#define JEX_X11_DYN_H

#include "video/x11/x11_sym.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/scrnsaver.h>
#include <X11/extensions/shape.h>
#include <X11/extensions/xf86vmode.h>

struct JEX_X11_Symbols {
#define JEX_X11_MEMBER(lib, group, name) decltype(&::name) name;
    JEX_X11_ALL_SYMS(JEX_X11_MEMBER)
#undef JEX_X11_MEMBER
};

/* The table; every pointer is null while the libraries are not loaded.
   Its linker name is namespaced so that it cannot meet an application's
   own `X11` in a static link. */
namespace jex_x11 {
extern JEX_X11_Symbols X11;
}
using jex_x11::X11;

/* Availability flags, true until a function of the group is missing. */
#define JEX_X11_DECLARE_GROUP(group) extern bool JEX_X11_HAVE_##group;
JEX_X11_GROUPS(JEX_X11_DECLARE_GROUP)
#undef JEX_X11_DECLARE_GROUP

/* 1 when the core X library is complete, else 0. Reference counted; the
   last unload closes the libraries and clears every pointer. */
int JEX_X11_LoadSymbols(void);
void JEX_X11_UnloadSymbols(void);

/* Opens `path` in place of the library named `soname` from the next load
   on; a null path restores the usual name. For tests that need a library
   to be missing. */
void JEX_X11_OverrideLibrary(const char *soname, const char *path);

#endif /* JEX_X11_DYN_H */
