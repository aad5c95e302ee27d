// Test harness state and option parsing.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
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
    EXPECT_TRUE(!s->video_driver && !s->window_icon && !s->windows && !s->render_driver &&
                !s->renderers && !s->audio_driver && !s->audio_spec.callback &&
                !s->audio_spec.userdata);
    char got[512];
    std::snprintf(got, sizeof got,
                  "init %x info %x display %d flags %x pos %x,%x size %dx%d depth %d refresh %d "
                  "windows %d render %x/%d audio %d %x %d %d %d %d gl %d %d %d %d %d %d %d %d "
                  "accum %d %d %d %d stereo %d ms %d %d retained %d accel %d version %d.%d",
                  s->init_flags, s->info_flags, s->display_index, s->window_flags, s->window_x,
                  s->window_y, s->window_w, s->window_h, s->depth, s->refresh_rate, s->num_windows,
                  s->render_flags, s->no_renderer, s->audio_spec.freq, s->audio_spec.format,
                  s->audio_spec.channels, s->audio_spec.silence, s->audio_spec.samples,
                  s->audio_spec.size, s->gl_red_size, s->gl_green_size, s->gl_blue_size,
                  s->gl_alpha_size, s->gl_buffer_size, s->gl_depth_size, s->gl_stencil_size,
                  s->gl_double_buffer, s->gl_accum_red_size, s->gl_accum_green_size,
                  s->gl_accum_blue_size, s->gl_accum_alpha_size, s->gl_stereo,
                  s->gl_multisample_buffers, s->gl_multisample_samples, s->gl_retained_backing,
                  s->gl_accelerated, s->gl_major_version, s->gl_minor_version);
    EXPECT_STREQ(got, "init 30 info 0 display 0 flags 0 pos 1fff0000,1fff0000 size 640x480 depth 0 "
                      "refresh 0 windows 1 render 0/0 audio 22050 8010 2 0 2048 0 gl 3 3 2 0 0 "
                      "16 0 1 accum 0 0 0 0 stereo 0 ms 0 0 retained 1 accel -1 version 0.0");
}

TEST(CommonArg, OptionsStoreValuesAndAccumulateFlags)
{
    Args args{"prog",       "--video",    "dummy",  "--renderer", "software",  "--title",
              "T",          "--icon",     "i.bmp",  "--depth",    "16",        "--refresh",
              "75",         "--rate",     "44100",  "--channels", "258",       "--samples",
              "70000",      "--position", "-5,7,9", "--geometry", "800x600x3", "--windows",
              "3abc",       "--vsync",    "--Grab", "--noframe",  "--resize",  "--minimize",
              "--maximize", "--info",     "all",    "--INFO",     "Modes",     "--format",
              "s16be"};
    StatePtr s = Make(args);
    ASSERT_EQ(ParseAll(s.get(), args.argc()), args.argc() - 1);
    EXPECT_EQ(s->video_driver, args.argv()[2]);  // borrowed, not copied
    EXPECT_STREQ(args.argv()[20], "-5");         // split in place at the first ","
    EXPECT_EQ(std::tuple(std::string(s->render_driver), std::string(s->window_title),
                         std::string(s->window_icon), s->depth, s->refresh_rate),
              std::tuple("software", "T", "i.bmp", 16, 75));
    // 258 channels truncated to 8 bits, 70000 samples to 16.
    EXPECT_EQ(std::tuple(s->audio_spec.freq, int(s->audio_spec.channels),
                         int(s->audio_spec.samples), int(s->audio_spec.format)),
              std::tuple(44100, 2, 70000 & 0xFFFF, 0x9010));
    EXPECT_EQ(std::tuple(s->window_x, s->window_y, s->window_w, s->window_h, s->num_windows),
              std::tuple(-5, 7, 800, 600, 3));
    EXPECT_EQ(std::tuple(s->render_flags, s->window_flags, s->info_flags),
              std::tuple(Uint32{COMMON_RENDER_PRESENTVSYNC}, 0x1F0u, 0x0Fu));

    const struct {
        const char *option, *word;
        Uint32 value;
    } words[] = {
        {"--info", "video", 1},      {"--info", "MODES", 2},        {"--info", "render", 4},
        {"--info", "Event", 8},      {"--format", "U8", 8},         {"--format", "s8", 0x8008},
        {"--format", "U16", 0x10},   {"--format", "u16le", 0x10},   {"--format", "U16BE", 0x1010},
        {"--format", "S16", 0x8010}, {"--format", "S16LE", 0x8010}, {"--geometry", "800x", 800}};
    for (const auto &w : words) {
        Args one{"prog", w.option, w.word};
        StatePtr t = Make(one);
        t->audio_spec.format = 0;
        EXPECT_EQ(CommonArg(t.get(), 1), 2);
        const Uint32 got = w.option[2] == 'i'   ? t->info_flags
                           : w.option[2] == 'f' ? t->audio_spec.format
                                                : Uint32(t->window_w + t->window_h);
        EXPECT_EQ(got, w.value) << w.option << " " << w.word;
    }
}

TEST(CommonArg, LogLowersThresholds)
{
    const std::pair<const char *, int> words[] = {{"error", 1}, {"system", 2}, {"audio", 3},
                                                  {"VIDEO", 4}, {"render", 5}, {"input", 6}};
    for (const auto &[word, category] : words) {
        JEX_LogResetPriorities();
        Args one{"prog", "--log", word};
        StatePtr t = Make(one);
        EXPECT_EQ(CommonArg(t.get(), 1), 2);
        for (int c = 0; c <= 6; ++c)
            EXPECT_EQ(JEX_LogGetPriority(c), c == category ? JEX_LOG_PRIORITY_VERBOSE
                                             : c == 0      ? JEX_LOG_PRIORITY_INFO
                                                           : JEX_LOG_PRIORITY_CRITICAL)
                << word << " " << c;
    }
    JEX_LogResetPriorities();
    Args all{"prog", "--log", "all"};
    StatePtr t = Make(all);
    EXPECT_EQ(CommonArg(t.get(), 1), 2);
    EXPECT_EQ(JEX_LogGetPriority(0), JEX_LOG_PRIORITY_VERBOSE);
    EXPECT_EQ(JEX_LogGetPriority(42), JEX_LOG_PRIORITY_VERBOSE);
    JEX_LogResetPriorities();
}

TEST(CommonArg, PositionDisplayAndWindowCountFollowTheOrder)
{
    const struct {
        std::initializer_list<const char *> args;
        int x, y, display, windows;
    } cases[] = {
        {{"prog", "--display", "2"}, 0x1FFF0002, 0x1FFF0002, 2, 1},
        {{"prog", "--center", "--display", "2"}, 0x2FFF0002, 0x2FFF0002, 2, 1},
        {{"prog", "--display", "2", "--center"}, 0x2FFF0000, 0x2FFF0000, 2, 1},
        {{"prog", "--position", "10,20", "--display", "2"}, 10, 20, 2, 1},
        {{"prog", "--display", "3", "--display", "1"}, 0x1FFF0001, 0x1FFF0001, 1, 1},
        {{"prog", "--display", "65535"}, 0x1FFFFFFF, 0x1FFFFFFF, 65535, 1},
        {{"prog", "--windows", "3", "--fullscreen"}, 0x1FFF0000, 0x1FFF0000, 0, 1},
        {{"prog", "--fullscreen", "--windows", "3"}, 0x1FFF0000, 0x1FFF0000, 0, 1},
        {{"prog", "--windows", "3"}, 0x1FFF0000, 0x1FFF0000, 0, 3},
    };
    for (const auto &c : cases) {
        Args args(c.args);
        StatePtr s = Make(args);
        ASSERT_EQ(ParseAll(s.get(), args.argc()), args.argc() - 1);
        EXPECT_EQ(s->window_x, c.x);
        EXPECT_EQ(s->window_y, c.y);
        EXPECT_EQ(s->display_index, c.display);
        EXPECT_EQ(s->num_windows, c.windows);
    }

    // Numbers read as decimal, saturating.
    const std::pair<const char *, int> numbers[] = {{"  -12", -12},
                                                    {"+7", 7},
                                                    {"abc", 0},
                                                    {"42px", 42},
                                                    {"\t9", 9},
                                                    {"-", 0},
                                                    {"2147483647", INT_MAX},
                                                    {"99999999999999999999", INT_MAX},
                                                    {"-2147483648", INT_MIN},
                                                    {"-99999999999999999999", INT_MIN}};
    for (const auto &[text, value] : numbers) {
        Args args{"prog", "--depth", text, "--rate", text};
        StatePtr s = Make(args);
        ASSERT_EQ(ParseAll(s.get(), args.argc()), 4);
        EXPECT_EQ(s->depth, value) << text;
        EXPECT_EQ(s->audio_spec.freq, value) << text;
    }
}

// Every failure leaves the whole state and the arguments untouched.
TEST(CommonArg, FailuresAndUnknownArgumentsLeaveStateAlone)
{
    std::vector<std::vector<const char *>> cases = {{"--windows", "x3"},
                                                    {"--windows", "-3"},
                                                    {"--windows", " 3"},
                                                    {"--windows", "0"},
                                                    {"--windows", "99999999999"},
                                                    {"--geometry", "800X600"},
                                                    {"--position", "10;20"},
                                                    {"--info", "audio"},
                                                    {"--log", "everything"},
                                                    {"--format", "F32"},
                                                    {"--display", "-1"},
                                                    {"--display", "65536"},
                                                    {"-h"},
                                                    {"--HELP"},
                                                    {"--fullscreen", "--windows", "0"}};
    for (const char *option : {"--video", "--renderer", "--info", "--log", "--display", "--windows",
                               "--title", "--icon", "--position", "--geometry", "--depth",
                               "--refresh", "--rate", "--format", "--channels", "--samples"})
        cases.push_back({option});  // value missing
    for (auto c : cases) {
        c.insert(c.begin(), "prog");
        Args args(c);
        StatePtr s = Make(args, JEX_INIT_VIDEO | JEX_INIT_AUDIO);
        const int failing = c[1] == std::string("--fullscreen") ? 2 : 1;
        if (failing == 2) {
            ASSERT_EQ(CommonArg(s.get(), 1), 1);
        }
        CommonState before;
        std::memcpy(&before, s.get(), sizeof before);
        const std::string value = args.argv()[args.argc() - 1];
        EXPECT_EQ(CommonArg(s.get(), failing), -1) << c[failing] << " " << value;
        EXPECT_EQ(std::memcmp(&before, s.get(), sizeof before), 0) << c[failing] << " " << value;
        EXPECT_EQ(value, args.argv()[args.argc() - 1]);
    }

    Args args{"prog", "--fsaa", "video"};
    StatePtr s = Make(args);
    CommonState before;
    std::memcpy(&before, s.get(), sizeof before);
    EXPECT_EQ(CommonArg(s.get(), 1), 0);
    EXPECT_EQ(CommonArg(s.get(), 2), 0);
    EXPECT_EQ(std::memcmp(&before, s.get(), sizeof before), 0);
    EXPECT_EQ(CommonArg(s.get(), 3), -1);  // past the end
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
    const std::pair<Uint32, std::string> cases[] = {
        {JEX_INIT_VIDEO, video},
        {JEX_INIT_VIDEO | JEX_INIT_TIMER, video},
        {JEX_INIT_AUDIO, audio},
        {JEX_INIT_VIDEO | JEX_INIT_AUDIO | JEX_INIT_JOYSTICK, video + " " + audio},
        {0, ""},
        {JEX_INIT_TIMER | JEX_INIT_HAPTIC, ""}};
    for (const auto &[flags, text] : cases)
        EXPECT_EQ(CommonUsage(Make(args, flags).get()), text) << std::hex << flags;
    EXPECT_STREQ(CommonUsage(nullptr), "");
}

// Start-up on the null driver: the render report says there are no render
// drivers, and windows fail there (no OpenGL), which ends start-up.
TEST(CommonInit, ReportsNoRenderDriversAndStopsAtTheFirstFailure)
{
    Args args{"prog", "--video", "dummy", "--info", "render", "--title", "t"};
    StatePtr s = Make(args);
    ASSERT_EQ(ParseAll(s.get(), args.argc()), args.argc() - 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CommonInit(s.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No built-in render drivers\n"
              "Couldn't create window: No OpenGL support in video driver\n");
    CommonQuit(s.release());

    Args bad{"prog", "--video", "nosuchdriver"};
    s = Make(bad);
    ASSERT_EQ(ParseAll(s.get(), bad.argc()), 2);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CommonInit(s.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Couldn't initialize video driver: nosuchdriver not available\n");
    CommonQuit(s.release());
}

}  // namespace
