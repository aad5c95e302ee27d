// Window handles are checked against the device's window list before they
// are read, so stale and foreign pointers fail cleanly (ASan would report
// any read of a freed window).

#include "JEX_video.h"
#include "test_video_driver.h"

#include <gtest/gtest.h>

namespace {

TEST(WindowHandle, DestroyedAndForeignHandlesAreRefusedWithoutBeingRead)
{
    jextest::TestVideoDriver drv;
    ASSERT_EQ(drv.Start(), 0) << JEX_GetError();
    JEX_Window *kept = JEX_CreateWindow("kept", 0, 0, 64, 48, 0);
    JEX_Window *gone = JEX_CreateWindow("gone", 0, 0, 64, 48, 0);
    ASSERT_TRUE(kept && gone) << JEX_GetError();
    JEX_DestroyWindow(gone);

    // A block that looks like a window, magic included, but is not one.
    JEX_Window fake = *kept;

    for (JEX_Window *bad : {gone, &fake}) {
        JEX_ClearError();
        JEX_SetWindowTitle(bad, "x");
        EXPECT_STREQ(JEX_GetError(), "Invalid window");
        EXPECT_EQ(JEX_GetWindowID(bad), 0u);
        EXPECT_EQ(JEX_GL_CreateContext(bad), nullptr);
        EXPECT_STREQ(JEX_GetError(), "Invalid window");
        JEX_DestroyWindow(bad);  // ignored, never a double free
    }
    EXPECT_STREQ(JEX_GetWindowTitle(kept), "kept");
    JEX_VideoQuit();
}

}  // namespace
