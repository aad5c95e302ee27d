// Categorised logging. Each category has a threshold; what passes is
// formatted once on the caller's stack and handed to one output function.

#include "JEX_log.h"

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>

namespace {

constexpr JEX_LogPriority kDefaultApplicationPriority = JEX_LOG_PRIORITY_INFO;
constexpr JEX_LogPriority kDefaultPriority = JEX_LOG_PRIORITY_CRITICAL;

// Overrides of small, non-negative categories (every built-in one and the
// usual application ones) live in a lock-free table, so that a message that
// is filtered out costs one atomic load. Bit 32 marks a present override.
constexpr int kFastCategories = 64;
constexpr Uint64 kPresent = Uint64{1} << 32;

// Overrides of any other category: a list, newest first.
struct LogLevel {
    int category;
    JEX_LogPriority priority;
    LogLevel *next;
};

// Shared by every thread. Writers of any field take `lock`. Readers of the
// thresholds (`fast`, the two defaults, `have_slow`) do not: those are
// atomics. `slow_list`, `output` and `output_userdata` are read under `lock`.
struct LogState {
    std::array<std::atomic<Uint64>, kFastCategories> fast{};
    LogLevel *slow_list = nullptr;
    std::atomic<bool> have_slow{false};
    std::atomic<Uint32> application_priority{kDefaultApplicationPriority};
    std::atomic<Uint32> default_priority{kDefaultPriority};
    std::mutex lock;
    JEX_LogOutputFunction output = JEX_LogOutput;
    void *output_userdata = nullptr;
};
LogState g_log;

// A threshold outside the priorities would leave a category that no message
// can ever pass, or one that the reader cannot name.
bool IsPriority(JEX_LogPriority priority)
{
    return static_cast<Uint32>(priority) < JEX_NUM_LOG_PRIORITIES;
}

bool IsFast(int category)
{
    return category >= 0 && category < kFastCategories;
}

// The filter every message goes through first; for the common categories it
// is one atomic load and needs no call.
inline bool Passes(int category, JEX_LogPriority priority)
{
    if (static_cast<Uint32>(priority) >= JEX_NUM_LOG_PRIORITIES)
        return false;
    Uint32 threshold;
    if (IsFast(category)) {
        const Uint64 v = g_log.fast[category].load(std::memory_order_relaxed);
        threshold = (v & kPresent) ? static_cast<Uint32>(v)
                    : category == JEX_LOG_CATEGORY_APPLICATION
                        ? g_log.application_priority.load(std::memory_order_relaxed)
                        : g_log.default_priority.load(std::memory_order_relaxed);
    } else {
        threshold = static_cast<Uint32>(JEX_LogGetPriority(category));
    }
    return threshold <= static_cast<Uint32>(priority);
}

void Emit(int category, JEX_LogPriority priority, const char *fmt, va_list ap);

constexpr std::array<const char *, JEX_NUM_LOG_PRIORITIES> kPrefixes = {
    nullptr, "VERBOSE", "DEBUG", "INFO", "WARN", "ERROR", "CRITICAL"};

}  // namespace

extern "C" {

void JEX_LogSetAllPriority(JEX_LogPriority priority)
{
    if (!IsPriority(priority))
        return;
    std::lock_guard<std::mutex> guard(g_log.lock);
    for (auto &slot : g_log.fast)
        if (slot.load(std::memory_order_relaxed) & kPresent)
            slot.store(kPresent | static_cast<Uint32>(priority), std::memory_order_relaxed);
    for (LogLevel *l = g_log.slow_list; l; l = l->next)
        l->priority = priority;
    g_log.application_priority.store(priority, std::memory_order_relaxed);
    g_log.default_priority.store(priority, std::memory_order_relaxed);
}

void JEX_LogSetPriority(int category, JEX_LogPriority priority)
{
    if (!IsPriority(priority))
        return;
    std::lock_guard<std::mutex> guard(g_log.lock);
    if (IsFast(category)) {
        g_log.fast[category].store(kPresent | static_cast<Uint32>(priority),
                                   std::memory_order_relaxed);
        return;
    }
    for (LogLevel *l = g_log.slow_list; l; l = l->next) {
        if (l->category == category) {
            l->priority = priority;
            return;
        }
    }
    auto *l = new (std::nothrow) LogLevel{category, priority, g_log.slow_list};
    if (!l)
        return;  // an override that cannot be stored is dropped silently
    g_log.slow_list = l;
    g_log.have_slow.store(true, std::memory_order_release);
}

JEX_LogPriority JEX_LogGetPriority(int category)
{
    if (IsFast(category)) {
        const Uint64 v = g_log.fast[category].load(std::memory_order_relaxed);
        if (v & kPresent)
            return static_cast<JEX_LogPriority>(static_cast<Uint32>(v));
    } else if (g_log.have_slow.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> guard(g_log.lock);
        for (LogLevel *l = g_log.slow_list; l; l = l->next)
            if (l->category == category)
                return l->priority;
    }
    const Uint32 p = category == JEX_LOG_CATEGORY_APPLICATION
                         ? g_log.application_priority.load(std::memory_order_relaxed)
                         : g_log.default_priority.load(std::memory_order_relaxed);
    return static_cast<JEX_LogPriority>(p);
}

void JEX_LogResetPriorities(void)
{
    std::lock_guard<std::mutex> guard(g_log.lock);
    for (auto &slot : g_log.fast)
        slot.store(0, std::memory_order_relaxed);
    while (LogLevel *l = g_log.slow_list) {
        g_log.slow_list = l->next;
        delete l;
    }
    g_log.have_slow.store(false, std::memory_order_release);
    g_log.application_priority.store(kDefaultApplicationPriority, std::memory_order_relaxed);
    g_log.default_priority.store(kDefaultPriority, std::memory_order_relaxed);
}

void JEX_LogMessageV(int category, JEX_LogPriority priority, const char *fmt, va_list ap)
{
    if (Passes(category, priority))
        Emit(category, priority, fmt, ap);
}

}  // extern "C"

namespace {

void Emit(int category, JEX_LogPriority priority, const char *fmt, va_list ap)
{
    JEX_LogOutputFunction output;
    void *userdata;
    {
        std::lock_guard<std::mutex> guard(g_log.lock);
        output = g_log.output;
        userdata = g_log.output_userdata;
    }
    if (!output || !fmt)
        return;

    char message[JEX_MAX_LOG_MESSAGE];
    std::vsnprintf(message, sizeof(message), fmt, ap);
    output(userdata, category, priority, message);
}

}  // namespace

extern "C" {

void JEX_LogMessage(int category, JEX_LogPriority priority, const char *fmt, ...)
{
    if (!Passes(category, priority))
        return;
    va_list ap;
    va_start(ap, fmt);
    Emit(category, priority, fmt, ap);
    va_end(ap);
}

#define JEX_LOG_SHORTHAND(name, priority)                                                          \
    void name(int category, const char *fmt, ...)                                                  \
    {                                                                                              \
        if (!Passes(category, priority))                                                           \
            return;                                                                                \
        va_list ap;                                                                                \
        va_start(ap, fmt);                                                                         \
        Emit(category, priority, fmt, ap);                                                         \
        va_end(ap);                                                                                \
    }

JEX_LOG_SHORTHAND(JEX_LogVerbose, JEX_LOG_PRIORITY_VERBOSE)
JEX_LOG_SHORTHAND(JEX_LogDebug, JEX_LOG_PRIORITY_DEBUG)
JEX_LOG_SHORTHAND(JEX_LogInfo, JEX_LOG_PRIORITY_INFO)
JEX_LOG_SHORTHAND(JEX_LogWarn, JEX_LOG_PRIORITY_WARN)
JEX_LOG_SHORTHAND(JEX_LogError, JEX_LOG_PRIORITY_ERROR)
JEX_LOG_SHORTHAND(JEX_LogCritical, JEX_LOG_PRIORITY_CRITICAL)

#undef JEX_LOG_SHORTHAND

void JEX_Log(const char *fmt, ...)
{
    if (!Passes(JEX_LOG_CATEGORY_APPLICATION, JEX_LOG_PRIORITY_INFO))
        return;
    va_list ap;
    va_start(ap, fmt);
    Emit(JEX_LOG_CATEGORY_APPLICATION, JEX_LOG_PRIORITY_INFO, fmt, ap);
    va_end(ap);
}

void JEX_LogGetOutputFunction(JEX_LogOutputFunction *callback, void **userdata)
{
    std::lock_guard<std::mutex> guard(g_log.lock);
    if (callback)
        *callback = g_log.output;
    if (userdata)
        *userdata = g_log.output_userdata;
}

void JEX_LogSetOutputFunction(JEX_LogOutputFunction callback, void *userdata)
{
    std::lock_guard<std::mutex> guard(g_log.lock);
    g_log.output = callback;
    g_log.output_userdata = userdata;
}

void JEX_LogOutput(void *, int, JEX_LogPriority priority, const char *message)
{
    const Uint32 p = static_cast<Uint32>(priority);
    const char *prefix = p < kPrefixes.size() ? kPrefixes[p] : nullptr;
    if (!message)
        message = "";
    // A message without a known priority has no prefix to print.
    if (prefix)
        std::fprintf(stderr, "%s: %s\n", prefix, message);
    else
        std::fprintf(stderr, "%s\n", message);
}

}  // extern "C"
