// Run-time loading against small objects the build makes in test/modules.
#include "JEX_error.h"
#include "JEX_loadso.h"
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <unistd.h>

namespace {

std::string ModulePath(const char *name)
{
    return std::string(JEX_TEST_BINARY_DIR "/test/lib") + name + ".so";
}

class LoadSoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string path = ModulePath("jex_test_module");
        ASSERT_EQ(access(path.c_str(), R_OK), 0)
            << path << " is missing: build the jex_test_module target";
        handle = JEX_LoadObject(path.c_str());
        ASSERT_NE(handle, nullptr) << JEX_GetError();
    }
    void TearDown() override { JEX_UnloadObject(handle); }
    int (*Function(const char *name))()
    {
        return reinterpret_cast<int (*)()>(JEX_LoadFunction(handle, name));
    }
    void *handle = nullptr;
};

bool StartsWith(const std::string &s, const std::string &prefix)
{
    return s.rfind(prefix, 0) == 0;
}

TEST_F(LoadSoTest, FindsFunctionsAndDataAndRefusesWhatIsMissingOrBad)
{
    auto twice = reinterpret_cast<int (*)(int)>(JEX_LoadFunction(handle, "jex_test_module_twice"));
    auto counter = static_cast<int *>(JEX_LoadFunction(handle, "jex_test_module_counter"));
    ASSERT_TRUE(twice && counter && Function("jex_test_module_answer"));
    EXPECT_EQ(std::tuple(Function("jex_test_module_answer")(), twice(21), *counter),
              std::tuple(42, 42, 7));
    JEX_SetError("before");
    // The name as given comes first; an explicitly decorated name is used as it is.
    auto decorated = Function("jex_test_module_decorated"), both = Function("jex_test_module_both"),
         under = Function("_jex_test_module_both");
    ASSERT_TRUE(decorated && both && under);
    EXPECT_EQ(std::tuple(decorated(), both(), under()), std::tuple(1234, 1, 2));
    EXPECT_STREQ(JEX_GetError(), "before");  // the failed first try is no failure of the call
    EXPECT_EQ(JEX_LoadFunction(handle, "jex_test_module_absent"), nullptr);
    const std::string error = JEX_GetError();
    const std::string prefix = "Failed loading jex_test_module_absent: ";
    EXPECT_TRUE(StartsWith(error, prefix) && error.size() > prefix.size()) << error;
    // Only one underscore is ever added.
    EXPECT_EQ(JEX_LoadFunction(handle, "test_module_decorated"), nullptr);
    EXPECT_EQ(JEX_LoadFunction(handle, ""), nullptr);
    // Missing objects and symbols, and bad arguments.
    const char *missing = JEX_TEST_BINARY_DIR "/test/libjex_no_such_module.so";
    EXPECT_EQ(JEX_LoadObject(missing), nullptr);
    const std::string why = JEX_GetError();
    EXPECT_TRUE(StartsWith(why, std::string("Failed loading ") + missing + ": ")) << why;
    EXPECT_NE(why.find("No such file"), std::string::npos) << why;
    // Every symbol is bound at open, so an unresolvable one fails the load.
    const std::string unresolved = ModulePath("jex_test_unresolved");
    ASSERT_EQ(access(unresolved.c_str(), R_OK), 0) << unresolved << " is missing";
    EXPECT_EQ(JEX_LoadObject(unresolved.c_str()), nullptr);
    EXPECT_NE(std::string(JEX_GetError()).find("jex_test_nowhere_to_be_found"), std::string::npos)
        << JEX_GetError();
    // A null file would hand out the main program, a null handle search every object.
    EXPECT_EQ(JEX_LoadObject(nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'sofile' is invalid");
    EXPECT_EQ(JEX_LoadFunction(nullptr, "malloc"), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'handle' is invalid");
    EXPECT_EQ(JEX_LoadFunction(handle, nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'name' is invalid");
    JEX_UnloadObject(nullptr);
}

}  // namespace
