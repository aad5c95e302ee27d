// Subsystem start and stop order, the running mask, and the fatal-signal
// handler: a fatal signal shuts the library down once and still kills the
// process with that signal, also when the shutdown itself crashes.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include "JEX_error.h"
#include "JEX_video.h"
#include "child_process.h"
#include "init_internal.h"

namespace {

// Stand-in subsystems, used in forked children only: each start prints its
// letter, each stop the letter in lower case.
const char *g_failing = "";  // letters of the subsystems whose start fails
bool g_crash_in_timer_quit = false;

int Start(char letter)
{
    if (strchr(g_failing, letter))
        return JEX_SetError("%c failed", letter), -1;
    return fputc(letter, stderr), 0;
}
void Stop(char letter)
{
    fputc(letter + 'a' - 'A', stderr);
    if (letter == 'T' && g_crash_in_timer_quit)
        raise(SIGSEGV);
}
void UseFakes()
{
    JEX_SetSubsystemOps(JEX_INIT_VIDEO, {[] { return Start('V'); }, [] { Stop('V'); }});
    JEX_SetSubsystemOps(JEX_INIT_AUDIO, {[] { return Start('A'); }, [] { Stop('A'); }});
    JEX_SetSubsystemOps(JEX_INIT_TIMER, {[] { return Start('T'); }, [] { Stop('T'); }});
    JEX_SetSubsystemOps(JEX_INIT_JOYSTICK, {[] { return Start('J'); }, [] { Stop('J'); }});
    JEX_SetSubsystemOps(JEX_INIT_HAPTIC, {[] { return Start('H'); }, [] { Stop('H'); }});
}

TEST(Init, OrderMaskAndFailures)
{
    const ChildResult r = RunChild([] {
        UseFakes();
        JEX_Init(JEX_INIT_EVERYTHING | JEX_INIT_NOPARACHUTE);
        fprintf(stderr, " %x %x ", JEX_WasInit(0), JEX_WasInit(JEX_INIT_AUDIO | JEX_INIT_JOYSTICK));
        JEX_InitSubSystem(JEX_INIT_TIMER);  // running: not started again
        JEX_QuitSubSystem(JEX_INIT_VIDEO | JEX_INIT_TIMER);
        JEX_QuitSubSystem(JEX_INIT_VIDEO);  // no longer running
        JEX_Quit();
        g_failing = "VJ";
        fprintf(stderr, " %d %s ", JEX_Init(JEX_INIT_VIDEO | JEX_INIT_AUDIO), JEX_GetError());
        const int result = JEX_Init(JEX_INIT_TIMER | JEX_INIT_JOYSTICK | JEX_INIT_HAPTIC);
        fprintf(stderr, " %d %x", result, JEX_WasInit(0));
    });
    EXPECT_EQ(r.err, "VATJH 1231 210 tvjha -1 V failed T -1 1");
}

TEST(Init, RealSubsystems)
{
    setenv("JEX_VIDEODRIVER", "nonexistent", 1);
    EXPECT_EQ(JEX_Init(JEX_INIT_VIDEO | JEX_INIT_TIMER), -1);
    EXPECT_STREQ(JEX_GetError(), "nonexistent not available");
    EXPECT_EQ(JEX_WasInit(0), 0u);
    setenv("JEX_VIDEODRIVER", "dummy", 1);
    ASSERT_EQ(JEX_Init(JEX_INIT_VIDEO | JEX_INIT_TIMER | JEX_INIT_NOPARACHUTE), 0);
    EXPECT_STREQ(JEX_GetError(), "");
    EXPECT_EQ(JEX_WasInit(0), 0x21u);
    EXPECT_EQ(JEX_InitSubSystem(JEX_INIT_JOYSTICK | JEX_INIT_HAPTIC), 0);
    EXPECT_EQ(JEX_WasInit(0), 0x1221u);
    JEX_Quit();
    EXPECT_EQ(JEX_GetCurrentVideoDriver(), nullptr);
    unsetenv("JEX_VIDEODRIVER");
}

TEST(Init, FatalSignalsQuitOnceAndKill)
{
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT}) {
        const ChildResult r = RunChild([sig] { UseFakes(), JEX_Init(JEX_INIT_TIMER), raise(sig); });
        EXPECT_EQ(r.code, 128 + sig);
        EXPECT_EQ(r.err, "Tt") << sig;
    }
    ChildResult r = RunChild(
        [] { UseFakes(), JEX_Init(JEX_INIT_TIMER | JEX_INIT_NOPARACHUTE), raise(SIGQUIT); });
    EXPECT_EQ(r.code, 128 + SIGQUIT);
    EXPECT_EQ(r.err, "T");

    // A crash inside JEX_Quit, or inside the shutdown a fatal signal ran.
    g_crash_in_timer_quit = true;
    r = RunChild([] { UseFakes(), JEX_Init(JEX_INIT_TIMER), JEX_Quit(); });
    EXPECT_EQ(r.code, 128 + SIGSEGV);
    EXPECT_EQ(r.err, "Tt");
    r = RunChild([] { UseFakes(), JEX_Init(JEX_INIT_TIMER), raise(SIGQUIT); });
    EXPECT_EQ(r.code, 128 + SIGSEGV);
    EXPECT_EQ(r.err, "Tt");
    g_crash_in_timer_quit = false;
}

}  // namespace
