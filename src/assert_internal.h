// Internal interface of the assertion reports.
#ifndef JEX_ASSERT_INTERNAL_H
#define JEX_ASSERT_INTERNAL_H

#include "JEX_assert.h"

// Called by JEX_Init; 0 always (the lock is made on first use).
int JEX_AssertionsInit(void);

// Called by JEX_Quit: prints the summary when the program installed its own
// handler, and frees the lock unless a report running on this thread still
// holds it.
void JEX_AssertionsQuit(void);

#endif
