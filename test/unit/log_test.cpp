// Categorised logging: thresholds, overrides, output function, limits.
#include "JEX_log.h"
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

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
    // Lines as "category:priority:text".
    static void Collect(void *userdata, int category, JEX_LogPriority priority, const char *msg)
    {
        static_cast<std::vector<std::string> *>(userdata)->push_back(
            std::to_string(category) + ":" + std::to_string(priority) + ":" + msg);
    }
    // Which of the six priorities pass for a category, as digits.
    std::string Passing(int category)
    {
        std::string s;
        for (int p = JEX_LOG_PRIORITY_VERBOSE; p <= JEX_LOG_PRIORITY_CRITICAL; ++p) {
            lines_.clear();
            JEX_LogMessage(category, static_cast<JEX_LogPriority>(p), "x");
            if (!lines_.empty())
                s += std::to_string(p);
        }
        return s;
    }
    std::vector<std::string> lines_;
    JEX_LogOutputFunction saved_fn_ = nullptr;
    void *saved_data_ = nullptr;
};

TEST_F(LogTest, PrioritiesShorthandsLimitsAndOutput)
{
    JEX_LogSetPriority(JEX_LOG_CATEGORY_VIDEO, JEX_LOG_PRIORITY_VERBOSE);
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_VIDEO), "123456");
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_AUDIO), "6");
    // Set-all changes existing overrides and both defaults; later overrides stand alone.
    JEX_LogSetAllPriority(JEX_LOG_PRIORITY_WARN);
    for (int c : {int{JEX_LOG_CATEGORY_VIDEO}, int{JEX_LOG_CATEGORY_APPLICATION}, 5000})
        EXPECT_EQ(Passing(c), "456") << c;
    JEX_LogSetAllPriority(JEX_LOG_PRIORITY_VERBOSE);
    JEX_LogSetPriority(JEX_LOG_CATEGORY_SYSTEM, JEX_LOG_PRIORITY_CRITICAL);
    JEX_LogSetPriority(100000, JEX_LOG_PRIORITY_ERROR);
    JEX_LogSetPriority(-3, JEX_LOG_PRIORITY_DEBUG);
    JEX_LogSetPriority(100000, JEX_LOG_PRIORITY_INFO);
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_SYSTEM), "6");
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_INPUT), "123456");
    EXPECT_EQ(Passing(100000), "3456");
    EXPECT_EQ(JEX_LogGetPriority(-3), JEX_LOG_PRIORITY_DEBUG);
    // A priority that is none of the six is refused; the old value stays.
    for (int category : {int{JEX_LOG_CATEGORY_SYSTEM}, 100000, 42})
        for (int bad : {99, 7, -1}) {
            const JEX_LogPriority before = JEX_LogGetPriority(category);
            JEX_LogSetPriority(category, static_cast<JEX_LogPriority>(bad));
            EXPECT_EQ(JEX_LogGetPriority(category), before) << category << " " << bad;
        }
    JEX_LogSetAllPriority(static_cast<JEX_LogPriority>(99));
    EXPECT_EQ(JEX_LogGetPriority(JEX_LOG_CATEGORY_APPLICATION), JEX_LOG_PRIORITY_VERBOSE);
    EXPECT_EQ(JEX_LogGetPriority(JEX_LOG_CATEGORY_SYSTEM), JEX_LOG_PRIORITY_CRITICAL);
    JEX_LogResetPriorities();
    for (int c : {4, 100000, -3, 2})
        EXPECT_EQ(JEX_LogGetPriority(c), JEX_LOG_PRIORITY_CRITICAL) << c;
    EXPECT_EQ(JEX_LogGetPriority(0), JEX_LOG_PRIORITY_INFO);
    // After a reset, the defaults.
    EXPECT_EQ(Passing(JEX_LOG_CATEGORY_APPLICATION), "3456");
    for (int c : {1, 2, 3, 4, 5, 6, 1000, -7})
        EXPECT_EQ(Passing(c), "6") << c;
    lines_.clear();
    JEX_Log("hello %s", "world");
    JEX_LogDebug(JEX_LOG_CATEGORY_APPLICATION, "no");
    JEX_LogError(JEX_LOG_CATEGORY_VIDEO, "no");
    JEX_LogCritical(JEX_LOG_CATEGORY_VIDEO, "yes %d", 1);
    EXPECT_EQ(lines_, (std::vector<std::string>{"0:3:hello world", "4:6:yes 1"}));
    // Priorities out of range, the length limit, the output function.
    JEX_LogSetAllPriority(static_cast<JEX_LogPriority>(0));
    lines_.clear();
    JEX_LogMessage(0, static_cast<JEX_LogPriority>(7), "never");
    JEX_LogMessage(0, static_cast<JEX_LogPriority>(-1), "never");
    JEX_LogMessage(0, static_cast<JEX_LogPriority>(0), "zero");
    JEX_Log("%s", std::string(5000, 'm').c_str());
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[0], "0:0:zero");
    EXPECT_EQ(lines_[1], "0:3:" + std::string(4095, 'm'));
    JEX_LogOutputFunction fn = nullptr;
    void *data = nullptr;
    JEX_LogGetOutputFunction(nullptr, &data);  // either out-parameter may be null
    JEX_LogGetOutputFunction(&fn, nullptr);
    EXPECT_EQ(data, &lines_);
    EXPECT_EQ(fn, &LogTest::Collect);
    lines_.clear();
    JEX_LogSetOutputFunction(nullptr, nullptr);  // switches output off
    JEX_Log("dropped");
    JEX_LogCritical(3, "dropped");
    EXPECT_TRUE(lines_.empty());
    ::testing::internal::CaptureStderr();
    JEX_LogOutput(nullptr, 0, JEX_LOG_PRIORITY_INFO, "text");
    JEX_LogOutput(nullptr, 4, JEX_LOG_PRIORITY_CRITICAL, "bad");
    JEX_LogOutput(nullptr, 4, static_cast<JEX_LogPriority>(0), "plain");
    JEX_LogOutput(nullptr, 4, static_cast<JEX_LogPriority>(99), "out of range");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "INFO: text\nCRITICAL: bad\nplain\nout of range\n");
}

TEST_F(LogTest, ThresholdsChangeSafelyWhileOtherThreadsLog)
{
    std::atomic<int> delivered{0};
    JEX_LogSetOutputFunction([](void *d, int, JEX_LogPriority,
                                const char *) { static_cast<std::atomic<int> *>(d)->fetch_add(1); },
                             &delivered);
    // CRITICAL passes every threshold the main thread sets, so every message must arrive.
    std::atomic<int> running{4};
    std::vector<std::thread> loggers;
    for (int t = 0; t < 4; ++t)
        loggers.emplace_back([&, t] {
            for (int i = 0; i < 3000; ++i)
                JEX_LogMessage(t * 40000, JEX_LOG_PRIORITY_CRITICAL, "x%d", t);
            --running;
        });
    for (int i = 0; running > 0; ++i) {
        JEX_LogSetPriority(i % 7, JEX_LOG_PRIORITY_DEBUG);
        JEX_LogSetPriority(40000 + i % 3, JEX_LOG_PRIORITY_DEBUG);
        JEX_LogSetPriority(80000, static_cast<JEX_LogPriority>(99));
        JEX_LogSetAllPriority(JEX_LOG_PRIORITY_WARN);
        if (i % 100 == 0)
            JEX_LogResetPriorities();
    }
    for (auto &th : loggers)
        th.join();
    EXPECT_EQ(delivered.load(), 4 * 3000);
}

}  // namespace
