/* Run-time assertions.

   JEX_assert(condition) checks when JEX_ASSERT_LEVEL is 2 or more (the
   default unless NDEBUG is defined), JEX_assert_release when it is 1 or
   more (the default), JEX_assert_paranoid when it is 3 or more. A failing
   check asks the assertion handler what to do: check again, stop in the
   debugger, end the program (status 42), or go on, once or for good.

   The default handler prints the failure to standard error and then obeys
   the environment variable JEX_ASSERT ("abort", "break", "retry",
   "ignore", "always_ignore"; any other value aborts). Without it, it asks
   on the terminal (standard error and standard input) and aborts when no
   answer can be read.

   Thread use: assertions may fail on any thread; reports are taken one at
   a time. JEX_SetAssertionHandler, JEX_GetAssertionReport and
   JEX_ResetAssertionReport belong to the application's thread. */
#ifndef JEX_ASSERT_H
#define JEX_ASSERT_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifndef JEX_ASSERT_LEVEL
#ifdef NDEBUG
#define JEX_ASSERT_LEVEL 1
#else
#define JEX_ASSERT_LEVEL 2
#endif
#endif

typedef enum {
    JEX_ASSERTION_RETRY = 0,        /* check the condition again */
    JEX_ASSERTION_BREAK = 1,        /* stop in the debugger */
    JEX_ASSERTION_ABORT = 2,        /* end the program */
    JEX_ASSERTION_IGNORE = 3,       /* go on */
    JEX_ASSERTION_ALWAYS_IGNORE = 4 /* go on, and never ask again for this check */
} JEX_AssertState;

/* One per assertion site, static and zero-initialised; the library fills it
   at the first failure and links it into the report. */
typedef struct JEX_AssertData {
    int always_ignore;
    unsigned int trigger_count;
    const char *condition;
    const char *file;
    int line;
    const char *function;
    const struct JEX_AssertData *next;
} JEX_AssertData;

typedef JEX_AssertState (*JEX_AssertionHandler)(const JEX_AssertData *data, void *userdata);

/* Records a failure of data's check and returns what the site must do:
   RETRY, BREAK or IGNORE. An abort ends the process inside this call. */
JEX_API JEX_AssertState JEX_ReportAssertion(JEX_AssertData *data, const char *function,
                                            const char *file, int line);

/* A null handler restores the default one. */
JEX_API void JEX_SetAssertionHandler(JEX_AssertionHandler handler, void *userdata);

/* The checks that failed since the last reset, the newest first. */
JEX_API const JEX_AssertData *JEX_GetAssertionReport(void);
JEX_API void JEX_ResetAssertionReport(void);

#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#define JEX_TriggerBreakpoint() __asm__ __volatile__("int $3\n\t")
#else
#define JEX_TriggerBreakpoint() __builtin_trap()
#endif

#define JEX_disabled_assert(condition)                                                             \
    do {                                                                                           \
        (void)sizeof(condition);                                                                   \
    } while (0)

#define JEX_enabled_assert(condition)                                                              \
    do {                                                                                           \
        while (!(condition)) {                                                                     \
            static JEX_AssertData jex_assert_data = {0, 0, #condition, 0, 0, 0, 0};                \
            const JEX_AssertState jex_assert_state =                                               \
                JEX_ReportAssertion(&jex_assert_data, __func__, __FILE__, __LINE__);               \
            if (jex_assert_state == JEX_ASSERTION_RETRY)                                           \
                continue;                                                                          \
            if (jex_assert_state == JEX_ASSERTION_BREAK)                                           \
                JEX_TriggerBreakpoint();                                                           \
            break;                                                                                 \
        }                                                                                          \
    } while (0)

#if JEX_ASSERT_LEVEL >= 1
#define JEX_assert_release(condition) JEX_enabled_assert(condition)
#else
#define JEX_assert_release(condition) JEX_disabled_assert(condition)
#endif
#if JEX_ASSERT_LEVEL >= 2
#define JEX_assert(condition) JEX_enabled_assert(condition)
#else
#define JEX_assert(condition) JEX_disabled_assert(condition)
#endif
#if JEX_ASSERT_LEVEL >= 3
#define JEX_assert_paranoid(condition) JEX_enabled_assert(condition)
#else
#define JEX_assert_paranoid(condition) JEX_disabled_assert(condition)
#endif

#ifdef __cplusplus
}
#endif

#endif /* JEX_ASSERT_H */
