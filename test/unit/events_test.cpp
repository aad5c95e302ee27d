// The event queue: ring capacity and order, peeking and removal by type
// range against a model, switches, filter and watchers (also while other
// threads post), waiting, user types and platform messages.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <random>
#include <set>
#include <thread>
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

TEST_F(EventQueue, CountsAndPresenceQueries)
{
    // Ranges, order and capacity are checked against the model below.
    const Uint32 a = JEX_USEREVENT, b = JEX_USEREVENT + 1;
    JEX_Event in[] = {User(a, 0), User(a, 2)};
    ASSERT_EQ(JEX_PeepEvents(in, 2, JEX_ADDEVENT, 0, 0), 2);
    JEX_Event out[2];
    EXPECT_EQ(JEX_PeepEvents(out, 0, JEX_GETEVENT, a, b), 0);
    EXPECT_EQ(JEX_PeepEvents(out, -4, JEX_GETEVENT, a, b), 0);
    EXPECT_TRUE(JEX_HasEvent(a) && !JEX_HasEvent(b));
    EXPECT_TRUE(JEX_HasEvents(JEX_FIRSTEVENT, a));
    EXPECT_FALSE(JEX_HasEvents(JEX_QUIT, JEX_CLIPBOARDUPDATE));
    EXPECT_EQ(QueuedCount(), 2);
}

// Random adds, peeks, gets, flushes and filters against a plain list: the
// ring wraps at every offset, is filled to its 127 events, and loses events
// in the middle, at the head and at the tail.
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

TEST_F(EventQueue, StoppedQueueRefuses)
{
    JEX_Event e = User(JEX_USEREVENT, 1);
    ASSERT_EQ(JEX_PushEvent(&e), 1);
    JEX_StopEventLoop();
    JEX_ClearError();
    EXPECT_EQ(JEX_PollEvent(&e), 0);
    EXPECT_STREQ(JEX_GetError(), "Couldn't lock event queue");
    EXPECT_EQ(JEX_PushEvent(&e), -1);
    EXPECT_EQ(JEX_PeepEvents(&e, 1, JEX_PEEKEVENT, 0, 0xFFFF), -1);
    JEX_FlushEvents(0, 0xFFFF);

    // A restart begins empty.
    ASSERT_EQ(JEX_StartEventLoop(), 0);
    EXPECT_EQ(QueuedCount(), 0);
    EXPECT_EQ(JEX_PollEvent(nullptr), 0);
}

TEST_F(EventQueue, PerTypeSwitches)
{
    for (Uint32 t = 0; t <= 0xFFFF; ++t) {
        ASSERT_EQ(JEX_EventState(t, JEX_QUERY), t == JEX_SYSWMEVENT ? JEX_DISABLE : JEX_ENABLE)
            << t;
    }
    EXPECT_FALSE(JEX_EventFamilyTouched(JEX_KEYDOWN >> 8));
    EXPECT_TRUE(JEX_EventFamilyTouched(JEX_SYSWMEVENT >> 8));

    JEX_Event in[] = {User(JEX_KEYDOWN, 0), User(JEX_KEYUP, 1), User(JEX_KEYDOWN, 2),
                      User(JEX_MOUSEMOTION, 3)};
    ASSERT_EQ(JEX_PeepEvents(in, 4, JEX_ADDEVENT, 0, 0), 4);
    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN, JEX_DISABLE), JEX_ENABLE);
    EXPECT_TRUE(JEX_EventFamilyTouched(JEX_KEYDOWN >> 8));
    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN, JEX_DISABLE), JEX_DISABLE);
    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN, 5), JEX_DISABLE);
    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN, JEX_QUERY), JEX_DISABLE);
    EXPECT_EQ(JEX_EventState(JEX_KEYUP, JEX_QUERY), JEX_ENABLE);
    // Neighbours in the bit words are untouched.
    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN + 32, JEX_QUERY), JEX_ENABLE);
    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN + 0x100, JEX_QUERY), JEX_ENABLE);
    EXPECT_EQ(DrainCodes(), (std::vector<Sint32>{1, 3}));

    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN, JEX_ENABLE), JEX_DISABLE);
    EXPECT_EQ(JEX_EventState(JEX_KEYDOWN, JEX_ENABLE), JEX_ENABLE);
    EXPECT_EQ(JEX_EventState(JEX_LASTEVENT, JEX_DISABLE), JEX_ENABLE);
    EXPECT_EQ(JEX_EventState(JEX_LASTEVENT, JEX_QUERY), JEX_DISABLE);

    // A restart enables everything but platform messages again.
    JEX_StopEventLoop();
    EXPECT_EQ(JEX_EventState(JEX_SYSWMEVENT, JEX_QUERY), JEX_ENABLE);
    ASSERT_EQ(JEX_StartEventLoop(), 0);
    EXPECT_EQ(JEX_EventState(JEX_LASTEVENT, JEX_QUERY), JEX_ENABLE);
    EXPECT_EQ(JEX_EventState(JEX_SYSWMEVENT, JEX_QUERY), JEX_DISABLE);
    EXPECT_FALSE(JEX_EventFamilyTouched(JEX_KEYDOWN >> 8));
}

struct CallLog {
    std::vector<std::string> calls;
    int verdict = 1;
};

int LogAs(const char *name, void *userdata, JEX_Event *event)
{
    auto *log = static_cast<CallLog *>(userdata);
    log->calls.push_back(std::string(name) + ":" + std::to_string(event->user.code));
    return log->verdict;
}
int FilterFn(void *u, JEX_Event *e)
{
    return LogAs("filter", u, e);
}
int WatchA(void *u, JEX_Event *e)
{
    return LogAs("a", u, e);
}
int WatchB(void *u, JEX_Event *e)
{
    return LogAs("b", u, e);
}

TEST_F(EventQueue, FilterRunsBeforeWatchersCanDropAndGoesWithRestart)
{
    CallLog log;
    JEX_AddEventWatch(WatchA, &log);
    JEX_AddEventWatch(WatchB, &log);
    JEX_SetEventFilter(FilterFn, &log);

    JEX_EventFilter filter = nullptr;
    void *userdata = nullptr;
    EXPECT_TRUE(JEX_GetEventFilter(&filter, &userdata));
    EXPECT_EQ(filter, &FilterFn);
    EXPECT_EQ(userdata, &log);

    JEX_Event e = User(JEX_USEREVENT, 7);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    // Watchers newest first.
    EXPECT_EQ(log.calls, (std::vector<std::string>{"filter:7", "b:7", "a:7"}));

    log.calls.clear();
    log.verdict = 0;  // the filter drops; watchers' verdicts are ignored
    e.user.code = 8;
    EXPECT_EQ(JEX_PushEvent(&e), 0);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"filter:8"}));
    EXPECT_EQ(QueuedCount(), 1);

    // Installing a filter discards what is pending.
    JEX_SetEventFilter(nullptr, &log);
    EXPECT_EQ(QueuedCount(), 0);
    EXPECT_FALSE(JEX_GetEventFilter(&filter, &userdata));
    EXPECT_EQ(userdata, &log);

    // Watchers still run when the event then does not fit.
    for (int i = 0; i < 127; ++i) {
        JEX_Event fill = User(JEX_USEREVENT, i);
        ASSERT_EQ(JEX_PeepEvents(&fill, 1, JEX_ADDEVENT, 0, 0), 1);
    }
    log.calls.clear();
    e.user.code = 9;
    EXPECT_EQ(JEX_PushEvent(&e), -1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"b:9", "a:9"}));

    // A restart clears the filter and the watchers but keeps the userdata.
    log.calls.clear();
    JEX_SetEventFilter(FilterFn, &log);
    JEX_AddEventWatch(WatchA, &log);
    ASSERT_EQ(JEX_StartEventLoop(), 0);
    filter = FilterFn;
    userdata = nullptr;
    EXPECT_FALSE(JEX_GetEventFilter(&filter, &userdata));
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(userdata, &log);
    e.user.code = 1;
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_TRUE(log.calls.empty());  // the watcher went with the restart
}

TEST_F(EventQueue, DelEventWatchRemovesOneMatchingPair)
{
    CallLog log, other;
    JEX_AddEventWatch(WatchA, &log);
    JEX_AddEventWatch(WatchA, &log);
    JEX_AddEventWatch(WatchA, &other);
    JEX_DelEventWatch(WatchA, &log);
    JEX_DelEventWatch(WatchB, &log);   // no match: ignored
    JEX_AddEventWatch(nullptr, &log);  // refused; posting must not crash
    JEX_Event e = User(JEX_USEREVENT, 3);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_EQ(log.calls, (std::vector<std::string>{"a:3"}));
    EXPECT_EQ(other.calls, (std::vector<std::string>{"a:3"}));
    JEX_DelEventWatch(WatchA, &log);
    JEX_DelEventWatch(WatchA, &other);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_EQ(log.calls.size(), 1u);
    EXPECT_EQ(other.calls.size(), 1u);
}

// A watcher that removes itself and posts from inside its own call.
int g_self_removing_calls = 0;
int SelfRemovingWatch(void *, JEX_Event *event)
{
    ++g_self_removing_calls;
    JEX_DelEventWatch(SelfRemovingWatch, nullptr);
    JEX_Event nested = User(JEX_USEREVENT + 1, event->user.code + 1);
    JEX_PushEvent(&nested);
    return 1;
}

TEST_F(EventQueue, WatcherMayRemoveItselfAndPost)
{
    g_self_removing_calls = 0;
    JEX_AddEventWatch(SelfRemovingWatch, nullptr);
    JEX_Event e = User(JEX_USEREVENT, 10);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_EQ(JEX_PushEvent(&e), 1);
    EXPECT_EQ(g_self_removing_calls, 1);
    // The nested post lands before the outer one.
    EXPECT_EQ(DrainCodes(), (std::vector<Sint32>{11, 10, 10}));
}

int KeepOdd(void *userdata, JEX_Event *event)
{
    ++*static_cast<int *>(userdata);
    return event->user.code & 1;
}

// A filter whose calls take events out of the queue themselves, one ahead
// of the scan and one behind it.
std::vector<Sint32> g_meddler_seen;
int Meddler(void *, JEX_Event *event)
{
    const Sint32 code = event->user.code;
    g_meddler_seen.push_back(code);
    if (code == 0) {
        JEX_Event taken;
        EXPECT_EQ(JEX_PeepEvents(&taken, 1, JEX_GETEVENT, JEX_USEREVENT + 2, JEX_USEREVENT + 2), 1);
        EXPECT_EQ(taken.user.code, 3);
        JEX_Event added = User(JEX_USEREVENT, 100);
        EXPECT_EQ(JEX_PushEvent(&added), 1);
    } else if (code == 6) {
        JEX_FlushEvent(JEX_USEREVENT + 3);
    }
    return code != 4;
}

TEST_F(EventQueue, FilterEventsRemovesRejectedInPlaceAndSurvivesItsCallback)
{
    for (int i = 0; i < 10; ++i) {
        JEX_Event e = User(JEX_USEREVENT, i);
        ASSERT_EQ(JEX_PushEvent(&e), 1);
    }
    int calls = 0;
    JEX_FilterEvents(KeepOdd, &calls);
    EXPECT_EQ(calls, 10);
    EXPECT_EQ(DrainCodes(), (std::vector<Sint32>{1, 3, 5, 7, 9}));
    JEX_FilterEvents(nullptr, nullptr);

    g_meddler_seen.clear();
    for (int i = 0; i < 10; ++i) {
        const Uint32 type = i == 3 || i == 7 ? JEX_USEREVENT + 2
                            : i == 5         ? JEX_USEREVENT + 3
                                             : JEX_USEREVENT;
        JEX_Event e = User(type, i);
        ASSERT_EQ(JEX_PushEvent(&e), 1);
    }
    JEX_FilterEvents(Meddler, nullptr);
    // Every event still queued when the scan reached it was judged once.
    EXPECT_EQ(g_meddler_seen, (std::vector<Sint32>{0, 1, 2, 4, 5, 6, 7, 8, 9, 100}));
    EXPECT_EQ(DrainCodes(), (std::vector<Sint32>{0, 1, 2, 6, 7, 8, 9, 100}));
    // Ring sound afterwards: all 127 slots usable.
    for (int i = 0; i < 127; ++i) {
        JEX_Event e = User(JEX_USEREVENT, i);
        ASSERT_EQ(JEX_PushEvent(&e), 1);
    }
    JEX_Event e = User(JEX_USEREVENT, 0);
    EXPECT_EQ(JEX_PushEvent(&e), -1);
}

TEST_F(EventQueue, PollAndWait)
{
    JEX_Event e = User(JEX_USEREVENT, 5);
    ASSERT_EQ(JEX_PushEvent(&e), 1);
    // A null record only reports.
    EXPECT_EQ(JEX_PollEvent(nullptr), 1);
    EXPECT_EQ(JEX_PollEvent(nullptr), 1);
    JEX_Event out;
    EXPECT_EQ(JEX_PollEvent(&out), 1);
    EXPECT_EQ(out.user.code, 5);
    EXPECT_EQ(JEX_PollEvent(&out), 0);

    EXPECT_EQ(JEX_WaitEventTimeout(&out, 25), 0);

    // Events posted by another thread end a wait.
    std::thread producer([] {
        JEX_Delay(30);
        JEX_Event late = User(JEX_USEREVENT, 6);
        JEX_PushEvent(&late);
        JEX_Delay(30);
        late.user.code = 7;
        JEX_PushEvent(&late);
    });
    EXPECT_EQ(JEX_WaitEventTimeout(&out, 5000), 1);
    EXPECT_EQ(out.user.code, 6);
    EXPECT_EQ(JEX_WaitEvent(&out), 1);
    EXPECT_EQ(out.user.code, 7);
    producer.join();
}

std::atomic<int> g_pump_calls{0};
void PumpPostsOne()
{
    ++g_pump_calls;
    JEX_Event e = User(JEX_USEREVENT, 77);
    JEX_PushEvent(&e);
}
std::atomic<int> g_joystick_count{0};
std::atomic<int> g_joystick_state{JEX_ENABLE};
std::atomic<int> g_joystick_updates{0};
int JoyCount()
{
    return g_joystick_count;
}
int JoyState(int)
{
    return g_joystick_state;
}
void JoyUpdate()
{
    ++g_joystick_updates;
}
std::vector<Sint32> g_gesture_seen;
void GestureSeen(JEX_Event *event)
{
    g_gesture_seen.push_back(event->user.code);
}
int DropNegative(void *, JEX_Event *event)
{
    return event->user.code >= 0;
}

TEST_F(EventQueue, PumpAndPostHooks)
{
    g_pump_calls = 0;
    g_joystick_count = 0;
    g_joystick_state = JEX_ENABLE;
    g_joystick_updates = 0;
    g_gesture_seen.clear();
    JEX_SetPlatformPumpHook(PumpPostsOne);
    JEX_Event out;
    ASSERT_EQ(JEX_PollEvent(&out), 1);
    EXPECT_EQ(out.user.code, 77);
    EXPECT_EQ(g_pump_calls, 1);
    JEX_SetPlatformPumpHook(nullptr);

    JEX_SetJoystickHooks(JoyCount, JoyState, JoyUpdate);
    JEX_PumpEvents();
    EXPECT_EQ(g_joystick_updates, 0);  // no joystick
    g_joystick_count = 1;
    JEX_PumpEvents();
    EXPECT_EQ(g_joystick_updates, 1);
    // Once a joystick type was disabled, the joystick core's own answer counts.
    JEX_EventState(JEX_JOYBALLMOTION, JEX_DISABLE);
    g_joystick_state = JEX_DISABLE;
    JEX_PumpEvents();
    EXPECT_EQ(g_joystick_updates, 1);
    g_joystick_state = JEX_ENABLE;
    JEX_PumpEvents();
    EXPECT_EQ(g_joystick_updates, 2);

    // Gesture recognition sees queued events only.
    JEX_SetGestureHook(GestureSeen);
    JEX_SetEventFilter(DropNegative, nullptr);
    JEX_Event e = User(JEX_USEREVENT, 1);
    JEX_PushEvent(&e);
    e.user.code = -1;
    JEX_PushEvent(&e);
    for (int i = 0; i < 130; ++i) {
        e.user.code = 100 + i;
        JEX_PushEvent(&e);
    }
    ASSERT_EQ(g_gesture_seen.size(), 127u);
    EXPECT_EQ(g_gesture_seen[0], 1);
    EXPECT_EQ(g_gesture_seen[1], 100);
    EXPECT_EQ(g_gesture_seen.back(), 225);
}

struct FakeMsg {
    unsigned char bytes[JEX_SYSWM_MSG_SIZE];
};

int DropMarkedOtherThan(void *userdata, JEX_Event *event)
{
    const unsigned char keep = *static_cast<unsigned char *>(userdata);
    return event->type != JEX_SYSWMEVENT ||
           reinterpret_cast<unsigned char *>(event->syswm.msg)[0] == keep;
}

TEST_F(EventQueue, PlatformMessagesAreCopiedAndSurviveWhileQueued)
{
    FakeMsg msg;
    memset(msg.bytes, 0xA0, sizeof(msg.bytes));
    EXPECT_EQ(JEX_SendSysWMEvent(reinterpret_cast<JEX_SysWMmsg *>(&msg)), 0);  // disabled by start
    JEX_EventState(JEX_SYSWMEVENT, JEX_ENABLE);
    ASSERT_EQ(JEX_SendSysWMEvent(reinterpret_cast<JEX_SysWMmsg *>(&msg)), 1);
    memset(msg.bytes, 0x11, sizeof(msg.bytes));

    // Many later messages pass through the queue while the first waits.
    unsigned char keep = 0xA0;
    for (int i = 0; i < 300; ++i) {
        memset(msg.bytes, i & 0x7F, sizeof(msg.bytes));
        ASSERT_EQ(JEX_SendSysWMEvent(reinterpret_cast<JEX_SysWMmsg *>(&msg)), 1);
        JEX_FilterEvents(DropMarkedOtherThan, &keep);
        ASSERT_EQ(QueuedCount(), 1);
    }
    JEX_Event out;
    ASSERT_EQ(JEX_PollEvent(&out), 1);
    ASSERT_EQ(out.type, static_cast<Uint32>(JEX_SYSWMEVENT));
    ASSERT_NE(static_cast<void *>(out.syswm.msg), static_cast<void *>(&msg));
    const auto *copy = reinterpret_cast<const unsigned char *>(out.syswm.msg);
    for (int i = 0; i < JEX_SYSWM_MSG_SIZE; ++i)
        ASSERT_EQ(copy[i], 0xA0) << i;

    // A record without a message is queued without one.
    ASSERT_EQ(JEX_SendSysWMEvent(nullptr), 1);
    ASSERT_EQ(JEX_PollEvent(&out), 1);
    EXPECT_EQ(out.syswm.msg, nullptr);

    EXPECT_EQ(JEX_SendClipboardUpdate(), 1);
    ASSERT_EQ(JEX_PollEvent(&out), 1);
    EXPECT_EQ(out.type, static_cast<Uint32>(JEX_CLIPBOARDUPDATE));
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
    EXPECT_EQ(JEX_RegisterEvents(0x8000), 0xFFFFFFFFu);
    EXPECT_EQ(JEX_RegisterEvents(0), 0xFFFFFFFFu);
    EXPECT_EQ(JEX_RegisterEvents(-3), 0xFFFFFFFFu);
    EXPECT_EQ(JEX_RegisterEvents(2), 0x8000u);

    // Threads compete for the rest in blocks of 1 and 3.
    std::vector<std::vector<std::pair<Uint32, int>>> got(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &got] {
            const int n = t % 2 ? 3 : 1;
            for (;;) {
                const Uint32 first = JEX_RegisterEvents(n);
                if (first == 0xFFFFFFFFu)
                    break;
                got[t].emplace_back(first, n);
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    std::set<Uint32> codes = {0x8000, 0x8001};
    for (const auto &list : got) {
        for (auto [first, n] : list) {
            for (int i = 0; i < n; ++i) {
                ASSERT_TRUE(codes.insert(first + i).second)
                    << "code handed out twice: " << first + i;
                ASSERT_LE(first + i, 0xFFFEu);
            }
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
            ASSERT_GE(p, 0);
            ASSERT_LT(p, kProducers);
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

// Userdata that a watcher touches; freed by the thread that removed it as
// soon as the removal returns, so a late call is a use after free.
struct Counter {
    std::atomic<long> calls{0};
};
int CountingWatch(void *userdata, JEX_Event *)
{
    static_cast<Counter *>(userdata)->calls.fetch_add(1, std::memory_order_relaxed);
    return 1;
}

struct Tag {
    int id;
};
Tag g_tag_a{1}, g_tag_b{2};
std::atomic<long> g_torn_pairs{0};
// A filter that must only ever be called with the userdata it was set with.
template <int Id>
int TagFilter(void *userdata, JEX_Event *)
{
    if (static_cast<Tag *>(userdata)->id != Id)
        ++g_torn_pairs;
    return 1;
}

TEST_F(EventQueue, WatchersAndFilterChangeWhileThreadsPost)
{
    std::atomic<bool> stop{false};
    std::atomic<long> posted{0};
    std::vector<std::thread> posters;
    for (int p = 0; p < 3; ++p) {
        posters.emplace_back([&stop, &posted, p] {
            JEX_Event e = User(JEX_USEREVENT + p, 0);
            JEX_Event drain[8];
            while (!stop.load()) {
                JEX_PushEvent(&e);
                JEX_PeepEvents(drain, 8, JEX_GETEVENT, JEX_USEREVENT + p, JEX_USEREVENT + p);
                ++posted;
            }
        });
    }
    // Keep one long-lived watcher so the list is never empty.
    Counter steady;
    JEX_AddEventWatch(CountingWatch, &steady);

    std::thread changer([&stop] {
        for (int round = 0; round < 3000; ++round) {
            auto *a = new Counter;
            auto *b = new Counter;
            JEX_AddEventWatch(CountingWatch, a);
            JEX_AddEventWatch(CountingWatch, b);
            std::this_thread::yield();
            JEX_DelEventWatch(CountingWatch, a);
            delete a;
            JEX_DelEventWatch(CountingWatch, b);
            delete b;
        }
        stop.store(true);
    });
    std::thread filters([&stop] {
        for (int round = 0; !stop.load(); ++round) {
            if (round & 1) {
                JEX_SetEventFilter(TagFilter<1>, &g_tag_a);
            } else {
                JEX_SetEventFilter(TagFilter<2>, &g_tag_b);
            }
            auto *local = new Counter;
            JEX_SetEventFilter(CountingWatch, local);
            JEX_SetEventFilter(nullptr, nullptr);
            delete local;
        }
    });
    changer.join();
    filters.join();
    for (auto &t : posters)
        t.join();
    JEX_DelEventWatch(CountingWatch, &steady);
    EXPECT_EQ(g_torn_pairs.load(), 0);
    EXPECT_GT(posted.load(), 0);
    EXPECT_GT(steady.calls.load(), 0);
}

TEST_F(EventQueue, StopWhileThreadsPost)
{
    // Posting threads may outlive the queue; they must see refusals, not a
    // destroyed lock.
    std::atomic<bool> stop{false};
    std::atomic<long> refused{0};
    Counter watched;
    JEX_AddEventWatch(CountingWatch, &watched);
    std::vector<std::thread> posters;
    for (int p = 0; p < 2; ++p) {
        posters.emplace_back([&] {
            JEX_Event e = User(JEX_USEREVENT, 0);
            JEX_Event out;
            while (!stop.load()) {
                if (JEX_PushEvent(&e) < 0)
                    ++refused;
                JEX_PeepEvents(&out, 1, JEX_GETEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT);
            }
        });
    }
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
    JEX_Event in = User(JEX_USEREVENT, 42), out;
    ASSERT_EQ(JEX_PushEvent(&in), 1);
    ASSERT_EQ(JEX_PollEvent(&out), 1);
    EXPECT_EQ(out.user.code, 42);
    EXPECT_EQ(JEX_PollEvent(&out), 0);
}

}  // namespace
