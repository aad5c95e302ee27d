// Run-time loading of shared objects through the POSIX dynamic loader.
#include "JEX_loadso.h"

#include "JEX_error.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace {

// The loader's reason for the last failure; dlerror() can come back empty
// when a symbol exists but its value is null.
const char *LoaderReason()
{
    const char *reason = dlerror();
    return reason ? reason : "symbol has no address";
}

void *FindSymbol(void *handle, const char *name)
{
    dlerror();
    return dlsym(handle, name);
}

}  // namespace

extern "C" {

void *JEX_LoadObject(const char *sofile)
{
    // dlopen(NULL) would hand out the main program instead of failing.
    if (!sofile) {
        JEX_SetError("Parameter '%s' is invalid", "sofile");
        return nullptr;
    }
    void *handle = dlopen(sofile, RTLD_NOW);
    if (!handle) {
        const char *reason = dlerror();
        JEX_SetError("Failed loading %s: %s", sofile, reason ? reason : "unknown error");
    }
    return handle;
}

void *JEX_LoadFunction(void *handle, const char *name)
{
    // A null handle would search every loaded object (RTLD_DEFAULT).
    if (!handle) {
        JEX_SetError("Parameter '%s' is invalid", "handle");
        return nullptr;
    }
    if (!name) {
        JEX_SetError("Parameter '%s' is invalid", "name");
        return nullptr;
    }
    void *symbol = FindSymbol(handle, name);
    if (symbol)
        return symbol;
    const std::size_t length = std::strlen(name);
    char *decorated = static_cast<char *>(std::malloc(length + 2));
    if (!decorated) {
        JEX_OutOfMemory();
        return nullptr;
    }
    decorated[0] = '_';
    std::memcpy(decorated + 1, name, length + 1);
    symbol = FindSymbol(handle, decorated);
    std::free(decorated);
    if (!symbol)
        JEX_SetError("Failed loading %s: %s", name, LoaderReason());
    return symbol;
}

void JEX_UnloadObject(void *handle)
{
    if (handle)
        dlclose(handle);
}

}  // extern "C"
