// Test harness state and command-line options.
#include "common.h"

#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr Uint32 kVideoAndAudio = JEX_INIT_VIDEO | JEX_INIT_AUDIO;
constexpr Uint32 kPositionCodeMask = 0xFFFF0000u;
constexpr int kMaxDisplayIndex = 0xFFFF;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whole-string comparison ignoring ASCII case, independent of the locale.
bool EqualsNoCase(const char *a, const char *b)
{
    for (; *a && *b; ++a, ++b)
        if (AsciiLower(*a) != AsciiLower(*b))
            return false;
    return *a == *b;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct Number {
    int value;
    bool overflowed;
};

// Decimal integer: leading blanks, an optional sign, digits up to the first
// non-digit; no digits read as 0. Values beyond int saturate instead of
// wrapping.
Number ReadNumber(const char *s)
{
    while (IsBlank(*s))
        ++s;
    bool negative = false;
    if (*s == '+' || *s == '-') {
        negative = (*s == '-');
        ++s;
    }
    const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
    long long v = 0;
    bool overflowed = false;
    for (; *s >= '0' && *s <= '9'; ++s) {
        if (!overflowed) {
            v = v * 10 + (*s - '0');
            if (v > limit) {
                v = limit;
                overflowed = true;
            }
        }
    }
    return Number{static_cast<int>(negative ? -v : v), overflowed};
}

int ReadInt(const char *s)
{
    return ReadNumber(s).value;
}

// The value a table of {word, value} pairs gives a word, in any case.
template <typename T>
struct Word {
    const char *word;
    T value;
};

template <typename T, size_t N>
bool Lookup(const Word<T> (&words)[N], const char *word, T *value)
{
    for (const Word<T> &w : words)
        if (EqualsNoCase(word, w.word)) {
            *value = w.value;
            return true;
        }
    return false;
}

constexpr Word<Uint32> kInfoWords[] = {
    {"all", INFO_VIDEO | INFO_MODES | INFO_RENDER | INFO_EVENT},
    {"video", INFO_VIDEO},
    {"modes", INFO_MODES},
    {"render", INFO_RENDER},
    {"event", INFO_EVENT},
};

// Categories for "--log"; -1 for "all".
constexpr Word<int> kLogWords[] = {
    {"all", -1},
    {"error", JEX_LOG_CATEGORY_ERROR},
    {"system", JEX_LOG_CATEGORY_SYSTEM},
    {"audio", JEX_LOG_CATEGORY_AUDIO},
    {"video", JEX_LOG_CATEGORY_VIDEO},
    {"render", JEX_LOG_CATEGORY_RENDER},
    {"input", JEX_LOG_CATEGORY_INPUT},
};

constexpr Word<JEX_AudioFormat> kFormatWords[] = {
    {"U8", JEX_AUDIO_U8},        {"S8", JEX_AUDIO_S8},        {"U16", JEX_AUDIO_U16LSB},
    {"U16LE", JEX_AUDIO_U16LSB}, {"U16BE", JEX_AUDIO_U16MSB}, {"S16", JEX_AUDIO_S16LSB},
    {"S16LE", JEX_AUDIO_S16LSB}, {"S16BE", JEX_AUDIO_S16MSB},
};

// Options without a value: the flag bit they add, and to which field.
enum class FlagField { Window, Render };

struct FlagOption {
    const char *name;
    FlagField field;
    Uint32 bit;
};

constexpr FlagOption kFlagOptions[] = {
    {"--vsync", FlagField::Render, COMMON_RENDER_PRESENTVSYNC},
    {"--noframe", FlagField::Window, JEX_WINDOW_BORDERLESS},
    {"--resize", FlagField::Window, JEX_WINDOW_RESIZABLE},
    {"--minimize", FlagField::Window, JEX_WINDOW_MINIMIZED},
    {"--maximize", FlagField::Window, JEX_WINDOW_MAXIMIZED},
    {"--grab", FlagField::Window, JEX_WINDOW_INPUT_GRABBED},
};

// Splits "AsepB" in place at the first sep, reading A and B as numbers.
bool SplitPair(char *value, char sep, int *first, int *second)
{
    char *p = std::strchr(value, sep);
    if (!p)
        return false;
    *p = '\0';
    *first = ReadInt(value);
    *second = ReadInt(p + 1);
    return true;
}

#define COMMON_VIDEO_USAGE                                                                         \
    "[--video driver] [--renderer driver] [--info all|video|modes|render|event] "                  \
    "[--log all|error|system|audio|video|render|input] [--display N] "                             \
    "[--fullscreen | --windows N] [--title title] [--icon icon.bmp] "                              \
    "[--center | --position X,Y] [--geometry WxH] [--depth N] [--refresh R] "                      \
    "[--vsync] [--noframe] [--resize] [--minimize] [--maximize] [--grab]"
#define COMMON_AUDIO_USAGE                                                                         \
    "[--rate N] [--format U8|S8|U16|U16LE|U16BE|S16|S16LE|S16BE] [--channels N] [--samples N]"
constexpr const char kVideoUsage[] = COMMON_VIDEO_USAGE;
constexpr const char kAudioUsage[] = COMMON_AUDIO_USAGE;
constexpr const char kVideoAudioUsage[] = COMMON_VIDEO_USAGE " " COMMON_AUDIO_USAGE;

}  // namespace

extern "C" {

CommonState *CommonCreateState(char **argv, Uint32 flags)
{
    auto *state = static_cast<CommonState *>(std::calloc(1, sizeof(CommonState)));
    if (!state) {
        JEX_OutOfMemory();
        return nullptr;
    }
    state->argv = argv;
    state->init_flags = flags;
    state->window_title = argv ? argv[0] : nullptr;
    state->window_x = JEX_WINDOWPOS_UNDEFINED;
    state->window_y = JEX_WINDOWPOS_UNDEFINED;
    state->window_w = 640;
    state->window_h = 480;
    state->num_windows = 1;
    state->audio_spec.freq = 22050;
    state->audio_spec.format = JEX_AUDIO_S16LSB;
    state->audio_spec.channels = 2;
    state->audio_spec.samples = 2048;

    state->gl_red_size = 3;
    state->gl_green_size = 3;
    state->gl_blue_size = 2;
    state->gl_depth_size = 16;
    state->gl_double_buffer = 1;
    state->gl_retained_backing = 1;
    state->gl_accelerated = -1;
    return state;
}

int CommonArg(CommonState *state, int index)
{
    if (!state || !state->argv || index < 0)
        return -1;
    char **argv = state->argv;
    const char *arg = argv[index];
    if (!arg)
        return -1;
    // Only read when the option takes a value; null at the end of the vector.
    char *value = nullptr;
    auto takes_value = [&]() {
        value = argv[index + 1];
        return value != nullptr;
    };

    // Options whose value is kept as given, or read as a number.
    const struct {
        const char *name;
        const char **field;
    } kept[] = {{"--video", &state->video_driver},
                {"--renderer", &state->render_driver},
                {"--title", &state->window_title},
                {"--icon", &state->window_icon}};
    for (const auto &opt : kept)
        if (EqualsNoCase(arg, opt.name)) {
            if (!takes_value())
                return -1;
            *opt.field = value;
            return 2;
        }
    const struct {
        const char *name;
        void (*set)(CommonState *, int);
    } numbers[] = {
        {"--depth", [](CommonState *s, int v) { s->depth = v; }},
        {"--refresh", [](CommonState *s, int v) { s->refresh_rate = v; }},
        {"--rate", [](CommonState *s, int v) { s->audio_spec.freq = v; }},
        {"--channels",
         [](CommonState *s, int v) { s->audio_spec.channels = static_cast<Uint8>(v); }},
        {"--samples",
         [](CommonState *s, int v) { s->audio_spec.samples = static_cast<Uint16>(v); }},
    };
    for (const auto &opt : numbers)
        if (EqualsNoCase(arg, opt.name)) {
            if (!takes_value())
                return -1;
            opt.set(state, ReadInt(value));
            return 2;
        }
    if (EqualsNoCase(arg, "--info")) {
        Uint32 flag = 0;
        if (!takes_value() || !Lookup(kInfoWords, value, &flag))
            return -1;
        state->info_flags |= flag;
        return 2;
    }
    if (EqualsNoCase(arg, "--log")) {
        int category = 0;
        if (!takes_value() || !Lookup(kLogWords, value, &category))
            return -1;
        if (category < 0)
            JEX_LogSetAllPriority(JEX_LOG_PRIORITY_VERBOSE);
        else
            JEX_LogSetPriority(category, JEX_LOG_PRIORITY_VERBOSE);
        return 2;
    }
    if (EqualsNoCase(arg, "--display")) {
        if (!takes_value())
            return -1;
        // The index travels in the lower 16 bits of a position code, so one
        // outside them would turn the code into an explicit position.
        const Number n = ReadNumber(value);
        if (n.overflowed || n.value < 0 || n.value > kMaxDisplayIndex)
            return -1;
        state->display_index = n.value;
        const Uint32 x = static_cast<Uint32>(state->window_x) & kPositionCodeMask;
        if (x == JEX_WINDOWPOS_UNDEFINED_MASK)
            state->window_x = state->window_y = JEX_WINDOWPOS_UNDEFINED_DISPLAY(n.value);
        else if (x == JEX_WINDOWPOS_CENTERED_MASK)
            state->window_x = state->window_y = JEX_WINDOWPOS_CENTERED_DISPLAY(n.value);
        return 2;
    }
    if (EqualsNoCase(arg, "--fullscreen")) {
        state->num_windows = 1;
        state->window_flags |= JEX_WINDOW_FULLSCREEN;
        return 1;
    }
    if (EqualsNoCase(arg, "--windows")) {
        if (!takes_value() || !(*value >= '0' && *value <= '9'))
            return -1;
        // At least one window, and no count that only fits by wrapping.
        const Number n = ReadNumber(value);
        if (n.overflowed || n.value < 1)
            return -1;
        if (!(state->window_flags & JEX_WINDOW_FULLSCREEN))
            state->num_windows = n.value;
        return 2;
    }
    if (EqualsNoCase(arg, "--center")) {
        state->window_x = state->window_y = JEX_WINDOWPOS_CENTERED;
        return 1;
    }
    if (EqualsNoCase(arg, "--position")) {
        int x = 0, y = 0;
        if (!takes_value() || !SplitPair(value, ',', &x, &y))
            return -1;
        state->window_x = x;
        state->window_y = y;
        return 2;
    }
    if (EqualsNoCase(arg, "--geometry")) {
        int w = 0, h = 0;
        // Only a lowercase x separates: "800X600" is refused.
        if (!takes_value() || !SplitPair(value, 'x', &w, &h))
            return -1;
        state->window_w = w;
        state->window_h = h;
        return 2;
    }
    for (const FlagOption &opt : kFlagOptions) {
        if (EqualsNoCase(arg, opt.name)) {
            if (opt.field == FlagField::Render)
                state->render_flags |= opt.bit;
            else
                state->window_flags |= opt.bit;
            return 1;
        }
    }
    if (EqualsNoCase(arg, "--format")) {
        JEX_AudioFormat format = 0;
        if (!takes_value() || !Lookup(kFormatWords, value, &format))
            return -1;
        state->audio_spec.format = format;
        return 2;
    }
    if (EqualsNoCase(arg, "-h") || EqualsNoCase(arg, "--help"))
        return -1;
    return 0;
}

const char *CommonUsage(CommonState *state)
{
    switch (state ? state->init_flags & kVideoAndAudio : 0) {
    case JEX_INIT_VIDEO: return kVideoUsage;
    case JEX_INIT_AUDIO: return kAudioUsage;
    case kVideoAndAudio: return kVideoAudioUsage;
    default: return "";
    }
}

}  // extern "C"
