// Assertion reports: what the default handler prints and returns for every
// JEX_ASSERT value (compared byte for byte in forked children), the terminal
// prompt, the summary at quit, and the ends of the process on abort and on
// nested failures.
#include <gtest/gtest.h>

#include <climits>
#include <stdlib.h>
#include <string>
#include <thread>
#include <vector>

#include "JEX_assert.h"
#include "JEX_init.h"
#include "JEX_video.h"
#include "child_process.h"
#include "init_internal.h"

namespace {

std::string Failure(unsigned n, const char *tail = "\n\n")
{
    return "\n\nAssertion failure at Func (file.c:7), triggered " + std::to_string(n) + " time" +
           (n == 1 ? "" : "s") + ":\n  'x == 1'" + tail;
}
const std::string kChoices =
    "[0] Retry  [1] Break  [2] Abort  [3] Ignore  [4] Always Ignore\nChoice: ";

// Fails one site twice; exits with 50 + 5 * first state + second state when
// the site is listed once with both failures and video is as it was.
void ReportTwice(bool video_before)
{
    if (video_before && JEX_VideoInit("dummy") < 0)
        _exit(2);
    static JEX_AssertData data = {0, 0, "x == 1", nullptr, 0, nullptr, nullptr};
    const int first = JEX_ReportAssertion(&data, "Func", "file.c", 7);
    const int second = JEX_ReportAssertion(&data, "Func", "file.c", 7);
    const bool listed = JEX_GetAssertionReport() == &data && !data.next && data.trigger_count == 2;
    const bool video = JEX_GetCurrentVideoDriver() != nullptr;
    fflush(stderr);
    _exit(listed && video == video_before ? 50 + 5 * first + second : 1);
}

TEST(Assert, DefaultHandlerForEveryValue)
{
    const std::string prompt = Failure(1, "\n\n") + Failure(1, "\n").substr(2) + kChoices;
    const struct {
        const char *env, *driver, *input;
        bool video_before;
        int code;
        std::string err;
    } cases[] = {
        {"abort", "dummy", "", false, 42, Failure(1)},
        {"Abort", "dummy", "", false, 42, Failure(1)},
        {"", "dummy", "", false, 42, Failure(1)},
        {"break", "dummy", "", false, 56, Failure(1) + Failure(2)},
        {"retry", "dummy", "", false, 50, Failure(1) + Failure(2)},
        {"ignore", "dummy", "", false, 68, Failure(1) + Failure(2)},
        {"always_ignore", "dummy", "", false, 68, Failure(1)},
        {nullptr, "nonexistent", "", false, 56,
         Failure(1) + "Assertion failed AND couldn't init video mode!\n" + Failure(2) +
             "Assertion failed AND couldn't init video mode!\n"},
        // Video is started for the question and stopped again; an answer
        // out of range asks again.
        {nullptr, "dummy", "9\n3\n4\n", false, 68,
         prompt + kChoices + Failure(2) + Failure(2, "\n").substr(2) + kChoices},
        // Video the program started stays.
        {nullptr, "dummy", "0\n1\n", true, 51,
         prompt + Failure(2) + Failure(2, "\n").substr(2) + kChoices},
        // Nobody to ask.
        {nullptr, "dummy", "", false, 42, prompt},
    };
    for (const auto &c : cases) {
        const ChildResult r = RunChild(
            [&c] {
                if (c.env)
                    setenv("JEX_ASSERT", c.env, 1);
                else
                    unsetenv("JEX_ASSERT");
                setenv("JEX_VIDEODRIVER", c.driver, 1);
                ReportTwice(c.video_before);
            },
            c.input);
        EXPECT_TRUE(ExitedWith(r, c.code))
            << (c.env ? c.env : "unset") << " " << c.input << " status " << r.status;
        EXPECT_EQ(r.err, c.err) << (c.env ? c.env : "unset") << " " << c.input;
    }
}

int g_calls = 0;
JEX_AssertState Answer(const JEX_AssertData *, void *answer)
{
    ++g_calls;
    return *static_cast<JEX_AssertState *>(answer);
}

class CustomHandler : public ::testing::Test {
protected:
    void SetUp() override { g_calls = 0, JEX_SetAssertionHandler(Answer, &answer_); }
    void TearDown() override
    {
        JEX_ResetAssertionReport(), JEX_SetAssertionHandler(nullptr, nullptr);
    }
    JEX_AssertState answer_ = JEX_ASSERTION_IGNORE;
};

TEST_F(CustomHandler, SiteActsOnTheAnswer)
{
    int checks = 0;
    answer_ = JEX_ASSERTION_RETRY;
    JEX_enabled_assert(++checks >= 3);
    EXPECT_EQ(checks, 3);
    answer_ = JEX_ASSERTION_ALWAYS_IGNORE;
    for (int i = 0; i < 3; ++i)
        JEX_enabled_assert(checks < 0);
    EXPECT_EQ(g_calls, 3);
    ASSERT_NE(JEX_GetAssertionReport(), nullptr);
    EXPECT_EQ(JEX_GetAssertionReport()->trigger_count, 3u);
    EXPECT_TRUE(JEX_GetAssertionReport()->always_ignore);

    answer_ = JEX_ASSERTION_BREAK;
    EXPECT_TRUE(DiedBy(RunChild([] { JEX_enabled_assert(g_calls < 0); }), SIGTRAP));
}

TEST_F(CustomHandler, CountSaturatesAndThreadsAreSerialised)
{
    static JEX_AssertData data = {0, 0, "x == 1", nullptr, 0, nullptr, nullptr};
    JEX_ReportAssertion(&data, "Func", "file.c", 7);
    data.trigger_count = UINT_MAX;
    JEX_ReportAssertion(&data, "Func", "file.c", 7);
    EXPECT_EQ(data.trigger_count, UINT_MAX);
    EXPECT_EQ(JEX_GetAssertionReport(), &data);
    EXPECT_EQ(data.next, nullptr);
    JEX_ResetAssertionReport();

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i)
                JEX_ReportAssertion(&data, "Func", "file.c", 7);
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(data.trigger_count, 2000u);
    EXPECT_EQ(g_calls, 2002);
}

TEST_F(CustomHandler, SummaryAtQuitAndEndsOfTheProcess)
{
    static JEX_AssertData outer = {0, 0, "x == 1", nullptr, 0, nullptr, nullptr};
    static JEX_AssertData inner = {0, 0, "y", nullptr, 0, nullptr, nullptr};
    const std::string summary =
        "\n\nJEX assertion report.\nAll JEX assertions between last init/quit:\n\n"
        "'x == 1'\n    * Func (file.c:7)\n    * triggered 2 times.\n"
        "    * always ignore: yes.\n"
        "'y'\n    * In (in.c:1)\n    * triggered 1 time.\n    * always ignore: no.\n\n";
    ChildResult r = RunChild([] {
        JEX_ReportAssertion(&inner, "In", "in.c", 1);
        static JEX_AssertState always = JEX_ASSERTION_ALWAYS_IGNORE;
        JEX_SetAssertionHandler(Answer, &always);
        JEX_ReportAssertion(&outer, "Func", "file.c", 7);
        JEX_ReportAssertion(&outer, "Func", "file.c", 7);
        JEX_Quit();
        _exit(JEX_GetAssertionReport() == nullptr ? 0 : 1);
    });
    EXPECT_TRUE(ExitedWith(r, 0));
    EXPECT_EQ(r.err, summary);

    // A handler may shut the library down while its report holds the lock.
    r = RunChild([] {
        JEX_SetAssertionHandler(
            [](const JEX_AssertData *, void *) {
                JEX_Quit();
                return JEX_ASSERTION_IGNORE;
            },
            nullptr);
        JEX_ReportAssertion(&outer, "Func", "file.c", 7);
        JEX_ReportAssertion(&outer, "Func", "file.c", 7);
    });
    EXPECT_TRUE(ExitedWith(r, 0)) << r.status << r.err;

    // A failure inside the handler shuts the library down once and exits.
    r = RunChild([] {
        JEX_SetAssertionHandler(
            [](const JEX_AssertData *, void *) {
                JEX_ReportAssertion(&inner, "In", "in.c", 1);
                return JEX_ASSERTION_IGNORE;
            },
            nullptr);
        JEX_ReportAssertion(&outer, "Func", "file.c", 7);
    });
    EXPECT_TRUE(ExitedWith(r, 42)) << r.status;
    EXPECT_EQ(
        r.err,
        "\n\nJEX assertion report.\nAll JEX assertions between last init/quit:\n\n"
        "'y'\n    * In (in.c:1)\n    * triggered 1 time.\n    * always ignore: no.\n"
        "'x == 1'\n    * Func (file.c:7)\n    * triggered 1 time.\n    * always ignore: no.\n\n");

    // A failure during an abort's shutdown ends the process there.
    r = RunChild([] {
        JEX_SetSubsystemOps(JEX_INIT_TIMER, {[] { return 0; },
                                             [] {
                                                 fputs("timer quit\n", stderr);
                                                 JEX_ReportAssertion(&inner, "In", "in.c", 1);
                                             }});
        JEX_Init(JEX_INIT_TIMER);
        JEX_SetAssertionHandler([](const JEX_AssertData *, void *) { return JEX_ASSERTION_ABORT; },
                                nullptr);
        JEX_ReportAssertion(&outer, "Func", "file.c", 7);
    });
    EXPECT_FALSE(r.timed_out);
    EXPECT_TRUE(ExitedWith(r, 42)) << r.status;
    EXPECT_EQ(r.err, "timer quit\n");
}

}  // namespace
