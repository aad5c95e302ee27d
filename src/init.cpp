// Library start-up and shutdown: which subsystems run, the order they start
// and stop in, and the handler that shuts the library down on a fatal
// signal.
#include <signal.h>

#include <array>
#include <atomic>

#include "JEX_error.h"
#include "JEX_hints.h"
#include "JEX_init.h"
#include "JEX_log.h"
#include "JEX_audio.h"
#include "JEX_video.h"
#include "assert_internal.h"
#include "haptic/haptic_internal.h"
#include "joystick/joystick_internal.h"
#include "init_internal.h"
#include "timer/timer_internal.h"

namespace {

int InitVideo()
{
    return JEX_VideoInit(nullptr);
}
void QuitVideo()
{
    JEX_VideoQuit();
}

int InitAudio()
{
    return JEX_AudioInit(nullptr);
}
void QuitAudio()
{
    JEX_AudioQuit();
}

int InitJoystick()
{
    return JEX_JoystickInit();
}
void QuitJoystick()
{
    JEX_JoystickQuit();
}

int InitHaptic()
{
    return JEX_HapticInit();
}
void QuitHaptic()
{
    JEX_HapticQuit();
}

int InitTimer()
{
    return JEX_TimerInit();
}
void QuitTimer()
{
    JEX_TimerQuit();
}

struct Subsystem {
    Uint32 flag;
    JEX_SubsystemOps ops;
};

constexpr std::array<int, 4> kFatalSignals = {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT};

// Initialisation and shutdown belong to one thread, so the mask and the
// table are plain fields. quitting is also read by the signal handler,
// which may run on any thread: a lock-free atomic, set while the library
// shuts down so that a fatal signal then kills the process at once instead
// of running the shutdown a second time.
struct InitState {
    Uint32 initialized_mask = 0;
    bool ticks_started = false;
    // In start order; stop order is its own list below.
    std::array<Subsystem, 5> subsystems = {{
        {JEX_INIT_VIDEO, {InitVideo, QuitVideo}},
        {JEX_INIT_AUDIO, {InitAudio, QuitAudio}},
        {JEX_INIT_TIMER, {InitTimer, QuitTimer}},
        {JEX_INIT_JOYSTICK, {InitJoystick, QuitJoystick}},
        {JEX_INIT_HAPTIC, {InitHaptic, QuitHaptic}},
    }};
    std::atomic<int> quitting{0};
};
InitState g_init;

static_assert(std::atomic<int>::is_always_lock_free);

constexpr std::array<Uint32, 5> kStopOrder = {JEX_INIT_JOYSTICK, JEX_INIT_HAPTIC, JEX_INIT_TIMER,
                                              JEX_INIT_AUDIO, JEX_INIT_VIDEO};

Subsystem *FindSubsystem(Uint32 flag)
{
    for (Subsystem &subsystem : g_init.subsystems)
        if (subsystem.flag == flag)
            return &subsystem;
    return nullptr;
}

int StartOne(Uint32 flags, Uint32 flag)
{
    if (!(flags & flag) || (g_init.initialized_mask & flag))
        return 0;
    if (FindSubsystem(flag)->ops.init() < 0)
        return -1;
    g_init.initialized_mask |= flag;
    return 0;
}

void QuitLibrary()
{
    JEX_QuitSubSystem(JEX_INIT_EVERYTHING);
    JEX_UninstallParachute();
    JEX_ClearHints();
    JEX_AssertionsQuit();
    JEX_LogResetPriorities();
}

void ResetToDefaultAndRaise(int sig)
{
    signal(sig, SIG_DFL);
    raise(sig);
}

void Parachute(int sig)
{
    // A second fatal signal, or one raised inside the shutdown, ends the
    // process the way it would have ended without the library.
    if (g_init.quitting.exchange(1)) {
        ResetToDefaultAndRaise(sig);
        return;
    }
    signal(sig, SIG_DFL);
    QuitLibrary();
    raise(sig);
}

}  // namespace

JEX_SubsystemOps JEX_SetSubsystemOps(Uint32 flag, JEX_SubsystemOps ops)
{
    Subsystem *subsystem = FindSubsystem(flag);
    if (!subsystem || !ops.init || !ops.quit)
        return {nullptr, nullptr};
    const JEX_SubsystemOps previous = subsystem->ops;
    subsystem->ops = ops;
    return previous;
}

extern "C" {

int JEX_Init(Uint32 flags)
{
    if (JEX_AssertionsInit() < 0)
        return -1;
    JEX_ClearError();
    if (JEX_InitSubSystem(flags) < 0)
        return -1;
    if (!(flags & JEX_INIT_NOPARACHUTE))
        JEX_InstallParachute();
    return 0;
}

int JEX_InitSubSystem(Uint32 flags)
{
    if (StartOne(flags, JEX_INIT_VIDEO) < 0 || StartOne(flags, JEX_INIT_AUDIO) < 0)
        return -1;
    if (!g_init.ticks_started) {
        JEX_StartTicks();
        g_init.ticks_started = true;
    }
    if (StartOne(flags, JEX_INIT_TIMER) < 0 || StartOne(flags, JEX_INIT_JOYSTICK) < 0 ||
        StartOne(flags, JEX_INIT_HAPTIC) < 0)
        return -1;
    return 0;
}

void JEX_QuitSubSystem(Uint32 flags)
{
    for (Uint32 flag : kStopOrder) {
        if (!(flags & flag) || !(g_init.initialized_mask & flag))
            continue;
        FindSubsystem(flag)->ops.quit();
        g_init.initialized_mask &= ~flag;
    }
}

Uint32 JEX_WasInit(Uint32 flags)
{
    if (flags == 0)
        flags = JEX_INIT_EVERYTHING;
    return g_init.initialized_mask & flags;
}

void JEX_Quit(void)
{
    // A JEX_Quit nested in another (from a callback) must not end the
    // outer one's guard.
    const int was_quitting = g_init.quitting.exchange(1);
    QuitLibrary();
    g_init.quitting.store(was_quitting);
}

void JEX_InstallParachute(void)
{
    for (int sig : kFatalSignals) {
        struct sigaction action;
        if (sigaction(sig, nullptr, &action) == 0 && action.sa_handler == SIG_DFL) {
            // The default action's mask and flags stay; only the handler
            // changes, and it takes the plain one-argument form.
            action.sa_flags &= ~SA_SIGINFO;
            action.sa_handler = Parachute;
            sigaction(sig, &action, nullptr);
        }
    }
    // Timers of old platforms used SIGALRM; a stray one must not kill the
    // process.
    struct sigaction action;
    if (sigaction(SIGALRM, nullptr, &action) == 0 && action.sa_handler == SIG_DFL) {
        action.sa_flags &= ~SA_SIGINFO;
        action.sa_handler = SIG_IGN;
        sigaction(SIGALRM, &action, nullptr);
    }
}

void JEX_UninstallParachute(void)
{
    for (int sig : kFatalSignals) {
        struct sigaction action;
        if (sigaction(sig, nullptr, &action) == 0 && !(action.sa_flags & SA_SIGINFO) &&
            action.sa_handler == Parachute) {
            action.sa_handler = SIG_DFL;
            sigaction(sig, &action, nullptr);
        }
    }
}

}  // extern "C"
