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
std::array<std::atomic<Uint64>, kFastCategories> g_fast{};

// Overrides of any other category: a list, newest first, under the lock.
struct LogLevel {
    int category;
    JEX_LogPriority priority;
    LogLevel *next;
};
LogLevel *g_slow_list = nullptr;
std::atomic<bool> g_have_slow{false};

std::atomic<Uint32> g_application_priority{kDefaultApplicationPriority};
std::atomic<Uint32> g_default_priority{kDefaultPriority};

// Writers of the tables and of the output function take this lock; readers
// of the fast table do not.
std::mutex g_lock;
JEX_LogOutputFunction g_output = JEX_LogOutput;
void *g_output_userdata = nullptr;

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
        const Uint64 v = g_fast[category].load(std::memory_order_relaxed);
        threshold = (v & kPresent) ? static_cast<Uint32>(v)
                    : category == JEX_LOG_CATEGORY_APPLICATION
                        ? g_application_priority.load(std::memory_order_relaxed)
                        : g_default_priority.load(std::memory_order_relaxed);
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
    std::lock_guard<std::mutex> guard(g_lock);
    for (auto &slot : g_fast)
        if (slot.load(std::memory_order_relaxed) & kPresent)
            slot.store(kPresent | static_cast<Uint32>(priority), std::memory_order_relaxed);
    for (LogLevel *l = g_slow_list; l; l = l->next)
        l->priority = priority;
    g_application_priority.store(priority, std::memory_order_relaxed);
    g_default_priority.store(priority, std::memory_order_relaxed);
}

void JEX_LogSetPriority(int category, JEX_LogPriority priority)
{
    std::lock_guard<std::mutex> guard(g_lock);
    if (IsFast(category)) {
        g_fast[category].store(kPresent | static_cast<Uint32>(priority), std::memory_order_relaxed);
        return;
    }
    for (LogLevel *l = g_slow_list; l; l = l->next) {
        if (l->category == category) {
            l->priority = priority;
            return;
        }
    }
    auto *l = new (std::nothrow) LogLevel{category, priority, g_slow_list};
    if (!l)
        return;  // an override that cannot be stored is dropped silently
    g_slow_list = l;
    g_have_slow.store(true, std::memory_order_release);
}

JEX_LogPriority JEX_LogGetPriority(int category)
{
    if (IsFast(category)) {
        const Uint64 v = g_fast[category].load(std::memory_order_relaxed);
        if (v & kPresent)
            return static_cast<JEX_LogPriority>(static_cast<Uint32>(v));
    } else if (g_have_slow.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> guard(g_lock);
        for (LogLevel *l = g_slow_list; l; l = l->next)
            if (l->category == category)
                return l->priority;
    }
    const Uint32 p = category == JEX_LOG_CATEGORY_APPLICATION
                         ? g_application_priority.load(std::memory_order_relaxed)
                         : g_default_priority.load(std::memory_order_relaxed);
    return static_cast<JEX_LogPriority>(p);
}

void JEX_LogResetPriorities(void)
{
    std::lock_guard<std::mutex> guard(g_lock);
    for (auto &slot : g_fast)
        slot.store(0, std::memory_order_relaxed);
    while (LogLevel *l = g_slow_list) {
        g_slow_list = l->next;
        delete l;
    }
    g_have_slow.store(false, std::memory_order_release);
    g_application_priority.store(kDefaultApplicationPriority, std::memory_order_relaxed);
    g_default_priority.store(kDefaultPriority, std::memory_order_relaxed);
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
        std::lock_guard<std::mutex> guard(g_lock);
        output = g_output;
        userdata = g_output_userdata;
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
    std::lock_guard<std::mutex> guard(g_lock);
    if (callback)
        *callback = g_output;
    if (userdata)
        *userdata = g_output_userdata;
}

void JEX_LogSetOutputFunction(JEX_LogOutputFunction callback, void *userdata)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_output = callback;
    g_output_userdata = userdata;
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
