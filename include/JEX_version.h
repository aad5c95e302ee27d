/* The library's version: the numbers the headers were built with and the
   numbers of the library actually linked. CMake reads the three numbers
   below for the project's version, so they are kept here only.
   Every call here may be made from any thread. */
#ifndef JEX_VERSION_H
#define JEX_VERSION_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define JEX_MAJOR_VERSION 1
#define JEX_MINOR_VERSION 3
#define JEX_PATCHLEVEL 0

typedef struct JEX_version {
    Uint8 major;
    Uint8 minor;
    Uint8 patch;
} JEX_version;

/* Fills a JEX_version with the version of the headers being compiled. */
#define JEX_VERSION(x)                                                                             \
    do {                                                                                           \
        (x)->major = JEX_MAJOR_VERSION;                                                            \
        (x)->minor = JEX_MINOR_VERSION;                                                            \
        (x)->patch = JEX_PATCHLEVEL;                                                               \
    } while (0)

/* One number for a version, comparable with < and >: 1.3.0 is 1300. */
#define JEX_VERSIONNUM(X, Y, Z) ((X) * 1000 + (Y) * 100 + (Z))
#define JEX_COMPILEDVERSION JEX_VERSIONNUM(JEX_MAJOR_VERSION, JEX_MINOR_VERSION, JEX_PATCHLEVEL)
/* True when the headers are at least version X.Y.Z. */
#define JEX_VERSION_ATLEAST(X, Y, Z) (JEX_COMPILEDVERSION >= JEX_VERSIONNUM(X, Y, Z))

/* The version of the library linked at run time (which may differ from the
   headers a program was compiled with). */
JEX_API void JEX_GetVersion(JEX_version *ver);
/* The revision the library was built from, and its number. */
JEX_API const char *JEX_GetRevision(void);
JEX_API int JEX_GetRevisionNumber(void);
/* The name of the operating system this build runs on, e.g. "Linux". */
JEX_API const char *JEX_GetPlatform(void);

#ifdef __cplusplus
}
#endif

#endif /* JEX_VERSION_H */
