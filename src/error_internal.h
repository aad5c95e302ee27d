// Internal hooks of the error record.
#ifndef JEX_ERROR_INTERNAL_H
#define JEX_ERROR_INTERNAL_H

#include "JEX_error.h"

// Library-created threads call this once at start with the error record of
// their thread record; every other thread uses the process-wide record.
void JEX_SetThreadErrorRecord(JEX_ErrorRecord *record);

#endif
