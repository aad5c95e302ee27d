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

// Parses like a program; the first non-positive result, or the arguments consumed.
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
    // --log lowers thresholds.
    // "all" (-1) lowers every category, unnamed ones (42) too.
    const std::pair<const char *, int> logs[] = {{"error", 1}, {"system", 2}, {"audio", 3},
                                                 {"VIDEO", 4}, {"render", 5}, {"input", 6},
                                                 {"all", -1}};
    for (const auto &[word, category] : logs) {
        JEX_LogResetPriorities();
        Args one{"prog", "--log", word};
        StatePtr t = Make(one);
        EXPECT_EQ(CommonArg(t.get(), 1), 2);
        for (int c : {0, 1, 2, 3, 4, 5, 6, 42})
            EXPECT_EQ(JEX_LogGetPriority(c), c == category || category < 0
                                                 ? JEX_LOG_PRIORITY_VERBOSE
                                             : c == 0 ? JEX_LOG_PRIORITY_INFO
                                                      : JEX_LOG_PRIORITY_CRITICAL)
                << word << " " << c;
    }
    JEX_LogResetPriorities();
}

TEST(CommonArg, PositionDisplayWindowCountAndUsage)
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
        EXPECT_EQ(std::tuple(s->window_x, s->window_y, s->display_index, s->num_windows),
                  std::tuple(c.x, c.y, c.display, c.windows));
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
    // The usage text follows the subsystem flags (the video text: the e2e command-line run).
    Args args{"prog"};
    const std::string video = CommonUsage(Make(args, JEX_INIT_VIDEO).get()),
                      audio = "[--rate N] [--format U8|S8|U16|U16LE|U16BE|S16|S16LE|S16BE] "
                              "[--channels N] [--samples N]";
    const std::pair<Uint32, std::string> usages[] = {
        {JEX_INIT_VIDEO | JEX_INIT_TIMER, video},
        {JEX_INIT_AUDIO, audio},
        {JEX_INIT_VIDEO | JEX_INIT_AUDIO | JEX_INIT_JOYSTICK, video + " " + audio},
        {JEX_INIT_TIMER | JEX_INIT_HAPTIC, ""}};
    for (const auto &[flags, text] : usages)
        EXPECT_EQ(CommonUsage(Make(args, flags).get()), text) << std::hex << flags;
    EXPECT_STREQ(CommonUsage(nullptr), "");
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
        ASSERT_TRUE(failing == 1 || CommonArg(s.get(), 1) == 1);
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

// Null driver: both render drivers are reported, and windows fail (no OpenGL).
TEST(CommonInit, ReportsRenderDriversAndStopsAtTheFirstFailure)
{
    Args args{"prog", "--video", "dummy", "--info", "render", "--title", "t"};
    StatePtr s = Make(args);
    ASSERT_EQ(ParseAll(s.get(), args.argc()), args.argc() - 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CommonInit(s.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Built-in render drivers:\n"
              "  Renderer opengl:\n"
              "    Flags: 0x00000006 (Accelerated | PresentVSync)\n"
              "    Texture formats (1): ARGB8888\n"
              "  Renderer software:\n"
              "    Flags: 0x00000001 (0x00000001)\n"
              "    Texture formats (8): RGB555, RGB565, RGB888, BGR888, ARGB8888, RGBA8888, "
              "ABGR8888, BGRA8888\n"
              "Couldn't create window: No OpenGL support in video driver\n");
    CommonQuit(s.release());  // an unknown driver: the e2e command-line run
}

// Named flags, other bits as hex, unknown formats as hex, the size line
// only for a known limit.
TEST(PrintRenderer, FlagsFormatsAndSize)
{
    JEX_RendererInfo info = {"x", 0x8000000A, 3, {0, 0x32595559, 0x12345678}, 2048, 1024};
    testing::internal::CaptureStderr();
    PrintRenderer(&info);
    info.max_texture_width = info.max_texture_height = 0;
    info.num_texture_formats = 0;
    PrintRenderer(&info);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "  Renderer x:\n"
              "    Flags: 0x8000000A (Accelerated | 0x00000008 | 0x80000000)\n"
              "    Texture formats (3): Unknwon, YUY2, 0x12345678\n"
              "    Max Texture Size: 2048x1024\n"
              "  Renderer x:\n"
              "    Flags: 0x8000000A (Accelerated | 0x00000008 | 0x80000000)\n"
              "    Texture formats (0): \n");
}

}  // namespace
