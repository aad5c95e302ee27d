// The one event queue of the process: a fixed ring of records under the
// library's recursive mutex, per-type switches, the application filter, the
// watcher list and the registration of user event types.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <atomic>
#include <mutex>
#include <new>
#include <thread>

#include "JEX_error.h"
#include "JEX_mutex.h"
#include "JEX_timer.h"
#include "events/events_internal.h"

namespace {

// The C layout callers rely on: the text-editing record is the largest
// member, and a user event's code is the word after window_id.
static_assert(sizeof(JEX_Event) == sizeof(JEX_TextEditingEvent));
static_assert(offsetof(JEX_UserEvent, code) == 8);

constexpr int kSlots = JEX_MAXEVENTS;

constexpr int Step(int i)
{
    return (i + 1) % kSlots;
}

struct alignas(16) MsgSlot {
    unsigned char bytes[JEX_SYSWM_MSG_SIZE];
};

// Everything here is guarded by `lock`.
struct EventQueue {
    bool running = false;
    int head = 0;
    int tail = 0;
    JEX_Event events[kSlots];
    // Copies of the platform messages of queued JEX_SYSWMEVENT records. A
    // slot is held while its event is queued, so a queued event's message is
    // never overwritten; a handed-out one lives until the ring comes round.
    int msg_next = 0;
    MsgSlot msg_ring[kSlots];
    bool msg_held[kSlots];
    // While a JEX_FilterEvents scan runs, its callback may itself remove
    // events (get, flush, disable a type). Such removals only mark the slot
    // dead, so the scan's position stays valid; the outermost scan then
    // compacts the ring. Outside scans no slot is dead.
    int scanning = 0;
    bool dead[kSlots];
    bool any_dead = false;
    unsigned resets = 0;
};

// Per-type switches: one bit per type, set when disabled. Plain static
// storage, so queries from posting threads need no lock and disabling
// cannot fail for want of memory.
struct Family {
    std::atomic<bool> touched{false};
    std::atomic<Uint32> bits[8] = {};
};

// A watcher; see "Filter and watchers" below.
struct WatchNode {
    JEX_EventFilter callback;
    void *userdata;
    std::atomic<WatchNode *> next{nullptr};
    std::atomic<bool> removed{false};
    WatchNode *retired_next = nullptr;
};

// Everything the queue keeps. Any thread may post, peep, poll and change
// the switches, filter and watchers; each field says how it is guarded.
struct EventState {
    EventQueue queue;  // guarded by lock
    // Set once by the first start and kept for the life of the process, so a
    // thread that posts while the queue stops never touches a destroyed mutex.
    std::atomic<JEX_mutex *> lock{nullptr};
    std::atomic<int> active{0};
    Family families[256];  // atomics, no lock
    std::atomic<Uint32> userevents{JEX_USEREVENT};

    // Hooks of the other cores: atomics, set and read from any thread.
    std::atomic<JEX_PlatformPumpHook> platform_pump{nullptr};
    std::atomic<JEX_JoystickCountHook> joystick_count{nullptr};
    std::atomic<JEX_JoystickEventStateHook> joystick_state{nullptr};
    std::atomic<JEX_JoystickUpdateHook> joystick_update{nullptr};
    std::atomic<JEX_GestureProcessHook> gesture{nullptr};

    // The filter and its userdata, published under a sequence counter, and
    // the watcher list; read without a lock.
    std::atomic<unsigned> filter_seq{0};
    std::atomic<JEX_EventFilter> filter{nullptr};
    std::atomic<void *> filter_userdata{nullptr};
    std::atomic<WatchNode *> watchers{nullptr};
    // Serialises changes to the filter and the list; never held while
    // callbacks run or while waiting for them.
    std::mutex hook_writer;
    WatchNode *retired = nullptr;  // guarded by hook_writer
    // One grace period at a time, so that while one waits for the posts of
    // an epoch, no new post can join that epoch.
    std::mutex grace;
    std::atomic<unsigned> epoch{0};
    std::atomic<int> readers[2] = {};
};

EventState g_events;

// --- The queue ring ------------------------------------------------------

// Takes the queue lock; false when the queue was never started, is stopped
// or the lock fails.
bool LockQueue(bool report)
{
    JEX_mutex *lock = g_events.lock.load(std::memory_order_acquire);
    if (lock && JEX_LockMutex(lock) == 0) {
        if (g_events.queue.running)
            return true;
        JEX_UnlockMutex(lock);
    }
    if (report)
        JEX_SetError("Couldn't lock event queue");
    return false;
}

void UnlockQueue()
{
    JEX_UnlockMutex(g_events.lock.load(std::memory_order_relaxed));
}

int MsgSlotOf(const JEX_SysWMmsg *msg)
{
    const auto p = reinterpret_cast<uintptr_t>(msg);
    const auto base = reinterpret_cast<uintptr_t>(g_events.queue.msg_ring);
    if (p < base || p >= base + sizeof(g_events.queue.msg_ring))
        return -1;
    const uintptr_t offset = p - base;
    if (offset % sizeof(MsgSlot) != 0)
        return -1;
    return static_cast<int>(offset / sizeof(MsgSlot));
}

void ReleaseMsg(const JEX_Event &event)
{
    if (event.type == JEX_SYSWMEVENT) {
        const int slot = MsgSlotOf(event.syswm.msg);
        if (slot >= 0)
            g_events.queue.msg_held[slot] = false;
    }
}

// Takes the event at `spot` out of the ring; returns the slot at which a
// scan continues.
int Remove(int spot)
{
    EventQueue &q = g_events.queue;
    if (spot == q.head) {
        q.head = Step(q.head);
        return q.head;
    }
    if (Step(spot) == q.tail) {
        q.tail = spot;
        return spot;
    }
    q.tail = (q.tail + kSlots - 1) % kSlots;
    for (int i = spot; i != q.tail; i = Step(i)) {
        q.events[i] = q.events[Step(i)];
        q.dead[i] = q.dead[Step(i)];
    }
    q.dead[q.tail] = false;
    return spot;
}

// Removes the event at `spot`, or marks it dead during a filter scan.
int Cut(int spot)
{
    EventQueue &q = g_events.queue;
    if (q.dead[spot])
        return Step(spot);  // already taken by a nested call
    ReleaseMsg(q.events[spot]);
    if (q.scanning > 0) {
        q.dead[spot] = true;
        q.any_dead = true;
        return Step(spot);
    }
    return Remove(spot);
}

void Compact()
{
    EventQueue &q = g_events.queue;
    if (!q.any_dead)
        return;
    for (int spot = q.head; spot != q.tail;) {
        if (q.dead[spot]) {
            q.dead[spot] = false;
            spot = Remove(spot);
        } else {
            spot = Step(spot);
        }
    }
    q.any_dead = false;
}

bool AddOne(const JEX_Event &event)
{
    EventQueue &q = g_events.queue;
    if (Step(q.tail) == q.head)
        return false;
    JEX_Event &slot = q.events[q.tail];
    slot = event;
    if (slot.type == JEX_SYSWMEVENT && event.syswm.msg) {
        // At most kSlots - 1 events are queued and this one is not yet, so
        // a free message slot always exists.
        int m = q.msg_next;
        while (q.msg_held[m])
            m = Step(m);
        // The source may itself be a handed-out message in the ring.
        memmove(q.msg_ring[m].bytes, event.syswm.msg, JEX_SYSWM_MSG_SIZE);
        q.msg_held[m] = true;
        slot.syswm.msg = reinterpret_cast<JEX_SysWMmsg *>(q.msg_ring[m].bytes);
        q.msg_next = Step(m);
    }
    q.tail = Step(q.tail);
    return true;
}

bool InRange(Uint32 type, Uint32 min_type, Uint32 max_type)
{
    return type >= min_type && type <= max_type;
}

// --- Filter and watchers --------------------------------------------------
//
// Every posting thread reads the filter and walks the watcher list without
// the queue lock. The filter and its userdata are one pair published under a
// sequence counter, so a reader never combines one filter with another's
// userdata. Watchers form a list of immutable nodes; a removed node is
// unlinked at once but freed only after every post that might still see it
// has finished (an epoch count of the posts inside filter/watcher calls).
// So once a removal or a new filter is in place, the old callback no longer
// runs anywhere, and nothing reads a freed node.

// Depth of filter and watcher calls on this thread. A change made from
// inside one cannot wait for the posts in progress (this thread is one).
thread_local int t_in_callback = 0;

class CallbackSection {
public:
    CallbackSection()
    {
        for (;;) {
            const unsigned epoch = g_events.epoch.load();
            parity_ = epoch & 1;
            g_events.readers[parity_].fetch_add(1);
            if (g_events.epoch.load() == epoch)
                break;
            g_events.readers[parity_].fetch_sub(1);
        }
        ++t_in_callback;
    }
    ~CallbackSection()
    {
        --t_in_callback;
        g_events.readers[parity_].fetch_sub(1);
    }
    CallbackSection(const CallbackSection &) = delete;
    CallbackSection &operator=(const CallbackSection &) = delete;

private:
    unsigned parity_ = 0;
};

void ReadFilter(JEX_EventFilter *filter, void **userdata)
{
    for (;;) {
        const unsigned seq = g_events.filter_seq.load();
        if (seq & 1) {
            std::this_thread::yield();
            continue;
        }
        JEX_EventFilter f = g_events.filter.load();
        void *u = g_events.filter_userdata.load();
        if (g_events.filter_seq.load() == seq) {
            *filter = f;
            *userdata = u;
            return;
        }
    }
}

// Caller holds g_events.hook_writer.
void WriteFilter(JEX_EventFilter filter, void *userdata)
{
    const unsigned seq = g_events.filter_seq.load();
    g_events.filter_seq.store(seq + 1);
    g_events.filter.store(filter);
    g_events.filter_userdata.store(userdata);
    g_events.filter_seq.store(seq + 2);
}

// Caller holds g_events.hook_writer.
void Retire(WatchNode *node)
{
    node->removed.store(true);
    node->retired_next = g_events.retired;
    g_events.retired = node;
}

// Waits until no post that began before now is still inside the filter or a
// watcher, then frees the nodes unlinked before now.
void WaitForCallbacks()
{
    if (t_in_callback > 0)
        return;  // the nodes stay retired until a later wait
    std::lock_guard<std::mutex> grace(g_events.grace);
    WatchNode *batch;
    {
        std::lock_guard<std::mutex> writer(g_events.hook_writer);
        batch = g_events.retired;
        g_events.retired = nullptr;
    }
    const unsigned epoch = g_events.epoch.load();
    g_events.epoch.store(epoch + 1);
    while (g_events.readers[epoch & 1].load() != 0)
        std::this_thread::yield();
    while (batch) {
        WatchNode *next = batch->retired_next;
        delete batch;
        batch = next;
    }
}

void RemoveAllWatchers()
{
    {
        std::lock_guard<std::mutex> writer(g_events.hook_writer);
        WatchNode *node = g_events.watchers.load();
        g_events.watchers.store(nullptr);
        while (node) {
            WatchNode *next = node->next.load();
            Retire(node);
            node = next;
        }
    }
    WaitForCallbacks();
}

// Filter, then watchers; false when the filter dropped the event.
bool RunFilterAndWatchers(JEX_Event *event)
{
    if (!g_events.filter.load(std::memory_order_relaxed) &&
        !g_events.watchers.load(std::memory_order_relaxed))
        return true;
    CallbackSection section;
    JEX_EventFilter filter;
    void *userdata;
    ReadFilter(&filter, &userdata);
    if (filter && !filter(userdata, event))
        return false;
    for (WatchNode *node = g_events.watchers.load(); node; node = node->next.load())
        if (!node->removed.load(std::memory_order_relaxed))
            node->callback(node->userdata, event);
    return true;
}

// --- Lifetime -------------------------------------------------------------

void ResetQueue()
{
    if (g_events.lock.load() && JEX_LockMutex(g_events.lock.load()) == 0) {
        EventQueue &q = g_events.queue;
        q.running = false;
        q.head = q.tail = q.msg_next = 0;
        memset(q.msg_held, 0, sizeof(q.msg_held));
        memset(q.dead, 0, sizeof(q.dead));
        q.any_dead = false;
        q.scanning = 0;
        ++q.resets;
        JEX_UnlockMutex(g_events.lock.load());
    }
    for (Family &family : g_events.families) {
        for (auto &word : family.bits)
            word.store(0);
        family.touched.store(false);
    }
    RemoveAllWatchers();
}

}  // namespace

extern "C" {

int JEX_StartEventLoop(void)
{
    ResetQueue();
    {
        std::lock_guard<std::mutex> writer(g_events.hook_writer);
        JEX_EventFilter filter;
        void *userdata;
        ReadFilter(&filter, &userdata);
        WriteFilter(nullptr, userdata);
    }
    WaitForCallbacks();
    JEX_EventState(JEX_SYSWMEVENT, JEX_DISABLE);

    JEX_mutex *lock = g_events.lock.load();
    if (!lock) {
        lock = JEX_CreateMutex();
        if (!lock)
            return -1;
        g_events.lock.store(lock);
    }
    if (JEX_LockMutex(lock) < 0)
        return -1;
    g_events.queue.running = true;
    JEX_UnlockMutex(lock);
    g_events.active.store(1, std::memory_order_release);
    return 0;
}

void JEX_StopEventLoop(void)
{
    ResetQueue();
}

int JEX_PeepEvents(JEX_Event *events, int numevents, int action, Uint32 minType, Uint32 maxType)
{
    if (!g_events.active.load(std::memory_order_acquire))
        return -1;
    if (!LockQueue(true))
        return -1;
    int used = 0;
    if (events && action == JEX_ADDEVENT) {
        for (int i = 0; i < numevents; ++i)
            if (AddOne(events[i]))
                ++used;
    } else {
        JEX_Event scratch;
        if (!events) {
            events = &scratch;
            numevents = 1;
            action = JEX_PEEKEVENT;
        }
        EventQueue &q = g_events.queue;
        int spot = q.head;
        while (used < numevents && spot != q.tail) {
            if (!q.dead[spot] && InRange(q.events[spot].type, minType, maxType)) {
                events[used++] = q.events[spot];
                spot = action == JEX_GETEVENT ? Cut(spot) : Step(spot);
            } else {
                spot = Step(spot);
            }
        }
    }
    UnlockQueue();
    return used;
}

JEX_bool JEX_HasEvent(Uint32 type)
{
    return JEX_HasEvents(type, type);
}

JEX_bool JEX_HasEvents(Uint32 minType, Uint32 maxType)
{
    return JEX_PeepEvents(nullptr, 0, JEX_PEEKEVENT, minType, maxType) > 0 ? JEX_TRUE : JEX_FALSE;
}

void JEX_FlushEvent(Uint32 type)
{
    JEX_FlushEvents(type, type);
}

void JEX_FlushEvents(Uint32 minType, Uint32 maxType)
{
    if (!g_events.active.load(std::memory_order_acquire) || !LockQueue(false))
        return;
    EventQueue &q = g_events.queue;
    for (int spot = q.head; spot != q.tail;) {
        spot = !q.dead[spot] && InRange(q.events[spot].type, minType, maxType) ? Cut(spot)
                                                                               : Step(spot);
    }
    UnlockQueue();
}

void JEX_PumpEvents(void)
{
    if (JEX_PlatformPumpHook pump = g_events.platform_pump.load(std::memory_order_acquire))
        pump();
    JEX_JoystickCountHook count = g_events.joystick_count.load(std::memory_order_acquire);
    if (count && count() > 0) {
        JEX_JoystickEventStateHook state = g_events.joystick_state.load(std::memory_order_acquire);
        JEX_JoystickUpdateHook update = g_events.joystick_update.load(std::memory_order_acquire);
        const bool wanted = !JEX_EventFamilyTouched(JEX_JOYAXISMOTION >> 8) ||
                            (state && state(JEX_QUERY) == JEX_ENABLE);
        if (wanted && update)
            update();
    }
    JEX_DeliverPendingQuit();
}

int JEX_PollEvent(JEX_Event *event)
{
    return JEX_WaitEventTimeout(event, 0);
}

int JEX_WaitEvent(JEX_Event *event)
{
    return JEX_WaitEventTimeout(event, -1);
}

int JEX_WaitEventTimeout(JEX_Event *event, int timeout)
{
    const Uint32 expiration = timeout > 0 ? JEX_GetTicks() + static_cast<Uint32>(timeout) : 0;
    for (;;) {
        JEX_PumpEvents();
        const int got = JEX_PeepEvents(event, 1, JEX_GETEVENT, JEX_FIRSTEVENT, JEX_LASTEVENT);
        if (got < 0)
            return 0;
        if (got > 0)
            return 1;
        if (timeout == 0)
            return 0;
        if (timeout > 0 && static_cast<Sint32>(JEX_GetTicks() - expiration) >= 0)
            return 0;
        JEX_Delay(10);
    }
}

int JEX_PushEvent(JEX_Event *event)
{
    if (!event) {
        JEX_SetError("Passed a NULL event");
        return -1;
    }
    if (!RunFilterAndWatchers(event))
        return 0;
    if (JEX_PeepEvents(event, 1, JEX_ADDEVENT, 0, 0) < 1)
        return -1;
    if (JEX_GestureProcessHook gesture = g_events.gesture.load(std::memory_order_acquire))
        gesture(event);
    return 1;
}

void JEX_SetEventFilter(JEX_EventFilter filter, void *userdata)
{
    {
        std::lock_guard<std::mutex> writer(g_events.hook_writer);
        WriteFilter(filter, userdata);
    }
    WaitForCallbacks();
    // Discard what is pending. A pump followed by one flush rather than
    // polling until empty, which would never end while another thread
    // keeps posting.
    JEX_PumpEvents();
    JEX_FlushEvents(JEX_FIRSTEVENT, JEX_LASTEVENT);
}

JEX_bool JEX_GetEventFilter(JEX_EventFilter *filter, void **userdata)
{
    JEX_EventFilter f;
    void *u;
    ReadFilter(&f, &u);
    if (filter)
        *filter = f;
    if (userdata)
        *userdata = u;
    return f ? JEX_TRUE : JEX_FALSE;
}

void JEX_AddEventWatch(JEX_EventFilter callback, void *userdata)
{
    if (!callback)
        return;  // a null watcher would be called by every post
    auto *node = new (std::nothrow) WatchNode;
    if (!node) {
        JEX_OutOfMemory();
        return;
    }
    node->callback = callback;
    node->userdata = userdata;
    std::lock_guard<std::mutex> writer(g_events.hook_writer);
    node->next.store(g_events.watchers.load());
    g_events.watchers.store(node);
}

void JEX_DelEventWatch(JEX_EventFilter callback, void *userdata)
{
    bool removed = false;
    {
        std::lock_guard<std::mutex> writer(g_events.hook_writer);
        std::atomic<WatchNode *> *link = &g_events.watchers;
        for (WatchNode *node = link->load(); node; node = link->load()) {
            if (node->callback == callback && node->userdata == userdata) {
                link->store(node->next.load());
                Retire(node);
                removed = true;
                break;
            }
            link = &node->next;
        }
    }
    if (removed)
        WaitForCallbacks();
}

void JEX_FilterEvents(JEX_EventFilter filter, void *userdata)
{
    if (!filter || !LockQueue(false))
        return;
    // The filter runs with the queue locked; a watcher change made from it
    // must not wait for posting threads, which may be waiting for the lock.
    ++t_in_callback;
    EventQueue &q = g_events.queue;
    const unsigned resets = q.resets;
    ++q.scanning;
    for (int spot = q.head; spot != q.tail;) {
        if (q.dead[spot]) {
            spot = Step(spot);
            continue;
        }
        const bool keep = filter(userdata, &q.events[spot]) != 0;
        if (q.resets != resets)
            break;  // the callback stopped or restarted the queue
        spot = keep ? Step(spot) : Cut(spot);
    }
    if (q.resets == resets) {
        --q.scanning;
        if (q.scanning == 0)
            Compact();
    }
    --t_in_callback;
    UnlockQueue();
}

Uint8 JEX_EventState(Uint32 type, int state)
{
    Family &family = g_events.families[(type >> 8) & 0xFF];
    std::atomic<Uint32> &word = family.bits[(type & 0xFF) / 32];
    const Uint32 bit = 1u << (type & 31);
    Uint32 before;
    switch (state) {
    case JEX_DISABLE:
        family.touched.store(true);
        before = word.fetch_or(bit);
        if (!(before & bit))
            JEX_FlushEvent(type);
        break;
    case JEX_ENABLE: before = word.fetch_and(~bit); break;
    default: before = word.load(); break;
    }
    return (before & bit) ? JEX_DISABLE : JEX_ENABLE;
}

Uint32 JEX_RegisterEvents(int numevents)
{
    // A count of 0 or less would hand out a code that the next caller also
    // receives.
    if (numevents <= 0)
        return 0xFFFFFFFFu;
    Uint32 first = g_events.userevents.load();
    do {
        if (static_cast<Uint64>(first) + static_cast<Uint64>(numevents) > 0xFFFF)
            return 0xFFFFFFFFu;
    } while (
        !g_events.userevents.compare_exchange_weak(first, first + static_cast<Uint32>(numevents)));
    return first;
}

int JEX_SendSysWMEvent(JEX_SysWMmsg *msg)
{
    if (JEX_EventState(JEX_SYSWMEVENT, JEX_QUERY) != JEX_ENABLE)
        return 0;
    JEX_Event event;
    memset(&event, 0, sizeof(event));
    event.syswm.type = JEX_SYSWMEVENT;
    event.syswm.msg = msg;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

int JEX_SendClipboardUpdate(void)
{
    if (JEX_EventState(JEX_CLIPBOARDUPDATE, JEX_QUERY) != JEX_ENABLE)
        return 0;
    JEX_Event event;
    memset(&event, 0, sizeof(event));
    event.type = JEX_CLIPBOARDUPDATE;
    return JEX_PushEvent(&event) > 0 ? 1 : 0;
}

JEX_bool JEX_EventFamilyTouched(Uint8 family)
{
    return g_events.families[family].touched.load() ? JEX_TRUE : JEX_FALSE;
}

void JEX_SetPlatformPumpHook(JEX_PlatformPumpHook pump)
{
    g_events.platform_pump.store(pump, std::memory_order_release);
}

void JEX_SetJoystickHooks(JEX_JoystickCountHook count, JEX_JoystickEventStateHook event_state,
                          JEX_JoystickUpdateHook update)
{
    g_events.joystick_state.store(event_state, std::memory_order_release);
    g_events.joystick_update.store(update, std::memory_order_release);
    g_events.joystick_count.store(count, std::memory_order_release);
}

void JEX_SetGestureHook(JEX_GestureProcessHook process)
{
    g_events.gesture.store(process, std::memory_order_release);
}

}  // extern "C"
