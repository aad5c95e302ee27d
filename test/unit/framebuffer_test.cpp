// Window surfaces on the null driver's framebuffer; saved frames are read back by ImageMagick.
#include <gtest/gtest.h>

#include "JEX_draw.h"
#include "JEX_error.h"
#include "JEX_hints.h"
#include "video/sysvideo.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <tuple>

namespace {

namespace fs = std::filesystem;

constexpr const char *kInvalid =
    "Window surface is invalid, please call JEX_GetWindowSurface() to get a new surface";

std::string Output(const std::string &command)
{
    std::string out;
    if (FILE *pipe = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t got; (got = fread(buf, 1, sizeof(buf), pipe)) > 0;)
            out.append(buf, got);
        pclose(pipe);
    }
    return out;
}

// The null driver has no GL, so it cannot make windows; a stand-in context
// slot lets the tests create them on its framebuffer.
class FramebufferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        JEX_SetHint("JEX_FRAMEBUFFER_ACCELERATION", "0");
        ASSERT_EQ(JEX_VideoInit("dummy"), 0) << JEX_GetError();
        device_ = JEX_GetVideoDevice();
        device_->GL_CreateContext = [](JEX_VideoDevice *, JEX_Window *) -> JEX_GLContext {
            return nullptr;
        };
    }
    void TearDown() override
    {
        JEX_VideoQuit();
        JEX_ClearHints();
        unsetenv("JEX_VIDEO_DUMMY_SAVE_FRAMES");
    }
    JEX_Window *Make(int w, int h) { return JEX_CreateWindow("fb", 0, 0, w, h, 0); }
    JEX_VideoDevice *device_ = nullptr;
};

TEST_F(FramebufferTest, SurfaceLivesUntilTheSizeChanges)
{
    JEX_Window *window = Make(64, 48);
    EXPECT_EQ(JEX_UpdateWindowSurface(window), -1);  // no surface yet
    EXPECT_STREQ(JEX_GetError(), kInvalid);
    JEX_Surface *surface = JEX_GetWindowSurface(window);
    ASSERT_NE(surface, nullptr) << JEX_GetError();
    EXPECT_EQ(std::tuple(surface->w, surface->h, surface->format->format),
              std::tuple(64, 48, Uint32(JEX_PIXELFORMAT_RGB888)));
    JEX_FreeSurface(surface);  // DONTFREE: the window keeps it (ASan sees any free)
    static_cast<Uint32 *>(surface->pixels)[64 * 48 - 1] = 0x123456;
    EXPECT_EQ(JEX_GetWindowSurface(window), surface);
    EXPECT_EQ(JEX_UpdateWindowSurface(window), 0);

    JEX_SetWindowSize(window, 80, 60);
    const JEX_Rect rect = {0, 0, 8, 8};
    EXPECT_EQ(
        std::tuple(JEX_UpdateWindowSurface(window), JEX_UpdateWindowSurfaceRects(window, &rect, 1)),
        std::tuple(-1, -1));
    EXPECT_STREQ(JEX_GetError(), kInvalid);
    surface = JEX_GetWindowSurface(window);
    ASSERT_NE(surface, nullptr);
    EXPECT_EQ(std::tuple(surface->w, surface->h), std::tuple(80, 60));
    EXPECT_EQ(JEX_UpdateWindowSurfaceRects(window, &rect, 1), 0);
    EXPECT_EQ(JEX_UpdateWindowSurfaceRects(window, nullptr, 0), 0);
    EXPECT_EQ(JEX_UpdateWindowSurfaceRects(window, nullptr, 3), -1);  // not read
    EXPECT_EQ(JEX_UpdateWindowSurfaceRects(window, &rect, -1), -1);
    EXPECT_EQ(JEX_GetWindowSurface(nullptr), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Invalid window");
    // A failed create leaves no freed surface for the next update to write out (ASan).
    setenv("JEX_VIDEO_DUMMY_SAVE_FRAMES", "1", 1);
    JEX_SetWindowSize(window, JEX_MAX_WINDOW_SIZE, JEX_MAX_WINDOW_SIZE);  // too big a surface
    EXPECT_EQ(JEX_GetWindowSurface(window), nullptr);
    EXPECT_EQ(JEX_UpdateWindowSurface(window), -1);
    EXPECT_EQ(device_->UpdateWindowFramebuffer(device_, window, nullptr, 0), -1);
    EXPECT_STREQ(JEX_GetError(), "Couldn't find dummy surface for window");
    JEX_SetWindowSize(window, 8, 8);
    EXPECT_NE(JEX_GetWindowSurface(window), nullptr);
}

TEST_F(FramebufferTest, SavedFramesAreNumberedAcrossWindowsAndDecode)
{
    const fs::path dir = fs::temp_directory_path() / ("jex_fb_" + std::to_string(getpid())),
                   cwd = fs::current_path();
    fs::create_directories(dir);
    fs::current_path(dir);
    JEX_Window *a = Make(5, 3), *b = Make(2, 2);
    JEX_Surface *sa = JEX_GetWindowSurface(a), *sb = JEX_GetWindowSurface(b);
    ASSERT_TRUE(sa && sb);
    std::string rgb_a, rgb_b("\0\xFF\0\0\xFF\0\0\xFF\0\0\xFF\0", 12);  // as decoded
    for (int i = 0; i < 15; ++i) {
        static_cast<Uint32 *>(sa->pixels)[i / 5 * sa->pitch / 4 + i % 5] =
            Uint32(i % 5 * 50 << 16 | i / 5 * 100);
        rgb_a += {char(i % 5 * 50), 0, char(i / 5 * 100)};
    }
    JEX_FillRect(sb, nullptr, 0x00FF00);
    EXPECT_EQ(JEX_UpdateWindowSurface(a), 0);  // not saving yet
    setenv("JEX_VIDEO_DUMMY_SAVE_FRAMES", "", 1);
    const JEX_Rect outside = {100, 100, 1, 1};  // rectangles do not limit the frame
    EXPECT_EQ(std::tuple(JEX_UpdateWindowSurface(a), JEX_UpdateWindowSurface(b),
                         JEX_UpdateWindowSurfaceRects(a, &outside, 1)),
              std::tuple(0, 0, 0));
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 3u);
    const int first = std::atoi(names[0].c_str() + names[0].find('-') + 1);
    const std::pair<JEX_Window *, std::string> frames[] = {{a, rgb_a}, {b, rgb_b}, {a, rgb_a}};
    for (int i = 0; i < 3; ++i) {  // a missing or misnamed file decodes to nothing
        char name[64];
        std::snprintf(name, sizeof(name), "JEX_window%u-%8.8d.bmp", frames[i].first->id, first + i);
        EXPECT_EQ(Output(std::string("convert ") + name + " rgb:-"), frames[i].second) << name;
        if (i == 1) {
            EXPECT_EQ(Output(std::string("identify -format '%w %h' ") + name), "2 2");
        }
    }
    fs::current_path(cwd);
    fs::remove_all(dir);
}

}  // namespace
