/* Compiled as strict C11 and linked with the static library: the public
   headers must be valid C, and the version macros must agree with the
   library linked. */
#include "JEX.h"

#include <stdio.h>
#include <string.h>

int main(void)
{
    JEX_ErrorRecord record;
    memset(&record, 0, sizeof(record));
    JEX_SetError("c11 %d", 11);
    if (strcmp(JEX_GetError(), "c11 11") != 0) {
        fprintf(stderr, "unexpected error text: %s\n", JEX_GetError());
        return 1;
    }

    JEX_version compiled, linked;
    JEX_VERSION(&compiled);
    JEX_GetVersion(&linked);
    if (memcmp(&compiled, &linked, sizeof compiled) != 0 || linked.major != 1 ||
        linked.minor != 3 || !JEX_VERSION_ATLEAST(1, 3, 0) || JEX_VERSION_ATLEAST(1, 3, 1) ||
        JEX_COMPILEDVERSION != 1300) {
        fprintf(stderr, "version mismatch: %d.%d.%d\n", linked.major, linked.minor, linked.patch);
        return 1;
    }
    if (strcmp(JEX_GetPlatform(), "Linux") != 0 || JEX_GetRevisionNumber() != 5557 ||
        strcmp(JEX_GetRevision(), "hg-5557:c1ed57cbfd66") != 0) {
        fprintf(stderr, "platform or revision: %s %s\n", JEX_GetPlatform(), JEX_GetRevision());
        return 1;
    }
    return record.error;
}
