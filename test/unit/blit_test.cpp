// Blits: clipping against brute force, scaled blits against the formulas,
// overlapping and sub-byte copies (unscaled format pairs: blit_family_test).
#include <climits>
#include <cstring>

#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface_test_util.h"

using namespace surftest;

namespace {

const Flags kFlagSets[] = {
    {"none", false, false, false, JEX_BLENDMODE_NONE},
    {"key", true, false, false, JEX_BLENDMODE_NONE},
    {"modcolor", false, true, false, JEX_BLENDMODE_NONE},
    {"modalpha", false, false, true, JEX_BLENDMODE_NONE},
    {"blend", false, false, false, JEX_BLENDMODE_BLEND},
    {"add", false, false, false, JEX_BLENDMODE_ADD},
    {"mod", false, false, false, JEX_BLENDMODE_MOD},
    {"blend+modcolor+modalpha", false, true, true, JEX_BLENDMODE_BLEND},
    {"add+modalpha+key", true, false, true, JEX_BLENDMODE_ADD},
    {"mod+modcolor+key", true, true, false, JEX_BLENDMODE_MOD},
    {"blend+key", true, false, false, JEX_BLENDMODE_BLEND},
    {"key+modcolor+modalpha", true, true, true, JEX_BLENDMODE_NONE},
};

// The general formulas after the key; equal formats with nothing to compute
// copy (or stretch) whole pixels, unused bits included.
Uint32 Expected(Uint32 sp, Uint32 dp, const JEX_PixelFormat *sf, const JEX_PixelFormat *df,
                const Flags &f, Uint32 key)
{
    if (f.key && sp == key)
        return dp;
    if (sf->format == df->format && FlagBits(f) == 0)
        return sp;
    return General(sp, dp, sf, df, FlagBits(f));
}

// Scaled blits with flags: the formula on the nearest source pixel, (i x ((n << 16) / m)) >> 16.
TEST(BlitOracle, ScaledWithFlags)
{
    std::mt19937 rng(77);
    const int sizes[][4] = {{5, 3, 11, 7}, {11, 7, 5, 3}, {1, 1, 4, 3}, {6, 6, 6, 6}};
    const Uint32 pairs[][2] = {{JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_RGB565},
                               {JEX_PIXELFORMAT_RGBA4444, JEX_PIXELFORMAT_BGR24},
                               {JEX_PIXELFORMAT_ARGB8888, JEX_PIXELFORMAT_ARGB8888}};
    for (const auto &sz : sizes)
        for (const auto &pair : pairs)
            for (const Flags &f : kFlagSets) {
                SCOPED_TRACE(std::string(JEX_GetPixelFormatName(pair[0])) + " -> " +
                             JEX_GetPixelFormatName(pair[1]) + " " + f.name + " " +
                             std::to_string(sz[0]) + "x" + std::to_string(sz[1]) + " -> " +
                             std::to_string(sz[2]) + "x" + std::to_string(sz[3]));
                Guarded src(pair[0], sz[0], sz[1]), dst(pair[1], sz[2], sz[3]);
                src.Randomize(rng);
                dst.Randomize(rng);
                const Uint32 key = src.pixel(0, 0);
                Apply(src.get(), f, key);
                std::vector<Uint32> before(size_t(sz[2]) * sz[3]);
                for (int y = 0; y < sz[3]; ++y)
                    for (int x = 0; x < sz[2]; ++x)
                        before[y * sz[2] + x] = dst.pixel(x, y);
                ASSERT_EQ(JEX_UpperBlitScaled(src.get(), nullptr, dst.get(), nullptr), 0)
                    << JEX_GetError();
                const Uint64 sx = (Uint64(sz[0]) << 16) / sz[2], sy = (Uint64(sz[1]) << 16) / sz[3];
                for (int y = 0; y < sz[3]; ++y)
                    for (int x = 0; x < sz[2]; ++x) {
                        const Uint32 sp = src.pixel(int((x * sx) >> 16), int((y * sy) >> 16));
                        const Uint32 want =
                            Expected(sp, before[y * sz[2] + x], src.fmt(), dst.fmt(), f, key);
                        ASSERT_EQ(dst.pixel(x, y), want) << "at (" << x << ", " << y << ")";
                    }
                EXPECT_TRUE(dst.GuardsIntact());
            }
}

// --- Clipping -------------------------------------------------------------

struct ClipCase {
    bool has_src;
    JEX_Rect srcrect;
    bool has_dst;
    JEX_Rect dstrect;
    JEX_Rect clip;
};

// Each pixel of the source rectangle lands at its offset from the destination, if in the clip.
void CheckClip(const ClipCase &c)
{
    constexpr int kSW = 6, kSH = 5, kDW = 11, kDH = 9;
    Guarded src(JEX_PIXELFORMAT_ARGB8888, kSW, kSH), dst(JEX_PIXELFORMAT_ARGB8888, kDW, kDH);
    ASSERT_TRUE(src.get() && dst.get());
    ASSERT_EQ(JEX_SetSurfaceBlendMode(src.get(), JEX_BLENDMODE_NONE), 0);
    for (int y = 0; y < kSH; ++y)
        for (int x = 0; x < kSW; ++x)
            src.set(x, y, 0xFF000000u | Uint32(y << 8 | x) | 0x10000u);
    for (int y = 0; y < kDH; ++y)
        for (int x = 0; x < kDW; ++x)
            dst.set(x, y, 0);
    JEX_SetClipRect(dst.get(), &c.clip);
    JEX_Rect clip;
    JEX_GetClipRect(dst.get(), &clip);
    std::vector<Uint32> want(kDW * kDH, 0);
    Sint64 minx = INT64_MAX, miny = INT64_MAX, maxx = INT64_MIN, maxy = INT64_MIN;
    const Sint64 srx = c.has_src ? c.srcrect.x : 0, sry = c.has_src ? c.srcrect.y : 0;
    const Sint64 dx0 = c.has_dst ? c.dstrect.x : 0, dy0 = c.has_dst ? c.dstrect.y : 0;
    for (int sy = 0; sy < kSH; ++sy)
        for (int sx = 0; sx < kSW; ++sx) {
            if (c.has_src && (sx < srx || sx >= srx + Sint64(c.srcrect.w) || sy < sry ||
                              sy >= sry + Sint64(c.srcrect.h)))
                continue;
            const Sint64 dx = dx0 + sx - srx, dy = dy0 + sy - sry;
            if (dx < clip.x || dx >= Sint64(clip.x) + clip.w || dy < clip.y ||
                dy >= Sint64(clip.y) + clip.h)
                continue;
            want[dy * kDW + dx] = src.pixel(sx, sy);
            minx = std::min(minx, dx);
            miny = std::min(miny, dy);
            maxx = std::max(maxx, dx);
            maxy = std::max(maxy, dy);
        }
    JEX_Rect s = c.srcrect, d = c.dstrect;
    ASSERT_EQ(
        JEX_UpperBlit(src.get(), c.has_src ? &s : nullptr, dst.get(), c.has_dst ? &d : nullptr), 0)
        << JEX_GetError();
    for (int y = 0; y < kDH; ++y)
        for (int x = 0; x < kDW; ++x)
            ASSERT_EQ(dst.pixel(x, y), want[y * kDW + x]) << "at (" << x << ", " << y << ")";
    if (c.has_dst) {
        if (minx == INT64_MAX) {
            EXPECT_EQ(d.w, 0);
            EXPECT_EQ(d.h, 0);
        } else {
            EXPECT_EQ(d.x, minx);
            EXPECT_EQ(d.y, miny);
            EXPECT_EQ(d.w, maxx - minx + 1);
            EXPECT_EQ(d.h, maxy - miny + 1);
        }
    }
    if (c.has_src) {
        EXPECT_TRUE(JEX_RectEquals(&s, &c.srcrect)) << "the source rectangle is the caller's";
    }
    EXPECT_TRUE(dst.GuardsIntact());
}

TEST(BlitClip, RandomRectanglesAgainstBruteForce)
{
    std::mt19937 rng(99);
    auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int i = 0; i < 3000; ++i) {
        ClipCase c;
        c.has_src = coord(0, 4) != 0;
        c.has_dst = coord(0, 4) != 0;
        c.srcrect = JEX_Rect{coord(-8, 8), coord(-8, 8), coord(-3, 12), coord(-3, 12)};
        c.dstrect = JEX_Rect{coord(-10, 14), coord(-10, 12), coord(-5, 5), coord(-5, 5)};
        c.clip = JEX_Rect{coord(-3, 10), coord(-3, 8), coord(-2, 14), coord(-2, 12)};
        SCOPED_TRACE("case " + std::to_string(i));
        CheckClip(c);
        if (HasFailure())
            return;
    }
}

TEST(BlitClip, ExtremeRectangles)
{
    const int xs[] = {INT_MIN, INT_MIN + 1, -7, -1, 0, 3, 10, INT_MAX - 5, INT_MAX};
    const int ws[] = {INT_MIN, -1, 0, 4, INT_MAX};
    const JEX_Rect full{0, 0, 11, 9};
    int n = 0;
    for (int sx : xs)
        for (int sw : ws)
            for (int dx : xs) {
                ClipCase c{true, JEX_Rect{sx, sx / 3, sw, sw}, true, JEX_Rect{dx, -(dx / 5), 0, 0},
                           full};
                SCOPED_TRACE("case " + std::to_string(n++));
                CheckClip(c);
                if (HasFailure())
                    return;
            }
}

TEST(BlitErrors, NullAndLockedSurfaces)
{
    Guarded a(JEX_PIXELFORMAT_RGB888, 3, 3), b(JEX_PIXELFORMAT_RGB888, 3, 3);
    EXPECT_EQ(JEX_UpperBlit(nullptr, nullptr, b.get(), nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_UpperBlit: passed a NULL surface");
    EXPECT_EQ(JEX_UpperBlit(a.get(), nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(JEX_UpperBlitScaled(a.get(), nullptr, nullptr, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_UpperBlitScaled: passed a NULL surface");
    a.set(1, 1, 0x123456);
    ASSERT_EQ(JEX_LockSurface(b.get()), 0);
    EXPECT_EQ(JEX_UpperBlit(a.get(), nullptr, b.get(), nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Surfaces must not be locked during blit");
    EXPECT_EQ(JEX_UpperBlitScaled(a.get(), nullptr, b.get(), nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Surfaces must not be locked during blit");
    EXPECT_EQ(b.pixel(1, 1) & 0xFFFFFF, 0xA5A5A5u) << "nothing drawn while locked";
    JEX_UnlockSurface(b.get());
    ASSERT_EQ(JEX_UpperBlit(a.get(), nullptr, b.get(), nullptr), 0);
    EXPECT_EQ(b.pixel(1, 1) & 0xFFFFFF, 0x123456u);
}

// --- Copies that share memory and copies of sub-byte formats --------------

TEST(BlitCopy, SurfaceOntoItselfInEveryDirection)
{
    const int offsets[][2] = {{3, 2}, {-3, -2}, {0, 1}, {0, -1}, {2, 0}, {-2, 0}, {-1, 1}, {1, -1}};
    for (const auto &o : offsets) {
        SCOPED_TRACE("offset " + std::to_string(o[0]) + ", " + std::to_string(o[1]));
        Guarded s(JEX_PIXELFORMAT_ARGB8888, 20, 16);
        ASSERT_EQ(JEX_SetSurfaceBlendMode(s.get(), JEX_BLENDMODE_NONE), 0);
        std::vector<Uint32> snap(20 * 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x)
                s.set(x, y, snap[y * 20 + x] = Uint32(y * 20 + x + 1));
        JEX_Rect sr{4, 4, 10, 8}, dr{4 + o[0], 4 + o[1], 0, 0};
        ASSERT_EQ(JEX_UpperBlit(s.get(), &sr, s.get(), &dr), 0);
        EXPECT_EQ(JEX_GetMapBlitFunc(s.get()), &JEX_BlitCopy);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 20; ++x) {
                const bool inside = x >= dr.x && x < dr.x + 10 && y >= dr.y && y < dr.y + 8;
                const Uint32 want = inside ? snap[(y - o[1]) * 20 + (x - o[0])] : snap[y * 20 + x];
                ASSERT_EQ(s.pixel(x, y), want) << "at (" << x << ", " << y << ")";
            }
        EXPECT_TRUE(s.GuardsIntact());
    }
}

// Rows exactly a row of pixels long: whole-surface and narrower copies land exactly.
TEST(BlitCopy, ContiguousRows)
{
    std::mt19937 rng(3);
    JEX_Surface *a = JEX_CreateRGBSurface(0, 8, 5, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    JEX_Surface *b = JEX_CreateRGBSurface(0, 8, 5, 32, 0xFF0000, 0xFF00, 0xFF, 0);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->pitch, 32);
    auto *pa = static_cast<Uint8 *>(a->pixels), *pb = static_cast<Uint8 *>(b->pixels);
    for (int i = 0; i < 32 * 5; ++i)
        pa[i] = Uint8(rng());
    ASSERT_EQ(JEX_UpperBlit(a, nullptr, b, nullptr), 0);
    EXPECT_EQ(std::memcmp(pa, pb, 32 * 5), 0);
    std::memset(pb, 0, 32 * 5);
    JEX_Rect sr{1, 1, 6, 3}, dr{2, 0, 0, 0};
    ASSERT_EQ(JEX_UpperBlit(a, &sr, b, &dr), 0);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 2 && y < 3;
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(pb[y * 32 + x * 4 + k], inside ? pa[(y + 1) * 32 + (x - 1) * 4 + k] : 0);
        }
    // Equal colour masks, alpha dropped: the whole surface as one run, and a
    // narrower rectangle row by row, on every path.
    JEX_Surface *c = JEX_CreateRGBSurface(0, 8, 5, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ASSERT_TRUE(c && JEX_SetSurfaceBlendMode(c, JEX_BLENDMODE_NONE) == 0);
    auto *pc = static_cast<Uint8 *>(c->pixels);
    for (SimdPath path : {SimdPath::Scalar, SimdPath::SSE2, SimdPath::AVX2}) {
        JEX_ForceSimdPath(path);
        std::vector<Uint8> first(32 * 5);
        for (int i = 0; i < 32 * 5; ++i)
            first[size_t(i)] = pc[i] = Uint8(rng());
        ASSERT_EQ(JEX_UpperBlit(c, nullptr, b, nullptr), 0);
        for (int i = 0; i < 32 * 5; ++i)
            pc[i] = Uint8(rng());
        JEX_Rect part{1, 1, 6, 3}, at{1, 1, 0, 0};
        ASSERT_EQ(JEX_UpperBlit(c, &part, b, &at), 0);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool inside = x >= 1 && x < 7 && y >= 1 && y < 4;
                Uint32 got, want;
                std::memcpy(&got, pb + y * 32 + x * 4, 4);
                std::memcpy(&want, (inside ? pc : first.data()) + y * 32 + x * 4, 4);
                ASSERT_EQ(got, want & 0x00FFFFFFu) << x << "," << y;
            }
    }
    JEX_ResetSimdPath();
    JEX_FreeSurface(a);
    JEX_FreeSurface(b);
    JEX_FreeSurface(c);
}

// 1- and 4-bit copies at every bit alignment; neighbours in the same byte keep their values.
TEST(BlitCopy, SubBytePixelsAtEveryAlignment)
{
    std::mt19937 rng(7);
    for (Uint32 code : {JEX_PIXELFORMAT_INDEX1MSB, JEX_PIXELFORMAT_INDEX4MSB})
        for (int sx = 0; sx < 9; ++sx)
            for (int dx = 0; dx < 9; ++dx) {
                SCOPED_TRACE(std::string(JEX_GetPixelFormatName(code)) + " sx " +
                             std::to_string(sx) + " dx " + std::to_string(dx));
                Guarded src(code, 37, 5), dst(code, 41, 6);
                ASSERT_TRUE(src.get() && dst.get());
                src.Randomize(rng);
                dst.Randomize(rng);
                std::vector<Uint32> before(41 * 6);
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 41; ++x)
                        before[y * 41 + x] = dst.pixel(x, y);
                JEX_Rect sr{sx, 1, 23, 3}, dr{dx, 2, 0, 0};
                ASSERT_EQ(JEX_UpperBlit(src.get(), &sr, dst.get(), &dr), 0) << JEX_GetError();
                for (int y = 0; y < 6; ++y)
                    for (int x = 0; x < 41; ++x) {
                        const bool inside = x >= dx && x < dx + 23 && y >= 2 && y < 5;
                        const Uint32 want =
                            inside ? src.pixel(x - dx + sx, y - 1) : before[y * 41 + x];
                        ASSERT_EQ(dst.pixel(x, y), want) << "at (" << x << ", " << y << ")";
                    }
                EXPECT_TRUE(dst.GuardsIntact());
            }
}

}  // namespace
