// Solid and blended fills: widths 0-70 at every offset, size and path against
// a byte oracle; clipping; failures; blended modes against the formulas.
#include <cstdlib>
#include <cstring>

#include "cpuinfo_internal.h"
#include "surface_test_util.h"
#include "surface/draw_internal.h"

using namespace surftest;

namespace {

Uint32 CodeForBytes(int bpp)
{
    const Uint32 codes[] = {JEX_PIXELFORMAT_RGB332, JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGB24,
                            JEX_PIXELFORMAT_ARGB8888};
    return codes[bpp - 1];
}

std::vector<SimdPath> AvailablePaths()
{
    std::vector<SimdPath> paths{SimdPath::Scalar, SimdPath::SSE2};
    if (JEX_HasAVX2())
        paths.push_back(SimdPath::AVX2);
    return paths;
}

const char *PathName(SimdPath p)
{
    return p == SimdPath::Scalar ? "scalar" : p == SimdPath::SSE2 ? "SSE2" : "AVX2";
}

// Restores the automatic path choice however a test ends.
struct PathGuard {
    explicit PathGuard(SimdPath p) { JEX_ForceSimdPath(p); }
    ~PathGuard() { JEX_ResetSimdPath(); }
};

}  // namespace

// Widths 0-70, offsets 0-3, every alignment, odd pitches: only the rectangle's bytes change.
TEST(FillRect, EveryWidthOffsetAndPixelSizeOnEveryPath)
{
    constexpr int kW = 80, kH = 4, kGuard = 37;
    constexpr Uint8 kFill = 0xEE;
    const Uint32 color = 0x44332211u;
    for (SimdPath path : AvailablePaths()) {
        PathGuard guard(path);
        for (int bpp = 1; bpp <= 4; ++bpp) {
            const Uint8 cbytes[4] = {0x11, 0x22, 0x33, 0x44};
            const int pitch = kW * bpp + 3;
            for (int align = 0; align < 4; ++align) {
                std::vector<Uint8> buf(std::size_t(align + pitch * kH + kGuard));
                for (int x = 0; x < 4; ++x)
                    for (int w = 0; w <= 70; ++w) {
                        std::memset(buf.data(), kFill, buf.size());
                        SurfacePtr s =
                            MakeFrom(CodeForBytes(bpp), buf.data() + align, kW, kH, pitch);
                        ASSERT_TRUE(s) << JEX_GetError();
                        const JEX_Rect r{x, 1, w, 2};
                        ASSERT_EQ(JEX_FillRect(s.get(), &r, color), 0) << JEX_GetError();
                        for (std::size_t i = 0; i < buf.size(); ++i) {
                            Uint8 want = kFill;
                            const long off = long(i) - align;
                            if (off >= 0 && off < long(pitch) * kH) {
                                const long row = off / pitch, col = off % pitch;
                                if (row >= 1 && row <= 2 && col >= long(x) * bpp &&
                                    col < long(x + w) * bpp)
                                    want = cbytes[(col - long(x) * bpp) % bpp];
                            }
                            if (buf[i] != want) {
                                FAIL() << PathName(path) << " bpp " << bpp << " align " << align
                                       << " x " << x << " w " << w << ": byte " << i << " is "
                                       << int(buf[i]) << ", want " << int(want);
                            }
                        }
                    }
            }
        }
    }
}

// Rows without gaps (pitch = row bytes) fill as one run; the bytes after the last row stay.
TEST(FillRect, GaplessRowsOnEveryPath)
{
    for (SimdPath path : AvailablePaths()) {
        PathGuard guard(path);
        for (int bpp = 1; bpp <= 4; ++bpp)
            for (int w = 1; w <= 70; ++w) {
                const int pitch = w * bpp, h = 3;
                std::vector<Uint8> buf(std::size_t(pitch) * h + 40, 0xEE);
                SurfacePtr s = MakeFrom(CodeForBytes(bpp), buf.data() + 1, w, h, pitch);
                ASSERT_TRUE(s) << JEX_GetError();
                ASSERT_EQ(JEX_FillRect(s.get(), nullptr, 0x44332211u), 0);
                for (std::size_t i = 0; i < buf.size(); ++i) {
                    const long off = long(i) - 1;
                    const Uint8 want =
                        off >= 0 && off < long(pitch) * h ? Uint8(0x11 * (1 + off % bpp)) : 0xEE;
                    ASSERT_EQ(buf[i], want)
                        << PathName(path) << " bpp " << bpp << " w " << w << " byte " << i;
                }
            }
    }
}

TEST(FillRect, StaysInsideTheClipAndFillsTheClipForNull)
{
    SurfacePtr s = Make(JEX_PIXELFORMAT_RGB565, 20, 10);
    const JEX_Rect clip{3, 2, 10, 5};
    JEX_SetClipRect(s.get(), &clip);
    const JEX_Rect r{-5, 4, 100, 100};
    ASSERT_EQ(JEX_FillRect(s.get(), &r, 0x1234), 0);
    ASSERT_EQ(JEX_FillRect(s.get(), nullptr, 0), 0 /* blank only the clip */);
    ASSERT_EQ(JEX_FillRect(s.get(), &r, 0xABCD), 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) {
            const bool in = x >= 3 && x < 13 && y >= 4 && y < 7;
            EXPECT_EQ(Read(s.get(), x, y), in ? 0xABCDu : 0u) << x << "," << y;
        }
    // A clip rectangle written past the surface by hand is still bounded.
    s->clip_rect = JEX_Rect{-100, -100, 1000, 1000};
    EXPECT_EQ(JEX_FillRect(s.get(), nullptr, 0x5555), 0);
}

TEST(FillRect, Failures)
{
    EXPECT_EQ(JEX_FillRect(nullptr, nullptr, 0), -1);
    EXPECT_STREQ(JEX_GetError(), "Passed NULL destination surface");
    // Sub-byte formats are refused rather than filled a byte per pixel.
    for (Uint32 code : {JEX_PIXELFORMAT_INDEX1MSB, JEX_PIXELFORMAT_INDEX4LSB}) {
        SurfacePtr s = Make(code, 13, 3);
        ASSERT_TRUE(s) << JEX_GetError();
        std::vector<Uint8> before(static_cast<Uint8 *>(s->pixels),
                                  static_cast<Uint8 *>(s->pixels) + s->pitch * 3);
        EXPECT_EQ(JEX_FillRect(s.get(), nullptr, 1), -1);
        EXPECT_STREQ(JEX_GetError(), "JEX_FillRect(): Unsupported surface format");
        EXPECT_EQ(std::memcmp(before.data(), s->pixels, before.size()), 0);
    }
    SurfacePtr s = Make(JEX_PIXELFORMAT_ARGB8888, 8, 8);
    void *pixels = s->pixels;
    s->pixels = nullptr;
    const JEX_Rect outside{20, 20, 4, 4}, inside{1, 1, 2, 2};
    EXPECT_EQ(JEX_FillRect(s.get(), &outside, 0), 0);
    EXPECT_EQ(JEX_FillRect(s.get(), &inside, 0), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_FillRect(): You must lock the surface");
    s->pixels = pixels;
    EXPECT_EQ(JEX_FillRects(s.get(), nullptr, 2, 0), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_FillRects() passed NULL rects");
    const JEX_Rect rects[3] = {{0, 0, 2, 2}, {50, 50, 1, 1}, {6, 6, 5, 5}};
    EXPECT_EQ(JEX_FillRects(s.get(), rects, 3, 0xFF00FF00u), 0);
    EXPECT_EQ(JEX_FillRects(s.get(), rects, 0, 0), 0);
    EXPECT_EQ(JEX_FillRects(nullptr, rects, 3, 0), -1) << "a status, not a count of failures";
    EXPECT_STREQ(JEX_GetError(), "Passed NULL destination surface");
    const Uint32 *p = static_cast<const Uint32 *>(s->pixels);
    EXPECT_TRUE(p[0] == 0xFF00FF00u && p[7 * 8 + 7] == 0xFF00FF00u && p[3 * 8 + 3] == 0u);
}

// JEX_BLIT_CPU_FEATURES=0 keeps every fill on the plain path; the choice is
// made once per process, so it is checked in a fresh one.
TEST(FillRect, EnvironmentForcesThePlainPath)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::pair<const char *, SimdPath> cases[] = {
        {"0", SimdPath::Scalar},
        {"8", SimdPath::SSE2},
        {nullptr, JEX_HasAVX2() ? SimdPath::AVX2 : SimdPath::SSE2}};  // null: unset
    for (const auto &[value, want] : cases) {
        EXPECT_EXIT(
            {
                value ? setenv("JEX_BLIT_CPU_FEATURES", value, 1)
                      : unsetenv("JEX_BLIT_CPU_FEATURES");
                // The kernels, since a build without a path falls back.
                std::exit(JEX_ActiveSimdKernels() == JEX_SimdKernelsFor(want) ? 7 : 1);
            },
            testing::ExitedWithCode(7), "")
            << (value ? value : "unset");
    }
}

// --- Blended fills ---

namespace {

// Formats with a blended fill routine (fixed layouts and the generic 2- and 4-byte ones).
const Uint32 kBlendableFormats[] = {
    JEX_PIXELFORMAT_RGB555,   JEX_PIXELFORMAT_RGB565,   JEX_PIXELFORMAT_RGB888,
    JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_BGR555,   JEX_PIXELFORMAT_BGR565,
    JEX_PIXELFORMAT_RGB444,   JEX_PIXELFORMAT_BGR888,   JEX_PIXELFORMAT_ABGR8888,
    JEX_PIXELFORMAT_RGBA8888, JEX_PIXELFORMAT_BGRA8888, JEX_PIXELFORMAT_ARGB2101010};

const int kModes[] = {JEX_BLENDMODE_NONE, JEX_BLENDMODE_BLEND, JEX_BLENDMODE_ADD, JEX_BLENDMODE_MOD,
                      3 /* not a mode: replaces */};

}  // namespace

TEST(BlendFillRect, EveryModeAndFormatMatchesTheOracle)
{
    std::mt19937 rng(99);
    const Uint8 alphas[] = {0, 1, 127, 128, 254, 255};
    for (Uint32 code : kBlendableFormats) {
        SurfacePtr s = Make(code, 37, 5);
        ASSERT_TRUE(s) << JEX_GetPixelFormatName(code);
        const int bpp = s->format->bytes_per_pixel;
        for (int mode : kModes)
            for (Uint8 a : alphas)
                for (SimdPath path : AvailablePaths()) {
                    PathGuard guard(path);
                    Randomise(s.get(), rng);
                    std::vector<Uint8> before(static_cast<Uint8 *>(s->pixels),
                                              static_cast<Uint8 *>(s->pixels) + s->pitch * s->h);
                    const Uint8 r = Uint8(rng()), g = Uint8(rng()), b = Uint8(rng());
                    const JEX_Rect rect{1, 1, 35, 3};
                    ASSERT_EQ(JEX_BlendFillRect(s.get(), &rect, JEX_BlendMode(mode), r, g, b, a), 0)
                        << JEX_GetError();
                    for (int y = 0; y < s->h; ++y)
                        for (int x = 0; x < s->w; ++x) {
                            const std::size_t off =
                                std::size_t(y) * s->pitch + std::size_t(x) * bpp;
                            const Uint32 old = ReadRaw(&before[off], bpp);
                            const Uint32 got = ReadRaw(static_cast<Uint8 *>(s->pixels) + off, bpp);
                            const bool in = x >= 1 && x < 36 && y >= 1 && y < 4;
                            const Uint32 want =
                                in ? OracleBlend(s->format, old, mode, r, g, b, a) : old;
                            if (got != want) {
                                FAIL() << JEX_GetPixelFormatName(code) << " mode " << mode
                                       << " rgba " << int(r) << "," << int(g) << "," << int(b)
                                       << "," << int(a) << " " << PathName(path) << " at " << x
                                       << "," << y << ": 0x" << std::hex << got << " want 0x"
                                       << want << " (was 0x" << old << ")";
                            }
                        }
                }
    }
}

TEST(BlendFillRect, ClipRectsAndFailures)
{
    EXPECT_EQ(JEX_BlendFillRect(nullptr, nullptr, JEX_BLENDMODE_BLEND, 1, 2, 3, 4), -1);
    EXPECT_STREQ(JEX_GetError(), "Passed NULL destination surface");
    SurfacePtr bits = Make(JEX_PIXELFORMAT_INDEX4MSB, 8, 8);
    EXPECT_EQ(JEX_BlendFillRect(bits.get(), nullptr, JEX_BLENDMODE_BLEND, 1, 2, 3, 4), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_BlendFillRect(): Unsupported surface format");
    EXPECT_EQ(JEX_BlendFillRects(bits.get(), nullptr, 1, JEX_BLENDMODE_BLEND, 1, 2, 3, 4), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_BlendFillRects(): Unsupported surface format");
    // Families without a routine for the pixel size: 3 bytes, 1 byte, and
    // 2 bytes with alpha.
    for (Uint32 code : {JEX_PIXELFORMAT_RGB24, JEX_PIXELFORMAT_RGB332, JEX_PIXELFORMAT_ARGB4444}) {
        SurfacePtr s = Make(code, 4, 4);
        JEX_ClearError();
        EXPECT_EQ(JEX_BlendFillRect(s.get(), nullptr, JEX_BLENDMODE_ADD, 1, 2, 3, 4), -1);
        EXPECT_STRNE(JEX_GetError(), "");
        const JEX_Rect away{10, 10, 2, 2};
        EXPECT_EQ(JEX_BlendFillRect(s.get(), &away, JEX_BLENDMODE_ADD, 1, 2, 3, 4), 0);
    }
    SurfacePtr s = Make(JEX_PIXELFORMAT_ARGB8888, 6, 6);
    const JEX_Rect clip{1, 1, 4, 4};
    JEX_SetClipRect(s.get(), &clip);
    const JEX_Rect rects[2] = {{0, 0, 3, 3}, {4, 4, 9, 9}};
    EXPECT_EQ(JEX_BlendFillRects(s.get(), rects, 2, JEX_BLENDMODE_ADD, 10, 20, 30, 255), 0);
    EXPECT_EQ(JEX_BlendFillRects(s.get(), rects, 2, JEX_BLENDMODE_ADD, 10, 20, 30, 255), 0);
    const Uint32 *p = static_cast<const Uint32 *>(s->pixels);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool in = (x >= 1 && x <= 2 && y >= 1 && y <= 2) || (x == 4 && y == 4);
            EXPECT_EQ(p[y * 6 + x], in ? 0x0014283Cu : 0u) << x << "," << y;
        }
    EXPECT_EQ(JEX_BlendFillRects(s.get(), nullptr, 1, JEX_BLENDMODE_ADD, 1, 1, 1, 1), -1);
    EXPECT_EQ(JEX_BlendFillRects(s.get(), rects, 0, JEX_BLENDMODE_ADD, 1, 1, 1, 1), 0);
    // A surface without pixels is an error, not a crash.
    s->clip_rect = JEX_Rect{0, 0, 6, 6};
    void *pixels = s->pixels;
    s->pixels = nullptr;
    EXPECT_EQ(JEX_BlendFillRect(s.get(), nullptr, JEX_BLENDMODE_BLEND, 1, 2, 3, 4), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_BlendFillRect(): You must lock the surface");
    s->pixels = pixels;
}

// The lane kernels bit for bit against the generated routines: widths 0-70, offsets 0-3.
TEST(BlendFillRect, VectorPathsMatchScalarForEveryWidthAndOffset)
{
    std::mt19937 rng(17);
    const std::vector<SimdPath> paths = AvailablePaths();
    for (Uint32 code : {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_BGRA8888,
                        JEX_PIXELFORMAT_BGR888}) {
        std::vector<SurfacePtr> s;
        for (std::size_t i = 0; i < paths.size(); ++i)
            s.push_back(Make(code, 76, 3));
        const std::size_t bytes = std::size_t(s[0]->pitch) * 3;
        for (int mode : {JEX_BLENDMODE_BLEND, JEX_BLENDMODE_ADD, JEX_BLENDMODE_MOD})
            for (int x = 0; x < 4; ++x)
                for (int w = 0; w <= 70; ++w) {
                    Randomise(s[0].get(), rng);
                    for (std::size_t i = 1; i < paths.size(); ++i)
                        std::memcpy(s[i]->pixels, s[0]->pixels, bytes);
                    const Uint8 r = Uint8(rng()), g = Uint8(rng()), b = Uint8(rng()),
                                a = Uint8(rng());
                    const JEX_Rect rect{x, 1, w, 1};
                    for (std::size_t i = 0; i < paths.size(); ++i) {
                        PathGuard guard(paths[i]);
                        ASSERT_EQ(
                            JEX_BlendFillRect(s[i].get(), &rect, JEX_BlendMode(mode), r, g, b, a),
                            0);
                    }
                    for (std::size_t i = 1; i < paths.size(); ++i)
                        ASSERT_EQ(std::memcmp(s[0]->pixels, s[i]->pixels, bytes), 0)
                            << JEX_GetPixelFormatName(code) << " " << PathName(paths[i]) << " mode "
                            << mode << " x " << x << " w " << w;
                }
    }
}
