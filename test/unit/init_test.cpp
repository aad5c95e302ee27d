// Subsystem start and stop order, the running mask, and the fatal-signal
// handler: a fatal signal shuts the library down once and still kills the
// process with that signal, also when the shutdown itself crashes.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "JEX_error.h"
#include "JEX_init.h"
#include "JEX_video.h"
#include "child_process.h"
#include "init_internal.h"

namespace {

std::string g_log;      // a letter per start, in lower case per stop
std::string g_failing;  // letters of the subsystems whose start fails
void (*g_on_timer_quit)() = nullptr;

int Start(char letter)
{
    if (g_failing.find(letter) != std::string::npos)
        return JEX_SetError("%c failed", letter), -1;
    return g_log += letter, 0;
}
void Stop(char letter)
{
    g_log += static_cast<char>(letter + 'a' - 'A');
    if (letter == 'T' && g_on_timer_quit)
        g_on_timer_quit();
}
const std::pair<Uint32, JEX_SubsystemOps> kFakes[] = {
    {JEX_INIT_VIDEO, {[] { return Start('V'); }, [] { Stop('V'); }}},
    {JEX_INIT_AUDIO, {[] { return Start('A'); }, [] { Stop('A'); }}},
    {JEX_INIT_TIMER, {[] { return Start('T'); }, [] { Stop('T'); }}},
    {JEX_INIT_JOYSTICK, {[] { return Start('J'); }, [] { Stop('J'); }}},
    {JEX_INIT_HAPTIC, {[] { return Start('H'); }, [] { Stop('H'); }}}};

class FakeSubsystems : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < 5; ++i)
            saved_[i] = JEX_SetSubsystemOps(kFakes[i].first, kFakes[i].second);
    }
    void TearDown() override
    {
        JEX_Quit();
        for (int i = 0; i < 5; ++i)
            JEX_SetSubsystemOps(kFakes[i].first, saved_[i]);
    }
    JEX_SubsystemOps saved_[5];
};

TEST_F(FakeSubsystems, OrderMaskAndFailures)
{
    ASSERT_EQ(JEX_Init(JEX_INIT_EVERYTHING | JEX_INIT_NOPARACHUTE), 0);
    EXPECT_EQ(JEX_WasInit(0), 0x1231u);
    EXPECT_EQ(JEX_WasInit(JEX_INIT_AUDIO | JEX_INIT_JOYSTICK), 0x210u);
    ASSERT_EQ(JEX_InitSubSystem(JEX_INIT_TIMER), 0);  // running: not started again
    JEX_QuitSubSystem(JEX_INIT_VIDEO | JEX_INIT_TIMER);
    JEX_QuitSubSystem(JEX_INIT_VIDEO);  // no longer running
    JEX_Quit();
    EXPECT_EQ(g_log, "VATJHtvjha");

    g_log.clear(), g_failing = "VJ";
    EXPECT_EQ(JEX_Init(JEX_INIT_VIDEO | JEX_INIT_AUDIO), -1);
    EXPECT_STREQ(JEX_GetError(), "V failed");
    EXPECT_EQ(JEX_Init(JEX_INIT_TIMER | JEX_INIT_JOYSTICK | JEX_INIT_HAPTIC), -1);
    EXPECT_EQ(g_log, "T");
    EXPECT_EQ(JEX_WasInit(0), JEX_INIT_TIMER);
    g_failing.clear();
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
    EXPECT_EQ(JEX_InitSubSystem(JEX_INIT_JOYSTICK), -1);
    EXPECT_STREQ(JEX_GetError(), "Joystick subsystem not built");
    JEX_Quit();
    EXPECT_EQ(JEX_GetCurrentVideoDriver(), nullptr);
    unsetenv("JEX_VIDEODRIVER");
}

TEST_F(FakeSubsystems, FatalSignalsQuitOnceAndKill)
{
    g_on_timer_quit = [] { fputs("timer quit\n", stderr); };
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT}) {
        const ChildResult r = RunChild([sig] { JEX_Init(JEX_INIT_TIMER), raise(sig); });
        EXPECT_EQ(r.code, 128 + sig);
        EXPECT_EQ(r.err, "timer quit\n") << sig;
    }
    ChildResult r =
        RunChild([] { JEX_Init(JEX_INIT_TIMER | JEX_INIT_NOPARACHUTE), raise(SIGQUIT); });
    EXPECT_EQ(r.code, 128 + SIGQUIT);
    EXPECT_EQ(r.err, "");

    // A crash inside JEX_Quit, or inside the shutdown a fatal signal ran.
    g_on_timer_quit = [] { fputs("timer quit\n", stderr), raise(SIGSEGV); };
    r = RunChild([] { JEX_Init(JEX_INIT_TIMER), JEX_Quit(); });
    EXPECT_EQ(r.code, 128 + SIGSEGV);
    EXPECT_EQ(r.err, "timer quit\n");
    r = RunChild([] { JEX_Init(JEX_INIT_TIMER), raise(SIGQUIT); });
    EXPECT_EQ(r.code, 128 + SIGSEGV);
    EXPECT_EQ(r.err, "timer quit\n");
    g_on_timer_quit = nullptr;
}

}  // namespace
