// Test harness state and option parsing.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common.h"

namespace {

// A mutable, null-terminated argument vector like the one main receives.
class Args {
public:
    Args(std::initializer_list<const char *> args) : Args(std::vector<const char *>(args)) {}
    explicit Args(const std::vector<const char *> &args) : storage_(args.begin(), args.end())
    {
        for (auto &s : storage_)
            argv_.push_back(s.data());
        argv_.push_back(nullptr);
    }
    char **argv() { return argv_.data(); }
    int argc() const { return static_cast<int>(argv_.size()) - 1; }

private:
    std::vector<std::string> storage_;
    std::vector<char *> argv_;
};

struct StateFree {
    void operator()(CommonState *s) const { std::free(s); }
};
using StatePtr = std::unique_ptr<CommonState, StateFree>;

StatePtr Make(Args &args, Uint32 flags = JEX_INIT_VIDEO)
{
    return StatePtr(CommonCreateState(args.argv(), flags));
}

// Parses every argument as a program would; returns the first non-positive
// result, or the number of arguments consumed when all were understood.
int ParseAll(CommonState *state, int argc)
{
    int i = 1;
    while (i < argc) {
        const int n = CommonArg(state, i);
        if (n <= 0)
            return n;
        i += n;
    }
    return i - 1;
}

TEST(CommonState, Defaults)
{
    Args args{"prog"};
    StatePtr s = Make(args, JEX_INIT_VIDEO | JEX_INIT_AUDIO);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->argv, args.argv());
    EXPECT_EQ(s->window_title, args.argv()[0]);
    const void *nulls[] = {s->video_driver,
                           s->window_icon,
                           s->windows,
                           s->render_driver,
                           s->renderers,
                           s->audio_driver,
                           reinterpret_cast<const void *>(s->audio_spec.callback),
                           s->audio_spec.userdata};
    for (size_t i = 0; i < std::size(nulls); ++i)
        EXPECT_EQ(nulls[i], nullptr) << "pointer field " << i;
    const long long got[] = {s->init_flags,
                             s->info_flags,
                             s->display_index,
                             s->window_flags,
                             s->window_x,
                             s->window_y,
                             s->window_w,
                             s->window_h,
                             s->depth,
                             s->refresh_rate,
                             s->num_windows,
                             s->render_flags,
                             s->no_renderer,
                             s->audio_spec.freq,
                             s->audio_spec.format,
                             s->audio_spec.channels,
                             s->audio_spec.silence,
                             s->audio_spec.samples,
                             s->audio_spec.size,
                             s->gl_red_size,
                             s->gl_green_size,
                             s->gl_blue_size,
                             s->gl_alpha_size,
                             s->gl_buffer_size,
                             s->gl_depth_size,
                             s->gl_stencil_size,
                             s->gl_double_buffer,
                             s->gl_accum_red_size,
                             s->gl_accum_green_size,
                             s->gl_accum_blue_size,
                             s->gl_accum_alpha_size,
                             s->gl_stereo,
                             s->gl_multisample_buffers,
                             s->gl_multisample_samples,
                             s->gl_retained_backing,
                             s->gl_accelerated,
                             s->gl_major_version,
                             s->gl_minor_version};
    const long long want[] = {JEX_INIT_VIDEO | JEX_INIT_AUDIO,
                              0,
                              0,
                              0,
                              0x1FFF0000,
                              0x1FFF0000,
                              640,
                              480,
                              0,
                              0,
                              1,
                              0,
                              0,
                              22050,
                              0x8010,
                              2,
                              0,
                              2048,
                              0,
                              3,
                              3,
                              2,
                              0,
                              0,
                              16,
                              0,
                              1,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              0,
                              1,
                              -1,
                              0,
                              0};
    static_assert(std::size(got) == std::size(want));
    for (size_t i = 0; i < std::size(want); ++i)
        EXPECT_EQ(got[i], want[i]) << "numeric field " << i;
}

TEST(CommonArg, ValueOptionsStoreTheirValue)
{
    Args args{"prog",       "--video",    "dummy",     "--renderer", "software",
              "--title",    "T",          "--icon",    "i.bmp",      "--depth",
              "16",         "--refresh",  "75",        "--rate",     "44100",
              "--channels", "258",        "--samples", "70000",      "--position",
              "10,20",      "--geometry", "800x600",   "--windows",  "3"};
    StatePtr s = Make(args);
    ASSERT_EQ(ParseAll(s.get(), args.argc()), args.argc() - 1);
    EXPECT_STREQ(s->video_driver, "dummy");
    EXPECT_EQ(s->video_driver, args.argv()[2]);  // borrowed, not copied
    EXPECT_STREQ(s->render_driver, "software");
    EXPECT_STREQ(s->window_title, "T");
    EXPECT_STREQ(s->window_icon, "i.bmp");
    EXPECT_EQ(s->depth, 16);
    EXPECT_EQ(s->refresh_rate, 75);
    EXPECT_EQ(s->audio_spec.freq, 44100);
    EXPECT_EQ(s->audio_spec.channels, 2);  // 258 truncated to 8 bits
    EXPECT_EQ(s->audio_spec.samples, 70000 & 0xFFFF);
    EXPECT_EQ(s->window_x, 10);
    EXPECT_EQ(s->window_y, 20);
    EXPECT_EQ(s->window_w, 800);
    EXPECT_EQ(s->window_h, 600);
    EXPECT_EQ(s->num_windows, 3);
}

TEST(CommonArg, FlagOptionsAccumulate)
{
    Args args{"prog",       "--vsync",    "--noframe", "--resize",
              "--minimize", "--maximize", "--grab",    "--fullscreen"};
    StatePtr s = Make(args);
    for (int i = 1; i < args.argc(); ++i)
        EXPECT_EQ(CommonArg(s.get(), i), 1) << args.argv()[i];
    EXPECT_EQ(s->render_flags, 0x4u);
    EXPECT_EQ(s->window_flags, 0x1u | 0x10 | 0x20 | 0x40 | 0x80 | 0x100);
}

TEST(CommonArg, InfoWordsAndCase)
{
    Args args{"prog", "--info", "all", "--info", "video", "--INFO", "Modes"};
    StatePtr s = Make(args);
    ASSERT_EQ(ParseAll(s.get(), args.argc()), 6);
    EXPECT_EQ(s->info_flags, 0x0Fu);
    EXPECT_FALSE(s->info_flags & INFO_AUDIO);

    const struct {
        const char *word;
        Uint32 flag;
    } words[] = {{"video", 1}, {"MODES", 2}, {"render", 4}, {"Event", 8}};
    for (const auto &w : words) {
        Args one{"prog", "--info", w.word};
        StatePtr t = Make(one);
        EXPECT_EQ(CommonArg(t.get(), 1), 2);
        EXPECT_EQ(t->info_flags, w.flag) << w.word;
    }
}

TEST(CommonArg, LogLowersThresholds)
{
    JEX_LogResetPriorities();
    Args args{"prog", "--log", "VIDEO"};
    StatePtr s = Make(args);
    EXPECT_EQ(CommonArg(s.get(), 1), 2);
    EXPECT_EQ(JEX_LogGetPriority(JEX_LOG_CATEGORY_VIDEO), JEX_LOG_PRIORITY_VERBOSE);
    EXPECT_EQ(JEX_LogGetPriority(JEX_LOG_CATEGORY_AUDIO), JEX_LOG_PRIORITY_CRITICAL);

    const struct {
        const char *word;
        int category;
    } words[] = {{"error", 1}, {"system", 2}, {"audio", 3}, {"render", 5}, {"input", 6}};
    for (const auto &w : words) {
        JEX_LogResetPriorities();
        Args one{"prog", "--log", w.word};
        StatePtr t = Make(one);
        EXPECT_EQ(CommonArg(t.get(), 1), 2);
        EXPECT_EQ(JEX_LogGetPriority(w.category), JEX_LOG_PRIORITY_VERBOSE) << w.word;
        EXPECT_EQ(JEX_LogGetPriority(0), JEX_LOG_PRIORITY_INFO) << w.word;
    }

    JEX_LogResetPriorities();
    Args all{"prog", "--log", "all"};
    StatePtr t = Make(all);
    EXPECT_EQ(CommonArg(t.get(), 1), 2);
    EXPECT_EQ(JEX_LogGetPriority(0), JEX_LOG_PRIORITY_VERBOSE);
    EXPECT_EQ(JEX_LogGetPriority(42), JEX_LOG_PRIORITY_VERBOSE);
    JEX_LogResetPriorities();
}

TEST(CommonArg, DisplayFollowsEarlierPositionOptions)
{
    const struct {
        std::initializer_list<const char *> args;
        int x, y, display;
    } cases[] = {
        {{"prog", "--display", "2"}, 0x1FFF0002, 0x1FFF0002, 2},
        {{"prog", "--center", "--display", "2"}, 0x2FFF0002, 0x2FFF0002, 2},
        {{"prog", "--display", "2", "--center"}, 0x2FFF0000, 0x2FFF0000, 2},
        {{"prog", "--position", "10,20", "--display", "2"}, 10, 20, 2},
        {{"prog", "--display", "3", "--display", "1"}, 0x1FFF0001, 0x1FFF0001, 1},
        {{"prog", "--display", "65535"}, 0x1FFFFFFF, 0x1FFFFFFF, 65535},
    };
    for (const auto &c : cases) {
        Args args(c.args);
        StatePtr s = Make(args);
        ASSERT_GT(ParseAll(s.get(), args.argc()), 0);
        EXPECT_EQ(s->window_x, c.x);
        EXPECT_EQ(s->window_y, c.y);
        EXPECT_EQ(s->display_index, c.display);
    }
}

TEST(CommonArg, WindowsAndFullscreenInEitherOrder)
{
    Args a{"prog", "--windows", "3", "--fullscreen"};
    StatePtr s = Make(a);
    EXPECT_EQ(ParseAll(s.get(), a.argc()), 3);
    EXPECT_EQ(s->num_windows, 1);

    Args b{"prog", "--fullscreen", "--windows", "3"};
    StatePtr t = Make(b);
    EXPECT_EQ(CommonArg(t.get(), 1), 1);
    EXPECT_EQ(CommonArg(t.get(), 2), 2);  // consumed, ignored
    EXPECT_EQ(t->num_windows, 1);

    Args c{"prog", "--windows", "3abc"};
    StatePtr u = Make(c);
    EXPECT_EQ(CommonArg(u.get(), 1), 2);
    EXPECT_EQ(u->num_windows, 3);
}

// Every failure case leaves the whole state and the arguments untouched.
TEST(CommonArg, FailuresLeaveStateAlone)
{
    // The failing option is the last one but its value (if any).
    struct Case {
        std::vector<const char *> args;
        int failing;
    };
    std::vector<Case> cases = {
        {{"prog", "--windows", "x3"}, 1},
        {{"prog", "--windows", "-3"}, 1},
        {{"prog", "--windows", " 3"}, 1},
        {{"prog", "--windows", "0"}, 1},
        {{"prog", "--windows", "99999999999"}, 1},
        {{"prog", "--fullscreen", "--windows", "0"}, 2},
        {{"prog", "--geometry", "800X600"}, 1},
        {{"prog", "--position", "10;20"}, 1},
        {{"prog", "--info", "audio"}, 1},
        {{"prog", "--log", "everything"}, 1},
        {{"prog", "--format", "F32"}, 1},
        {{"prog", "--display", "-1"}, 1},
        {{"prog", "--display", "65536"}, 1},
        {{"prog", "-h"}, 1},
        {{"prog", "--HELP"}, 1},
    };
    // Every value option with its value missing.
    for (const char *option : {"--video", "--renderer", "--info", "--log", "--display", "--windows",
                               "--title", "--icon", "--position", "--geometry", "--depth",
                               "--refresh", "--rate", "--format", "--channels", "--samples"})
        cases.push_back({{"prog", option}, 1});
    for (const auto &c : cases) {
        Args args(c.args);
        StatePtr s = Make(args, JEX_INIT_VIDEO | JEX_INIT_AUDIO);
        for (int i = 1; i < c.failing;) {
            const int n = CommonArg(s.get(), i);
            ASSERT_GT(n, 0);
            i += n;
        }
        CommonState before;
        std::memcpy(&before, s.get(), sizeof before);
        const std::string value = args.argv()[args.argc() - 1];
        const char *option = c.args[c.failing];
        EXPECT_EQ(CommonArg(s.get(), c.failing), -1) << option << " " << value;
        EXPECT_EQ(std::memcmp(&before, s.get(), sizeof before), 0) << option << " " << value;
        EXPECT_EQ(value, args.argv()[args.argc() - 1]);
    }
}

TEST(CommonArg, SplitValuesAreEditedInPlace)
{
    Args args{"prog", "--position", "10,20", "--geometry", "800x"};
    StatePtr s = Make(args);
    ASSERT_EQ(ParseAll(s.get(), args.argc()), 4);
    EXPECT_STREQ(args.argv()[2], "10");
    EXPECT_STREQ(args.argv()[2] + 3, "20");
    EXPECT_STREQ(args.argv()[4], "800");
    EXPECT_EQ(s->window_w, 800);
    EXPECT_EQ(s->window_h, 0);

    // Only the first separator splits.
    Args more{"prog", "--position", "-5,7,9", "--geometry", "1x2x3"};
    StatePtr t = Make(more);
    ASSERT_EQ(ParseAll(t.get(), more.argc()), 4);
    EXPECT_EQ(t->window_x, -5);
    EXPECT_EQ(t->window_y, 7);
    EXPECT_EQ(t->window_w, 1);
    EXPECT_EQ(t->window_h, 2);
}

TEST(CommonArg, NumbersParseLikeDecimalAndSaturate)
{
    const struct {
        const char *text;
        int value;
    } cases[] = {
        {"  -12", -12},
        {"+7", 7},
        {"abc", 0},
        {"42px", 42},
        {"\t9", 9},
        {"-", 0},
        {"2147483647", INT_MAX},
        {"99999999999999999999", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999", INT_MIN},
    };
    for (const auto &c : cases) {
        Args args{"prog", "--depth", c.text, "--rate", c.text};
        StatePtr s = Make(args);
        ASSERT_EQ(ParseAll(s.get(), args.argc()), 4);
        EXPECT_EQ(s->depth, c.value) << c.text;
        EXPECT_EQ(s->audio_spec.freq, c.value) << c.text;
    }
}

TEST(CommonArg, AudioFormatKeywords)
{
    const struct {
        const char *word;
        Uint16 format;
    } cases[] = {{"U8", 0x0008},    {"s8", 0x8008},  {"U16", 0x0010},   {"u16le", 0x0010},
                 {"U16BE", 0x1010}, {"S16", 0x8010}, {"S16LE", 0x8010}, {"s16be", 0x9010}};
    for (const auto &c : cases) {
        Args args{"prog", "--format", c.word};
        StatePtr s = Make(args, JEX_INIT_AUDIO);
        s->audio_spec.format = 0;
        EXPECT_EQ(CommonArg(s.get(), 1), 2);
        EXPECT_EQ(s->audio_spec.format, c.format) << c.word;
    }
}

TEST(CommonArg, UnknownArgumentsAndBadCalls)
{
    Args args{"prog", "--fsaa", "video", "--Grab"};
    StatePtr s = Make(args);
    CommonState before;
    std::memcpy(&before, s.get(), sizeof before);
    EXPECT_EQ(CommonArg(s.get(), 1), 0);
    EXPECT_EQ(CommonArg(s.get(), 2), 0);
    EXPECT_EQ(std::memcmp(&before, s.get(), sizeof before), 0);
    EXPECT_EQ(CommonArg(s.get(), 3), 1);  // option names ignore case
    EXPECT_EQ(s->window_flags, 0x100u);
    EXPECT_EQ(CommonArg(s.get(), 4), -1);  // past the end
    EXPECT_EQ(CommonArg(s.get(), -1), -1);
    EXPECT_EQ(CommonArg(nullptr, 1), -1);
}

TEST(CommonUsage, TextFollowsSubsystemFlags)
{
    const std::string video =
        "[--video driver] [--renderer driver] [--info all|video|modes|render|event] "
        "[--log all|error|system|audio|video|render|input] [--display N] [--fullscreen | "
        "--windows N] [--title title] [--icon icon.bmp] [--center | --position X,Y] "
        "[--geometry WxH] [--depth N] [--refresh R] [--vsync] [--noframe] [--resize] "
        "[--minimize] [--maximize] [--grab]";
    const std::string audio =
        "[--rate N] [--format U8|S8|U16|U16LE|U16BE|S16|S16LE|S16BE] [--channels N] "
        "[--samples N]";
    Args args{"prog"};
    const struct {
        Uint32 flags;
        std::string text;
    } cases[] = {
        {JEX_INIT_VIDEO, video},
        {JEX_INIT_VIDEO | JEX_INIT_TIMER, video},
        {JEX_INIT_AUDIO, audio},
        {JEX_INIT_VIDEO | JEX_INIT_AUDIO | JEX_INIT_JOYSTICK, video + " " + audio},
        {0, ""},
        {JEX_INIT_TIMER | JEX_INIT_HAPTIC, ""},
    };
    for (const auto &c : cases) {
        StatePtr s = Make(args, c.flags);
        EXPECT_EQ(CommonUsage(s.get()), c.text) << std::hex << c.flags;
    }
    EXPECT_STREQ(CommonUsage(nullptr), "");
}

}  // namespace
