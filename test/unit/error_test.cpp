// The error record: deferred printf-style formatting, truncation, per-thread records.
#include "JEX_error.h"
#include "JEX_log.h"
#include "error_internal.h"
#include <gtest/gtest.h>
#include <atomic>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-overflow"

namespace {

#define EXPECT_ERROR(want, ...)                                                                    \
    do {                                                                                           \
        JEX_SetError(__VA_ARGS__);                                                                 \
        EXPECT_STREQ(JEX_GetError(), want) << #__VA_ARGS__;                                        \
    } while (0)

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

TEST_F(ErrorTest, SetGetClearCodesLogAndTruncation)
{
    EXPECT_STREQ(JEX_GetError(), "");
    JEX_SetError("Couldn't load %s: %s", "file.bmp", static_cast<const char *>(nullptr));
    EXPECT_STREQ(JEX_GetError(), "Couldn't load file.bmp: (null)");
    EXPECT_STREQ(JEX_GetError(), "Couldn't load file.bmp: (null)");  // reading does not clear
    JEX_ClearError();
    EXPECT_STREQ(JEX_GetError(), "");
    const char *texts[] = {"Out of memory", "Error reading from datastream",
                           "Error writing to datastream", "Error seeking in datastream",
                           "That operation is not supported"};
    for (int code = -1; code <= 9; ++code) {
        JEX_Error(static_cast<JEX_errorcode>(code));
        const bool known = code >= 0 && code <= JEX_ERR_UNSUPPORTED;
        EXPECT_STREQ(JEX_GetError(), known ? texts[code] : "Unknown JEX error") << code;
    }
    // Every message is logged in the error category.
    std::vector<std::string> lines;
    JEX_LogSetOutputFunction(
        [](void *d, int category, JEX_LogPriority priority, const char *message) {
            static_cast<std::vector<std::string> *>(d)->push_back(
                std::to_string(category) + ":" + std::to_string(priority) + ":" + message);
        },
        &lines);
    JEX_SetError("hidden %d", 1);  // the error category's default threshold is CRITICAL
    JEX_LogSetPriority(JEX_LOG_CATEGORY_ERROR, JEX_LOG_PRIORITY_VERBOSE);
    JEX_SetError("shown %s %-3d|", "now", 2);
    JEX_LogResetPriorities();
    EXPECT_EQ(lines, std::vector<std::string>{"1:5:shown now 2  |"});
    // Truncation, and buffers of the caller.
    const std::string long_arg(200, 'a');
    JEX_SetError("%s", long_arg.c_str());
    EXPECT_EQ(std::string(JEX_GetError()), std::string(127, 'a'));
    JEX_SetError(std::string(300, 'f').c_str());
    EXPECT_EQ(std::strlen(JEX_GetError()), 127u);
    const char *a = long_arg.c_str();
    JEX_SetError("%s%s%s%s%s%s%s%s%s%s", a, a, a, a, a, a, a, a, a, a);
    EXPECT_EQ(std::strlen(JEX_GetError()), 127u * 5);
    JEX_SetError("%900d%900d", 1, 2);
    EXPECT_EQ(std::strlen(JEX_GetError()), 1023u);
    JEX_Error(JEX_ERR_NOMEM);
    char buf[8];
    std::memset(buf, 'X', sizeof(buf));
    EXPECT_EQ(JEX_GetErrorMsg(buf, 8), buf);
    EXPECT_STREQ(buf, "Out of ");
    // Zero- and negative-sized buffers are never written; size one gets the terminator.
    std::memset(buf, 'X', sizeof(buf));
    JEX_GetErrorMsg(buf, 0);
    JEX_GetErrorMsg(buf, -5);
    EXPECT_EQ(std::string(buf, 8), std::string(8, 'X'));
    EXPECT_EQ(JEX_GetErrorMsg(nullptr, 10), nullptr);
    JEX_GetErrorMsg(buf, 1);
    EXPECT_EQ(std::string(buf, 2), std::string("\0X", 2));
    JEX_SetError("ab%dcd", 123456);  // a piece that does not fit is cut and ends the message
    char small[6];
    EXPECT_STREQ(JEX_GetErrorMsg(small, sizeof(small)), "ab123");
}

TEST_F(ErrorTest, FormatsAsPrintfDoesWhenRead)
{
    char text[16] = "before";
    JEX_SetError("[%5d|%.2f|%10s|%x|%c|%%]", 42, 3.14159, text, 255u, 'z');
    std::strcpy(text, "after");  // the stored copy is what is shown
    EXPECT_STREQ(JEX_GetError(), "[   42|3.14|    before|ff|z|%]");
    // Flags, and "*" widths and precisions taken from the arguments.
    EXPECT_ERROR("+7 0x1f", "%+d %#x", 7, 31);
    EXPECT_ERROR("ab|3", "%.*s|%d", 2, "abcdef", 3);
    EXPECT_ERROR(" 9 end", "% d end", 9);
    EXPECT_ERROR("-0042 1   |", "%05d %-*d|", -42, -4, 1);
    EXPECT_ERROR("   2.500", "%*.*f", 8, 3, 2.5);
    EXPECT_ERROR("4294967295 80000000 10 -2147483648", "%u %x %o %d", ~0u, 1u << 31, 8u, INT_MIN);
    EXPECT_ERROR("trailing ", "trailing %");
    EXPECT_ERROR("trailing ", "trailing %-12");
    // A huge width is bounded by the message buffer, not printed in full.
    JEX_SetError("%*d", INT_MAX, 1);
    EXPECT_EQ(std::strlen(JEX_GetError()), JEX_ERRBUFSIZE - 1u);
    // Length modifiers, and only five arguments are stored.
    JEX_SetError("id %li, %lu, %lld, %llx, %zu, %hd", 0x123456789AL, ULONG_MAX, LLONG_MIN,
                 0xFEDCBA9876543210ULL, static_cast<size_t>(12345), 7);
    EXPECT_STREQ(JEX_GetError(), "id 78187493530, 18446744073709551615, -9223372036854775808, "
                                 "fedcba9876543210, 12345, ");
    EXPECT_EQ(JEX_GetErrBuf()->arg_count, 5);
    JEX_SetError("%d %d %d %d %d %d %s", 1, 2, 3, 4, 5, 6, "six");
    EXPECT_STREQ(JEX_GetError(), "1 2 3 4 5  ");
    // Each "*" uses a slot: the value of the last conversion is never stored.
    JEX_SetError("%*d %*d %*d", 2, 1, 2, 2, 2, 3);
    EXPECT_STREQ(JEX_GetError(), " 1  2 ");
    // An edited format cannot make the reader run past the arguments or the format.
    JEX_ErrorRecord *rec = JEX_GetErrBuf();
    std::strcpy(rec->format, "%s%*s%s%s%s%s%s%p%f");
    rec->arg_count = 0;
    EXPECT_STREQ(JEX_GetError(), "");
    std::memset(rec->format, 'x', sizeof(rec->format));
    EXPECT_EQ(std::strlen(JEX_GetError()), sizeof(rec->format));
}

TEST_F(ErrorTest, RecordsOfDifferentThreadsNeverMix)
{
    // Threads with a record of their own never see another's message.
    JEX_SetError("main %d", 0);
    std::vector<int> failures(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([t, &failures] {
            JEX_ErrorRecord own{};
            JEX_SetThreadErrorRecord(&own);
            for (int i = 0; i < 2000; ++i) {
                JEX_SetError("thread %d iteration %-4d %s", t, i, "xxxxxxxx");
                char want[64];
                std::snprintf(want, sizeof want, "thread %d iteration %-4d xxxxxxxx", t, i);
                failures[t] += std::strcmp(want, JEX_GetError()) != 0;
            }
            JEX_SetThreadErrorRecord(nullptr);
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(8, 0));
    EXPECT_STREQ(JEX_GetError(), "main 0");
    // Threads without one share a record; a reader sees one whole message, never a mixture.
    JEX_ClearError();
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i)
            JEX_SetError(i % 2 ? "%s-%s" : "%s+%s", "aaaaaaaa", "bbbbbbbb");
        stop = true;
    });
    int bad = 0;
    while (!stop) {
        char buf[64];
        const std::string s = JEX_GetErrorMsg(buf, sizeof(buf));
        bad += !s.empty() && s != "aaaaaaaa-bbbbbbbb" && s != "aaaaaaaa+bbbbbbbb";
    }
    writer.join();
    EXPECT_EQ(bad, 0);
}

}  // namespace
