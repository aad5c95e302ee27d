// Pixel format codes, format records, palettes, colour mapping and the
// translation tables, checked against oracles computed from the masks.

#include "JEX_error.h"
#include "JEX_log.h"
#include "JEX_pixels.h"
#include "surface/pixels_internal.h"

#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

class PixelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        JEX_LogGetOutputFunction(&saved_fn_, &saved_data_);
        JEX_LogSetOutputFunction(nullptr, nullptr);  // errors are expected here
        JEX_ClearError();
    }
    void TearDown() override { JEX_LogSetOutputFunction(saved_fn_, saved_data_); }
    JEX_LogOutputFunction saved_fn_ = nullptr;
    void *saved_data_ = nullptr;
};

// Every code with its value, bpp and masks (3-byte formats: memory order, little-endian).
struct FormatRow {
    Uint32 code;
    const char *name;
    int bpp;
    Uint32 r, g, b, a;
};

const FormatRow kFormats[] = {
    {0x81100100, "INDEX1LSB", 1, 0, 0, 0, 0},
    {0x81200100, "INDEX1MSB", 1, 0, 0, 0, 0},
    {0x82100400, "INDEX4LSB", 4, 0, 0, 0, 0},
    {0x82200400, "INDEX4MSB", 4, 0, 0, 0, 0},
    {0x83000801, "INDEX8", 8, 0, 0, 0, 0},
    {0x84110801, "RGB332", 8, 0xE0, 0x1C, 0x03, 0},
    {0x85120C02, "RGB444", 12, 0xF00, 0xF0, 0xF, 0},
    {0x85130F02, "RGB555", 15, 0x7C00, 0x3E0, 0x1F, 0},
    {0x85530F02, "BGR555", 15, 0x1F, 0x3E0, 0x7C00, 0},
    {0x85321002, "ARGB4444", 16, 0xF00, 0xF0, 0xF, 0xF000},
    {0x85421002, "RGBA4444", 16, 0xF000, 0xF00, 0xF0, 0xF},
    {0x85721002, "ABGR4444", 16, 0xF, 0xF0, 0xF00, 0xF000},
    {0x85821002, "BGRA4444", 16, 0xF0, 0xF00, 0xF000, 0xF},
    {0x85331002, "ARGB1555", 16, 0x7C00, 0x3E0, 0x1F, 0x8000},
    {0x85441002, "RGBA5551", 16, 0xF800, 0x7C0, 0x3E, 0x1},
    {0x85731002, "ABGR1555", 16, 0x1F, 0x3E0, 0x7C00, 0x8000},
    {0x85841002, "BGRA5551", 16, 0x3E, 0x7C0, 0xF800, 0x1},
    {0x85151002, "RGB565", 16, 0xF800, 0x7E0, 0x1F, 0},
    {0x85551002, "BGR565", 16, 0x1F, 0x7E0, 0xF800, 0},
    {0x87101803, "RGB24", 24, 0xFF, 0xFF00, 0xFF0000, 0},
    {0x87401803, "BGR24", 24, 0xFF0000, 0xFF00, 0xFF, 0},
    {0x86161804, "RGB888", 32, 0xFF0000, 0xFF00, 0xFF, 0},
    {0x86561804, "BGR888", 32, 0xFF, 0xFF00, 0xFF0000, 0},
    {0x86362004, "ARGB8888", 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {0x86462004, "RGBA8888", 32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF},
    {0x86762004, "ABGR8888", 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000},
    {0x86862004, "BGRA8888", 32, 0xFF00, 0xFF0000, 0xFF000000, 0xFF},
    {0x86372004, "ARGB2101010", 32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000},
};

// ---- oracles written from the channel formulas ---------------------------

// A channel scaled to 0..255 (absent: 255; wider than 8 bits: its top 8 bits).
Uint8 expand_oracle(Uint32 pixel, Uint32 mask)
{
    if (!mask)
        return 255;
    const int low = std::countr_zero(mask), width = std::popcount(mask), top = std::min(width, 8);
    const Uint32 v = (pixel & mask) >> (low + width - top);
    return static_cast<Uint8>(v * 255 / ((1u << top) - 1));
}

// An 8-bit component placed into a channel: its top bits, at the channel's top end.
Uint32 place_oracle(Uint8 value, Uint32 mask)
{
    if (!mask)
        return 0;
    const int low = std::countr_zero(mask), width = std::popcount(mask);
    return width >= 8 ? Uint32(value) << (low + width - 8) : Uint32(value >> (8 - width)) << low;
}

Uint32 place_all(const FormatRow &row, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    return place_oracle(r, row.r) | place_oracle(g, row.g) | place_oracle(b, row.b) |
           place_oracle(a, row.a);
}

struct FormatHolder {
    explicit FormatHolder(Uint32 code) : f(JEX_AllocFormat(code)) {}
    ~FormatHolder() { JEX_FreeFormat(f); }
    FormatHolder(const FormatHolder &) = delete;
    JEX_PixelFormat *f;
};

struct PaletteHolder {
    explicit PaletteHolder(int n) : p(JEX_AllocPalette(n)) {}
    ~PaletteHolder() { JEX_FreePalette(p); }
    PaletteHolder(const PaletteHolder &) = delete;
    JEX_Palette *p;
};

// ---- codes, names, masks --------------------------------------------------

TEST_F(PixelsTest, CodesToMasksToCodes)
{
    for (const auto &row : kFormats) {
        int bpp = -1;
        Uint32 r = 1, g = 1, b = 1, a = 1;
        ASSERT_TRUE(JEX_PixelFormatEnumToMasks(row.code, &bpp, &r, &g, &b, &a)) << row.name;
        EXPECT_TRUE(bpp == row.bpp && r == row.r && g == row.g && b == row.b && a == row.a)
            << row.name << ": " << bpp << std::hex << " " << r << " " << g << " " << b << " " << a;
        // Back to a code: the LSB indexed formats come back as their MSB twins.
        Uint32 expect = row.code;
        if (row.code == 0x81100100 || row.code == 0x82100400)
            expect = row.code ^ 0x00300000;
        EXPECT_EQ(JEX_MasksToPixelFormatEnum(bpp, r, g, b, a), expect) << row.name;
    }
    // Null outputs are allowed.
    EXPECT_TRUE(JEX_PixelFormatEnumToMasks(JEX_PIXELFORMAT_RGB565, nullptr, nullptr, nullptr,
                                           nullptr, nullptr));
    int bpp = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    EXPECT_TRUE(JEX_PixelFormatEnumToMasks(JEX_PIXELFORMAT_UNKNOWN, &bpp, &r, &g, &b, &a));
    EXPECT_EQ(bpp, 0);
    // Null outputs and a null format are tolerated by the mappings too.
    Uint8 c8[4] = {1, 1, 1, 1};
    JEX_GetRGBA(0x1234, nullptr, &c8[0], &c8[1], &c8[2], &c8[3]);
    EXPECT_EQ(c8[0] | c8[1] | c8[2] | c8[3], 0);
    EXPECT_EQ(JEX_MapRGBA(nullptr, 1, 2, 3, 4), 0u);
}

TEST_F(PixelsTest, UnsupportedCodesFail)
{
    for (Uint32 code : {0x32315659u, 0x56555949u, 0x32595559u, 0x59565955u, 0x55595659u}) {
        int bpp = 77;
        Uint32 r = 5;
        JEX_ClearError();
        EXPECT_FALSE(JEX_PixelFormatEnumToMasks(code, &bpp, &r, nullptr, nullptr, nullptr));
        EXPECT_STREQ(JEX_GetError(), "FOURCC pixel formats are not supported");
        EXPECT_TRUE(bpp == 77 && r == 5u) << "outputs untouched";
        EXPECT_EQ(JEX_AllocFormat(code), nullptr);
    }
    // Codes whose bytes field disagrees with their bits, or whose type,
    // order or layout is undefined, next to the codes they imitate.
    const Uint32 bad[] = {
        0x86362001u,
        0xFFFFFFFFu,
        0x86362008u,
        0x81100108u,
        0x800000FFu,
        0x8F362004u,
        0x86161802u,
        JEX_DEFINE_PIXELFORMAT(JEX_PIXELTYPE_PACKED16, 9, JEX_PACKEDLAYOUT_565, 16, 2),
        JEX_DEFINE_PIXELFORMAT(JEX_PIXELTYPE_PACKED32, 1, 0, 32, 4),
    };
    for (Uint32 code : bad) {
        SCOPED_TRACE(code);
        JEX_ClearError();
        EXPECT_FALSE(JEX_PixelFormatEnumToMasks(code, nullptr, nullptr, nullptr, nullptr, nullptr));
        EXPECT_EQ(std::string(JEX_GetError()).rfind("Unknown pixel format", 0), 0u)
            << JEX_GetError();
        JEX_PixelFormat f;
        EXPECT_EQ(JEX_InitFormat(&f, code), -1);
        EXPECT_EQ(JEX_AllocFormat(code), nullptr);
    }
}

TEST_F(PixelsTest, MasksToCodeRules)
{
    // 24 bits: the red mask alone decides between the byte orders.
    const struct {
        int bpp;
        Uint32 r, g, b, a, want;
    } cases[] = {
        {1, 1, 2, 3, 4, JEX_PIXELFORMAT_INDEX1MSB},
        {4, 0xF, 0, 0, 0, JEX_PIXELFORMAT_INDEX4MSB},
        {8, 0, 7, 7, 7, JEX_PIXELFORMAT_INDEX8},
        {8, 0xE0, 0x1C, 0x03, 1, JEX_PIXELFORMAT_UNKNOWN},
        {12, 0, 0, 0, 0, JEX_PIXELFORMAT_RGB444},
        {12, 0xF, 0xF0, 0xF00, 0, JEX_PIXELFORMAT_UNKNOWN},
        {15, 0, 0, 0, 0, JEX_PIXELFORMAT_RGB555},
        {15, 0x7C00, 0x3E0, 0x1F, 0x8000, JEX_PIXELFORMAT_ARGB1555},
        {16, 0, 0, 0, 0, JEX_PIXELFORMAT_RGB565},
        {16, 0xF800, 0x7E0, 0x1F, 1, JEX_PIXELFORMAT_UNKNOWN},
        {16, 0xF00, 0xF0, 0xF, 0, JEX_PIXELFORMAT_UNKNOWN},
        {24, 0, 0, 0, 0, JEX_PIXELFORMAT_RGB24},
        {24, 0xFF, 0, 0, 0, JEX_PIXELFORMAT_RGB24},
        {24, 0xFF0000, 0, 0, 0, JEX_PIXELFORMAT_BGR24},
        {24, 0xFF000000, 0xFF0000, 0xFF00, 0xFF, JEX_PIXELFORMAT_RGBA8888},
        {32, 0, 0, 0, 0, JEX_PIXELFORMAT_RGB888},
        {32, 0xFF0000, 0xFF00, 0xFF, 0xFF, JEX_PIXELFORMAT_UNKNOWN},
        {2, 0, 0, 0, 0, JEX_PIXELFORMAT_UNKNOWN},
        {-1, 0, 0, 0, 0, JEX_PIXELFORMAT_UNKNOWN},
    };
    for (const auto &c : cases)
        EXPECT_EQ(JEX_MasksToPixelFormatEnum(c.bpp, c.r, c.g, c.b, c.a), c.want)
            << c.bpp << std::hex << " " << c.r << " " << c.g << " " << c.b << " " << c.a;
}

// ---- format records -------------------------------------------------------

TEST_F(PixelsTest, FormatRecordsAreSharedExceptIndexed)
{
    JEX_PixelFormat *a = JEX_AllocFormat(JEX_PIXELFORMAT_RGB565);
    JEX_PixelFormat *b = JEX_AllocFormat(JEX_PIXELFORMAT_RGB565);
    JEX_PixelFormat *c = JEX_AllocFormat(JEX_PIXELFORMAT_ARGB8888);
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(a == b && a->refcount == 2 && a != c);
    JEX_FreeFormat(b);
    EXPECT_EQ(a->refcount, 1);
    JEX_FreeFormat(a);
    // The freed record left the cache; a new allocation starts afresh.
    JEX_PixelFormat *d = JEX_AllocFormat(JEX_PIXELFORMAT_RGB565);
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->refcount == 1 && d->format == JEX_PIXELFORMAT_RGB565);
    JEX_FreeFormat(d);
    // The other cached record is untouched by the unlink.
    JEX_PixelFormat *e = JEX_AllocFormat(JEX_PIXELFORMAT_ARGB8888);
    EXPECT_TRUE(e == c && c->refcount == 2);
    JEX_FreeFormat(e);
    JEX_FreeFormat(c);
    JEX_PixelFormat *i1 = JEX_AllocFormat(JEX_PIXELFORMAT_INDEX8);
    JEX_PixelFormat *i2 = JEX_AllocFormat(JEX_PIXELFORMAT_INDEX8);
    ASSERT_TRUE(i1 && i2);
    EXPECT_TRUE(i1 != i2 && i1->refcount == 1) << "indexed records are never shared";
    JEX_FreeFormat(i1);
    JEX_FreeFormat(i2);
    JEX_FreeFormat(nullptr);
}

// ---- mapping both ways ----------------------------------------------------

// Every pixel of the 8- and 16-bit formats, random ones of the wider (ARGB2101010's 10-bit
// channels too), expand (and narrow ones map back) as the oracles say; random components map.
TEST_F(PixelsTest, MapAndExpandAgainstTheOracles)
{
    std::mt19937 rng(1234);
    for (const auto &row : kFormats) {
        if (!row.r)
            continue;  // indexed
        SCOPED_TRACE(row.name);
        FormatHolder h(row.code);
        ASSERT_NE(h.f, nullptr);
        const bool narrow = row.bpp <= 16;
        const Uint32 rgb = row.r | row.g | row.b, count = row.bpp <= 8 ? 0x100
                                                          : narrow     ? 0x10000
                                                                       : 20000;
        for (Uint32 n = 0; n < count; ++n) {
            const Uint32 p = narrow ? n : Uint32(rng());
            Uint8 r, g, b, a, r3, g3, b3;
            JEX_GetRGBA(p, h.f, &r, &g, &b, &a);
            JEX_GetRGB(p, h.f, &r3, &g3, &b3);
            ASSERT_TRUE(r == expand_oracle(p, row.r) && g == expand_oracle(p, row.g) &&
                        b == expand_oracle(p, row.b) && a == expand_oracle(p, row.a) && r3 == r &&
                        g3 == g && b3 == b)
                << p;
            if (narrow) {
                ASSERT_EQ(JEX_MapRGBA(h.f, r, g, b, a), p & (rgb | row.a)) << p;
                ASSERT_EQ(JEX_MapRGB(h.f, r, g, b), (p & rgb) | row.a) << p;
            }
            const Uint8 cr = Uint8(rng()), cg = Uint8(rng()), cb = Uint8(rng()), ca = Uint8(rng());
            ASSERT_EQ(JEX_MapRGBA(h.f, cr, cg, cb, ca), place_all(row, cr, cg, cb, ca));
            ASSERT_EQ(JEX_MapRGB(h.f, cr, cg, cb), place_all(row, cr, cg, cb, 255));
        }
    }
}

// ---- palettes -------------------------------------------------------------

TEST_F(PixelsTest, AllocPalette)
{
    PaletteHolder pal(256);
    ASSERT_NE(pal.p, nullptr);
    EXPECT_TRUE(pal.p->ncolors == 256 && pal.p->version == 1u && pal.p->refcount == 1);
    for (int i = 0; i < 256; ++i) {
        const JEX_Color &c = pal.p->colors[i];
        ASSERT_TRUE(c.r == 255 && c.g == 255 && c.b == 255 && c.a == 255);
    }
    PaletteHolder empty(0);
    ASSERT_NE(empty.p, nullptr);
    EXPECT_EQ(empty.p->ncolors, 0);
    EXPECT_EQ(JEX_FindColor(empty.p, 1, 2, 3), 0);
    JEX_ClearError();
    EXPECT_EQ(JEX_AllocPalette(-1), nullptr);
    EXPECT_STRNE(JEX_GetError(), "");
    JEX_FreePalette(nullptr);
}

TEST_F(PixelsTest, SetPaletteColorsRanges)
{
    PaletteHolder pal(256);
    std::vector<JEX_Color> src(10);
    for (int i = 0; i < 10; ++i)
        src[i] = {Uint8(i), Uint8(i + 1), Uint8(i + 2), Uint8(i + 3)};
    // Fits: copied, 0.
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, src.data(), 5, 10), 0);
    EXPECT_EQ(pal.p->version, 2u);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(pal.p->colors[5 + i].g, i + 1);
    EXPECT_TRUE(pal.p->colors[4].r == 255 && pal.p->colors[15].r == 255) << "neighbours untouched";
    // Runs past the end: the 6 that fit are copied and the result is -1.
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, src.data(), 250, 10), -1);
    EXPECT_EQ(pal.p->version, 3u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pal.p->colors[250 + i].b, i + 2);
    // The version skips 0 when it wraps.
    pal.p->version = 0xFFFFFFFF;
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, src.data(), 0, 1), 0);
    EXPECT_EQ(pal.p->version, 1u);
    // Copying a range onto itself, and onto an overlapping range.
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, pal.p->colors + 5, 5, 3), 0);
    EXPECT_EQ(pal.p->colors[5].r, 0);
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, pal.p->colors + 5, 6, 4), 0);
    EXPECT_TRUE(pal.p->colors[6].r == 0 && pal.p->colors[9].r == 3);
    // Bad arguments change nothing.
    const Uint32 version = pal.p->version;
    const JEX_Color before = pal.p->colors[0];
    EXPECT_EQ(JEX_SetPaletteColors(nullptr, src.data(), 0, 1), -1);
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, src.data(), 257, 1), -1);
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, src.data(), -1, 1), -1);
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, src.data(), 0, -5), -1);
    EXPECT_EQ(JEX_SetPaletteColors(pal.p, nullptr, 0, 5), -1);
    EXPECT_EQ(pal.p->version, version);
    EXPECT_EQ(std::memcmp(&pal.p->colors[0], &before, sizeof(before)), 0);
}

TEST_F(PixelsTest, PaletteReferencesThroughFormats)
{
    JEX_PixelFormat *fmt = JEX_AllocFormat(JEX_PIXELFORMAT_INDEX8);
    JEX_Palette *pal = JEX_AllocPalette(256);
    JEX_Palette *other = JEX_AllocPalette(256);
    ASSERT_TRUE(fmt && pal && other);
    EXPECT_EQ(JEX_SetPixelFormatPalette(fmt, pal), 0);
    EXPECT_EQ(pal->refcount, 2);
    EXPECT_EQ(JEX_SetPixelFormatPalette(fmt, pal), 0);  // same palette: no change
    EXPECT_EQ(pal->refcount, 2);
    EXPECT_EQ(JEX_SetPixelFormatPalette(fmt, other), 0);
    EXPECT_TRUE(pal->refcount == 1 && other->refcount == 2 && fmt->palette == other);
    EXPECT_EQ(JEX_SetPixelFormatPalette(fmt, nullptr), 0);
    EXPECT_TRUE(other->refcount == 1 && fmt->palette == nullptr);
    // The format's reference is dropped when the format goes.
    EXPECT_EQ(JEX_SetPixelFormatPalette(fmt, pal), 0);
    JEX_FreePalette(pal);  // the format still holds it
    EXPECT_TRUE(pal->refcount == 1 && fmt->palette->ncolors == 256);
    JEX_FreeFormat(fmt);  // frees the palette too (ASan reports a leak otherwise)
    JEX_ClearError();
    EXPECT_EQ(JEX_SetPixelFormatPalette(nullptr, other), -1);
    EXPECT_STREQ(JEX_GetError(), "JEX_SetPixelFormatPalette() passed NULL format");
    // Wrong sizes, and palettes on shared non-indexed records, are refused.
    JEX_PixelFormat *i4 = JEX_AllocFormat(JEX_PIXELFORMAT_INDEX4MSB);
    JEX_PixelFormat *rgb = JEX_AllocFormat(JEX_PIXELFORMAT_RGB332);
    JEX_ClearError();
    EXPECT_EQ(JEX_SetPixelFormatPalette(i4, other), -1);
    EXPECT_STREQ(JEX_GetError(),
                 "JEX_SetPixelFormatPalette() passed a palette that doesn't match the format");
    EXPECT_EQ(JEX_SetPixelFormatPalette(rgb, other), -1);
    EXPECT_TRUE(rgb->palette == nullptr && other->refcount == 1);
    JEX_Palette *sixteen = JEX_AllocPalette(16);
    EXPECT_EQ(JEX_SetPixelFormatPalette(i4, sixteen), 0);
    JEX_FreePalette(sixteen);
    JEX_FreeFormat(i4);
    JEX_FreeFormat(rgb);
    JEX_FreePalette(other);
}

TEST_F(PixelsTest, IndexedMappingThroughPalette)
{
    JEX_PixelFormat *fmt = JEX_AllocFormat(JEX_PIXELFORMAT_INDEX1MSB);
    JEX_Palette *pal = JEX_AllocPalette(2);
    ASSERT_TRUE(fmt && pal);
    const JEX_Color colors[2] = {{10, 20, 30, 0}, {200, 210, 220, 7}};
    ASSERT_EQ(JEX_SetPaletteColors(pal, colors, 0, 2), 0);
    ASSERT_EQ(JEX_SetPixelFormatPalette(fmt, pal), 0);
    JEX_FreePalette(pal);
    EXPECT_EQ(JEX_MapRGB(fmt, 0, 0, 0), 0u);
    EXPECT_EQ(JEX_MapRGBA(fmt, 250, 250, 250, 0), 1u);  // alpha ignored
    Uint8 r, g, b, a;
    JEX_GetRGBA(1, fmt, &r, &g, &b, &a);
    EXPECT_TRUE(r == 200 && g == 210 && b == 220 && a == 255) << "the fourth byte is not read";
    JEX_GetRGBA(2, fmt, &r, &g, &b, &a);  // == ncolors: out of range
    EXPECT_EQ(r | g | b | a, 0);
    JEX_GetRGB(0xFFFFFFFF, fmt, &r, &g, &b);
    EXPECT_EQ(r | g | b, 0);
    JEX_FreeFormat(fmt);
}

TEST_F(PixelsTest, FindColorAgainstBruteForce)
{
    PaletteHolder pal(16);
    for (int i = 0; i < 16; ++i)
        pal.p->colors[i] = {Uint8(i * 16), Uint8(i), Uint8(100), 255};
    pal.p->colors[7] = pal.p->colors[3];
    EXPECT_EQ(JEX_FindColor(pal.p, pal.p->colors[3].r, pal.p->colors[3].g, 100), 3);
    EXPECT_EQ(JEX_FindColor(nullptr, 1, 2, 3), 0);
    std::mt19937 rng(7);
    for (int round = 0; round < 50; ++round) {
        const int n = 1 + int(rng() % 256);
        PaletteHolder p(n);
        for (int i = 0; i < n; ++i) {
            // Few distinct values, so that ties are common.
            p.p->colors[i] = {Uint8(rng() % 4 * 85), Uint8(rng() % 4 * 85), Uint8(rng() % 4 * 85),
                              Uint8(rng())};
        }
        for (int q = 0; q < 200; ++q) {
            const Uint8 r = Uint8(rng()), g = Uint8(rng()), b = Uint8(rng());
            long best = LONG_MAX;
            int want = 0;
            for (int i = 0; i < n; ++i) {
                const long dr = p.p->colors[i].r - r, dg = p.p->colors[i].g - g,
                           db = p.p->colors[i].b - b;
                const long d = dr * dr + dg * dg + db * db;
                if (d < best) {
                    best = d;
                    want = i;
                }
            }
            ASSERT_EQ(JEX_FindColor(p.p, r, g, b), want);
        }
    }
}

// ---- translation tables ---------------------------------------------------

TEST_F(PixelsTest, PaletteToPaletteTables)
{
    PaletteHolder a(16), b(256);
    for (int i = 0; i < 16; ++i)
        a.p->colors[i] = {Uint8(i * 17), Uint8(255 - i * 17), 0, 255};
    for (int i = 0; i < 256; ++i)
        b.p->colors[i] = {Uint8(i), Uint8(255 - i), 0, 255};
    int identical = -1;
    EXPECT_EQ(JEX_Map1to1(a.p, a.p, &identical), nullptr);
    EXPECT_EQ(identical, 1);
    // Same leading entries in a larger palette: still identical.
    PaletteHolder c(32);
    std::memcpy(c.p->colors, a.p->colors, 16 * sizeof(JEX_Color));
    EXPECT_EQ(JEX_Map1to1(a.p, c.p, &identical), nullptr);
    EXPECT_EQ(identical, 1);
    // A small source still gets an entry for every byte; ASan checks the size.
    Uint8 *t = JEX_Map1to1(a.p, b.p, &identical);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(identical, 0);
    for (int i = 0; i < 256; ++i) {
        const JEX_Color col = i < 16 ? a.p->colors[i] : JEX_Color{0, 0, 0, 0};
        EXPECT_EQ(t[i], JEX_FindColor(b.p, col.r, col.g, col.b)) << i;
    }
    std::free(t);
    // An empty destination palette maps everything to 0.
    PaletteHolder empty(0);
    t = JEX_Map1to1(b.p, empty.p, &identical);
    ASSERT_NE(t, nullptr);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t[i], 0);
    std::free(t);
}

TEST_F(PixelsTest, PaletteToPixelTables)
{
    PaletteHolder pal(3);
    const JEX_Color colors[3] = {{255, 128, 0, 255}, {10, 20, 30, 255}, {255, 255, 255, 0}};
    JEX_SetPaletteColors(pal.p, colors, 0, 3);
    const Uint8 mr = 200, mg = 255, mb = 100, ma = 128;
    const Uint32 codes[] = {JEX_PIXELFORMAT_RGB565,   JEX_PIXELFORMAT_ARGB8888,
                            JEX_PIXELFORMAT_RGBA4444, JEX_PIXELFORMAT_RGB332,
                            JEX_PIXELFORMAT_RGB24,    JEX_PIXELFORMAT_BGR24};
    for (Uint32 code : codes) {
        SCOPED_TRACE(JEX_GetPixelFormatName(code));
        FormatHolder dst(code);
        ASSERT_NE(dst.f, nullptr);
        Uint8 *t = JEX_Map1toN(pal.p, mr, mg, mb, ma, dst.f);
        ASSERT_NE(t, nullptr);
        const int size = JEX_Map1toNEntrySize(dst.f);
        EXPECT_EQ(size, dst.f->bytes_per_pixel == 3 ? 4 : dst.f->bytes_per_pixel);
        for (int i = 0; i < 256; ++i) {  // every pixel byte has an entry
            const Uint8 *e = t + i * size;
            if (i >= 3) {
                for (int k = 0; k < size; ++k)
                    ASSERT_EQ(e[k], 0) << i;
                continue;
            }
            const Uint8 R = Uint8(mr * colors[i].r / 255), G = Uint8(mg * colors[i].g / 255),
                        B = Uint8(mb * colors[i].b / 255);
            if (dst.f->bytes_per_pixel == 3) {
                // Bytes in memory order, as the format stores them.
                Uint32 want = JEX_MapRGB(dst.f, R, G, B);
                ASSERT_EQ(std::memcmp(e, &want, 3), 0) << i;
                continue;
            }
            Uint32 got = 0;
            std::memcpy(&got, e, size_t(size));
            const Uint32 want = place_oracle(R, dst.f->rmask) | place_oracle(G, dst.f->gmask) |
                                place_oracle(B, dst.f->bmask) | place_oracle(ma, dst.f->amask);
            ASSERT_EQ(got, want) << i;
        }
        std::free(t);
    }
    FormatHolder idx(JEX_PIXELFORMAT_INDEX8);
    EXPECT_EQ(JEX_Map1toN(pal.p, 255, 255, 255, 255, idx.f), nullptr);
    EXPECT_EQ(JEX_Map1toN(pal.p, 255, 255, 255, 255, nullptr), nullptr);
}

// ---- pitch and gamma -------------------------------------------------------

TEST_F(PixelsTest, Pitch)
{
    const Uint32 codes[] = {JEX_PIXELFORMAT_INDEX1MSB, JEX_PIXELFORMAT_INDEX4LSB,
                            JEX_PIXELFORMAT_INDEX8,    JEX_PIXELFORMAT_RGB565,
                            JEX_PIXELFORMAT_RGB24,     JEX_PIXELFORMAT_ARGB8888};
    const int bits[] = {1, 4, 8, 16, 24, 32};
    for (size_t k = 0; k < std::size(codes); ++k) {
        JEX_PixelFormat f;
        ASSERT_EQ(JEX_InitFormat(&f, codes[k]), 0);
        for (int w = 0; w <= 100; ++w) {
            const int bytes = (w * bits[k] + 7) / 8;
            ASSERT_EQ(JEX_CalculatePitch(&f, w), (bytes + 3) / 4 * 4) << bits[k] << " " << w;
        }
    }
    JEX_PixelFormat f;
    ASSERT_EQ(JEX_InitFormat(&f, JEX_PIXELFORMAT_INDEX1LSB), 0);
    EXPECT_EQ(JEX_CalculatePitch(&f, INT_MAX), (INT_MAX / 8 + 1 + 3) / 4 * 4);
    ASSERT_EQ(JEX_InitFormat(&f, JEX_PIXELFORMAT_ARGB8888), 0);
    // Rows whose length does not fit an int fail instead of wrapping.
    EXPECT_EQ(JEX_CalculatePitch(&f, 0x1FFFFFFF), 0x7FFFFFFC);
    JEX_ClearError();
    EXPECT_EQ(JEX_CalculatePitch(&f, 0x20000000), -1);
    EXPECT_STRNE(JEX_GetError(), "");
    EXPECT_EQ(JEX_CalculatePitch(&f, INT_MAX), -1);
    EXPECT_EQ(JEX_CalculatePitch(&f, -1), -1);
    ASSERT_EQ(JEX_InitFormat(&f, JEX_PIXELFORMAT_RGB24), 0);
    EXPECT_EQ(JEX_CalculatePitch(&f, INT_MAX / 3), -1);  // rounding up overflows
    EXPECT_EQ(JEX_CalculatePitch(nullptr, 10), -1);
    struct FakeSurface {
        const JEX_PixelFormat *format;
        int w;
    } s{&f, 5};
    EXPECT_EQ(JEX_CalculatePitch(&s), 16);
}

TEST_F(PixelsTest, GammaRamp)
{
    Uint16 ramp[256];
    JEX_CalculateGammaRamp(1.0f, ramp);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ramp[i], i * 0x101);
    for (float bad : {0.0f, -1.0f, std::nanf("")}) {
        std::fill(std::begin(ramp), std::end(ramp), Uint16(7));
        JEX_CalculateGammaRamp(bad, ramp);
        for (int i = 0; i < 256; ++i)
            ASSERT_EQ(ramp[i], 0) << bad;
    }
    for (float gamma : {0.5f, 1.5f, 2.2f}) {
        JEX_CalculateGammaRamp(gamma, ramp);
        const float exponent = 1.0f / gamma;
        for (int i = 0; i < 256; ++i) {
            const double v = std::pow(i / 256.0, double(exponent)) * 65535.0 + 0.5;
            ASSERT_EQ(ramp[i], Uint16(std::min(v, 65535.0))) << gamma << " " << i;
        }
    }
    // Extreme gammas stay within range.
    JEX_CalculateGammaRamp(1e30f, ramp);
    for (int i = 1; i < 256; ++i)
        ASSERT_GT(ramp[i], 65000);
    JEX_CalculateGammaRamp(1e-30f, ramp);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(ramp[i], 0);
    JEX_CalculateGammaRamp(2.0f, nullptr);
}

}  // namespace
