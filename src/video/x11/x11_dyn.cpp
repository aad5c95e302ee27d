// Opens the X libraries by their shared-library names and fills the
// private function table from one typed list per library.
#include "video/x11/x11_dyn.h"

#include <dlfcn.h>

#include <array>
#include <cstring>
#include <string>

namespace jex_x11 {
JEX_X11_Symbols X11;
}

#define JEX_X11_DEFINE_GROUP(group) bool JEX_X11_HAVE_##group = true;
JEX_X11_GROUPS(JEX_X11_DEFINE_GROUP)
#undef JEX_X11_DEFINE_GROUP

namespace {

enum class Lib {
#define JEX_X11_LIB_ENUM(id, soname) id,
    JEX_X11_LIBRARIES(JEX_X11_LIB_ENUM)
#undef JEX_X11_LIB_ENUM
        Count
};

struct Library {
    const char *soname;
    std::string override_path;  // empty: use soname
    void *handle = nullptr;
};

// The loader's state; the symbol table and group flags it fills are the
// driver's shared tables. Used only from the thread that starts video.
struct LoaderState {
    std::array<Library, size_t(Lib::Count)> libraries = {{
#define JEX_X11_LIB_ROW(id, soname) {soname, {}, nullptr},
        JEX_X11_LIBRARIES(JEX_X11_LIB_ROW)
#undef JEX_X11_LIB_ROW
    }};
    int load_count = 0;
};
LoaderState g_loader;

void SetAllGroups(bool value)
{
#define JEX_X11_SET_GROUP(group) JEX_X11_HAVE_##group = value;
    JEX_X11_GROUPS(JEX_X11_SET_GROUP)
#undef JEX_X11_SET_GROUP
}

// Looks one function up in its own library; a miss (or a library that is
// not there) marks the function's group unavailable.
template <typename Ptr>
void Resolve(Ptr &slot, Lib lib, const char *name, bool &group_flag)
{
    void *handle = g_loader.libraries[size_t(lib)].handle;
    void *address = handle ? dlsym(handle, name) : nullptr;
    slot = reinterpret_cast<Ptr>(address);
    if (!address)
        group_flag = false;
}

void UnloadAll()
{
    SetAllGroups(true);
    X11 = JEX_X11_Symbols{};
    for (Library &lib : g_loader.libraries) {
        if (lib.handle) {
            dlclose(lib.handle);
            lib.handle = nullptr;
        }
    }
}

}  // namespace

int JEX_X11_LoadSymbols(void)
{
    if (++g_loader.load_count > 1)
        return 1;
    for (Library &lib : g_loader.libraries) {
        const char *path = lib.override_path.empty() ? lib.soname : lib.override_path.c_str();
        // Xlib keeps process-wide caches (locale data, quarks, input
        // methods) that it never frees; it is not made to be unmapped, so
        // closing a handle only drops our reference.
        lib.handle = dlopen(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    }
#define JEX_X11_RESOLVE(lib, group, name) Resolve(X11.name, Lib::lib, #name, JEX_X11_HAVE_##group);
    JEX_X11_ALL_SYMS(JEX_X11_RESOLVE)
#undef JEX_X11_RESOLVE
    if (!JEX_X11_HAVE_BASEXLIB) {
        UnloadAll();
        g_loader.load_count = 0;
        return 0;
    }
    return 1;
}

void JEX_X11_UnloadSymbols(void)
{
    if (g_loader.load_count == 0)
        return;
    if (--g_loader.load_count == 0)
        UnloadAll();
}

void JEX_X11_OverrideLibrary(const char *soname, const char *path)
{
    for (Library &lib : g_loader.libraries)
        if (soname && std::strcmp(lib.soname, soname) == 0)
            lib.override_path = path ? path : "";
}
