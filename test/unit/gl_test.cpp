// OpenGL through the video core, with a fake GL behind GL_GetProcAddress.
#include "test_video_driver.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <climits>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

// The fake GL: integers by enumerant, a pending error, extensions, queries made.
struct FakeGL {
    std::map<unsigned, int> ints;
    unsigned error = 0;
    const char *extensions = "";
    std::vector<unsigned> queried;
};

FakeGL fake;
void FakeGetIntegerv(unsigned pname, int *params)
{
    fake.queried.push_back(pname);
    if (auto found = fake.ints.find(pname); found != fake.ints.end())
        *params = found->second;
}

unsigned FakeGetError()
{
    return std::exchange(fake.error, 0);
}

const unsigned char *FakeGetString(unsigned name)
{
    return name == 0x1F03 ? reinterpret_cast<const unsigned char *>(fake.extensions) : nullptr;
}

template <typename Fn>
void *Proc(Fn fn)
{
    return reinterpret_cast<void *>(fn);
}

JEX_GLConfig &Config()
{
    return JEX_GetVideoDevice()->gl_config;
}

int Count(const Log &log, const std::string &entry)
{
    return int(std::count(log.begin(), log.end(), entry));
}

class GLTest : public ::testing::Test {
protected:
    TestVideoDriver drv;
    void SetUp() override
    {
        fake = FakeGL{};
        drv.gl_procs = {{"glGetIntegerv", Proc(FakeGetIntegerv)},
                        {"glGetError", Proc(FakeGetError)},
                        {"glGetString", Proc(FakeGetString)}};
        ASSERT_EQ(drv.Start(), 0);
    }
    void TearDown() override
    {
        JEX_VideoQuit();
        unsetenv("GL_EXT_texture_rectangle");
    }
    JEX_Window *Make() { return JEX_CreateWindow("gl", 0, 0, 32, 32, JEX_WINDOW_HIDDEN); }
};

TEST_F(GLTest, AttributesAndNoVideoDevice)
{
    // Unknown codes, negative ones included, touch nothing.
    ASSERT_EQ(JEX_GL_SetAttribute(JEX_GL_STENCIL_SIZE, -1000), 0);
    EXPECT_EQ(Config().stencil_size, -1000);
    const JEX_GLConfig before = Config();
    for (int code : {19, 20, -1, INT_MIN, INT_MAX}) {
        EXPECT_EQ(JEX_GL_SetAttribute(code, 1), -1) << code;
        EXPECT_STREQ(JEX_GetError(), "Unknown OpenGL attribute");
    }
    EXPECT_EQ(std::memcmp(&before, &Config(), sizeof(before)), 0);
    int value = 99;
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), -1);
    EXPECT_STREQ(JEX_GetError(), "No GL driver has been loaded");
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'value' is invalid");
    fake.ints = {{0x0D52, 1}, {0x0D53, 2}, {0x0D54, 4}, {0x0D55, 8}, {0x0D56, 24}, {0x80A9, 4}};
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), 0);
    EXPECT_EQ(value, 24);
    fake.queried.clear();
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_BUFFER_SIZE, &value), 0);
    EXPECT_EQ(value, 15) << "the sum of the colour sizes";
    EXPECT_EQ(fake.queried, (std::vector<unsigned>{0x0D52, 0x0D53, 0x0D54, 0x0D55}));
    // The rest come from the stored requests; accelerated -1 (either) reads 1.
    fake.queried.clear();
    std::vector<int> stored;
    for (int accelerated : {-1, 0, 7}) {
        JEX_GL_SetAttribute(JEX_GL_ACCELERATED_VISUAL, accelerated);
        EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_ACCELERATED_VISUAL, &value), 0);
        stored.push_back(value);
    }
    JEX_GL_SetAttribute(JEX_GL_RETAINED_BACKING, 0);
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_RETAINED_BACKING, &value), 0);
    stored.push_back(value);
    EXPECT_EQ(stored, (std::vector<int>{1, 0, 1, 0}));
    value = 55;
    EXPECT_EQ(JEX_GL_GetAttribute(-1, &value), -1);
    EXPECT_EQ(value, 0) << "unknown codes zero the answer";
    EXPECT_TRUE(fake.queried.empty());
    for (auto [error, text] :
         {std::pair{0x500u, "OpenGL error: GL_INVALID_ENUM"}, {0x505u, "OpenGL error: 00000505"}}) {
        fake.error = error;
        EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_STENCIL_SIZE, &value), -1);
        EXPECT_STREQ(JEX_GetError(), text);
    }
    // Without glGetError or glGetIntegerv nothing is asked.
    drv.gl_procs.erase("glGetError");
    fake.queried.clear();
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), -1);
    EXPECT_TRUE(fake.queried.empty());
    // A new device starts from the defaults again.
    JEX_VideoQuit();
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_EQ(Config().stencil_size, 0);
    // Without a video device everything fails.
    JEX_VideoQuit();
    value = 5;
    EXPECT_EQ(JEX_GL_LoadLibrary(nullptr), -1);
    JEX_ClearError();
    JEX_GL_UnloadLibrary();
    EXPECT_STREQ(JEX_GetError(), "Video subsystem has not been initialized");
    EXPECT_TRUE(!JEX_GL_GetProcAddress("glGetString") && !JEX_GL_CreateContext(nullptr) &&
                !JEX_GL_ExtensionSupported("GL_ARB_multitexture"));
    EXPECT_EQ(JEX_GL_SetAttribute(JEX_GL_RED_SIZE, 8) +
                  JEX_GL_GetAttribute(JEX_GL_RED_SIZE, &value) +
                  JEX_GL_MakeCurrent(nullptr, nullptr) + JEX_GL_SetSwapInterval(1) +
                  JEX_GL_GetSwapInterval(),
              -5);
    JEX_ClearError();
    JEX_GL_SwapWindow(nullptr);
    EXPECT_STREQ(JEX_GetError(), "Video subsystem has not been initialized");
    int dummy_context = 0;
    JEX_GL_DeleteContext(&dummy_context);  // nothing to delete it with
}

TEST_F(GLTest, LoadsAreCountedAndTheLastUnloadReleasesTheLibrary)
{
    drv.failing = {"GL_LoadLibrary"};
    EXPECT_EQ(JEX_GL_LoadLibrary(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "scripted GL_LoadLibrary failure");
    EXPECT_EQ(Config().driver_loaded, 0);
    drv.failing.clear();
    drv.Take();
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    // The path the driver chose counts as the same library; another does not.
    ASSERT_EQ(JEX_GL_LoadLibrary("libTestGL.so"), 0);
    EXPECT_EQ(JEX_GL_LoadLibrary("libOther.so"), -1);
    EXPECT_STREQ(JEX_GetError(), "OpenGL library already loaded");
    EXPECT_EQ(Config().driver_loaded, 3);
    JEX_GL_UnloadLibrary();
    JEX_GL_UnloadLibrary();
    EXPECT_NE(JEX_GetVideoDevice()->gl_data, nullptr);
    JEX_GL_UnloadLibrary();
    JEX_GL_UnloadLibrary();
    EXPECT_EQ(drv.Take(), (Log{"GL_LoadLibrary()", "GL_UnloadLibrary()"}));
    EXPECT_EQ(Config().driver_loaded, 0);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_data, nullptr);
    ASSERT_EQ(JEX_GL_LoadLibrary("libOther.so"), 0);
    EXPECT_STREQ(Config().driver_path, "libOther.so");
    // Each window holds one load while it is an OpenGL window.
    JEX_Window *a = Make();
    JEX_Window *b = Make();
    ASSERT_TRUE(a && b);
    EXPECT_EQ(Config().driver_loaded, 3);
    JEX_DestroyWindow(a);
    JEX_GL_UnloadLibrary();
    EXPECT_EQ(Config().driver_loaded, 1) << "b still holds its load";
    // A window whose load failed gives nothing back.
    drv.failing = {"GL_LoadLibrary"};
    JEX_DestroyWindow(b);
    JEX_Window *c = Make();
    ASSERT_NE(c, nullptr) << "a failed load does not stop the window";
    drv.failing.clear();
    JEX_Window *d = Make();
    JEX_DestroyWindow(c);
    EXPECT_EQ(Config().driver_loaded, 1);
    // A failed re-creation gives its load back once, destruction not again.
    drv.failing = {"CreateWindow"};
    EXPECT_EQ(JEX_RecreateWindow(d, JEX_WINDOW_OPENGL), -1);
    EXPECT_EQ(Config().driver_loaded, 0);
    JEX_DestroyWindow(d);
    EXPECT_EQ(Config().driver_loaded, 0);
    drv.failing.clear();
    // Stopping video gives back what the application kept.
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    drv.Take();
    JEX_VideoQuit();
    EXPECT_EQ(Count(drv.Take(), "GL_UnloadLibrary()"), 1);
    TestVideoDriver noload;
    noload.Omit({"GL_LoadLibrary", "GL_GetProcAddress"});
    ASSERT_EQ(noload.Start(), 0);
    int value = 0;
    EXPECT_EQ(JEX_GL_LoadLibrary(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "No dynamic GL support in video driver");
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), -1);
    EXPECT_STREQ(JEX_GetError(), "No dynamic GL support in video driver");
    EXPECT_EQ(JEX_GL_GetProcAddress("glGetString"), nullptr);
    EXPECT_STREQ(JEX_GetError(), "No dynamic GL support in video driver");
}

TEST_F(GLTest, EntryPointsAndExtensions)
{
    EXPECT_EQ(JEX_GL_GetProcAddress("glGetString"), nullptr);
    EXPECT_STREQ(JEX_GetError(), "No GL driver has been loaded");
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_multitexture"));
    EXPECT_STREQ(JEX_GetError(), "No GL driver has been loaded");
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    drv.Take();
    EXPECT_EQ(JEX_GL_GetProcAddress("glGetString"), Proc(FakeGetString));
    EXPECT_EQ(JEX_GL_GetProcAddress("glNoSuchThing"), nullptr);
    EXPECT_EQ(JEX_GL_GetProcAddress(nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'proc' is invalid");
    EXPECT_EQ(drv.Take(),
              (Log{"GL_GetProcAddress(glGetString)", "GL_GetProcAddress(glNoSuchThing)"}));
    // Whole names only; names with spaces, empty names and null never reach GL.
    fake.extensions = "GL_ARB_multitexture GL_EXT_texture_rectangle";
    for (const char *name : {"GL_ARB_multitexture ", " GL_ARB_multitexture", "", "GL_ARB_m",
                             "texture_rectangle", static_cast<const char *>(nullptr)}) {
        EXPECT_FALSE(JEX_GL_ExtensionSupported(name)) << (name ? name : "(null)");
    }
    EXPECT_EQ(Count(drv.Take(), "GL_GetProcAddress(glGetString)"), 2);
    EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle"));
    // A name running straight into a repeat of itself is one name.
    for (const char *list : {"GL_ARB_foo", "GL_ARB_foobar GL_ARB_foo", "GL_ARB_foo GL_ARB_foobar",
                             "GL_ARB_fooGL_ARB_foo GL_ARB_foo", "  GL_ARB_foo", "GL_ARB_foo   ",
                             "GL_A   GL_ARB_foo   GL_B"}) {
        fake.extensions = list;
        EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_ARB_foo")) << '"' << list << '"';
    }
    for (const char *list : {"GL_ARB_foobar GL_ARB_foo_bar XGL_ARB_foo", "GL_ARB_fooGL_ARB_foo",
                             "GL_A  GL_B ", "", " ", static_cast<const char *>(nullptr)}) {
        fake.extensions = list;
        EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_foo")) << '"' << (list ? list : "") << '"';
    }
    fake.extensions = "aaa";
    EXPECT_FALSE(JEX_GL_ExtensionSupported("aa")) << "self-overlapping names";
    fake.extensions = "aa aaa";
    EXPECT_TRUE(JEX_GL_ExtensionSupported("aa"));
    // The environment switches an extension off without asking GL.
    fake.extensions = "GL_ARB_multitexture GL_EXT_texture_rectangle";
    drv.Take();
    for (const char *off : {"0", "0ff"}) {
        setenv("GL_EXT_texture_rectangle", off, 1);
        EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle")) << off;
    }
    EXPECT_TRUE(drv.Take().empty());
    for (const char *on : {"1", ""}) {
        setenv("GL_EXT_texture_rectangle", on, 1);
        EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle")) << on;
    }
    drv.gl_procs.erase("glGetString");
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_multitexture"));
}

TEST_F(GLTest, ContextsAreMadeBoundSwappedAndDeletedThroughTheDriver)
{
    JEX_Window *w = Make();
    JEX_Window *v = Make();
    ASSERT_TRUE(w && v);
    drv.Take();
    JEX_GLContext ctx = JEX_GL_CreateContext(w);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(JEX_GL_MakeCurrent(w, ctx), 0);
    EXPECT_EQ(drv.current_context, ctx);
    EXPECT_EQ(JEX_GL_MakeCurrent(v, ctx), 0) << "one context serves every window in turn";
    JEX_GL_SwapWindow(v);
    EXPECT_EQ(JEX_GL_MakeCurrent(w, nullptr), 0) << "no context binds no window either";
    EXPECT_EQ(drv.current_context, nullptr);
    EXPECT_EQ(drv.Take(), (Log{"GL_CreateContext(1)", "GL_MakeCurrent(1,1)", "GL_MakeCurrent(2,1)",
                               "GL_SwapWindow(2)", "GL_MakeCurrent(0,0)"}));
    EXPECT_TRUE(JEX_GL_SetSwapInterval(-1) == 0 && JEX_GL_GetSwapInterval() == -1);
    drv.failing = {"GL_SetSwapInterval", "GL_MakeCurrent", "GL_CreateContext"};
    EXPECT_EQ(JEX_GL_SetSwapInterval(1), -1);
    EXPECT_EQ(JEX_GL_MakeCurrent(w, ctx), -1);
    EXPECT_STREQ(JEX_GetError(), "scripted GL_MakeCurrent failure");
    EXPECT_EQ(JEX_GL_CreateContext(w), nullptr);
    drv.failing.clear();
    // Deleting unbinds first, whatever is current.
    ASSERT_EQ(JEX_GL_MakeCurrent(w, ctx), 0);
    drv.Take();
    JEX_GL_DeleteContext(ctx);
    JEX_GL_DeleteContext(nullptr);
    EXPECT_EQ(drv.Take(), (Log{"GL_MakeCurrent(0,0)", "GL_DeleteContext(1)"}));
    EXPECT_EQ(drv.contexts_alive, 0);
    // Bad or non-GL windows never reach the driver; re-creation keeps the title.
    ctx = JEX_GL_CreateContext(w);
    EXPECT_EQ(JEX_GL_MakeCurrent(nullptr, ctx) + JEX_GL_MakeCurrent(nullptr, nullptr), -2);
    EXPECT_STREQ(JEX_GetError(), "Invalid window");
    EXPECT_EQ(JEX_GL_CreateContext(nullptr), nullptr);
    ASSERT_EQ(JEX_RecreateWindow(w, JEX_WINDOW_RESIZABLE | JEX_WINDOW_HIDDEN), 0);
    EXPECT_STREQ(JEX_GetWindowTitle(w), "gl");
    EXPECT_EQ(JEX_GetWindowFlags(w), Uint32(JEX_WINDOW_RESIZABLE | JEX_WINDOW_HIDDEN));
    drv.Take();
    EXPECT_EQ(JEX_GL_CreateContext(w), nullptr);
    EXPECT_STREQ(JEX_GetError(), "The specified window isn't an OpenGL window");
    EXPECT_EQ(JEX_GL_MakeCurrent(w, ctx) + JEX_GL_MakeCurrent(w, nullptr), -2);
    JEX_ClearError();
    JEX_GL_SwapWindow(w);
    EXPECT_STREQ(JEX_GetError(), "The specified window isn't an OpenGL window");
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(Config().driver_loaded, 1) << "v's load is left";
    ASSERT_EQ(JEX_RecreateWindow(w, JEX_WINDOW_OPENGL), 0);
    EXPECT_EQ(Config().driver_loaded, 2);
    EXPECT_EQ(JEX_GetWindowFlags(w) & JEX_WINDOW_SHOWN, Uint32(JEX_WINDOW_SHOWN));
    JEX_GL_DeleteContext(ctx);
    TestVideoDriver nogl;
    nogl.Omit({"GL_CreateContext", "GL_SetSwapInterval", "GL_GetSwapInterval"});
    ASSERT_EQ(nogl.Start(), 0);
    EXPECT_EQ(JEX_GL_SetSwapInterval(1), -1);
    EXPECT_STREQ(JEX_GetError(), "Setting the swap interval is not supported");
    EXPECT_EQ(JEX_GL_GetSwapInterval(), -1);
    EXPECT_STREQ(JEX_GetError(), "Getting the swap interval is not supported");
}

// A context deleted after the library went must not touch the freed GL state (ASan).
TEST_F(GLTest, DeletingAContextAfterTheLibraryIsGoneIsSafe)
{
    JEX_Window *w = Make();
    JEX_GLContext ctx = JEX_GL_CreateContext(w);
    ASSERT_NE(ctx, nullptr);
    JEX_DestroyWindow(w);  // gives back the only load
    EXPECT_EQ(JEX_GetVideoDevice()->gl_data, nullptr);
    drv.Take();
    JEX_GL_DeleteContext(ctx);
    EXPECT_TRUE(drv.Take().empty());
    // The same after stopping video with a load still held.
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    JEX_GLContext second = JEX_GL_CreateContext(Make());
    ASSERT_NE(second, nullptr);
    JEX_VideoQuit();
    drv.Take();
    JEX_GL_DeleteContext(second);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(drv.contexts_alive, 2) << "leaked by the application, freed by the test driver";
}
}  // namespace
