/* Loading shared objects and looking up their symbols at run time.
   Threads: every call may be made from any thread. */
#ifndef JEX_LOADSO_H
#define JEX_LOADSO_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Opens a shared object with every symbol bound at once; null on failure
   ("Failed loading <file>: <reason>"). */
JEX_API void *JEX_LoadObject(const char *sofile);

/* The address of a symbol of a loaded object. A name that is not found is
   tried once more with a leading underscore, as some platforms decorate
   C names that way. */
JEX_API void *JEX_LoadFunction(void *handle, const char *name);

/* Closes an object from JEX_LoadObject; null is ignored. */
JEX_API void JEX_UnloadObject(void *handle);

#ifdef __cplusplus
}
#endif

#endif /* JEX_LOADSO_H */
