/* Error reporting: every failing call leaves a message for JEX_GetError.
   Threads: every call may be made from any thread. Each thread made by
   JEX_CreateThread has its own message; all other threads (the
   application's included) share one, which a reader sees whole. The text
   JEX_GetError returns belongs to the calling thread. */
#ifndef JEX_ERROR_H
#define JEX_ERROR_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#define JEX_ERRBUFSIZE 1024
#define JEX_ERROR_MAXARGS 5
#define JEX_ERROR_ARGSIZE 128

/* One stored argument of an error message; which member is live follows
   from the conversion in the format that consumed it. */
typedef union {
    Sint32 value_i;
    Sint64 value_l;
    void *value_ptr;
    double value_f;
    char buf[JEX_ERROR_ARGSIZE];
} JEX_ErrorArg;

/* The message as it was raised: the format and up to five arguments,
   formatted only when the message is read. */
typedef struct JEX_ErrorRecord {
    Sint32 error;
    char format[JEX_ERROR_ARGSIZE];
    Sint32 arg_count;
    JEX_ErrorArg args[JEX_ERROR_MAXARGS];
} JEX_ErrorRecord;

typedef enum {
    JEX_ERR_NOMEM = 0,
    JEX_ERR_READ = 1,
    JEX_ERR_WRITE = 2,
    JEX_ERR_SEEK = 3,
    JEX_ERR_UNSUPPORTED = 4,
    JEX_ERR_LASTERROR = 5
} JEX_errorcode;

/* Records a message formatted as printf would when it is read: flags
   (- + blank # 0), widths and precisions (a "*" takes an int), length
   modifiers and the conversions c d i o u x X p s f F e E g G a A %. The
   format is kept up to 127 characters, strings up to 127, and at most five
   arguments (each "*" counts as one); what finds no stored argument prints
   nothing. */
JEX_API void JEX_SetError(const char *fmt, ...) JEX_PRINTF_FORMAT(1, 2);
JEX_API const char *JEX_GetError(void);
JEX_API char *JEX_GetErrorMsg(char *errstr, int maxlen);
JEX_API void JEX_ClearError(void);
JEX_API void JEX_Error(JEX_errorcode code);
JEX_API JEX_ErrorRecord *JEX_GetErrBuf(void);

#define JEX_OutOfMemory() JEX_Error(JEX_ERR_NOMEM)
#define JEX_Unsupported() JEX_Error(JEX_ERR_UNSUPPORTED)

#ifdef __cplusplus
}
#endif

#endif /* JEX_ERROR_H */
