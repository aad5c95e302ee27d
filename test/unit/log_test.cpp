// Categorised logging: thresholds, overrides, output function, limits.

#include "JEX_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Line {
    int category;
    JEX_LogPriority priority;
    std::string text;
};

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        JEX_LogGetOutputFunction(&saved_fn_, &saved_data_);
        JEX_LogResetPriorities();
        JEX_LogSetOutputFunction(Collect, &lines_);
    }
    void TearDown() override
    {
        JEX_LogResetPriorities();
        JEX_LogSetOutputFunction(saved_fn_, saved_data_);
    }
    static void Collect(void *userdata, int category, JEX_LogPriority priority, const char *msg)
    {
        static_cast<std::vector<Line> *>(userdata)->push_back({category, priority, msg});
    }
    // Which of the six priorities pass for a category.
    std::string Passing(int category)
    {
        lines_.clear();
        for (int p = JEX_LOG_PRIORITY_VERBOSE; p <= JEX_LOG_PRIORITY_CRITICAL; ++p)
            JEX_LogMessage(category, static_cast<JEX_LogPriority>(p), "%d", p);
        std::string s;
        for (const auto &l : lines_)
            s += l.text;
        return s;
    }

    std::vector<Line> lines_;
    JEX_LogOutputFunction saved_fn_ = nullptr;
    void *saved_data_ = nullptr;
};

TEST_F(LogTest, DefaultThresholds)
{
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_APPLICATION), "3456");
    for (int c = JEX_LOG_CATEGORY_ERROR; c <= JEX_LOG_CATEGORY_INPUT; ++c)
        EXPECT_EQ(Passing(c), "6") << c;
    EXPECT_EQ(Passing(1000), "6");
    EXPECT_EQ(Passing(-7), "6");
    EXPECT_EQ(JEX_LogGetPriority(0), JEX_LOG_PRIORITY_INFO);
    EXPECT_EQ(JEX_LogGetPriority(4), JEX_LOG_PRIORITY_CRITICAL);

    lines_.clear();
    JEX_Log("hello %s", "world");
    JEX_LogDebug(JEX_LOG_CATEGORY_APPLICATION, "no");
    JEX_LogError(JEX_LOG_CATEGORY_VIDEO, "no");
    JEX_LogCritical(JEX_LOG_CATEGORY_VIDEO, "yes");
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[0].text, "hello world");
    EXPECT_EQ(lines_[0].priority, JEX_LOG_PRIORITY_INFO);
    EXPECT_EQ(lines_[0].category, JEX_LOG_CATEGORY_APPLICATION);
    EXPECT_EQ(lines_[1].priority, JEX_LOG_PRIORITY_CRITICAL);
}

TEST_F(LogTest, OverridesAndSetAll)
{
    JEX_LogSetPriority(JEX_LOG_CATEGORY_VIDEO, JEX_LOG_PRIORITY_VERBOSE);
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_VIDEO), "123456");
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_AUDIO), "6");

    // Set-all changes existing overrides and both defaults; later
    // overrides are records of their own.
    JEX_LogSetAllPriority(JEX_LOG_PRIORITY_WARN);
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_VIDEO), "456");
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_APPLICATION), "456");
    EXPECT_EQ(Passing(5000), "456");
    JEX_LogSetAllPriority(JEX_LOG_PRIORITY_VERBOSE);
    JEX_LogSetPriority(JEX_LOG_CATEGORY_SYSTEM, JEX_LOG_PRIORITY_CRITICAL);
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_SYSTEM), "6");
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_INPUT), "123456");

    // Categories far outside the built-in range keep their own overrides.
    JEX_LogSetPriority(100000, JEX_LOG_PRIORITY_ERROR);
    JEX_LogSetPriority(-3, JEX_LOG_PRIORITY_DEBUG);
    JEX_LogSetPriority(100000, JEX_LOG_PRIORITY_INFO);
    EXPECT_EQ(JEX_LogGetPriority(100000), JEX_LOG_PRIORITY_INFO);
    EXPECT_EQ(JEX_LogGetPriority(-3), JEX_LOG_PRIORITY_DEBUG);
    EXPECT_EQ(Passing(100000), "3456");

    JEX_LogResetPriorities();
    EXPECT_EQ(JEX_LogGetPriority(0), JEX_LOG_PRIORITY_INFO);
    EXPECT_EQ(JEX_LogGetPriority(4), JEX_LOG_PRIORITY_CRITICAL);
    EXPECT_EQ(JEX_LogGetPriority(100000), JEX_LOG_PRIORITY_CRITICAL);
    EXPECT_EQ(JEX_LogGetPriority(-3), JEX_LOG_PRIORITY_CRITICAL);
}

TEST_F(LogTest, PriorityLimitsMessageLengthAndOutputFunction)
{
    JEX_LogSetAllPriority(static_cast<JEX_LogPriority>(0));
    lines_.clear();
    JEX_LogMessage(0, static_cast<JEX_LogPriority>(7), "never");
    JEX_LogMessage(0, static_cast<JEX_LogPriority>(-1), "never");
    JEX_LogMessage(0, static_cast<JEX_LogPriority>(0), "zero passes a zero threshold");
    ASSERT_EQ(lines_.size(), 1u);

    lines_.clear();
    const std::string big(5000, 'm');
    JEX_Log("%s", big.c_str());
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0].text, std::string(4095, 'm'));

    // The output function reads back, and a null one switches output off.
    JEX_LogOutputFunction fn = nullptr;
    void *data = nullptr;
    JEX_LogGetOutputFunction(&fn, &data);
    EXPECT_EQ(data, &lines_);
    JEX_LogGetOutputFunction(nullptr, &data);  // either out-parameter may be null
    JEX_LogGetOutputFunction(&fn, nullptr);

    lines_.clear();
    JEX_LogSetOutputFunction(nullptr, nullptr);
    JEX_Log("dropped");
    JEX_LogCritical(3, "dropped");
    EXPECT_TRUE(lines_.empty());
}

TEST(LogOutput, DefaultOutputWritesPrefixAndMessage)
{
    ::testing::internal::CaptureStderr();
    JEX_LogOutput(nullptr, 0, JEX_LOG_PRIORITY_INFO, "text");
    JEX_LogOutput(nullptr, 4, JEX_LOG_PRIORITY_CRITICAL, "bad");
    JEX_LogOutput(nullptr, 4, static_cast<JEX_LogPriority>(0), "plain");
    JEX_LogOutput(nullptr, 4, static_cast<JEX_LogPriority>(99), "out of range");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "INFO: text\nCRITICAL: bad\nplain\nout of range\n");
}

TEST_F(LogTest, ThresholdsChangeSafelyWhileOtherThreadsLog)
{
    std::atomic<int> delivered{0};
    JEX_LogSetOutputFunction([](void *d, int, JEX_LogPriority,
                                const char *) { static_cast<std::atomic<int> *>(d)->fetch_add(1); },
                             &delivered);
    std::atomic<bool> stop{false};
    std::vector<std::thread> loggers;
    for (int t = 0; t < 4; ++t) {
        loggers.emplace_back([&, t] {
            while (!stop)
                JEX_LogMessage(t * 40000, JEX_LOG_PRIORITY_CRITICAL, "x%d", t);
        });
    }
    for (int i = 0; i < 2000; ++i) {
        JEX_LogSetPriority(i % 7, JEX_LOG_PRIORITY_DEBUG);
        JEX_LogSetPriority(40000 + i % 3, JEX_LOG_PRIORITY_DEBUG);
        JEX_LogSetAllPriority(JEX_LOG_PRIORITY_WARN);
        if (i % 100 == 0)
            JEX_LogResetPriorities();
    }
    stop = true;
    for (auto &th : loggers)
        th.join();
    EXPECT_GT(delivered.load(), 0);
}

}  // namespace
