// Internal interface of library start-up and shutdown.
#ifndef JEX_INIT_INTERNAL_H
#define JEX_INIT_INTERNAL_H

#include "JEX_init.h"

// How one subsystem flag starts and stops: the row JEX_InitSubSystem and
// JEX_QuitSubSystem call.
struct JEX_SubsystemOps {
    int (*init)(void);
    void (*quit)(void);
};

// Replaces the row of one subsystem flag and returns the previous row, so
// tests can stand in recording or failing subsystems. A value that is not
// exactly one subsystem flag changes nothing and returns an empty row.
JEX_SubsystemOps JEX_SetSubsystemOps(Uint32 flag, JEX_SubsystemOps ops);

#endif
