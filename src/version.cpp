// The library's version, revision and platform name.
#include "JEX_version.h"

extern "C" {

void JEX_GetVersion(JEX_version *ver)
{
    if (!ver)
        return;
    JEX_VERSION(ver);
}

const char *JEX_GetRevision(void)
{
    return "hg-5557:c1ed57cbfd66";
}

int JEX_GetRevisionNumber(void)
{
    return 5557;
}

const char *JEX_GetPlatform(void)
{
#if defined(__linux__)
    return "Linux";
#elif defined(__FreeBSD__)
    return "FreeBSD";
#elif defined(__APPLE__)
    return "Mac OS X";
#else
    return "Unknown";
#endif
}

}  // extern "C"
