// Hints: named string settings with priorities, overridden by the environment.
#include "JEX_hints.h"

#include <cstdlib>
#include <forward_list>
#include <new>
#include <string>

namespace {

struct Hint {
    std::string name;
    std::string value;
    JEX_HintPriority priority;
    JEX_HintChangedCb callback;
};

// Newest first; records are only added, and all removed together.
std::forward_list<Hint> g_hints;

Hint *FindHint(const char *name)
{
    for (Hint &h : g_hints)
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

    Hint *hint = FindHint(name);
    if (hint) {
        if (priority < hint->priority)
            return false;
        if (hint->value == value) {
            hint->priority = priority;
            return true;
        }
        // Copies first: the new value may point into the stored one, and a
        // callback may change or clear hints before it returns.
        std::string key(name);
        std::string new_value(value);
        if (hint->callback) {
            const std::string old_value(hint->value);
            hint->callback(key.c_str(), old_value.c_str(), new_value.c_str());
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

    g_hints.push_front(Hint{name, value, priority, nullptr});
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
    Hint *hint = FindHint(name);
    if (!hint)
        return JEX_FALSE;
    hint->callback = callback;
    return JEX_TRUE;
}

void JEX_ClearHints(void)
{
    g_hints.clear();
}

}  // extern "C"
