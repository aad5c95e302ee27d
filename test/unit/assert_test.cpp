// Assertion reports: what the default handler prints and returns for every
// JEX_ASSERT value and on the terminal (byte for byte, in forked children),
// the summary at quit, saturation, and the process ends on nested failures.
#include <gtest/gtest.h>

#include <climits>
#include <stdlib.h>

#include "JEX_assert.h"
#include "JEX_video.h"
#include "child_process.h"
#include "init_internal.h"

namespace {

JEX_AssertData g_site = {0, 0, "x == 1", nullptr, 0, nullptr, nullptr};
JEX_AssertData g_inner = {0, 0, "y", nullptr, 0, nullptr, nullptr};
int Report(JEX_AssertData *data = &g_site)
{
    return JEX_ReportAssertion(data, "Func", "file.c", 7);
}

std::string Failure(unsigned n, bool asked = false, int choices = 1)
{
    const std::string text = "Assertion failure at Func (file.c:7), triggered " +
                             std::to_string(n) + " time" + (n == 1 ? "" : "s") + ":\n  'x == 1'";
    std::string out = "\n\n" + text + "\n\n" + (asked ? text + "\n" : "");
    for (int i = 0; asked && i < choices; ++i)
        out += "[0] Retry  [1] Break  [2] Abort  [3] Ignore  [4] Always Ignore\nChoice: ";
    return out;
}

TEST(Assert, DefaultHandler)
{
    const std::string no_video = "Assertion failed AND couldn't init video mode!\n";
    const struct {
        const char *env, *driver, *input;
        bool video_before;
        int code;  // 50 + 5 * first state + second state, or 42 for an abort
        std::string err;
    } cases[] = {
        {"abort", "dummy", "", false, 42, Failure(1)},
        {"Abort", "dummy", "", false, 42, Failure(1)},
        {"break", "dummy", "", false, 56, Failure(1) + Failure(2)},
        {"retry", "dummy", "", false, 50, Failure(1) + Failure(2)},
        {"ignore", "dummy", "", false, 68, Failure(1) + Failure(2)},
        {"always_ignore", "dummy", "", false, 68, Failure(1)},
        {nullptr, "nonexistent", "", false, 56, Failure(1) + no_video + Failure(2) + no_video},
        // Video is started to ask and stopped again; the program's own stays.
        {nullptr, "dummy", "9\n3\n4\n", false, 68, Failure(1, true, 2) + Failure(2, true)},
        {nullptr, "dummy", "0\n1\n", true, 51, Failure(1, true) + Failure(2, true)},
        {nullptr, "dummy", "", false, 42, Failure(1, true)},  // nobody to ask
    };
    for (const auto &c : cases) {
        const ChildResult r = RunChild(
            [&c] {
                c.env ? setenv("JEX_ASSERT", c.env, 1) : unsetenv("JEX_ASSERT");
                setenv("JEX_VIDEODRIVER", c.driver, 1);
                if (c.video_before && JEX_VideoInit(nullptr) < 0)
                    _exit(2);
                const int first = Report(), second = Report();
                const bool ok = JEX_GetAssertionReport() == &g_site && !g_site.next &&
                                g_site.trigger_count == 2 &&
                                (JEX_GetCurrentVideoDriver() != nullptr) == c.video_before;
                fflush(stderr);
                _exit(ok ? 50 + 5 * first + second : 1);
            },
            c.input);
        EXPECT_EQ(r.code, c.code) << (c.env ? c.env : c.input);
        EXPECT_EQ(r.err, c.err) << (c.env ? c.env : c.input);
    }
}

int g_calls = 0;
JEX_AssertState g_answer = JEX_ASSERTION_RETRY;
JEX_AssertState Answer(const JEX_AssertData *, void *)
{
    return ++g_calls, g_answer;
}

TEST(Assert, SiteActsOnTheAnswerAndCountSaturates)
{
    JEX_SetAssertionHandler(Answer, nullptr);
    int checks = 0;
    JEX_enabled_assert(++checks >= 3);
    g_answer = JEX_ASSERTION_ALWAYS_IGNORE;
    for (int i = 0; i < 3; ++i)
        JEX_enabled_assert(checks < 0);
    EXPECT_EQ(checks + g_calls, 6);
    Report();
    g_site.trigger_count = UINT_MAX - 1;
    Report(), Report();
    EXPECT_EQ(g_site.trigger_count, UINT_MAX);
    EXPECT_TRUE(JEX_GetAssertionReport() == &g_site && g_site.next->trigger_count == 3);
    JEX_ResetAssertionReport();
    JEX_SetAssertionHandler(nullptr, nullptr);
}

TEST(Assert, SummaryAtQuitAndEndsOfTheProcess)
{
    ChildResult r = RunChild([] {
        JEX_SetAssertionHandler(Answer, nullptr);
        g_answer = JEX_ASSERTION_ALWAYS_IGNORE, Report(), Report();
        g_answer = JEX_ASSERTION_IGNORE, Report(&g_inner);
        JEX_Quit();
        _exit(JEX_GetAssertionReport() == nullptr ? 0 : 1);
    });
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err,
              "\n\nJEX assertion report.\nAll JEX assertions between last init/quit:\n\n'y'\n"
              "    * Func (file.c:7)\n    * triggered 1 time.\n    * always ignore: no.\n"
              "'x == 1'\n    * Func (file.c:7)\n    * triggered 2 times.\n"
              "    * always ignore: yes.\n\n");
    // The handler shuts the library down while its report holds the lock;
    // a failure during the shutdown after an abort ends the process there.
    const JEX_AssertionHandler quits = [](const JEX_AssertData *, void *) {
        return JEX_Quit(), JEX_ASSERTION_IGNORE;
    };
    EXPECT_EQ(RunChild([&] { JEX_SetAssertionHandler(quits, nullptr), Report(), Report(); }).code,
              0);
    r = RunChild([] {
        JEX_SetSubsystemOps(JEX_INIT_TIMER,
                            {[] { return 0; }, [] { fputs("quit\n", stderr), Report(); }});
        JEX_Init(JEX_INIT_TIMER);
        JEX_SetAssertionHandler([](const JEX_AssertData *, void *) { return JEX_ASSERTION_ABORT; },
                                nullptr);
        Report(&g_inner);
    });
    EXPECT_EQ(r.code, 42);
    EXPECT_EQ(r.err, "quit\n");
}

}  // namespace
