// The error record: deferred formatting, truncation, per-thread records.

#include "JEX_error.h"
#include "JEX_log.h"
#include "error_internal.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-overflow"

namespace {

class ErrorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        JEX_LogGetOutputFunction(&saved_fn_, &saved_data_);
        JEX_LogSetOutputFunction(nullptr, nullptr);  // keep stderr quiet
        JEX_ClearError();
    }
    void TearDown() override { JEX_LogSetOutputFunction(saved_fn_, saved_data_); }

    JEX_LogOutputFunction saved_fn_ = nullptr;
    void *saved_data_ = nullptr;
};

TEST_F(ErrorTest, SetGetClearAndCodes)
{
    EXPECT_STREQ(JEX_GetError(), "");
    JEX_SetError("Couldn't load %s: %s", "file.bmp", static_cast<const char *>(nullptr));
    EXPECT_STREQ(JEX_GetError(), "Couldn't load file.bmp: (null)");
    // Reading does not clear; success does not clear.
    EXPECT_STREQ(JEX_GetError(), "Couldn't load file.bmp: (null)");
    JEX_ClearError();
    EXPECT_STREQ(JEX_GetError(), "");
    // The last error wins.
    JEX_SetError("first");
    JEX_SetError("second %d", 2);
    EXPECT_STREQ(JEX_GetError(), "second 2");

    const struct {
        int code;
        const char *text;
    } cases[] = {{JEX_ERR_NOMEM, "Out of memory"},
                 {JEX_ERR_READ, "Error reading from datastream"},
                 {JEX_ERR_WRITE, "Error writing to datastream"},
                 {JEX_ERR_SEEK, "Error seeking in datastream"},
                 {JEX_ERR_UNSUPPORTED, "That operation is not supported"},
                 {9, "Unknown JEX error"},
                 {-1, "Unknown JEX error"}};
    for (const auto &c : cases) {
        JEX_Error(static_cast<JEX_errorcode>(c.code));
        EXPECT_STREQ(JEX_GetError(), c.text) << c.code;
    }
}

TEST_F(ErrorTest, ConversionsAreFormattedAtReadTime)
{
    char text[16] = "before";
    JEX_SetError("[%5d|%.2f|%10s|%x|%c|%%]", 42, 3.14159, text, 255u, 'z');
    std::strcpy(text, "after");  // the stored copy is what is shown
    EXPECT_STREQ(JEX_GetError(), "[   42|3.14|    before|ff|z|%]");

    // Unsigned conversions of values with the top bit set stay 32-bit.
    JEX_SetError("%u %x %o", 0xFFFFFFFFu, 0x80000000u, 8u);
    EXPECT_STREQ(JEX_GetError(), "4294967295 80000000 10");
    JEX_SetError("%d", INT_MIN);
    EXPECT_STREQ(JEX_GetError(), "-2147483648");
}

TEST_F(ErrorTest, FlagsAreUnknownConversionsThatTakeNothing)
{
    // The minus is taken as the conversion: it prints nothing, uses no
    // argument, and "3d" follows as plain text; the 7 is never stored.
    JEX_SetError("%5d%-3d", 42, 7);
    EXPECT_STREQ(JEX_GetError(), "   423d");
    EXPECT_EQ(JEX_GetErrBuf()->arg_count, 1);
    JEX_SetError("100%% sure");
    EXPECT_STREQ(JEX_GetError(), "100% sure");
    JEX_SetError("trailing %");
    EXPECT_STREQ(JEX_GetError(), "trailing ");
    JEX_SetError("trailing %12");
    EXPECT_STREQ(JEX_GetError(), "trailing ");
}

TEST_F(ErrorTest, LengthModifiersAndTheFiveStoredArguments)
{
    const long big = 0x123456789AL;
    JEX_SetError("id %li, %lu, %lld, %llx, %zu, %hd", big, static_cast<unsigned long>(ULONG_MAX),
                 LLONG_MIN, 0xFEDCBA9876543210ULL, static_cast<size_t>(12345), 7);
    EXPECT_STREQ(JEX_GetError(), "id 78187493530, 18446744073709551615, -9223372036854775808, "
                                 "fedcba9876543210, 12345, ");
    // Only five arguments are stored; the sixth conversion prints nothing.
    EXPECT_EQ(JEX_GetErrBuf()->arg_count, 5);

    JEX_SetError("%d %d %d %d %d %d %s", 1, 2, 3, 4, 5, 6, "six");
    EXPECT_STREQ(JEX_GetError(), "1 2 3 4 5  ");
    // A format edited after the fact cannot make the reader run past the
    // stored arguments either.
    JEX_ErrorRecord *rec = JEX_GetErrBuf();
    std::strcpy(rec->format, "%s%s%s%s%s%s%s%s%p%f");
    rec->arg_count = 0;
    EXPECT_STREQ(JEX_GetError(), "");
}

TEST_F(ErrorTest, Truncation)
{
    const std::string long_arg(200, 'a');
    JEX_SetError("%s", long_arg.c_str());
    EXPECT_EQ(std::string(JEX_GetError()), std::string(127, 'a'));

    const std::string long_fmt(300, 'f');
    JEX_SetError("%s", long_fmt.c_str());  // fine, argument
    JEX_SetError(long_fmt.c_str());
    EXPECT_EQ(std::strlen(JEX_GetError()), 127u);

    // The whole 1024-byte message is cut at 1023 characters.
    JEX_SetError("%s%s%s%s%s%s%s%s%s%s", long_arg.c_str(), long_arg.c_str(), long_arg.c_str(),
                 long_arg.c_str(), long_arg.c_str(), long_arg.c_str(), long_arg.c_str(),
                 long_arg.c_str(), long_arg.c_str(), long_arg.c_str());
    EXPECT_EQ(std::strlen(JEX_GetError()), 127u * 5);
    JEX_SetError("%900d%900d", 1, 2);
    EXPECT_EQ(std::strlen(JEX_GetError()), 1023u);
}

TEST_F(ErrorTest, GetErrorMsgHonoursBufferSize)
{
    JEX_Error(JEX_ERR_NOMEM);
    char buf[8];
    std::memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(JEX_GetErrorMsg(buf, 8), buf);
    EXPECT_STREQ(buf, "Out of ");

    // A zero-sized or negative-sized buffer is never written.
    std::memset(buf, 'X', sizeof(buf));
    JEX_GetErrorMsg(buf, 0);
    JEX_GetErrorMsg(buf, -5);
    EXPECT_EQ(std::string(buf, 8), std::string(8, 'X'));
    EXPECT_EQ(JEX_GetErrorMsg(nullptr, 10), nullptr);

    // A size of one writes just the terminator.
    JEX_GetErrorMsg(buf, 1);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(buf[1], 'X');

    // An integer piece that does not fit is cut and ends the message.
    JEX_SetError("ab%dcd", 123456);
    char small[6];
    JEX_GetErrorMsg(small, sizeof(small));
    EXPECT_STREQ(small, "ab123");
}

struct Captured {
    std::vector<std::string> lines;
    std::vector<int> categories;
};

void Capture(void *userdata, int category, JEX_LogPriority priority, const char *message)
{
    auto *c = static_cast<Captured *>(userdata);
    c->categories.push_back(category);
    c->lines.push_back(std::to_string(priority) + ":" + message);
}

TEST_F(ErrorTest, EveryErrorIsLoggedInTheErrorCategory)
{
    Captured captured;
    JEX_LogSetOutputFunction(Capture, &captured);
    JEX_SetError("hidden %d", 1);  // the error category's default threshold is CRITICAL
    EXPECT_TRUE(captured.lines.empty());
    JEX_LogSetPriority(JEX_LOG_CATEGORY_ERROR, JEX_LOG_PRIORITY_VERBOSE);
    JEX_SetError("shown %s %d", "now", 2);
    JEX_LogResetPriorities();
    ASSERT_EQ(captured.lines.size(), 1u);
    EXPECT_EQ(captured.lines[0], "5:shown now 2");
    EXPECT_EQ(captured.categories[0], JEX_LOG_CATEGORY_ERROR);
}

TEST_F(ErrorTest, ThreadsWithTheirOwnRecordNeverSeeOthersMessages)
{
    JEX_SetError("main %d", 0);
    constexpr int kThreads = 8;
    std::vector<std::thread> threads;
    std::vector<int> failures(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &failures] {
            JEX_ErrorRecord own{};
            JEX_SetThreadErrorRecord(&own);
            for (int i = 0; i < 2000; ++i) {
                JEX_SetError("thread %d iteration %d %s", t, i, "xxxxxxxxxxxxxxxx");
                const std::string expect = "thread " + std::to_string(t) + " iteration " +
                                           std::to_string(i) + " xxxxxxxxxxxxxxxx";
                if (expect != JEX_GetError())
                    ++failures[t];
            }
            JEX_SetThreadErrorRecord(nullptr);
        });
    }
    for (auto &th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
    EXPECT_STREQ(JEX_GetError(), "main 0");
}

TEST_F(ErrorTest, SharedRecordIsNeverTorn)
{
    // Threads without a record of their own share one; a reader sees one
    // whole message or another, never a mixture.
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i)
            JEX_SetError(i % 2 ? "%s-%s" : "%s+%s", "aaaaaaaa", "bbbbbbbb");
        stop = true;
    });
    int bad = 0;
    while (!stop) {
        char buf[64];
        JEX_GetErrorMsg(buf, sizeof(buf));
        const std::string s = buf;
        if (!s.empty() && s != "aaaaaaaa-bbbbbbbb" && s != "aaaaaaaa+bbbbbbbb")
            ++bad;
    }
    writer.join();
    EXPECT_EQ(bad, 0);
}

}  // namespace
