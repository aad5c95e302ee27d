/* Categorised logging with per-category thresholds.
   Threads: every call may be made from any thread. A message is formatted
   on the caller's stack and the output function runs on the logging thread,
   so an output function of the application's must be safe to call from any
   thread that logs (the library's own threads log their errors too). */
#ifndef JEX_LOG_H
#define JEX_LOG_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define JEX_MAX_LOG_MESSAGE 4096

enum {
    JEX_LOG_CATEGORY_APPLICATION = 0,
    JEX_LOG_CATEGORY_ERROR = 1,
    JEX_LOG_CATEGORY_SYSTEM = 2,
    JEX_LOG_CATEGORY_AUDIO = 3,
    JEX_LOG_CATEGORY_VIDEO = 4,
    JEX_LOG_CATEGORY_RENDER = 5,
    JEX_LOG_CATEGORY_INPUT = 6
};

typedef enum {
    JEX_LOG_PRIORITY_VERBOSE = 1,
    JEX_LOG_PRIORITY_DEBUG = 2,
    JEX_LOG_PRIORITY_INFO = 3,
    JEX_LOG_PRIORITY_WARN = 4,
    JEX_LOG_PRIORITY_ERROR = 5,
    JEX_LOG_PRIORITY_CRITICAL = 6,
    JEX_NUM_LOG_PRIORITIES = 7
} JEX_LogPriority;

typedef void (*JEX_LogOutputFunction)(void *userdata, int category, JEX_LogPriority priority,
                                      const char *message);

/* Thresholds: a message passes at or above its category's priority. A
   priority above JEX_LOG_PRIORITY_CRITICAL is refused and changes nothing. */
JEX_API void JEX_LogSetAllPriority(JEX_LogPriority priority);
JEX_API void JEX_LogSetPriority(int category, JEX_LogPriority priority);
JEX_API JEX_LogPriority JEX_LogGetPriority(int category);
JEX_API void JEX_LogResetPriorities(void);

JEX_API void JEX_Log(const char *fmt, ...) JEX_PRINTF_FORMAT(1, 2);
JEX_API void JEX_LogVerbose(int category, const char *fmt, ...) JEX_PRINTF_FORMAT(2, 3);
JEX_API void JEX_LogDebug(int category, const char *fmt, ...) JEX_PRINTF_FORMAT(2, 3);
JEX_API void JEX_LogInfo(int category, const char *fmt, ...) JEX_PRINTF_FORMAT(2, 3);
JEX_API void JEX_LogWarn(int category, const char *fmt, ...) JEX_PRINTF_FORMAT(2, 3);
JEX_API void JEX_LogError(int category, const char *fmt, ...) JEX_PRINTF_FORMAT(2, 3);
JEX_API void JEX_LogCritical(int category, const char *fmt, ...) JEX_PRINTF_FORMAT(2, 3);
JEX_API void JEX_LogMessage(int category, JEX_LogPriority priority, const char *fmt, ...)
    JEX_PRINTF_FORMAT(3, 4);
JEX_API void JEX_LogMessageV(int category, JEX_LogPriority priority, const char *fmt, va_list ap);

JEX_API void JEX_LogGetOutputFunction(JEX_LogOutputFunction *callback, void **userdata);
JEX_API void JEX_LogSetOutputFunction(JEX_LogOutputFunction callback, void *userdata);
JEX_API void JEX_LogOutput(void *userdata, int category, JEX_LogPriority priority,
                           const char *message);

#ifdef __cplusplus
}
#endif

#endif /* JEX_LOG_H */
