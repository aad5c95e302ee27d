// GLX on a private Xvfb with Mesa: the attributes granted are compared with
// the visual the server really gave, versioned contexts are really created,
// and failures say why. (Swapped pixels are read back end to end.)
#include "x11_test_util.h"

#include "video/x11/x11_opengl.h"

#include <GL/gl.h>
#include <GL/glx.h>
#include <climits>

// Leak checking, when the tests run under a sanitizer.
extern "C" __attribute__((weak)) void __lsan_disable();
extern "C" __attribute__((weak)) void __lsan_enable();

namespace {

using namespace x11test;

class X11GLTest : public X11DriverTest {
protected:
    template <typename Fn>
    Fn GL(const char *name)
    {
        return reinterpret_cast<Fn>(JEX_GL_GetProcAddress(name));
    }

    // The server's description of the window's visual, as GLX sees it.
    int VisualConfig(JEX_Window *window, int attribute)
    {
        XWindowAttributes a{};
        X11.XGetWindowAttributes(Data()->display, XidOf(window), &a);
        XVisualInfo wanted{};
        wanted.visualid = X11.XVisualIDFromVisual(a.visual);
        int count = 0;
        XVisualInfo *vinfo = X11.XGetVisualInfo(Data()->display, VisualIDMask, &wanted, &count);
        EXPECT_NE(vinfo, nullptr);
        int value = -1;
        if (vinfo) {
            auto get = GL<int (*)(Display *, XVisualInfo *, int, int *)>("glXGetConfig");
            EXPECT_EQ(get(Data()->display, vinfo, attribute, &value), 0);
            X11.XFree(vinfo);
        }
        return value;
    }
};

TEST_F(X11GLTest, GrantedAttributesMatchTheVisual)
{
    const std::pair<JEX_GLattr, int> requests[] = {
        {JEX_GL_RED_SIZE, 5},    {JEX_GL_GREEN_SIZE, 5},   {JEX_GL_BLUE_SIZE, 5},
        {JEX_GL_DEPTH_SIZE, 16}, {JEX_GL_STENCIL_SIZE, 8}, {JEX_GL_DOUBLEBUFFER, 1},
    };
    const int glx_names[] = {GLX_RED_SIZE,   GLX_GREEN_SIZE,   GLX_BLUE_SIZE,
                             GLX_DEPTH_SIZE, GLX_STENCIL_SIZE, GLX_DOUBLEBUFFER};
    for (const auto &[attribute, value] : requests)
        JEX_GL_SetAttribute(attribute, value);
    JEX_Window *window = ShownWindow("gl", 0, 0, 32, 32);
    ASSERT_NE(window, nullptr);
    JEX_GLContext context = JEX_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    for (size_t i = 0; i < std::size(requests); ++i) {
        int granted = -1;
        ASSERT_EQ(JEX_GL_GetAttribute(requests[i].first, &granted), 0) << JEX_GetError();
        const int real = VisualConfig(window, glx_names[i]);
        EXPECT_EQ(granted, real) << "attribute " << requests[i].first;
        EXPECT_GE(real, requests[i].second) << "attribute " << requests[i].first;
    }
    JEX_GL_DeleteContext(context);
}

TEST_F(X11GLTest, MultisampleRequestGetsAMultisampleVisual)
{
    JEX_GL_SetAttribute(JEX_GL_MULTISAMPLEBUFFERS, 1);
    JEX_GL_SetAttribute(JEX_GL_MULTISAMPLESAMPLES, 4);
    // Mesa keeps two small records of a multisample visual's first use for
    // the life of the process; they are its own, not the driver's.
    if (__lsan_disable)
        __lsan_disable();
    JEX_Window *window = JEX_CreateWindow("ms", 0, 0, 32, 32, 0);
    if (__lsan_enable)
        __lsan_enable();
    ASSERT_NE(window, nullptr) << "Mesa offers multisample visuals: " << JEX_GetError();
    EXPECT_EQ(VisualConfig(window, GLX_SAMPLE_BUFFERS_ARB), 1);
    EXPECT_GE(VisualConfig(window, GLX_SAMPLES_ARB), 4);
}

TEST_F(X11GLTest, VersionedContextsAreReallyCreated)
{
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, 3);
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, 2);
    JEX_Window *window = ShownWindow("gl3", 0, 0, 32, 32);
    ASSERT_NE(window, nullptr);
    JEX_GLContext context = JEX_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    GLint major = 0, minor = 0;
    auto get_integer = GL<void (*)(GLenum, GLint *)>("glGetIntegerv");
    get_integer(0x821B /* GL_MAJOR_VERSION */, &major);
    get_integer(0x821C /* GL_MINOR_VERSION */, &minor);
    EXPECT_GE(major * 10 + minor, 32);
    JEX_GL_DeleteContext(context);

    // A version no library offers is refused, and the program goes on.
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, 9);
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, 9);
    EXPECT_EQ(JEX_GL_CreateContext(window), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Could not create GL 9.9 context");
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MAJOR_VERSION, 2);
    JEX_GL_SetAttribute(JEX_GL_CONTEXT_MINOR_VERSION, 1);
    context = JEX_GL_CreateContext(window);
    EXPECT_NE(context, nullptr) << "the connection is still usable: " << JEX_GetError();
    JEX_GL_DeleteContext(context);
}

TEST_F(X11GLTest, SwapIntervalShortAttributeListAndExtensionNames)
{
    JEX_Window *window = ShownWindow("si", 0, 0, 32, 32);
    ASSERT_NE(window, nullptr);
    JEX_GLContext context = JEX_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    if (JEX_GL_SetSwapInterval(1) == 0) {
        EXPECT_EQ(JEX_GL_GetSwapInterval(), 1);
        EXPECT_EQ(JEX_GL_SetSwapInterval(0), 0);
        EXPECT_EQ(JEX_GL_GetSwapInterval(), 0);
    } else {
        EXPECT_EQ(JEX_GL_GetSwapInterval(), -1) << "no swap control: " << JEX_GetError();
    }
    JEX_GL_DeleteContext(context);

    // A request list that does not fit is cut but still closed.
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    int small[4];
    EXPECT_EQ(X11_GL_GetAttributes(device, Data()->display, 0, small, 4), 4);
    EXPECT_EQ(small[3], None);

    EXPECT_TRUE(X11_GL_HasExtension("GLX_A GLX_SGI_swap_control GLX_B", "GLX_SGI_swap_control"));
    EXPECT_TRUE(X11_GL_HasExtension("GLX_SGI_swap_control", "GLX_SGI_swap_control"));
    EXPECT_FALSE(X11_GL_HasExtension("GLX_SGI_swap_control_tear", "GLX_SGI_swap_control"));
    EXPECT_FALSE(X11_GL_HasExtension("XGLX_SGI_swap_control", "GLX_SGI_swap_control"));
}

TEST_F(X11GLTest, LibraryLoadFailureIsReportedWithItsReason)
{
    JEX_VideoQuit();
    ScopedEnv library("JEX_OPENGL_LIBRARY", "/nonexistent/libGL.so.1");
    ASSERT_EQ(JEX_VideoInit("x11"), 0) << JEX_GetError();
    JEX_Window *window = JEX_CreateWindow("nogl", 0, 0, 32, 32, 0);
    ASSERT_NE(window, nullptr) << "a window without GL is still a window: " << JEX_GetError();
    EXPECT_EQ(JEX_GL_CreateContext(window), nullptr);
    const std::string error = JEX_GetError();
    EXPECT_EQ(
        error.rfind("Could not create GL context: Failed loading /nonexistent/libGL.so.1: ", 0), 0u)
        << error;
    EXPECT_NE(error.find("No such file or directory"), std::string::npos) << "dlopen's reason";
}

TEST_F(X11GLTest, SwapAfterOversizedResizeStaysInBounds)
{
    // Unclamped, the size wrapped to 16 bits on the wire and GL's software
    // path overran its buffers for the size the server then reported.
    JEX_Window *window = ShownWindow("big", 0, 0, 64, 64, JEX_WINDOW_RESIZABLE);
    ASSERT_NE(window, nullptr);
    JEX_GLContext context = JEX_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << JEX_GetError();
    JEX_SetWindowSize(window, INT_MAX, INT_MAX);
    PumpFor(300);
    JEX_GL_SwapWindow(window);
    X11.XSync(Data()->display, False);
    int w = 0, h = 0;
    JEX_GetWindowSize(window, &w, &h);
    EXPECT_EQ(std::pair(w, h), std::pair(X11_MAX_WINDOW_SIZE, X11_MAX_WINDOW_SIZE));
    JEX_GL_DeleteContext(context);
}

}  // namespace
