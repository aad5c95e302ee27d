// Hints: named string settings with priorities, overridden by the environment.
#include "JEX_hints.h"

#include <cstdlib>
#include <forward_list>
#include <mutex>
#include <new>
#include <string>

namespace {

struct Hint {
    std::string name;
    std::string value;
    JEX_HintPriority priority;
    JEX_HintChangedCb callback;
};

// Every field is shared between threads and guarded by `lock`. The lock is
// never held while a change callback runs, so a callback may set, read or
// clear hints itself.
struct HintState {
    std::mutex lock;
    std::forward_list<Hint> hints;  // newest first; only added, all removed together
};
HintState g_hints;

Hint *FindHint(const char *name)
{
    for (Hint &h : g_hints.hints)
        if (h.name == name)
            return &h;
    return nullptr;
}

bool SetHint(const char *name, const char *value, JEX_HintPriority priority)
{
    if (!name || !value)
        return false;
    // A priority the library does not know would otherwise be stored and
    // then neither win over the environment nor behave as an override.
    if (static_cast<unsigned>(priority) > JEX_HINT_OVERRIDE)
        return false;
    if (std::getenv(name) && priority < JEX_HINT_OVERRIDE)
        return false;

    // Copies first: the new value may point into the stored one, which a
    // callback or another thread may replace.
    std::string new_value(value);
    std::unique_lock<std::mutex> guard(g_hints.lock);
    Hint *hint = FindHint(name);
    if (hint) {
        if (priority < hint->priority)
            return false;
        if (hint->value == new_value) {
            hint->priority = priority;
            return true;
        }
        if (const JEX_HintChangedCb callback = hint->callback) {
            const std::string key(name);
            const std::string old_value(hint->value);
            guard.unlock();
            callback(key.c_str(), old_value.c_str(), new_value.c_str());
            guard.lock();
            // The callback (or another thread) may have changed or cleared it.
            hint = FindHint(key.c_str());
            if (hint && priority < hint->priority)
                return false;
        }
        if (hint) {
            hint->value.swap(new_value);
            hint->priority = priority;
            return true;
        }
    }
    g_hints.hints.push_front(Hint{name, std::move(new_value), priority, nullptr});
    return true;
}

}  // namespace

extern "C" {

JEX_bool JEX_SetHintWithPriority(const char *name, const char *value, JEX_HintPriority priority)
{
    try {
        return SetHint(name, value, priority) ? JEX_TRUE : JEX_FALSE;
    } catch (const std::bad_alloc &) {
        return JEX_FALSE;
    }
}

JEX_bool JEX_SetHint(const char *name, const char *value)
{
    return JEX_SetHintWithPriority(name, value, JEX_HINT_NORMAL);
}

const char *JEX_GetHint(const char *name)
{
    if (!name)
        return nullptr;
    const char *env = std::getenv(name);
    std::lock_guard<std::mutex> guard(g_hints.lock);
    const Hint *hint = FindHint(name);
    if (!hint)
        return env;
    if (!env || hint->priority == JEX_HINT_OVERRIDE)
        return hint->value.c_str();
    return env;
}

JEX_bool JEX_RegisterHintChangedCb(const char *name, JEX_HintChangedCb callback)
{
    if (!name)
        return JEX_FALSE;
    std::lock_guard<std::mutex> guard(g_hints.lock);
    Hint *hint = FindHint(name);
    if (!hint)
        return JEX_FALSE;
    hint->callback = callback;
    return JEX_TRUE;
}

void JEX_ClearHints(void)
{
    std::forward_list<Hint> gone;
    {
        std::lock_guard<std::mutex> guard(g_hints.lock);
        gone.swap(g_hints.hints);
    }
}

}  // extern "C"
