// Assertion reports: the list of failed checks, the handler that decides
// what a failing check does, and the default handler that prints the
// failure and obeys JEX_ASSERT or asks on the terminal.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <syslog.h>
#include <unistd.h>

#include <atomic>
#include <climits>

#include "JEX_assert.h"
#include "JEX_init.h"
#include "JEX_mutex.h"
#include "JEX_video.h"
#include "assert_internal.h"
#include "video/sysvideo.h"

namespace {

JEX_AssertState PromptHandler(const JEX_AssertData *data, void *userdata);

// Reports may come from any thread. The mutex (recursive, made on first
// use under the spin lock) guards the triggered list, the records in it and
// running; handler and userdata are set by the application's thread.
// shutting_down is set before an assertion shuts the library down and read
// without the lock, so a failure during that shutdown ends the process at
// once wherever it happens.
struct AssertState {
    JEX_AssertData *triggered = nullptr;
    JEX_AssertionHandler handler = PromptHandler;
    void *userdata = nullptr;
    JEX_mutex *mutex = nullptr;
    JEX_SpinLock mutex_lock = 0;
    int running = 0;
    std::atomic<bool> shutting_down{false};
};
AssertState g_assert;

const char *Text(const char *s)
{
    return s ? s : "???";
}

const char *Plural(unsigned int count)
{
    return count == 1 ? "" : "s";
}

[[noreturn]] void ExitNow()
{
    fflush(stdout);
    fflush(stderr);
    _exit(42);
}

[[noreturn]] void QuitAndExit()
{
    g_assert.shutting_down.store(true);
    JEX_Quit();
    ExitNow();
}

JEX_mutex *GetMutex()
{
    JEX_AtomicLock(&g_assert.mutex_lock);
    if (!g_assert.mutex)
        g_assert.mutex = JEX_CreateMutex();
    JEX_mutex *mutex = g_assert.mutex;
    JEX_AtomicUnlock(&g_assert.mutex_lock);
    return mutex;
}

JEX_AssertState AskUser(const JEX_AssertData *data)
{
    // Video started by the program itself (through JEX_VideoInit too) must
    // not be restarted or stopped here: that would destroy its windows.
    bool started_video = false;
    if (!JEX_GetVideoDevice()) {
        if (JEX_InitSubSystem(JEX_INIT_VIDEO) < 0) {
            fputs("Assertion failed AND couldn't init video mode!\n", stderr);
            fflush(stderr);
            return JEX_ASSERTION_BREAK;
        }
        started_video = JEX_GetVideoDevice() != nullptr;
    }

    char message[1024];
    snprintf(message, sizeof(message),
             "Assertion failure at %s (%s:%d), triggered %u time%s:\n  '%s'", Text(data->function),
             Text(data->file), data->line, data->trigger_count, Plural(data->trigger_count),
             Text(data->condition));
    syslog(LOG_USER | LOG_ERR, "%s", message);

    // No desktop alert here: the choices are offered on the terminal, in
    // the order of their states. Without an answer (end of input) nobody
    // can be asked, so the program stops.
    JEX_AssertState state = JEX_ASSERTION_ABORT;
    fprintf(stderr, "%s\n", message);
    for (;;) {
        fputs("[0] Retry  [1] Break  [2] Abort  [3] Ignore  [4] Always Ignore\nChoice: ", stderr);
        fflush(stderr);
        char line[64];
        if (!fgets(line, sizeof(line), stdin))
            break;
        if (line[0] >= '0' && line[0] <= '4' && (line[1] == '\n' || line[1] == '\0')) {
            state = static_cast<JEX_AssertState>(line[0] - '0');
            break;
        }
    }

    if (started_video)
        JEX_QuitSubSystem(JEX_INIT_VIDEO);
    return state;
}

JEX_AssertState PromptHandler(const JEX_AssertData *data, void *)
{
    fprintf(stderr, "\n\nAssertion failure at %s (%s:%d), triggered %u time%s:\n  '%s'\n\n",
            Text(data->function), Text(data->file), data->line, data->trigger_count,
            Plural(data->trigger_count), Text(data->condition));
    fflush(stderr);

    if (const char *env = getenv("JEX_ASSERT")) {
        static constexpr struct {
            const char *name;
            JEX_AssertState state;
        } kChoices[] = {{"abort", JEX_ASSERTION_ABORT},
                        {"break", JEX_ASSERTION_BREAK},
                        {"retry", JEX_ASSERTION_RETRY},
                        {"ignore", JEX_ASSERTION_IGNORE},
                        {"always_ignore", JEX_ASSERTION_ALWAYS_IGNORE}};
        for (const auto &choice : kChoices)
            if (strcmp(env, choice.name) == 0)
                return choice.state;
        return JEX_ASSERTION_ABORT;
    }

    // A full-screen window would hide the question.
    JEX_Window *minimized = nullptr;
    if (JEX_GetVideoDevice()) {
        JEX_Window *focus = JEX_GetFocusWindow();
        if (focus && (JEX_GetWindowFlags(focus) & JEX_WINDOW_FULLSCREEN)) {
            JEX_MinimizeWindow(focus);
            minimized = focus;
        }
    }
    const JEX_AssertState state = AskUser(data);
    if (minimized && JEX_GetVideoDevice())
        JEX_RestoreWindow(minimized);
    return state;
}

void ResetReportLocked()
{
    for (JEX_AssertData *item = g_assert.triggered; item;) {
        JEX_AssertData *next = const_cast<JEX_AssertData *>(item->next);
        item->always_ignore = 0;
        item->trigger_count = 0;
        item->next = nullptr;
        item = next;
    }
    g_assert.triggered = nullptr;
}

void PrintSummaryLocked()
{
    if (!g_assert.triggered || g_assert.handler == PromptHandler)
        return;
    fputs("\n\nJEX assertion report.\n", stderr);
    fputs("All JEX assertions between last init/quit:\n\n", stderr);
    for (const JEX_AssertData *item = g_assert.triggered; item; item = item->next)
        fprintf(stderr,
                "'%s'\n    * %s (%s:%d)\n    * triggered %u time%s.\n    * always ignore: %s.\n",
                Text(item->condition), Text(item->function), Text(item->file), item->line,
                item->trigger_count, Plural(item->trigger_count),
                item->always_ignore ? "yes" : "no");
    fputs("\n", stderr);
    fflush(stderr);
    ResetReportLocked();
}

}  // namespace

int JEX_AssertionsInit(void)
{
    return 0;
}

void JEX_AssertionsQuit(void)
{
    JEX_AtomicLock(&g_assert.mutex_lock);
    JEX_mutex *mutex = g_assert.mutex;
    JEX_AtomicUnlock(&g_assert.mutex_lock);
    if (!mutex) {
        PrintSummaryLocked();
        return;
    }
    JEX_LockMutex(mutex);
    PrintSummaryLocked();
    // Holding the lock, a running report can only be one further up this
    // thread's stack (an abort shutting the library down): its mutex stays.
    const bool held = g_assert.running > 0;
    JEX_UnlockMutex(mutex);
    if (held)
        return;
    JEX_AtomicLock(&g_assert.mutex_lock);
    g_assert.mutex = nullptr;
    JEX_AtomicUnlock(&g_assert.mutex_lock);
    JEX_DestroyMutex(mutex);
}

extern "C" {

JEX_AssertState JEX_ReportAssertion(JEX_AssertData *data, const char *function, const char *file,
                                    int line)
{
    if (!data)
        return JEX_ASSERTION_IGNORE;
    // A failure while an assertion shuts the library down must not start a
    // second shutdown.
    if (g_assert.shutting_down.load())
        ExitNow();
    JEX_mutex *mutex = GetMutex();
    if (!mutex || JEX_LockMutex(mutex) < 0)
        return JEX_ASSERTION_IGNORE;

    if (data->trigger_count == 0) {
        data->function = function;
        data->file = file;
        data->line = line;
    }
    // Saturating: a count wrapping to 0 would link the record a second time.
    if (data->trigger_count != UINT_MAX)
        ++data->trigger_count;
    if (data->trigger_count == 1) {
        data->next = g_assert.triggered;
        g_assert.triggered = data;
    }

    ++g_assert.running;
    if (g_assert.running >= 2)
        QuitAndExit();

    JEX_AssertState state = JEX_ASSERTION_IGNORE;
    if (!data->always_ignore) {
        state = g_assert.handler(data, g_assert.userdata);
        if (state == JEX_ASSERTION_ABORT)
            QuitAndExit();
        if (state == JEX_ASSERTION_ALWAYS_IGNORE) {
            data->always_ignore = 1;
            state = JEX_ASSERTION_IGNORE;
        }
    }

    --g_assert.running;
    JEX_UnlockMutex(mutex);
    return state;
}

void JEX_SetAssertionHandler(JEX_AssertionHandler handler, void *userdata)
{
    if (handler) {
        g_assert.handler = handler;
        g_assert.userdata = userdata;
    } else {
        g_assert.handler = PromptHandler;
        g_assert.userdata = nullptr;
    }
}

const JEX_AssertData *JEX_GetAssertionReport(void)
{
    return g_assert.triggered;
}

void JEX_ResetAssertionReport(void)
{
    JEX_AtomicLock(&g_assert.mutex_lock);
    JEX_mutex *mutex = g_assert.mutex;
    JEX_AtomicUnlock(&g_assert.mutex_lock);
    if (mutex)
        JEX_LockMutex(mutex);
    ResetReportLocked();
    if (mutex)
        JEX_UnlockMutex(mutex);
}

}  // extern "C"
