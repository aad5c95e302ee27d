// Hints: priorities, the environment, callbacks and clearing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
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

struct Change {
    std::string name, old_value, new_value;
};
std::vector<Change> g_changes;

void Record(const char *name, const char *old_value, const char *new_value)
{
    g_changes.push_back({name, old_value, new_value});
}

TEST_F(HintsTest, PriorityOrderDecidesReplacement)
{
    EXPECT_EQ(JEX_GetHint(kName), nullptr);
    EXPECT_TRUE(JEX_SetHint(kName, "a"));
    EXPECT_STREQ(JEX_GetHint(kName), "a");
    // Equal priority replaces, lower does not.
    EXPECT_TRUE(JEX_SetHint(kName, "b"));
    EXPECT_FALSE(JEX_SetHintWithPriority(kName, "c", JEX_HINT_DEFAULT));
    EXPECT_STREQ(JEX_GetHint(kName), "b");
    EXPECT_TRUE(JEX_SetHintWithPriority(kName, "o", JEX_HINT_OVERRIDE));
    EXPECT_FALSE(JEX_SetHint(kName, "n"));
    EXPECT_STREQ(JEX_GetHint(kName), "o");

    // A priority above OVERRIDE must not claim success while being ignored,
    // nor lock out later overrides.
    const char *other = "JEX_TEST_HINT2";
    EXPECT_FALSE(JEX_SetHintWithPriority(other, "x", static_cast<JEX_HintPriority>(3)));
    EXPECT_EQ(JEX_GetHint(other), nullptr);
    EXPECT_TRUE(JEX_SetHint(other, "a"));
    EXPECT_FALSE(JEX_SetHintWithPriority(other, "x", static_cast<JEX_HintPriority>(0xFFFFFFFFu)));
    EXPECT_STREQ(JEX_GetHint(other), "a");
    EXPECT_TRUE(JEX_SetHintWithPriority(other, "o", JEX_HINT_OVERRIDE));
    EXPECT_STREQ(JEX_GetHint(other), "o");
}
TEST_F(HintsTest, EnvironmentWinsUnlessOverrideAndClearKeepsIt)
{
    setenv(JEX_HINT_RENDER_DRIVER, "opengl", 1);
    EXPECT_STREQ(JEX_GetHint(JEX_HINT_RENDER_DRIVER), "opengl");
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
}

TEST_F(HintsTest, CallbackSeesEachChangeOnce)
{
    g_changes.clear();
    EXPECT_FALSE(JEX_RegisterHintChangedCb(kName, Record));
    ASSERT_TRUE(JEX_SetHint(kName, "1"));
    ASSERT_TRUE(JEX_RegisterHintChangedCb(kName, Record));

    ASSERT_TRUE(JEX_SetHint(kName, "2"));
    ASSERT_EQ(g_changes.size(), 1u);
    EXPECT_EQ(g_changes[0].name, kName);
    EXPECT_EQ(g_changes[0].old_value, "1");
    EXPECT_EQ(g_changes[0].new_value, "2");

    // Same value at a higher priority: only the priority changes, silently;
    // the raised priority then keeps out a NORMAL value.
    EXPECT_TRUE(JEX_SetHintWithPriority(kName, "2", JEX_HINT_OVERRIDE));
    EXPECT_EQ(g_changes.size(), 1u);
    EXPECT_FALSE(JEX_SetHint(kName, "3"));
    EXPECT_EQ(g_changes.size(), 1u);

    JEX_ClearHints();
    EXPECT_EQ(g_changes.size(), 1u);
    EXPECT_EQ(JEX_GetHint(kName), nullptr);
}

void ClearingCallback(const char *, const char *, const char *)
{
    JEX_ClearHints();
}

void ResettingCallback(const char *name, const char *, const char *new_value)
{
    if (std::string(new_value) != "inner")
        JEX_SetHintWithPriority(name, "inner", JEX_HINT_OVERRIDE);
}

TEST_F(HintsTest, CallbackMayChangeOrClearHints)
{
    ASSERT_TRUE(JEX_SetHint(kName, "old"));
    ASSERT_TRUE(JEX_RegisterHintChangedCb(kName, ClearingCallback));
    EXPECT_TRUE(JEX_SetHint(kName, "new"));
    EXPECT_STREQ(JEX_GetHint(kName), "new");

    // A callback that raises the priority wins over the change that woke it.
    ASSERT_TRUE(JEX_RegisterHintChangedCb(kName, ResettingCallback));
    EXPECT_FALSE(JEX_SetHint(kName, "outer"));
    EXPECT_STREQ(JEX_GetHint(kName), "inner");
}

TEST_F(HintsTest, NamesValuesAndNulls)
{
    ASSERT_TRUE(JEX_SetHint(kName, "abcdef"));
    // A pointer into the stored value must survive the replacement.
    EXPECT_TRUE(JEX_SetHint(kName, JEX_GetHint(kName) + 3));
    EXPECT_STREQ(JEX_GetHint(kName), "def");
    EXPECT_EQ(JEX_GetHint("jex_test_hint"), nullptr);  // case-sensitive
    EXPECT_FALSE(JEX_SetHint(nullptr, "v"));
    EXPECT_FALSE(JEX_SetHint(kName, nullptr));
    EXPECT_EQ(JEX_GetHint(nullptr), nullptr);
    EXPECT_FALSE(JEX_RegisterHintChangedCb(nullptr, Record));
}

}  // namespace
