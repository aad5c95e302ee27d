// Event queue: ring vs a model, switches, filter, watchers, waiting, user types.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <random>
#include <set>
#include <thread>
#include <tuple>
#include <vector>
#include "JEX_error.h"
#include "JEX_events.h"
#include "JEX_timer.h"
#include "events/events_internal.h"

namespace {

JEX_Event User(Uint32 type, Sint32 code)
{
    JEX_Event event;
    memset(&event, 0, sizeof(event));
    event.user.type = type;
    event.user.code = code;
    return event;
}

int Push(Sint32 code, Uint32 type = JEX_USEREVENT)
{
    JEX_Event event = User(type, code);
    return JEX_PushEvent(&event);
}

int QueuedCount()
{
    JEX_Event events[JEX_MAXEVENTS];
    return JEX_PeepEvents(events, JEX_MAXEVENTS, JEX_PEEKEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT);
}

std::vector<Sint32> DrainCodes()
{
    std::vector<Sint32> codes;
    JEX_Event event;
    while (JEX_PeepEvents(&event, 1, JEX_GETEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT) == 1)
        codes.push_back(event.user.code);
    return codes;
}

class EventQueue : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(JEX_StartEventLoop(), 0); }
    void TearDown() override
    {
        JEX_SetPlatformPumpHook(nullptr);
        JEX_SetJoystickHooks(nullptr, nullptr, nullptr);
        JEX_SetGestureHook(nullptr);
        JEX_StopEventLoop();
        JEX_SetEventFilter(nullptr, nullptr);
    }
};

// Random operations against a plain list: wraps at every offset, fills, holes.
Uint32 g_model_reject_code = 0;
int RejectCodeMultiple(void *, JEX_Event *event)
{
    return event->user.code % static_cast<Sint32>(g_model_reject_code) != 0;
}

TEST_F(EventQueue, RingMatchesModelUnderRandomOperations)
{
    std::mt19937 rng(12345);
    std::deque<JEX_Event> model;
    Sint32 next_code = 1;
    auto type_of = [&](int k) { return static_cast<Uint32>(JEX_USEREVENT + k); };
    JEX_Event none[1];
    EXPECT_EQ(JEX_PeepEvents(none, -4, JEX_GETEVENT, 0, 0xFFFF), 0);
    for (int round = 0; round < 20000; ++round) {
        const int op = rng() % 10;
        const Uint32 lo = type_of(rng() % 6);
        const Uint32 hi = lo + rng() % 3;
        if (op < 4) {
            const int n = 1 + rng() % 5;
            std::vector<JEX_Event> batch;
            for (int i = 0; i < n; ++i)
                batch.push_back(User(type_of(rng() % 6), next_code++));
            const int fit = std::min<int>(n, 127 - static_cast<int>(model.size()));
            ASSERT_EQ(JEX_PeepEvents(batch.data(), n, JEX_ADDEVENT, 0, 0), fit);
            model.insert(model.end(), batch.begin(), batch.begin() + fit);
        } else if (op < 8) {
            const bool get = op >= 6;
            const int want = rng() % 8;
            JEX_Event out[8];
            const auto in_range = [&](const JEX_Event &e) { return e.type >= lo && e.type <= hi; };
            ASSERT_EQ(JEX_HasEvents(lo, hi), std::any_of(model.begin(), model.end(), in_range));
            ASSERT_EQ(JEX_HasEvent(lo),
                      std::any_of(model.begin(), model.end(),
                                  [&](const JEX_Event &e) { return e.type == lo; }));
            std::vector<Sint32> expect;
            for (auto it = model.begin();
                 it != model.end() && static_cast<int>(expect.size()) < want;) {
                if (it->type >= lo && it->type <= hi) {
                    expect.push_back(it->user.code);
                    if (get) {
                        it = model.erase(it);
                        continue;
                    }
                }
                ++it;
            }
            const int got = JEX_PeepEvents(out, want, get ? JEX_GETEVENT : JEX_PEEKEVENT, lo, hi);
            ASSERT_EQ(got, static_cast<int>(expect.size())) << "round " << round;
            for (int i = 0; i < got; ++i)
                ASSERT_EQ(out[i].user.code, expect[i]) << "round " << round;
        } else if (op == 8) {
            JEX_FlushEvents(lo, hi);
            std::erase_if(model, [&](const JEX_Event &e) { return e.type >= lo && e.type <= hi; });
        } else {
            g_model_reject_code = 2 + rng() % 5;
            JEX_FilterEvents(RejectCodeMultiple, nullptr);
            std::erase_if(model, [&](const JEX_Event &e) {
                return e.user.code % static_cast<Sint32>(g_model_reject_code) == 0;
            });
        }
        JEX_Event all[JEX_MAXEVENTS];
        const int n =
            JEX_PeepEvents(all, JEX_MAXEVENTS, JEX_PEEKEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT);
        ASSERT_EQ(n, static_cast<int>(model.size())) << "round " << round;
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(all[i].user.code, model[i].user.code) << "round " << round << " index " << i;
    }
}

TEST_F(EventQueue, PerTypeSwitchesAndRestarts)
{
    for (Uint32 t = 0; t <= 0xFFFF; ++t) {
        ASSERT_EQ(JEX_EventState(t, JEX_QUERY), t == JEX_SYSWMEVENT ? JEX_DISABLE : JEX_ENABLE)
            << t;
    }
    EXPECT_TRUE(!JEX_EventFamilyTouched(JEX_KEYDOWN >> 8) &&
                JEX_EventFamilyTouched(JEX_SYSWMEVENT >> 8));
    JEX_Event in[] = {User(JEX_KEYDOWN, 0), User(JEX_KEYUP, 1), User(JEX_KEYDOWN, 2),
                      User(JEX_MOUSEMOTION, 3)};
    ASSERT_EQ(JEX_PeepEvents(in, 4, JEX_ADDEVENT, 0, 0), 4);
    // Each call answers the state before it; disabling drops what is queued.
    std::vector<int> states;
    for (int change :
         {JEX_DISABLE, JEX_DISABLE, 5, JEX_QUERY, JEX_ENABLE, JEX_ENABLE, JEX_DISABLE}) {
        states.push_back(JEX_EventState(JEX_KEYDOWN, change));
    }
    EXPECT_EQ(states, (std::vector<int>{JEX_ENABLE, JEX_DISABLE, JEX_DISABLE, JEX_DISABLE,
                                        JEX_DISABLE, JEX_ENABLE, JEX_ENABLE}));
    EXPECT_TRUE(JEX_EventFamilyTouched(JEX_KEYDOWN >> 8));
    // Neighbours in the bit words are untouched.
    for (Uint32 t : {Uint32(JEX_KEYUP), Uint32(JEX_KEYDOWN + 32), Uint32(JEX_KEYDOWN + 0x100)})
        EXPECT_EQ(JEX_EventState(t, JEX_QUERY), JEX_ENABLE) << t;
    EXPECT_EQ(DrainCodes(), (std::vector<Sint32>{1, 3}));
    EXPECT_TRUE(JEX_EventState(JEX_LASTEVENT, JEX_DISABLE) == JEX_ENABLE &&
                JEX_EventState(JEX_LASTEVENT, JEX_QUERY) == JEX_DISABLE);
    // A stopped queue refuses everything.
    JEX_Event e = User(JEX_USEREVENT, 1);
    ASSERT_EQ(JEX_PushEvent(&e), 1);
    JEX_StopEventLoop();
    JEX_ClearError();
    EXPECT_EQ(JEX_PollEvent(&e), 0);
    EXPECT_STREQ(JEX_GetError(), "Couldn't lock event queue");
    EXPECT_EQ(JEX_PushEvent(&e) + JEX_PeepEvents(&e, 1, JEX_PEEKEVENT, 0, 0xFFFF), -2);
    JEX_FlushEvents(0, 0xFFFF);
    EXPECT_EQ(JEX_EventState(JEX_SYSWMEVENT, JEX_QUERY), JEX_ENABLE);
    // A restart begins empty, with everything but platform messages enabled.
    ASSERT_EQ(JEX_StartEventLoop(), 0);
    EXPECT_EQ(JEX_PollEvent(nullptr), 0);
    EXPECT_TRUE(JEX_EventState(JEX_LASTEVENT, JEX_QUERY) == JEX_ENABLE &&
                JEX_EventState(JEX_SYSWMEVENT, JEX_QUERY) == JEX_DISABLE &&
                !JEX_EventFamilyTouched(JEX_KEYDOWN >> 8));
}

// Callbacks log "name:code" into the vector they are given.
using Calls = std::vector<std::string>;

template <char Name, int Verdict = 1>
int Logger(void *userdata, JEX_Event *event)
{
    static_cast<Calls *>(userdata)->push_back(Name + (":" + std::to_string(event->user.code)));
    return Verdict;
}

int SelfRemovingWatch(void *, JEX_Event *event)
{
    JEX_DelEventWatch(SelfRemovingWatch, nullptr);
    Push(event->user.code + 1, JEX_USEREVENT + 1);
    return 1;
}

TEST_F(EventQueue, FilterAndWatchers)
{
    Calls log;
    JEX_AddEventWatch(Logger<'a'>, &log);
    JEX_AddEventWatch(Logger<'b'>, &log);
    JEX_AddEventWatch(Logger<'a'>, &log);
    JEX_DelEventWatch(Logger<'a'>, &log);  // one matching pair goes
    JEX_DelEventWatch(Logger<'c'>, &log);  // no match: ignored
    JEX_AddEventWatch(nullptr, &log);      // refused; posting must not crash
    JEX_SetEventFilter(Logger<'f'>, &log);
    JEX_EventFilter filter = nullptr;
    void *userdata = nullptr;
    EXPECT_TRUE(JEX_GetEventFilter(&filter, &userdata));
    EXPECT_TRUE(filter == &Logger<'f'> && userdata == &log);
    JEX_Event e = User(JEX_USEREVENT, 7);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_EQ(log, (Calls{"f:7", "b:7", "a:7"})) << "the filter, then watchers newest first";
    // A dropping filter stops the event first; a new filter clears the queue.
    log.clear();
    JEX_SetEventFilter(Logger<'f', 0>, &log);
    EXPECT_EQ(QueuedCount(), 0);
    e.user.code = 8;
    EXPECT_EQ(JEX_PushEvent(&e), 0);
    EXPECT_EQ(log, (Calls{"f:8"}));
    JEX_SetEventFilter(nullptr, &log);
    EXPECT_FALSE(JEX_GetEventFilter(&filter, &userdata));
    EXPECT_EQ(userdata, &log);
    // Watchers run, their verdicts ignored, even when the event does not fit.
    JEX_AddEventWatch(Logger<'z', 0>, &log);
    for (int i = 0; i < 127; ++i) {
        JEX_Event fill = User(JEX_USEREVENT, i);
        ASSERT_EQ(JEX_PeepEvents(&fill, 1, JEX_ADDEVENT, 0, 0), 1);
    }
    log.clear();
    e.user.code = 9;
    EXPECT_EQ(JEX_PushEvent(&e), -1);
    EXPECT_EQ(log, (Calls{"z:9", "b:9", "a:9"}));
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    log.clear();
    // A restart clears the filter and the watchers but keeps the userdata.
    JEX_SetEventFilter(Logger<'f'>, &log);
    ASSERT_EQ(JEX_StartEventLoop(), 0);
    EXPECT_FALSE(JEX_GetEventFilter(&filter, &userdata));
    EXPECT_TRUE(filter == nullptr && userdata == &log);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_TRUE(log.empty());
    // A watcher may remove itself and post from its call; that post lands first.
    JEX_AddEventWatch(SelfRemovingWatch, nullptr);
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    e.user.code = 10;
    EXPECT_EQ(JEX_PushEvent(&e) + JEX_PushEvent(&e), 2);
    EXPECT_EQ(DrainCodes(), (std::vector<Sint32>{11, 10, 10}));
}

// A filter that takes events out of the queue, one ahead of the scan, one behind.
std::vector<Sint32> g_meddler_seen;
int Meddler(void *, JEX_Event *event)
{
    const Sint32 code = event->user.code;
    g_meddler_seen.push_back(code);
    if (code == 0) {
        JEX_Event taken;
        EXPECT_EQ(JEX_PeepEvents(&taken, 1, JEX_GETEVENT, JEX_USEREVENT + 2, JEX_USEREVENT + 2), 1);
        EXPECT_EQ(taken.user.code, 3);
        EXPECT_EQ(Push(100), 1);
    } else if (code == 6) {
        JEX_FlushEvent(JEX_USEREVENT + 3);
    }
    return code != 4;
}

TEST_F(EventQueue, FilterEventsRemovesRejectedInPlaceAndSurvivesItsCallback)
{
    // Plain rejection is checked against the model above.
    JEX_FilterEvents(nullptr, nullptr);
    for (int i = 0; i < 10; ++i) {
        const Uint32 type = i == 3 || i == 7 ? JEX_USEREVENT + 2
                            : i == 5         ? JEX_USEREVENT + 3
                                             : JEX_USEREVENT;
        ASSERT_EQ(Push(i, type), 1);
    }
    JEX_FilterEvents(Meddler, nullptr);
    // Every event still queued when the scan reached it was judged once.
    EXPECT_EQ(g_meddler_seen, (std::vector<Sint32>{0, 1, 2, 4, 5, 6, 7, 8, 9, 100}));
    EXPECT_EQ(DrainCodes(), (std::vector<Sint32>{0, 1, 2, 6, 7, 8, 9, 100}));
    // Ring sound afterwards: all 127 slots usable.
    for (int i = 0; i < 127; ++i)
        ASSERT_EQ(Push(i), 1);
    EXPECT_EQ(Push(0), -1);
}

struct HookState {
    std::atomic<int> pumps{0}, joysticks{0}, joystick_state{JEX_ENABLE}, joystick_updates{0};
    std::vector<Sint32> gestures;
};

HookState g_hooks;

TEST_F(EventQueue, PollWaitAndTheHooks)
{
    JEX_Event e = User(JEX_USEREVENT, 5), out;
    ASSERT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_EQ(JEX_PollEvent(nullptr) + JEX_PollEvent(nullptr), 2) << "a null record only reports";
    EXPECT_TRUE(JEX_PollEvent(&out) == 1 && out.user.code == 5 && JEX_PollEvent(&out) == 0);
    EXPECT_EQ(JEX_WaitEventTimeout(&out, 25), 0);
    // Events posted by another thread end a wait.
    std::thread producer([] {
        for (Sint32 code : {6, 7}) {
            JEX_Delay(30);
            Push(code);
        }
    });
    EXPECT_TRUE(JEX_WaitEventTimeout(&out, 5000) == 1 && out.user.code == 6);
    EXPECT_TRUE(JEX_WaitEvent(&out) == 1 && out.user.code == 7);
    producer.join();
    // The platform pump hook, the joystick hooks, the gesture hook.
    JEX_SetPlatformPumpHook([] {
        ++g_hooks.pumps;
        Push(77);
    });
    ASSERT_EQ(JEX_PollEvent(&out), 1);
    EXPECT_EQ(std::tuple(out.user.code, g_hooks.pumps.load()), std::tuple(77, 1));
    JEX_SetPlatformPumpHook(nullptr);
    JEX_SetJoystickHooks([] { return g_hooks.joysticks.load(); },
                         [](int) { return g_hooks.joystick_state.load(); },
                         [] { ++g_hooks.joystick_updates; });
    JEX_PumpEvents();  // no joystick: no update
    g_hooks.joysticks = 1;
    JEX_PumpEvents();
    // Once a joystick type was disabled, the joystick core's answer counts.
    JEX_EventState(JEX_JOYBALLMOTION, JEX_DISABLE);
    g_hooks.joystick_state = JEX_DISABLE;
    JEX_PumpEvents();
    g_hooks.joystick_state = JEX_ENABLE;
    JEX_PumpEvents();
    EXPECT_EQ(g_hooks.joystick_updates.load(), 2);
    // Gesture recognition sees queued events only.
    JEX_SetGestureHook([](JEX_Event *event) { g_hooks.gestures.push_back(event->user.code); });
    JEX_SetEventFilter([](void *, JEX_Event *event) { return int(event->user.code >= 0); },
                       nullptr);
    for (int code = -1; code < 130; ++code)
        Push(code);
    ASSERT_EQ(g_hooks.gestures.size(), 127u);
    EXPECT_EQ(std::tuple(g_hooks.gestures[0], g_hooks.gestures.back()), std::tuple(0, 126));
}

TEST_F(EventQueue, PlatformMessagesAreCopiedAndSurviveWhileQueued)
{
    unsigned char msg[JEX_SYSWM_MSG_SIZE];
    auto *as_msg = reinterpret_cast<JEX_SysWMmsg *>(msg);
    memset(msg, 0xA0, sizeof(msg));
    EXPECT_EQ(JEX_SendSysWMEvent(as_msg), 0) << "disabled by the start";
    JEX_EventState(JEX_SYSWMEVENT, JEX_ENABLE);
    ASSERT_EQ(JEX_SendSysWMEvent(as_msg), 1);
    // Many later messages pass through the queue while the first waits.
    for (int i = 0; i < 300; ++i) {
        memset(msg, i & 0x7F, sizeof(msg));
        ASSERT_EQ(JEX_SendSysWMEvent(as_msg), 1);
        JEX_FilterEvents(
            [](void *, JEX_Event *event) {
                return int(reinterpret_cast<unsigned char *>(event->syswm.msg)[0] == 0xA0);
            },
            nullptr);
        ASSERT_EQ(QueuedCount(), 1);
    }
    JEX_Event out;
    ASSERT_EQ(JEX_PollEvent(&out), 1);
    ASSERT_EQ(out.type, static_cast<Uint32>(JEX_SYSWMEVENT));
    const auto *copy = reinterpret_cast<const unsigned char *>(out.syswm.msg);
    ASSERT_NE(copy, msg);
    EXPECT_EQ(std::count(copy, copy + JEX_SYSWM_MSG_SIZE, 0xA0), JEX_SYSWM_MSG_SIZE);
    // A record without a message is queued without one.
    ASSERT_EQ(JEX_SendSysWMEvent(nullptr), 1);
    EXPECT_TRUE(JEX_PollEvent(&out) == 1 && out.syswm.msg == nullptr);
    EXPECT_EQ(JEX_SendClipboardUpdate(), 1);
    EXPECT_TRUE(JEX_PollEvent(&out) == 1 && out.type == JEX_CLIPBOARDUPDATE);
    JEX_EventState(JEX_CLIPBOARDUPDATE, JEX_DISABLE);
    EXPECT_EQ(JEX_SendClipboardUpdate(), 0);
}

TEST(EventRegistration, HandsOutEachCodeOnceUpToTheLimit)
{
    // The counter is process-wide and never reset, so this can run once.
    static bool ran = false;
    if (ran)
        GTEST_SKIP() << "user type codes are already used up in this process";
    ran = true;
    for (int refused : {0x8000, 0, -3})
        EXPECT_EQ(JEX_RegisterEvents(refused), 0xFFFFFFFFu) << refused;
    EXPECT_EQ(JEX_RegisterEvents(2), 0x8000u);
    // Threads compete for the rest in blocks of 1 and 3.
    std::vector<std::vector<Uint32>> got(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &got] {
            const int n = t % 2 ? 3 : 1;
            for (Uint32 first; (first = JEX_RegisterEvents(n)) != 0xFFFFFFFFu;)
                for (int i = 0; i < n; ++i)
                    got[t].push_back(first + i);
        });
    }
    for (auto &thread : threads)
        thread.join();
    std::set<Uint32> codes = {0x8000, 0x8001};
    for (const auto &list : got) {
        for (Uint32 code : list) {
            ASSERT_TRUE(codes.insert(code).second) << "code handed out twice: " << code;
            ASSERT_LE(code, 0xFFFEu);
        }
    }
    // Single-code requests run the counter up to the last code.
    EXPECT_EQ(codes.size(), 0x7FFFu);
    EXPECT_EQ(*codes.rbegin(), 0xFFFEu);
    EXPECT_EQ(JEX_RegisterEvents(1), 0xFFFFFFFFu);
}

// --- Threads ------------------------------------------------------------
TEST_F(EventQueue, FourProducersOneConsumerLoseNothing)
{
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 100000;
    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([p] {
            for (int i = 0; i < kPerProducer; ++i) {
                JEX_Event e = User(JEX_USEREVENT + p, i);
                while (JEX_PushEvent(&e) != 1)
                    std::this_thread::yield();  // full: the consumer catches up
            }
        });
    }
    std::vector<int> next(kProducers, 0);
    int received = 0;
    bool in_order = true;
    JEX_Event batch[16];
    while (received < kProducers * kPerProducer) {
        const int n = JEX_PeepEvents(batch, 16, JEX_GETEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT);
        ASSERT_GE(n, 0);
        if (n == 0)
            std::this_thread::yield();
        for (int i = 0; i < n; ++i) {
            const int p = static_cast<int>(batch[i].type - JEX_USEREVENT);
            ASSERT_TRUE(p >= 0 && p < kProducers) << p;
            in_order = in_order && batch[i].user.code == next[p];
            ++next[p];
        }
        received += n;
    }
    for (auto &t : producers)
        t.join();
    EXPECT_TRUE(in_order);
    for (int p = 0; p < kProducers; ++p)
        EXPECT_EQ(next[p], kPerProducer);
    EXPECT_EQ(QueuedCount(), 0);
}

// Watcher userdata freed right after removal: a late call is a use after free.
struct Counter {
    std::atomic<long> calls{0};
};
int CountingWatch(void *userdata, JEX_Event *)
{
    static_cast<Counter *>(userdata)->calls.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

// A filter that must only ever be called with the userdata it was set with.
std::atomic<long> g_torn_pairs{0};
template <int Id>
int TagFilter(void *userdata, JEX_Event *)
{
    g_torn_pairs += *static_cast<int *>(userdata) != Id;
    return 1;
}

TEST_F(EventQueue, WatchersAndFilterChangeWhileThreadsPost)
{
    std::atomic<bool> stop{false};
    std::atomic<long> posted{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < 3; ++p) {
        threads.emplace_back([&stop, &posted, p] {
            JEX_Event e = User(JEX_USEREVENT + p, 0), drain[8];
            for (; !stop.load(); ++posted) {
                JEX_PushEvent(&e);
                JEX_PeepEvents(drain, 8, JEX_GETEVENT, JEX_USEREVENT + p, JEX_USEREVENT + p);
            }
        });
    }
    Counter steady;  // the list is never empty
    JEX_AddEventWatch(CountingWatch, &steady);
    threads.emplace_back([&stop] {
        static int one = 1, two = 2;
        for (int round = 0; !stop.load(); ++round) {
            JEX_SetEventFilter(round & 1 ? TagFilter<1> : TagFilter<2>, round & 1 ? &one : &two);
            auto *local = new Counter;
            JEX_SetEventFilter(CountingWatch, local);
            JEX_SetEventFilter(nullptr, nullptr);
            delete local;
        }
    });
    for (int round = 0; round < 3000; ++round) {
        auto *a = new Counter, *b = new Counter;
        JEX_AddEventWatch(CountingWatch, a);
        JEX_AddEventWatch(CountingWatch, b);
        std::this_thread::yield();
        JEX_DelEventWatch(CountingWatch, a);
        delete a;
        JEX_DelEventWatch(CountingWatch, b);
        delete b;
    }
    stop.store(true);
    for (auto &t : threads)
        t.join();
    JEX_DelEventWatch(CountingWatch, &steady);
    EXPECT_EQ(g_torn_pairs.load(), 0);
    EXPECT_TRUE(posted.load() > 0 && steady.calls.load() > 0);
}

TEST_F(EventQueue, StopWhileThreadsPost)
{
    // Posting threads that outlive the queue see refusals, not a destroyed lock.
    std::atomic<bool> stop{false};
    std::atomic<long> refused{0};
    std::atomic<int> started{0};
    Counter watched;
    JEX_AddEventWatch(CountingWatch, &watched);
    std::vector<std::thread> posters;
    for (int p = 0; p < 2; ++p) {
        posters.emplace_back([&] {
            JEX_Event e = User(JEX_USEREVENT, 0);
            JEX_Event out;
            for (bool first = true; !stop.load(); first = false) {
                if (JEX_PushEvent(&e) < 0)
                    ++refused;
                JEX_PeepEvents(&out, 1, JEX_GETEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT);
                started += first;
            }
        });
    }
    // On a quiet machine the restarts could otherwise end before a poster runs.
    while (started.load() < 2)
        std::this_thread::yield();
    for (int i = 0; i < 50; ++i) {
        JEX_StopEventLoop();
        std::this_thread::yield();
        ASSERT_EQ(JEX_StartEventLoop(), 0);
    }
    stop.store(true);
    for (auto &t : posters)
        t.join();
    EXPECT_GT(refused.load() + watched.calls.load(), 0);
    // The ring is still sound after the restarts.
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
    JEX_Event out;
    ASSERT_EQ(Push(42), 1);
    EXPECT_TRUE(JEX_PollEvent(&out) == 1 && out.user.code == 42 && JEX_PollEvent(&out) == 0);
}
}  // namespace
