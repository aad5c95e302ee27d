// Quit requests: SIGINT/SIGTERM become one JEX_QUIT; application handlers stay.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>
#include "JEX_timer.h"
#include "events/events_internal.h"
#include "test_video_driver.h"

using jextest::CountQueued;

namespace {

using Handler = void (*)(int);

Handler CurrentHandler(int sig, int *flags = nullptr)
{
    struct sigaction action;
    EXPECT_EQ(sigaction(sig, nullptr, &action), 0);
    if (flags)
        *flags = action.sa_flags;
    return action.sa_handler;
}

void SetHandler(int sig, Handler handler, int flags = 0)
{
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    sigemptyset(&action.sa_mask);
    action.sa_handler = handler;
    action.sa_flags = flags;
    ASSERT_EQ(sigaction(sig, &action, nullptr), 0);
}

// Pumps until a quit arrives (kill may land a little later); the number queued.
int PumpForQuit()
{
    for (int i = 0; i < 200 && CountQueued(JEX_QUIT) == 0; ++i) {
        JEX_PumpEvents();
        if (CountQueued(JEX_QUIT) == 0)
            JEX_Delay(10);
    }
    return CountQueued(JEX_QUIT);
}

class Quit : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetHandler(SIGINT, SIG_DFL);
        SetHandler(SIGTERM, SIG_DFL);
        ASSERT_EQ(JEX_StartEventLoop(), 0);
        ASSERT_EQ(JEX_QuitInit(), 0);
    }
    void TearDown() override
    {
        JEX_QuitQuit();
        JEX_StopEventLoop();
        SetHandler(SIGINT, SIG_DFL);
        SetHandler(SIGTERM, SIG_DFL);
    }
};

TEST_F(Quit, SignalsBecomeOneQuitAtTheNextPump)
{
    EXPECT_TRUE(CurrentHandler(SIGINT) == &JEX_HandleSIG &&
                CurrentHandler(SIGTERM) == &JEX_HandleSIG);
    ASSERT_EQ(raise(SIGINT) + raise(SIGINT), 0);
    EXPECT_EQ(CountQueued(JEX_QUIT), 0) << "nothing is posted from the handler itself";
    JEX_PumpEvents();
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    JEX_FlushEvent(JEX_QUIT);
    // Quits disabled: nothing posts, and a signal that arrived is absorbed.
    JEX_EventState(JEX_QUIT, JEX_DISABLE);
    EXPECT_EQ(JEX_SendQuit(), 0);
    ASSERT_EQ(raise(SIGINT), 0);
    JEX_PumpEvents();
    JEX_EventState(JEX_QUIT, JEX_ENABLE);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 0);
    EXPECT_EQ(JEX_SendQuit(), 1);
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    // Stopping restores the default action, twice too; a start reinstalls.
    JEX_QuitQuit();
    JEX_QuitQuit();
    EXPECT_TRUE(CurrentHandler(SIGINT) == SIG_DFL && CurrentHandler(SIGTERM) == SIG_DFL);
    JEX_QuitInit();
    EXPECT_EQ(CurrentHandler(SIGINT), &JEX_HandleSIG);
}

TEST_F(Quit, WaitEventWakesForASignal)
{
    std::atomic<Uint32> type{0};
    std::thread waiter([&type] {
        JEX_Event event;
        if (JEX_WaitEventTimeout(&event, 5000) == 1)
            type = event.type;
    });
    JEX_Delay(30);
    ASSERT_EQ(kill(getpid(), SIGINT), 0);
    waiter.join();
    EXPECT_EQ(type.load(), static_cast<Uint32>(JEX_QUIT));
}

std::atomic<int> g_app_handler_calls{0};

TEST_F(Quit, ApplicationHandlersStayAndOneShotActionsDoNot)
{
    // An application's own handler is left alone, also when the source stops.
    JEX_QuitQuit();
    SetHandler(SIGINT, [](int) { ++g_app_handler_calls; });
    SetHandler(SIGTERM, SIG_DFL, SA_RESETHAND);
    JEX_QuitInit();
    EXPECT_NE(CurrentHandler(SIGINT), &JEX_HandleSIG);
    ASSERT_EQ(raise(SIGINT), 0);
    EXPECT_EQ(g_app_handler_calls.load(), 1);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 0);
    // A one-shot default action is not copied (it would end this process).
    int flags = 0;
    EXPECT_EQ(CurrentHandler(SIGTERM, &flags), &JEX_HandleSIG);
    EXPECT_EQ(flags & SA_RESETHAND, 0);
    ASSERT_EQ(raise(SIGTERM) + raise(SIGTERM), 0);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    const Handler app = CurrentHandler(SIGINT);
    JEX_QuitQuit();
    EXPECT_EQ(std::tuple(CurrentHandler(SIGINT), CurrentHandler(SIGTERM)),
              std::tuple(app, SIG_DFL));
}

TEST_F(Quit, SignalsLandingInsideQueueOperations)
{
    // Signals inside queue operations leave the ring intact; exactly one quit.
    constexpr int kThreads = 3;
    std::atomic<bool> stop{false};
    std::atomic<long> pushed{0}, taken{0};
    std::vector<std::thread> workers;
    std::vector<pthread_t> ids(kThreads);
    std::atomic<int> started{0};
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&, t] {
            ids[t] = pthread_self();
            ++started;
            JEX_Event e{}, out[4];
            e.type = JEX_USEREVENT + t;
            while (!stop.load()) {
                pushed += JEX_PushEvent(&e) == 1;
                taken += std::max(
                    0, JEX_PeepEvents(out, 4, JEX_GETEVENT, JEX_USEREVENT + t, JEX_USEREVENT + t));
            }
        });
    }
    while (started.load() < kThreads)
        std::this_thread::yield();
    for (int i = 0; i < 300; ++i) {
        pthread_kill(ids[i % kThreads], i % 2 ? SIGINT : SIGTERM);
        std::this_thread::yield();
    }
    JEX_Delay(50);
    stop = true;
    for (auto &w : workers)
        w.join();
    JEX_Event rest[JEX_MAXEVENTS];
    const int left =
        JEX_PeepEvents(rest, JEX_MAXEVENTS, JEX_PEEKEVENT, JEX_USEREVENT, JEX_LASTEVENT);
    EXPECT_EQ(pushed.load(), taken.load() + left);
    EXPECT_EQ(CountQueued(JEX_QUIT), 0);
    EXPECT_EQ(PumpForQuit(), 1);
}
}  // namespace
