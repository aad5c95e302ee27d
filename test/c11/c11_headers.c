/* Compiled as strict C11: the public headers must be valid C. */
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
    return record.error;
}
