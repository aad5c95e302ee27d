// Subsystem start and stop order, the running mask, and the fatal-signal
// handler: a fatal signal shuts the library down once and still kills the
// process with that signal, also when the shutdown itself crashes.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "JEX_error.h"
#include "JEX_init.h"
#include "JEX_video.h"
#include "child_process.h"
#include "init_internal.h"

namespace {

std::string g_log;      // one letter per start (upper case) and stop (lower case)
std::string g_failing;  // upper-case letters of the subsystems whose start fails
void (*g_on_timer_quit)() = nullptr;

template <char L>
int FakeInit()
{
    if (g_failing.find(L) != std::string::npos) {
        JEX_SetError("%c failed", L);
        return -1;
    }
    g_log += L;
    return 0;
}
template <char L>
void FakeQuit()
{
    g_log += static_cast<char>(L + 'a' - 'A');
    if (L == 'T' && g_on_timer_quit)
        g_on_timer_quit();
}

const struct {
    Uint32 flag;
    JEX_SubsystemOps fake;
} kFakes[] = {{JEX_INIT_VIDEO, {FakeInit<'V'>, FakeQuit<'V'>}},
              {JEX_INIT_AUDIO, {FakeInit<'A'>, FakeQuit<'A'>}},
              {JEX_INIT_TIMER, {FakeInit<'T'>, FakeQuit<'T'>}},
              {JEX_INIT_JOYSTICK, {FakeInit<'J'>, FakeQuit<'J'>}},
              {JEX_INIT_HAPTIC, {FakeInit<'H'>, FakeQuit<'H'>}}};

class FakeSubsystems : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (size_t i = 0; i < std::size(kFakes); ++i)
            saved_[i] = JEX_SetSubsystemOps(kFakes[i].flag, kFakes[i].fake);
        g_log.clear(), g_failing.clear(), g_on_timer_quit = nullptr;
    }
    void TearDown() override
    {
        JEX_Quit();
        for (size_t i = 0; i < std::size(kFakes); ++i)
            JEX_SetSubsystemOps(kFakes[i].flag, saved_[i]);
    }
    JEX_SubsystemOps saved_[std::size(kFakes)];
};

TEST_F(FakeSubsystems, StartAndStopOrderAndMask)
{
    ASSERT_EQ(JEX_Init(JEX_INIT_EVERYTHING | JEX_INIT_NOPARACHUTE), 0);
    EXPECT_EQ(g_log, "VATJH");
    EXPECT_EQ(JEX_WasInit(0), 0x1231u);
    EXPECT_EQ(JEX_WasInit(JEX_INIT_AUDIO | JEX_INIT_JOYSTICK), 0x210u);
    ASSERT_EQ(JEX_InitSubSystem(JEX_INIT_TIMER), 0);  // already running: not started again
    JEX_QuitSubSystem(JEX_INIT_VIDEO | JEX_INIT_TIMER);
    JEX_QuitSubSystem(JEX_INIT_VIDEO);  // one stop is enough
    EXPECT_EQ(g_log, "VATJHtv");
    JEX_Quit();
    EXPECT_EQ(g_log, "VATJHtvjha");
    EXPECT_EQ(JEX_WasInit(0), 0u);
}

TEST_F(FakeSubsystems, FailureStopsAtOnceAndKeepsWhatStarted)
{
    g_failing = "V";
    EXPECT_EQ(JEX_Init(JEX_INIT_VIDEO | JEX_INIT_AUDIO), -1);
    EXPECT_STREQ(JEX_GetError(), "V failed");
    EXPECT_EQ(g_log, "");
    g_failing = "J";
    EXPECT_EQ(JEX_Init(JEX_INIT_TIMER | JEX_INIT_JOYSTICK | JEX_INIT_HAPTIC), -1);
    EXPECT_EQ(JEX_WasInit(0), JEX_INIT_TIMER);
    struct sigaction action;
    ASSERT_EQ(sigaction(SIGQUIT, nullptr, &action), 0);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "no parachute after a failed start";
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
    EXPECT_EQ(JEX_InitSubSystem(JEX_INIT_AUDIO), -1);
    EXPECT_EQ(JEX_InitSubSystem(JEX_INIT_JOYSTICK), -1);
    EXPECT_STREQ(JEX_GetError(), "Joystick subsystem not built");
    EXPECT_EQ(JEX_InitSubSystem(JEX_INIT_HAPTIC), -1);
    EXPECT_STREQ(JEX_GetError(), "Haptic subsystem not built");
    JEX_Quit();
    EXPECT_EQ(JEX_GetCurrentVideoDriver(), nullptr);

    // Video started directly is not the library's to stop.
    ASSERT_EQ(JEX_VideoInit("dummy"), 0);
    EXPECT_EQ(JEX_WasInit(JEX_INIT_VIDEO), 0u);
    JEX_Quit();
    EXPECT_STREQ(JEX_GetCurrentVideoDriver(), "dummy");
    JEX_VideoQuit();
    unsetenv("JEX_VIDEODRIVER");
}

TEST(Parachute, LeavesTheProgramsHandlersAlone)
{
    auto handler = [](int) {};
    signal(SIGQUIT, handler);
    ASSERT_EQ(JEX_Init(0), 0);
    struct sigaction action;
    sigaction(SIGQUIT, nullptr, &action);
    EXPECT_EQ(action.sa_handler, handler);
    JEX_Quit();
    sigaction(SIGQUIT, nullptr, &action);
    EXPECT_EQ(action.sa_handler, handler);
    signal(SIGQUIT, SIG_DFL);
}

TEST_F(FakeSubsystems, FatalSignalQuitsOnceAndDiesByIt)
{
    g_on_timer_quit = [] { fputs("timer quit\n", stderr); };
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGQUIT}) {
        const ChildResult r = RunChild([sig] {
            JEX_Init(JEX_INIT_TIMER);
            raise(sig);
        });
        EXPECT_TRUE(DiedBy(r, sig)) << strsignal(sig) << " status " << r.status;
        EXPECT_EQ(r.err, "timer quit\n") << strsignal(sig);
    }
    // Without the handler the shutdown does not run.
    const ChildResult r = RunChild([] {
        JEX_Init(JEX_INIT_TIMER | JEX_INIT_NOPARACHUTE);
        raise(SIGQUIT);
    });
    EXPECT_TRUE(DiedBy(r, SIGQUIT));
    EXPECT_EQ(r.err, "");
}

TEST_F(FakeSubsystems, CrashInsideQuitDoesNotRunItAgain)
{
    g_on_timer_quit = [] {
        fputs("timer quit\n", stderr);
        raise(SIGSEGV);
    };
    // From a plain JEX_Quit, and from the shutdown a first fatal signal ran.
    ChildResult r = RunChild([] {
        JEX_Init(JEX_INIT_TIMER);
        JEX_Quit();
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(DiedBy(r, SIGSEGV)) << r.status;
    EXPECT_EQ(r.err, "timer quit\n");
    r = RunChild([] {
        JEX_Init(JEX_INIT_TIMER);
        raise(SIGQUIT);
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(WIFSIGNALED(r.status)) << r.status;
    EXPECT_EQ(r.err, "timer quit\n");
}

}  // namespace
