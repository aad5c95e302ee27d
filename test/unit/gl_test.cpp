// OpenGL through the video core: attributes, library load counting, entry
// points, extension matching and contexts, on the scripted test driver with
// a fake GL behind its GL_GetProcAddress.
#include "test_video_driver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

using namespace jextest;
using Log = std::vector<std::string>;

namespace {

// The fake GL: integer state by enumerant, a pending error, the extension
// string, and the enumerants asked for, in order.
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
    auto found = fake.ints.find(pname);
    if (found != fake.ints.end())
        *params = found->second;
}
unsigned FakeGetError()
{
    const unsigned e = fake.error;
    fake.error = 0;
    return e;
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

// Attribute code -> the gl_config field it names, written out by hand so a
// crossed row in the library's table shows up.
int &Field(JEX_GLConfig &gl, int code)
{
    switch (code) {
    case JEX_GL_RED_SIZE: return gl.red_size;
    case JEX_GL_GREEN_SIZE: return gl.green_size;
    case JEX_GL_BLUE_SIZE: return gl.blue_size;
    case JEX_GL_ALPHA_SIZE: return gl.alpha_size;
    case JEX_GL_BUFFER_SIZE: return gl.buffer_size;
    case JEX_GL_DOUBLEBUFFER: return gl.double_buffer;
    case JEX_GL_DEPTH_SIZE: return gl.depth_size;
    case JEX_GL_STENCIL_SIZE: return gl.stencil_size;
    case JEX_GL_ACCUM_RED_SIZE: return gl.accum_red_size;
    case JEX_GL_ACCUM_GREEN_SIZE: return gl.accum_green_size;
    case JEX_GL_ACCUM_BLUE_SIZE: return gl.accum_blue_size;
    case JEX_GL_ACCUM_ALPHA_SIZE: return gl.accum_alpha_size;
    case JEX_GL_STEREO: return gl.stereo;
    case JEX_GL_MULTISAMPLEBUFFERS: return gl.multisamplebuffers;
    case JEX_GL_MULTISAMPLESAMPLES: return gl.multisamplesamples;
    case JEX_GL_ACCELERATED_VISUAL: return gl.accelerated;
    case JEX_GL_RETAINED_BACKING: return gl.retained_backing;
    case JEX_GL_CONTEXT_MAJOR_VERSION: return gl.major_version;
    default: return gl.minor_version;
    }
}

constexpr int kDefaults[19] = {3, 3, 2, 0, 0, 1, 16, 0, 0, 0, 0, 0, 0, 0, 0, -1, 1, 2, 1};

// The glGetIntegerv enumerant each queried attribute reads; 0 where the
// answer does not come from one query.
constexpr unsigned kQuery[19] = {0x0D52, 0x0D53, 0x0D54, 0x0D55, 0,      0x0C32, 0x0D56,
                                 0x0D57, 0x0D58, 0x0D59, 0x0D5A, 0x0D5B, 0x0C33, 0x80A8,
                                 0x80A9, 0,      0,      0,      0};

JEX_GLConfig &Config()
{
    return JEX_GetVideoDevice()->gl_config;
}

class GLTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = FakeGL{};
        drv.gl_procs = {{"glGetIntegerv", Proc(FakeGetIntegerv)},
                        {"glGetError", Proc(FakeGetError)},
                        {"glGetString", Proc(FakeGetString)}};
    }
    void TearDown() override
    {
        JEX_VideoQuit();
        unsetenv("GL_EXT_texture_rectangle");
    }

    TestVideoDriver drv;
};

TEST_F(GLTest, EverythingNeedsAVideoDevice)
{
    const char *none = "Video subsystem has not been initialized";
    int value = 5;
    EXPECT_EQ(JEX_GL_LoadLibrary(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), none);
    JEX_ClearError();
    JEX_GL_UnloadLibrary();
    EXPECT_STREQ(JEX_GetError(), none);
    EXPECT_EQ(JEX_GL_GetProcAddress("glGetString"), nullptr);
    EXPECT_EQ(JEX_GL_SetAttribute(JEX_GL_RED_SIZE, 8), -1);
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_RED_SIZE, &value), -1);
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_multitexture"));
    EXPECT_EQ(JEX_GL_CreateContext(nullptr), nullptr);
    EXPECT_EQ(JEX_GL_MakeCurrent(nullptr, nullptr), -1);
    EXPECT_EQ(JEX_GL_SetSwapInterval(1), -1);
    EXPECT_EQ(JEX_GL_GetSwapInterval(), -1);
    JEX_ClearError();
    JEX_GL_SwapWindow(nullptr);
    EXPECT_STREQ(JEX_GetError(), none);
    int dummy_context = 0;
    JEX_GL_DeleteContext(&dummy_context);  // nothing to delete it with
}

TEST_F(GLTest, AttributesStartAtTheirDefaultsAndStoreAnyValue)
{
    ASSERT_EQ(drv.Start(), 0);
    for (int code = 0; code < 19; ++code)
        EXPECT_EQ(Field(Config(), code), kDefaults[code]) << "code " << code;
    EXPECT_EQ(Config().driver_loaded, 0);

    // Each code lands in its own field and nowhere else; values are not
    // checked.
    for (int code = 0; code < 19; ++code) {
        JEX_GLConfig before = Config();
        ASSERT_EQ(JEX_GL_SetAttribute(code, -1000 - code), 0);
        for (int other = 0; other < 19; ++other) {
            EXPECT_EQ(Field(Config(), other), other == code ? -1000 - code : Field(before, other))
                << "set " << code << ", read " << other;
        }
    }

    // Unknown codes, including negative ones, touch nothing.
    const JEX_GLConfig before = Config();
    for (int code : {19, 20, -1, INT_MIN, INT_MAX}) {
        JEX_ClearError();
        EXPECT_EQ(JEX_GL_SetAttribute(code, 1), -1) << code;
        EXPECT_STREQ(JEX_GetError(), "Unknown OpenGL attribute");
    }
    EXPECT_EQ(std::memcmp(&before, &Config(), sizeof(before)), 0);

    // A new device starts from the defaults again.
    JEX_VideoQuit();
    ASSERT_EQ(drv.Start(), 0);
    for (int code = 0; code < 19; ++code)
        EXPECT_EQ(Field(Config(), code), kDefaults[code]) << "code " << code;
}

TEST_F(GLTest, GetAttributeNeedsTheLibraryAndItsEntryPoints)
{
    int value = 99;
    ASSERT_EQ(JEX_VideoInit("dummy"), 0);
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), -1);
    EXPECT_STREQ(JEX_GetError(), "No dynamic GL support in video driver");
    JEX_VideoQuit();

    ASSERT_EQ(drv.Start(), 0);
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), -1);
    EXPECT_STREQ(JEX_GetError(), "No GL driver has been loaded");
    EXPECT_EQ(value, 99);
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);

    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'value' is invalid");

    drv.gl_procs.erase("glGetError");
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), -1);
    drv.gl_procs.erase("glGetIntegerv");
    drv.gl_procs["glGetError"] = Proc(FakeGetError);
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_DEPTH_SIZE, &value), -1);
    EXPECT_TRUE(fake.queried.empty());
    EXPECT_EQ(value, 99);
}

TEST_F(GLTest, GetAttributeAnswersFromTheContextOrTheStoredValue)
{
    ASSERT_EQ(drv.Start(), 0);
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    for (int code = 0; code < 19; ++code)
        if (kQuery[code])
            fake.ints[kQuery[code]] = 100 + code;

    for (int code = 0; code < 19; ++code) {
        if (!kQuery[code])
            continue;
        fake.queried.clear();
        int value = -7;
        ASSERT_EQ(JEX_GL_GetAttribute(code, &value), 0) << code << ": " << JEX_GetError();
        EXPECT_EQ(value, 100 + code) << code;
        EXPECT_EQ(fake.queried, (std::vector<unsigned>{kQuery[code]})) << code;
    }

    // The buffer size is the sum of the four colour sizes.
    fake.queried.clear();
    int value = 0;
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_BUFFER_SIZE, &value), 0);
    EXPECT_EQ(value, 100 + 101 + 102 + 103);
    EXPECT_EQ(fake.queried, (std::vector<unsigned>{0x0D52, 0x0D53, 0x0D54, 0x0D55}));

    // The rest come from the stored requests without asking GL.
    fake.queried.clear();
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_ACCELERATED_VISUAL, &value), 0);
    EXPECT_EQ(value, 1);  // -1, "either", is non-zero
    JEX_GL_SetAttribute(JEX_GL_ACCELERATED_VISUAL, 0);
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_ACCELERATED_VISUAL, &value), 0);
    EXPECT_EQ(value, 0);
    JEX_GL_SetAttribute(JEX_GL_ACCELERATED_VISUAL, 7);
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_ACCELERATED_VISUAL, &value), 0);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, &value), 0);
    EXPECT_EQ(value, 2);
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, &value), 0);
    EXPECT_EQ(value, 1);
    JEX_GL_SetAttribute(JEX_GL_RETAINED_BACKING, 0);
    ASSERT_EQ(JEX_GL_GetAttribute(JEX_GL_RETAINED_BACKING, &value), 0);
    EXPECT_EQ(value, 0);
    EXPECT_TRUE(fake.queried.empty());

    // Unknown codes zero the answer and ask nothing.
    for (int code : {19, -1, INT_MIN}) {
        value = 55;
        EXPECT_EQ(JEX_GL_GetAttribute(code, &value), -1) << code;
        EXPECT_STREQ(JEX_GetError(), "Unknown OpenGL attribute");
        EXPECT_EQ(value, 0);
    }
    EXPECT_TRUE(fake.queried.empty());

    // GL errors after the query.
    fake.error = 0x500;
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_STENCIL_SIZE, &value), -1);
    EXPECT_STREQ(JEX_GetError(), "OpenGL error: GL_INVALID_ENUM");
    fake.error = 0x501;
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_STENCIL_SIZE, &value), -1);
    EXPECT_STREQ(JEX_GetError(), "OpenGL error: GL_INVALID_VALUE");
    fake.error = 0x505;
    EXPECT_EQ(JEX_GL_GetAttribute(JEX_GL_STENCIL_SIZE, &value), -1);
    EXPECT_STREQ(JEX_GetError(), "OpenGL error: 00000505");
}

TEST_F(GLTest, LoadsAreCountedAndTheLastUnloadReleasesTheLibrary)
{
    drv.failing = {"GL_LoadLibrary"};
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_EQ(JEX_GL_LoadLibrary(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "scripted GL_LoadLibrary failure");
    EXPECT_EQ(Config().driver_loaded, 0);
    drv.failing.clear();
    drv.Take();

    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    EXPECT_EQ(Config().driver_loaded, 2);
    EXPECT_NE(JEX_GetVideoDevice()->gl_data, nullptr);
    // The path the driver chose counts as the same library; another does not.
    ASSERT_EQ(JEX_GL_LoadLibrary("libTestGL.so"), 0);
    EXPECT_EQ(JEX_GL_LoadLibrary("libOther.so"), -1);
    EXPECT_STREQ(JEX_GetError(), "OpenGL library already loaded");
    EXPECT_EQ(Config().driver_loaded, 3);
    EXPECT_EQ(drv.Take(), (Log{"GL_LoadLibrary()"}));

    JEX_GL_UnloadLibrary();
    JEX_GL_UnloadLibrary();
    EXPECT_TRUE(drv.Take().empty());
    JEX_GL_UnloadLibrary();
    EXPECT_EQ(drv.Take(), (Log{"GL_UnloadLibrary()"}));
    EXPECT_EQ(Config().driver_loaded, 0);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_data, nullptr);
    JEX_GL_UnloadLibrary();
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(Config().driver_loaded, 0);

    // Loading again goes back to the driver, with the path given.
    ASSERT_EQ(JEX_GL_LoadLibrary("libOther.so"), 0);
    EXPECT_STREQ(Config().driver_path, "libOther.so");
    EXPECT_EQ(drv.Take(), (Log{"GL_LoadLibrary(libOther.so)"}));

    // Stopping video gives back what the application kept.
    JEX_VideoQuit();
    Log log = drv.Take();
    EXPECT_EQ(std::count(log.begin(), log.end(), "GL_UnloadLibrary()"), 1);

    TestVideoDriver noload;
    noload.Omit({"GL_LoadLibrary"});
    ASSERT_EQ(noload.Start(), 0);
    EXPECT_EQ(JEX_GL_LoadLibrary(nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "No dynamic GL support in video driver");
    EXPECT_EQ(Config().driver_loaded, 0);
}

TEST_F(GLTest, EntryPointsComeFromTheDriverOnceLoaded)
{
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_EQ(JEX_GL_GetProcAddress("glGetString"), nullptr);
    EXPECT_STREQ(JEX_GetError(), "No GL driver has been loaded");
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    drv.Take();
    EXPECT_EQ(JEX_GL_GetProcAddress("glGetString"), Proc(FakeGetString));
    EXPECT_EQ(JEX_GL_GetProcAddress("glNoSuchThing"), nullptr);
    EXPECT_EQ(JEX_GL_GetProcAddress(nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Parameter 'proc' is invalid");
    EXPECT_EQ(drv.Take(),
              (Log{"GL_GetProcAddress(glGetString)", "GL_GetProcAddress(glNoSuchThing)"}));
    JEX_VideoQuit();

    // The missing slot is reported before the missing library.
    TestVideoDriver noproc;
    noproc.Omit({"GL_GetProcAddress"});
    ASSERT_EQ(noproc.Start(), 0);
    EXPECT_EQ(JEX_GL_GetProcAddress("glGetString"), nullptr);
    EXPECT_STREQ(JEX_GetError(), "No dynamic GL support in video driver");
}

TEST_F(GLTest, ExtensionsMatchWholeNamesOnly)
{
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_multitexture"));
    EXPECT_STREQ(JEX_GetError(), "No GL driver has been loaded");
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);

    fake.extensions = "GL_ARB_multitexture GL_EXT_texture_rectangle";
    EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_ARB_multitexture"));
    EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle"));
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_m"));
    EXPECT_FALSE(JEX_GL_ExtensionSupported("texture_rectangle"));
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_multitexture GL_EXT_texture_rectangle"));

    // Names with spaces, empty names and null never reach GL.
    drv.Take();
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_multitexture "));
    EXPECT_FALSE(JEX_GL_ExtensionSupported(" GL_ARB_multitexture"));
    EXPECT_FALSE(JEX_GL_ExtensionSupported(""));
    EXPECT_FALSE(JEX_GL_ExtensionSupported(nullptr));
    EXPECT_TRUE(drv.Take().empty());

    struct Case {
        const char *list;
        bool expected;
    };
    const Case cases[] = {
        {"GL_ARB_foo", true},
        {"GL_ARB_foobar", false},
        {"GL_ARB_foo_bar", false},
        {"XGL_ARB_foo", false},
        {"GL_ARB_foobar GL_ARB_foo", true},
        {"GL_ARB_foo GL_ARB_foobar", true},
        {"GL_ARB_foobar GL_ARB_foo_bar XGL_ARB_foo", false},
        // A name running straight into a repeat of itself is one name.
        {"GL_ARB_fooGL_ARB_foo", false},
        {"GL_ARB_fooGL_ARB_foo GL_ARB_foo", true},
        {"  GL_ARB_foo", true},
        {"GL_ARB_foo   ", true},
        {"GL_A   GL_ARB_foo   GL_B", true},
        {"GL_A  GL_B ", false},
        {"", false},
        {" ", false},
    };
    for (const Case &c : cases) {
        fake.extensions = c.list;
        EXPECT_EQ(JEX_GL_ExtensionSupported("GL_ARB_foo"), c.expected ? JEX_TRUE : JEX_FALSE)
            << '"' << c.list << '"';
    }
    // Self-overlapping names.
    fake.extensions = "aaa";
    EXPECT_FALSE(JEX_GL_ExtensionSupported("aa"));
    fake.extensions = "aa aaa";
    EXPECT_TRUE(JEX_GL_ExtensionSupported("aa"));

    // GL without an extension string, or without glGetString.
    fake.extensions = nullptr;
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_foo"));
    fake.extensions = "GL_ARB_foo";
    drv.gl_procs.erase("glGetString");
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_ARB_foo"));
}

TEST_F(GLTest, TheEnvironmentCanSwitchAnExtensionOff)
{
    ASSERT_EQ(drv.Start(), 0);
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    fake.extensions = "GL_ARB_multitexture GL_EXT_texture_rectangle";
    setenv("GL_EXT_texture_rectangle", "0", 1);
    drv.Take();
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle"));
    EXPECT_TRUE(drv.Take().empty());  // decided without asking GL
    EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_ARB_multitexture"));
    setenv("GL_EXT_texture_rectangle", "0ff", 1);
    EXPECT_FALSE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle"));
    setenv("GL_EXT_texture_rectangle", "1", 1);
    EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle"));
    setenv("GL_EXT_texture_rectangle", "", 1);
    EXPECT_TRUE(JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle"));
}

TEST_F(GLTest, ContextsAreMadeBoundSwappedAndDeletedThroughTheDriver)
{
    ASSERT_EQ(drv.Start(), 0);
    JEX_Window *w = JEX_CreateWindow("gl", 0, 0, 32, 32, JEX_WINDOW_HIDDEN);
    ASSERT_NE(w, nullptr);
    JEX_Window *v = JEX_CreateWindow("gl2", 0, 0, 32, 32, JEX_WINDOW_HIDDEN);
    ASSERT_NE(v, nullptr);
    drv.Take();

    JEX_GLContext ctx = JEX_GL_CreateContext(w);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(drv.contexts_alive, 1);
    EXPECT_EQ(JEX_GL_MakeCurrent(w, ctx), 0);
    EXPECT_EQ(drv.current_context, ctx);
    // One context serves every window in turn.
    EXPECT_EQ(JEX_GL_MakeCurrent(v, ctx), 0);
    JEX_GL_SwapWindow(v);
    // No context binds no window either.
    EXPECT_EQ(JEX_GL_MakeCurrent(w, nullptr), 0);
    EXPECT_EQ(drv.current_context, nullptr);
    EXPECT_EQ(drv.Take(), (Log{"GL_CreateContext(1)", "GL_MakeCurrent(1,1)", "GL_MakeCurrent(2,1)",
                               "GL_SwapWindow(2)", "GL_MakeCurrent(0,0)"}));

    EXPECT_EQ(JEX_GL_SetSwapInterval(0), 0);
    EXPECT_EQ(JEX_GL_GetSwapInterval(), 0);
    EXPECT_EQ(JEX_GL_SetSwapInterval(-1), 0);
    EXPECT_EQ(JEX_GL_GetSwapInterval(), -1);
    drv.failing = {"GL_SetSwapInterval", "GL_MakeCurrent", "GL_CreateContext"};
    EXPECT_EQ(JEX_GL_SetSwapInterval(1), -1);
    EXPECT_EQ(JEX_GL_MakeCurrent(w, ctx), -1);
    EXPECT_STREQ(JEX_GetError(), "scripted GL_MakeCurrent failure");
    EXPECT_EQ(JEX_GL_CreateContext(w), nullptr);
    EXPECT_STREQ(JEX_GetError(), "scripted GL_CreateContext failure");
    drv.failing.clear();
    drv.Take();

    // Deleting unbinds first, whatever is current.
    ASSERT_EQ(JEX_GL_MakeCurrent(w, ctx), 0);
    drv.Take();
    JEX_GL_DeleteContext(ctx);
    EXPECT_EQ(drv.Take(), (Log{"GL_MakeCurrent(0,0)", "GL_DeleteContext(1)"}));
    EXPECT_EQ(drv.contexts_alive, 0);
    JEX_GL_DeleteContext(nullptr);
    EXPECT_TRUE(drv.Take().empty());
}

TEST_F(GLTest, WindowChecksComeBeforeTheDriver)
{
    ASSERT_EQ(drv.Start(), 0);
    JEX_Window *w = JEX_CreateWindow("gl", 0, 0, 32, 32, JEX_WINDOW_HIDDEN);
    ASSERT_NE(w, nullptr);
    JEX_GLContext ctx = JEX_GL_CreateContext(w);
    ASSERT_NE(ctx, nullptr);
    drv.Take();

    EXPECT_EQ(JEX_GL_MakeCurrent(nullptr, ctx), -1);
    EXPECT_STREQ(JEX_GetError(), "Invalid window");
    EXPECT_EQ(JEX_GL_MakeCurrent(nullptr, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Invalid window");
    EXPECT_EQ(JEX_GL_CreateContext(nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Invalid window");
    JEX_ClearError();
    JEX_GL_SwapWindow(nullptr);
    EXPECT_STREQ(JEX_GetError(), "Invalid window");

    // A window re-created without OpenGL takes no GL calls.
    ASSERT_EQ(JEX_RecreateWindow(w, JEX_WINDOW_HIDDEN), 0);
    drv.Take();
    const char *not_gl = "The specified window isn't an OpenGL window";
    EXPECT_EQ(JEX_GL_CreateContext(w), nullptr);
    EXPECT_STREQ(JEX_GetError(), not_gl);
    EXPECT_EQ(JEX_GL_MakeCurrent(w, ctx), -1);
    EXPECT_STREQ(JEX_GetError(), not_gl);
    EXPECT_EQ(JEX_GL_MakeCurrent(w, nullptr), -1);
    JEX_ClearError();
    JEX_GL_SwapWindow(w);
    EXPECT_STREQ(JEX_GetError(), not_gl);
    EXPECT_TRUE(drv.Take().empty());
}

TEST_F(GLTest, SwapIntervalSlotsAreOptional)
{
    drv.Omit({"GL_SetSwapInterval", "GL_GetSwapInterval"});
    ASSERT_EQ(drv.Start(), 0);
    EXPECT_EQ(JEX_GL_SetSwapInterval(1), -1);
    EXPECT_STREQ(JEX_GetError(), "Setting the swap interval is not supported");
    EXPECT_EQ(JEX_GL_GetSwapInterval(), -1);
    EXPECT_STREQ(JEX_GetError(), "Getting the swap interval is not supported");
}

// The driver frees its GL state when the library goes; a context deleted
// afterwards must not reach that state (the test driver reads it, so the
// address sanitizer would catch a use after free).
TEST_F(GLTest, DeletingAContextAfterTheLibraryIsGoneIsSafe)
{
    ASSERT_EQ(drv.Start(), 0);
    JEX_Window *w = JEX_CreateWindow("gl", 0, 0, 32, 32, JEX_WINDOW_HIDDEN);
    ASSERT_NE(w, nullptr);
    JEX_GLContext ctx = JEX_GL_CreateContext(w);
    ASSERT_NE(ctx, nullptr);
    JEX_DestroyWindow(w);  // gives back the only load
    EXPECT_EQ(Config().driver_loaded, 0);
    EXPECT_EQ(JEX_GetVideoDevice()->gl_data, nullptr);
    drv.Take();
    JEX_GL_DeleteContext(ctx);
    EXPECT_TRUE(drv.Take().empty());

    // The same after stopping video with a load still held.
    ASSERT_NE(JEX_CreateWindow("gl", 0, 0, 32, 32, JEX_WINDOW_HIDDEN), nullptr);
    ASSERT_EQ(JEX_GL_LoadLibrary(nullptr), 0);
    JEX_GLContext second = JEX_GL_CreateContext(JEX_GetVideoDevice()->windows);
    ASSERT_NE(second, nullptr);
    JEX_VideoQuit();
    drv.Take();
    JEX_GL_DeleteContext(second);
    EXPECT_TRUE(drv.Take().empty());
    EXPECT_EQ(drv.contexts_alive, 2);  // leaked by the application, freed by the test driver
}

}  // namespace
