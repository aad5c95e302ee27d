// Quit requests: real SIGINT and SIGTERM become one JEX_QUIT at the next
// pump, handlers come and go with the quit source, and a handler the
// application installed first is left alone.
#include <gtest/gtest.h>

#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "JEX_events.h"
#include "JEX_timer.h"
#include "events/events_internal.h"

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

int CountQueued(Uint32 type)
{
    JEX_Event events[JEX_MAXEVENTS];
    return JEX_PeepEvents(events, JEX_MAXEVENTS, JEX_PEEKEVENT, type, type);
}

// Pumps until a quit arrives or two seconds pass (a signal sent with kill
// may reach the process a little later); returns the number queued.
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
    EXPECT_EQ(CurrentHandler(SIGINT), &JEX_HandleSIG);
    EXPECT_EQ(CurrentHandler(SIGTERM), &JEX_HandleSIG);
    ASSERT_EQ(raise(SIGINT), 0);
    ASSERT_EQ(raise(SIGINT), 0);
    EXPECT_EQ(CountQueued(JEX_QUIT), 0) << "nothing is posted from the handler itself";
    JEX_PumpEvents();
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    JEX_FlushEvent(JEX_QUIT);
    ASSERT_EQ(kill(getpid(), SIGTERM), 0);
    EXPECT_EQ(PumpForQuit(), 1);
    JEX_FlushEvent(JEX_QUIT);
    // With quits disabled neither requests nor signals post, and a signal
    // that arrived meanwhile is absorbed.
    JEX_EventState(JEX_QUIT, JEX_DISABLE);
    EXPECT_EQ(JEX_SendQuit(), 0);
    ASSERT_EQ(raise(SIGINT), 0);
    JEX_PumpEvents();
    JEX_EventState(JEX_QUIT, JEX_ENABLE);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 0);
    EXPECT_EQ(JEX_SendQuit(), 1);
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    // Stopping restores the default action, also twice; a start installs
    // the handler again.
    JEX_QuitQuit();
    JEX_QuitQuit();
    EXPECT_EQ(CurrentHandler(SIGINT), SIG_DFL);
    EXPECT_EQ(CurrentHandler(SIGTERM), SIG_DFL);
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
    // A handler the application installed first is left alone, also when
    // the quit source stops.
    JEX_QuitQuit();
    SetHandler(SIGINT, [](int) { ++g_app_handler_calls; });
    SetHandler(SIGTERM, SIG_DFL, SA_RESETHAND);
    JEX_QuitInit();
    EXPECT_NE(CurrentHandler(SIGINT), &JEX_HandleSIG);
    ASSERT_EQ(raise(SIGINT), 0);
    EXPECT_EQ(g_app_handler_calls.load(), 1);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 0);
    // A one-shot default action is not copied: with it the second signal
    // would end this process.
    int flags = 0;
    EXPECT_EQ(CurrentHandler(SIGTERM, &flags), &JEX_HandleSIG);
    EXPECT_EQ(flags & SA_RESETHAND, 0);
    ASSERT_EQ(raise(SIGTERM), 0);
    ASSERT_EQ(raise(SIGTERM), 0);
    JEX_PumpEvents();
    EXPECT_EQ(CountQueued(JEX_QUIT), 1);
    const Handler app = CurrentHandler(SIGINT);
    JEX_QuitQuit();
    EXPECT_EQ(std::tuple(CurrentHandler(SIGINT), CurrentHandler(SIGTERM)),
              std::tuple(app, SIG_DFL));
}

TEST_F(Quit, SignalsLandingInsideQueueOperations)
{
    // Signals aimed at threads that are inside queue operations must leave
    // the ring intact and still produce exactly one quit.
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
            JEX_Event e;
            memset(&e, 0, sizeof(e));
            e.type = JEX_USEREVENT + t;
            JEX_Event out[4];
            while (!stop.load()) {
                if (JEX_PushEvent(&e) == 1)
                    ++pushed;
                const int n =
                    JEX_PeepEvents(out, 4, JEX_GETEVENT, JEX_USEREVENT + t, JEX_USEREVENT + t);
                if (n > 0)
                    taken += n;
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
