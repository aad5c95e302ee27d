// The platform layer under the thread functions: everything that depends on
// the system's thread interface (here POSIX threads) sits behind these.
#ifndef JEX_SYSTHREAD_H
#define JEX_SYSTHREAD_H

#include "JEX_thread.h"

// Starts a joinable system thread that calls JEX_RunThread(startup).
// 0, or -1 with an error set.
int JEX_SYS_CreateThread(JEX_Thread *thread, void *startup);

// Prepares the calling, newly started thread: blocks the process signals.
void JEX_SYS_SetupThread(void);

// Waits for the thread to end.
void JEX_SYS_WaitThread(JEX_Thread *thread);

int JEX_SYS_SetThreadPriority(JEX_ThreadPriority priority);

// The start routine common to every platform, run by the new thread.
void JEX_RunThread(void *startup);

#endif
