// Hints: priorities, the environment, callbacks, clearing, and threads.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include "JEX_hints.h"

namespace {

constexpr const char *kName = "JEX_TEST_HINT";

class HintsTest : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset()
    {
        JEX_ClearHints();
        unsetenv(kName);
        unsetenv(JEX_HINT_RENDER_DRIVER);
    }
};

std::vector<std::string> g_changes;

void Record(const char *name, const char *old_value, const char *new_value)
{
    g_changes.push_back(std::string(name) + ":" + old_value + ">" + new_value);
}

TEST_F(HintsTest, PrioritiesEnvironmentAndCallbacks)
{
    EXPECT_EQ(JEX_GetHint(kName), nullptr);
    EXPECT_TRUE(JEX_SetHint(kName, "a"));
    EXPECT_TRUE(JEX_SetHint(kName, "b"));  // equal priority replaces, lower does not
    EXPECT_FALSE(JEX_SetHintWithPriority(kName, "c", JEX_HINT_DEFAULT));
    EXPECT_STREQ(JEX_GetHint(kName), "b");
    EXPECT_TRUE(JEX_SetHintWithPriority(kName, "o", JEX_HINT_OVERRIDE));
    EXPECT_FALSE(JEX_SetHint(kName, "n"));
    EXPECT_STREQ(JEX_GetHint(kName), "o");
    // A priority above OVERRIDE neither claims success nor locks out later overrides.
    const char *other = "JEX_TEST_HINT2";
    EXPECT_FALSE(JEX_SetHintWithPriority(other, "x", static_cast<JEX_HintPriority>(3)));
    EXPECT_EQ(JEX_GetHint(other), nullptr);
    EXPECT_TRUE(JEX_SetHint(other, "a"));
    EXPECT_FALSE(JEX_SetHintWithPriority(other, "x", static_cast<JEX_HintPriority>(0xFFFFFFFFu)));
    EXPECT_TRUE(JEX_SetHintWithPriority(other, "o", JEX_HINT_OVERRIDE));
    EXPECT_STREQ(JEX_GetHint(other), "o");
    // A pointer into the stored value must survive the replacement.
    ASSERT_TRUE(JEX_SetHintWithPriority(kName, "abcdef", JEX_HINT_OVERRIDE));
    EXPECT_TRUE(JEX_SetHintWithPriority(kName, JEX_GetHint(kName) + 3, JEX_HINT_OVERRIDE));
    EXPECT_STREQ(JEX_GetHint(kName), "def");
    EXPECT_EQ(JEX_GetHint("jex_test_hint"), nullptr);  // case-sensitive
    EXPECT_FALSE(JEX_SetHint(nullptr, "v"));
    EXPECT_FALSE(JEX_SetHint(kName, nullptr));
    EXPECT_EQ(JEX_GetHint(nullptr), nullptr);
    EXPECT_FALSE(JEX_RegisterHintChangedCb(nullptr, Record));
    // The environment wins unless overridden; clearing keeps it.
    Reset();
    setenv(JEX_HINT_RENDER_DRIVER, "opengl", 1);
    EXPECT_FALSE(JEX_SetHint(JEX_HINT_RENDER_DRIVER, "software"));
    EXPECT_STREQ(JEX_GetHint(JEX_HINT_RENDER_DRIVER), "opengl");
    EXPECT_TRUE(JEX_SetHintWithPriority(JEX_HINT_RENDER_DRIVER, "software", JEX_HINT_OVERRIDE));
    EXPECT_STREQ(JEX_GetHint(JEX_HINT_RENDER_DRIVER), "software");
    // An environment value set later hides a NORMAL hint until it goes.
    ASSERT_TRUE(JEX_SetHint(kName, "hint"));
    setenv(kName, "env", 1);
    EXPECT_STREQ(JEX_GetHint(kName), "env");
    unsetenv(kName);
    EXPECT_STREQ(JEX_GetHint(kName), "hint");
    setenv(kName, "env", 1);
    ASSERT_TRUE(JEX_SetHintWithPriority(kName, "override", JEX_HINT_OVERRIDE));
    EXPECT_STREQ(JEX_GetHint(kName), "override");
    JEX_ClearHints();
    EXPECT_STREQ(JEX_GetHint(kName), "env");
    // Callbacks see each change once and may change hints.
    Reset();
    g_changes.clear();
    EXPECT_FALSE(JEX_RegisterHintChangedCb(kName, Record));  // never set
    ASSERT_TRUE(JEX_SetHint(kName, "1"));
    ASSERT_TRUE(JEX_RegisterHintChangedCb(kName, Record));
    ASSERT_TRUE(JEX_SetHint(kName, "2"));
    // Same value, higher priority: silent; the raised priority keeps out NORMAL values.
    EXPECT_TRUE(JEX_SetHintWithPriority(kName, "2", JEX_HINT_OVERRIDE));
    EXPECT_FALSE(JEX_SetHint(kName, "3"));
    JEX_ClearHints();  // not told
    EXPECT_EQ(g_changes, std::vector<std::string>{"JEX_TEST_HINT:1>2"});
    // A callback runs without the hints locked: it may clear them...
    ASSERT_TRUE(JEX_SetHint(kName, "old"));
    ASSERT_TRUE(JEX_RegisterHintChangedCb(kName, [](const char *n, const char *o, const char *v) {
        Record(n, o, v);
        JEX_ClearHints();
    }));
    EXPECT_TRUE(JEX_SetHint(kName, "new"));
    EXPECT_STREQ(JEX_GetHint(kName), "new");
    EXPECT_EQ(g_changes.back(), "JEX_TEST_HINT:old>new");
    // ...or raise the priority and win over the change that woke it.
    ASSERT_TRUE(JEX_RegisterHintChangedCb(kName, [](const char *name, const char *, const char *v) {
        if (std::string(v) != "inner")
            JEX_SetHintWithPriority(name, "inner", JEX_HINT_OVERRIDE);
    }));
    EXPECT_FALSE(JEX_SetHint(kName, "outer"));
    EXPECT_STREQ(JEX_GetHint(kName), "inner");
}

TEST_F(HintsTest, ThreadsSettingReadingAndClearingAtOnce)
{
    // Every hint set by four threads at once is kept.
    auto name = [](int t, int i) { return "JEX_T" + std::to_string(t) + "_" + std::to_string(i); };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t, name] {
            for (int i = 0; i < 1000; ++i)
                JEX_SetHint(name(t, i).c_str(), name(t, i).c_str() + 5);
        });
    for (auto &th : threads)
        th.join();
    int lost = 0;
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < 1000; ++i) {
            const char *value = JEX_GetHint(name(t, i).c_str());
            lost += !value || name(t, i).substr(5) != value;
        }
    EXPECT_EQ(lost, 0);
    // Clearing while others set, replace and read: no freed record touched, no set refused.
    std::atomic<int> running{3}, refused{0};
    threads.clear();
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([t, &running, &refused] {
            const std::string name = "JEX_C" + std::to_string(t);
            for (int i = 0; i < 3000; ++i) {
                refused += !JEX_SetHint(name.c_str(), i % 2 ? "odd" : "even");
                refused += !JEX_SetHint(kName, name.c_str());
                JEX_RegisterHintChangedCb(kName, nullptr);
                JEX_GetHint(name.c_str());  // its text may go with the next clear
            }
            --running;
        });
    while (running > 0)
        JEX_ClearHints();
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(refused.load(), 0);
}

}  // namespace
