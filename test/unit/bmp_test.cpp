// BMP files: hand-built and hostile headers, ImageMagick's files and decodes
// both ways, and damaged files (every truncation, flipped header bytes).
#include <bit>
#include <climits>
#include <cstring>
#include <tuple>

#include "surface_test_util.h"
#include "test_files.h"

namespace {

using Bytes = std::vector<Uint8>;

// Little-endian fields of a file.
template <class T>
void Put(Bytes &b, size_t at, T v)
{
    std::memcpy(&b[at], &v, sizeof v);
}
template <class T>
T Get(const Bytes &b, size_t at)
{
    T v;
    std::memcpy(&v, &b[at], sizeof v);
    return v;
}

// --- Hand-built files ---

struct BmpFields {
    Uint32 header_size = 40;
    int width = 1;
    int height = 1;
    Uint16 bpp = 24;
    Uint32 compression = 0;
    Uint32 colors_used = 0;
    std::vector<Uint32> masks = {};  // inside a header of 52+ bytes, else after it
    Bytes palette = {};              // raw entries
    Bytes pixels = {};               // raw rows, padding included
    Sint64 data_offset = -1;         // -1: right after the palette
};

Bytes BuildBmp(const BmpFields &s)
{
    Bytes b(14 + s.header_size, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put<Uint32>(b, 14, s.header_size);
    if (s.header_size == 12) {
        Put<Uint16>(b, 18, static_cast<Uint16>(s.width));
        Put<Uint16>(b, 20, static_cast<Uint16>(s.height));
        Put<Uint16>(b, 22, 1);
        Put<Uint16>(b, 24, s.bpp);
    } else {
        Put<Uint32>(b, 18, static_cast<Uint32>(s.width));
        Put<Uint32>(b, 22, static_cast<Uint32>(s.height));
        Put<Uint16>(b, 26, 1);
        Put<Uint16>(b, 28, s.bpp);
        Put<Uint32>(b, 30, s.compression);
        Put<Uint32>(b, 46, s.colors_used);
        if (s.header_size >= 56) {
            for (size_t i = 0; i < s.masks.size() && i < 4; ++i)
                Put<Uint32>(b, 54 + 4 * i, s.masks[i]);
        } else {
            for (Uint32 m : s.masks) {
                b.resize(b.size() + 4);
                Put<Uint32>(b, b.size() - 4, m);
            }
        }
    }
    b.insert(b.end(), s.palette.begin(), s.palette.end());
    const Uint32 offset =
        s.data_offset >= 0 ? static_cast<Uint32>(s.data_offset) : static_cast<Uint32>(b.size());
    Put<Uint32>(b, 10, offset);
    if (b.size() < offset)
        b.resize(offset, 0xEE);
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    Put<Uint32>(b, 2, static_cast<Uint32>(b.size()));
    return b;
}

using surftest::Read;
using surftest::SurfacePtr;

SurfacePtr LoadBytes(const Bytes &b)
{
    return SurfacePtr(JEX_LoadBMP_RW(JEX_RWFromConstMem(b.data(), static_cast<int>(b.size())), 1));
}

const Uint8 *Row(const JEX_Surface *s, int y)
{
    return static_cast<const Uint8 *>(s->pixels) + static_cast<size_t>(y) * s->pitch;
}

std::string Error()
{
    return JEX_GetError();
}

// Loads from a read-only stream `lead` bytes into a block; position relative to the file.
struct LoadOutcome {
    SurfacePtr surface;
    int position;
    std::string error;
};

LoadOutcome LoadAt(const Bytes &file, size_t lead = 0)
{
    Bytes block(lead, 0x5A);
    block.insert(block.end(), file.begin(), file.end());
    JEX_RWops *rw = JEX_RWFromConstMem(block.data(), static_cast<int>(block.size()));
    EXPECT_NE(rw, nullptr);
    EXPECT_EQ(JEX_RWseek(rw, static_cast<int>(lead), JEX_RW_SEEK_SET), static_cast<int>(lead));
    LoadOutcome out;
    out.surface.reset(JEX_LoadBMP_RW(rw, 0));
    out.error = Error();
    out.position = JEX_RWtell(rw) - static_cast<int>(lead);
    JEX_RWclose(rw);
    return out;
}

// Files without bit fields load by what their bytes mean on this little-endian
// machine: ARGB8888 (blended), RGB555 (24-bit: BmpMagick). Only bit-field files
// carry masks, so the bytes of a gap before the pixels are not read as masks.
TEST(BmpLoad, FixedLayoutsWithoutMasks)
{
    const Bytes file =
        BuildBmp({.width = 2,
                  .height = -3,
                  .bpp = 32,
                  .pixels = {0x33, 0x22, 0x11, 0x80, 0x66, 0x55, 0x44, 0x00, 2, 0, 0, 0,
                             0,    0,    0,    0,    3,    0,    0,    0,    0, 0, 0, 0},
                  .data_offset = 70});
    LoadOutcome out = LoadAt(file);
    ASSERT_TRUE(out.surface) << out.error;
    EXPECT_EQ(out.surface->h, 3);
    EXPECT_EQ(out.surface->format->format, JEX_PIXELFORMAT_ARGB8888);
    EXPECT_EQ(std::tuple(Read(out.surface.get(), 0, 0), Read(out.surface.get(), 1, 0),
                         Read(out.surface.get(), 0, 2)),
              std::tuple(0x80112233u, 0x00445566u, 3u));
    JEX_BlendMode mode;
    ASSERT_EQ(JEX_GetSurfaceBlendMode(out.surface.get(), &mode), 0);
    EXPECT_EQ(mode, JEX_BLENDMODE_BLEND);
    EXPECT_EQ(out.position, static_cast<int>(file.size())) << "the stream is left after the pixels";
    // Red and blue full.
    SurfacePtr surf = LoadBytes(BuildBmp({.bpp = 16, .pixels = {0x1F, 0x7C, 0, 0}}));
    ASSERT_TRUE(surf) << Error();
    EXPECT_EQ(surf->format->format, JEX_PIXELFORMAT_RGB555);
    EXPECT_EQ(Read(surf.get(), 0, 0), 0x7C1F);
}

// Colours used 0 means 2 for a 1-bit file, whose pixel data follows the two
// entries directly; each entry's fourth byte is kept (unpacking: BmpMagick).
TEST(BmpLoad, OneBitUsesItsOwnTwoColours)
{
    // Red and green, as blue, green, red, fourth.
    const Bytes palette = {0, 0, 255, 7, 0, 255, 0, 9};
    SurfacePtr surf = LoadBytes(BuildBmp({.bpp = 1, .palette = palette, .pixels = Bytes(4, 0)}));
    ASSERT_TRUE(surf) << Error();
    EXPECT_EQ(surf->format->format, JEX_PIXELFORMAT_INDEX8);
    const JEX_Palette *pal = surf->format->palette;
    ASSERT_TRUE(pal && pal->ncolors == 2);
    EXPECT_TRUE(pal->colors[0].r == 255 && pal->colors[0].a == 7 && pal->colors[1].g == 255);
}

// Masks, palette and pixel data in every header generation.
TEST(BmpLoad, BitFieldMasksAreReadWhereEachHeaderKeepsThem)
{
    const Bytes px565 = {0x1F, 0xF8, 0xE0, 0x07};  // 0xF81F magenta, 0x07E0 green
    // Windows 3 header, masks after it.
    SurfacePtr surf = LoadBytes(BuildBmp({.width = 2,
                                          .bpp = 16,
                                          .compression = 3,
                                          .masks = {0xF800, 0x07E0, 0x001F},
                                          .pixels = px565}));
    ASSERT_TRUE(surf) << Error();
    EXPECT_EQ(surf->format->format, JEX_PIXELFORMAT_RGB565);
    EXPECT_EQ(Read(surf.get(), 1, 0), 0x07E0);
    for (Uint32 hs : {108u, 124u}) {
        SCOPED_TRACE(hs);
        // 4-bit channels, no alpha (other masks and alpha in V4/V5 headers: BmpMagick).
        surf = LoadBytes(BuildBmp({.header_size = hs,
                                   .width = 2,
                                   .bpp = 16,
                                   .compression = 3,
                                   .masks = {0x0F00, 0x00F0, 0x000F, 0},
                                   .pixels = px565}));
        ASSERT_TRUE(surf) << Error();
        EXPECT_EQ(surf->format->format, JEX_PIXELFORMAT_RGB444);
        EXPECT_EQ(surf->format->bytes_per_pixel, 2);
        EXPECT_EQ(Read(surf.get(), 1, 0), 0x07E0);
    }
    // Three masks after a Windows 3 header with the pixels right behind
    // them: the first pixel must not be taken for an alpha mask.
    surf = LoadBytes(BuildBmp({.bpp = 32,
                               .compression = 3,
                               .masks = {0x00FF0000, 0x0000FF00, 0x000000FF},
                               .pixels = {0xFF, 0xFF, 0xFF, 0xFF}}));
    ASSERT_TRUE(surf) << Error();
    EXPECT_EQ(surf->format->format, JEX_PIXELFORMAT_RGB888);
}

TEST(BmpLoad, RejectedFilesLeaveTheStreamWhereItWas)
{
    struct Case {
        const char *what;
        Bytes file;
        const char *message;  // null: any message
    };
    std::vector<Case> cases;
    const BmpFields ok{.width = 4,
                       .height = 4,
                       .bpp = 8,
                       .colors_used = 1,
                       .palette = {0, 0, 0, 0},
                       .pixels = Bytes(16, 0)};
    const Bytes good = BuildBmp(ok);
    ASSERT_TRUE(LoadBytes(good)) << Error();
    const char *const kCompressed = "Compressed BMP files not supported";
    // A variant of the good file, by its fields or by one 32-bit field of its bytes.
    const auto with = [&](const char *what, const char *message, auto edit) {
        BmpFields s = ok;
        edit(s);
        cases.push_back({what, BuildBmp(s), message});
    };
    const auto patched = [&](const char *what, size_t at, Uint32 v) {
        Bytes b = good;
        Put<Uint32>(b, at, v);
        cases.push_back({what, b, nullptr});
    };
    Bytes ba = good;
    ba[1] = 'A';
    cases.push_back({"magic BA", ba, "File is not a Windows BMP file"});
    cases.push_back({"one byte", Bytes{'B'}, "Error reading from datastream"});
    with("RLE8", kCompressed, [](BmpFields &s) { s.compression = 1; });
    with("RLE4", kCompressed, [](BmpFields &s) { s.compression = 2; });
    // OS/2 2.x numbers Huffman coding 3: not bit fields.
    with("OS/2 Huffman", kCompressed, [](BmpFields &s) { s.header_size = 64, s.compression = 3; });
    with("257 colours at 8 bpp", nullptr, [](BmpFields &s) { s.colors_used = 257; });
    for (Uint32 n : {3u, 0xFFFFFFFFu})
        with("colours at 1 bpp", nullptr, [n](BmpFields &s) {
            s = {.bpp = 1, .colors_used = n, .palette = Bytes(12, 0), .pixels = Bytes(4, 0)};
        });
    for (int height : {INT_MIN, 0, INT_MAX, -INT_MAX})
        with("height", nullptr, [height](BmpFields &s) { s.height = height; });
    for (int width : {0, -1, INT_MAX, 0x40000000})
        with("width", nullptr, [width](BmpFields &s) { s.width = width; });
    // Sizes whose product overflows 32 bits, in a tiny file.
    with("65536^2 x 32", nullptr, [](BmpFields &s) { s.bpp = 32, s.width = s.height = 0x10000; });
    for (Uint16 bpp : {0, 2, 7, 12, 48, 64})
        with("bpp", nullptr, [bpp](BmpFields &s) { s.bpp = bpp; });
    for (Uint32 hs : {0u, 4u, 11u, 13u, 15u, 0xFFFFFFF0u})
        patched("header size", 14, hs);
    for (Uint32 off : {0xFFFFFFFFu, 0x7FFFFFFFu, static_cast<Uint32>(good.size() - 3)})
        patched("data offset", 10, off);
    // Bit fields that describe no pixel format.
    with("odd masks", "Unknown pixel format", [](BmpFields &s) {
        s = {.header_size = 124, .bpp = 16, .compression = 3, .masks = {1, 2, 4, 0}};
        s.pixels = Bytes(4, 0);
    });
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        for (size_t lead : {size_t{0}, size_t{9}}) {
            JEX_ClearError();
            LoadOutcome out = LoadAt(c.file, lead);
            EXPECT_FALSE(out.surface);
            EXPECT_EQ(out.position, 0);
            if (c.message)
                EXPECT_EQ(out.error, c.message);
            else
                EXPECT_FALSE(out.error.empty());
        }
    }
}

// A read-only memory stream whose closes are counted.
int g_closes = 0;
int (*g_real_close)(JEX_RWops *) = nullptr;
JEX_RWops *CountingStream(const Bytes &b)
{
    JEX_RWops *rw = JEX_RWFromConstMem(b.data(), static_cast<int>(b.size()));
    g_real_close = rw->close;
    rw->close = [](JEX_RWops *c) { return ++g_closes, g_real_close(c); };
    return rw;
}

TEST(BmpLoad, FreesrcClosesTheStreamWhateverTheOutcome)
{
    const Bytes good = BuildBmp({.pixels = {1, 2, 3, 0}});
    Bytes bad = good;
    bad[0] = 'X';
    EXPECT_TRUE(SurfacePtr(JEX_LoadBMP_RW(CountingStream(good), 1)));
    EXPECT_FALSE(SurfacePtr(JEX_LoadBMP_RW(CountingStream(bad), 1)));
    EXPECT_EQ(g_closes, 2);
    JEX_RWops *rw = CountingStream(good);
    EXPECT_TRUE(SurfacePtr(JEX_LoadBMP_RW(rw, 0)));
    EXPECT_EQ(g_closes, 2);
    JEX_RWclose(rw);
    EXPECT_EQ(g_closes, 3);
    JEX_ClearError();
    EXPECT_EQ(JEX_LoadBMP_RW(nullptr, 1), nullptr);
    EXPECT_STREQ(JEX_GetError(), "");
}

// --- Saving ---

Bytes SaveToMemory(JEX_Surface *s, int *result, size_t capacity = 1 << 20, size_t lead = 0)
{
    Bytes block(capacity, 0xCC);
    JEX_RWops *rw = JEX_RWFromMem(block.data(), static_cast<int>(block.size()));
    JEX_RWseek(rw, static_cast<int>(lead), JEX_RW_SEEK_SET);
    *result = JEX_SaveBMP_RW(s, rw, 0);
    const int end = JEX_RWtell(rw);
    JEX_RWclose(rw);
    return Bytes(block.begin() + static_cast<long>(lead), block.begin() + end);
}

SurfacePtr MakeArgb(int w, int h)
{
    SurfacePtr s = surftest::Make(JEX_PIXELFORMAT_ARGB8888, w, h);
    for (int y = 0; s && y < h; ++y)
        for (int x = 0; x < w; ++x)
            surftest::WriteRaw(static_cast<Uint8 *>(s->pixels) + y * s->pitch + 4 * x, 4,
                               0x80000000u |
                                   Uint32((x * 40) << 16 | (y * 50) << 8 | (x * y * 7 + 3)));
    return s;
}

TEST(BmpSave, PaletteSurfacesKeepTheirColoursAndDepthOthersFail)
{
    SurfacePtr s(JEX_CreateRGBSurface(0, 3, 2, 8, 0, 0, 0, 0));
    ASSERT_TRUE(s) << Error();
    ASSERT_EQ(s->format->palette->ncolors, 256);
    for (int i = 0; i < 256; ++i)
        s->format->palette->colors[i] = {static_cast<Uint8>(i), static_cast<Uint8>(i ^ 0x55),
                                         static_cast<Uint8>(255 - i), 255};
    const Uint8 idx[2][3] = {{0, 17, 255}, {128, 3, 4}};
    std::memcpy(static_cast<Uint8 *>(s->pixels), idx[0], 3);
    std::memcpy(static_cast<Uint8 *>(s->pixels) + s->pitch, idx[1], 3);
    int result = -1;
    const Bytes file = SaveToMemory(s.get(), &result, 1 << 20, 11);
    ASSERT_EQ(result, 0) << Error();
    EXPECT_EQ(std::tuple(Get<Uint32>(file, 10), Get<Uint32>(file, 46), Get<Uint16>(file, 28),
                         file.size()),
              std::tuple(54u + 1024u, 256u, Uint16(8), size_t{54 + 1024 + 2 * 4}));
    LoadOutcome back = LoadAt(file, 5);
    ASSERT_TRUE(back.surface) << back.error;
    for (int y = 0; y < 2; ++y)
        EXPECT_EQ(0, std::memcmp(Row(back.surface.get(), y), idx[y], 3));
    EXPECT_EQ(0, std::memcmp(back.surface->format->palette->colors, s->format->palette->colors,
                             256 * sizeof(JEX_Color)));
    SurfacePtr four(JEX_CreateRGBSurface(0, 4, 4, 4, 0, 0, 0, 0));
    ASSERT_TRUE(four) << Error();
    SaveToMemory(four.get(), &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Error(), "4 bpp BMP files not supported");
}

TEST(BmpSave, FailuresAreReported)
{
    SurfacePtr src = MakeArgb(7, 7);
    ASSERT_TRUE(src);
    JEX_ClearError();
    EXPECT_EQ(JEX_SaveBMP_RW(src.get(), nullptr, 1), -1);
    EXPECT_FALSE(Error().empty());
    // The reason the stream could not be made is kept.
    JEX_ClearError();
    EXPECT_EQ(JEX_SaveBMP(src.get(), "/nonexistent-dir/x.bmp"), -1);
    EXPECT_NE(Error().find("/nonexistent-dir/x.bmp"), std::string::npos) << Error();
    Bytes block(64);
    JEX_RWops *rw = JEX_RWFromMem(block.data(), static_cast<int>(block.size()));
    EXPECT_EQ(JEX_SaveBMP_RW(nullptr, rw, 0), -1);
    EXPECT_EQ(JEX_RWtell(rw), 0);
    // Too small for the pixels: the short write is a failure.
    EXPECT_EQ(JEX_SaveBMP_RW(src.get(), rw, 1), -1);
    EXPECT_EQ(Error(), "Error writing to datastream");
    // Too small even for the header.
    int result = 0;
    SaveToMemory(src.get(), &result, 20);
    EXPECT_EQ(result, -1);
    const Uint8 ro[256] = {};
    rw = JEX_RWFromConstMem(ro, sizeof ro);
    EXPECT_EQ(JEX_SaveBMP_RW(src.get(), rw, 0), -1);
    EXPECT_EQ(JEX_RWtell(rw), 0);
    JEX_RWclose(rw);
    // A full disk shows only when the buffered file is flushed on closing.
    if (std::FILE *probe = std::fopen("/dev/full", "wb")) {
        std::fclose(probe);
        JEX_ClearError();
        EXPECT_EQ(JEX_SaveBMP(src.get(), "/dev/full"), -1);
        EXPECT_FALSE(Error().empty());
    }
}

// --- ImageMagick: files made by `convert` at test time, compared with its own decode ---

bool HaveConvert()
{
    static const bool have = RunCommand("convert -version").has_value();
    return have;
}

#define NEED_CONVERT_AND_DIR()                                                                     \
    ASSERT_TRUE(HaveConvert()) << "ImageMagick's convert is needed (scripts/setup installs it)";   \
    TempDir dir;                                                                                   \
    ASSERT_TRUE(dir.ok())

// ImageMagick's decodes of files of the given widths and height h, as 8-bit RGBA, top first.
std::vector<Bytes> MagickDecode(const std::vector<std::string> &paths,
                                const std::vector<int> &widths, int h)
{
    std::string cmd = "convert";
    for (const std::string &p : paths)
        cmd += " '" + p + "'";
    const std::optional<std::string> decoded = RunCommand(cmd + " -depth 8 rgba:-");
    if (!decoded) {
        ADD_FAILURE() << "ImageMagick cannot decode " << cmd;
        return {};
    }
    const Bytes all(decoded->begin(), decoded->end());
    std::vector<Bytes> out;
    size_t at = 0;
    for (int w : widths) {
        const size_t n = static_cast<size_t>(w) * h * 4;
        if (at + n > all.size()) {
            ADD_FAILURE() << "ImageMagick's decode is short: " << cmd;
            return {};
        }
        out.emplace_back(all.begin() + static_cast<long>(at),
                         all.begin() + static_cast<long>(at + n));
        at += n;
    }
    EXPECT_EQ(at, all.size()) << cmd;
    return out;
}

// A pixel of our surface as raw channel values and their widths in bits (0: absent).
struct Channels {
    unsigned value[4];
    unsigned bits[4];
};

Channels ChannelsAt(const JEX_Surface *s, int x, int y)
{
    Channels c{};
    const JEX_PixelFormat *f = s->format;
    const Uint8 *p = Row(s, y) + x * f->bytes_per_pixel;
    if (f->palette) {
        const JEX_Color col = f->palette->colors[p[0]];
        c = {{col.r, col.g, col.b, 0}, {8, 8, 8, 0}};
        EXPECT_LT(p[0], f->palette->ncolors);
    } else {
        Uint32 v = 0;
        std::memcpy(&v, p, f->bytes_per_pixel);
        const Uint32 masks[4] = {f->rmask, f->gmask, f->bmask, f->amask};
        for (int i = 0; i < 4; ++i) {
            c.bits[i] = static_cast<unsigned>(std::popcount(masks[i]));
            c.value[i] = masks[i] ? (v & masks[i]) >> std::countr_zero(masks[i]) : 0;
        }
    }
    return c;
}

// Compares an ImageMagick decode with channel widths: an 8-bit value must
// carry the channel's value in its top bits. Absent alpha must read opaque.
void ExpectSamePixels(const JEX_Surface *s, const Bytes &rgba, bool compare_alpha,
                      const std::string &what)
{
    ASSERT_EQ(rgba.size(), static_cast<size_t>(s->w) * s->h * 4) << what;
    int mismatches = 0;
    for (int y = 0; y < s->h && mismatches < 5; ++y)
        for (int x = 0; x < s->w && mismatches < 5; ++x) {
            const Channels c = ChannelsAt(s, x, y);
            const Uint8 *m = &rgba[(static_cast<size_t>(y) * s->w + x) * 4];
            for (int i = 0; i < 4; ++i) {
                if (i == 3 && !compare_alpha)
                    continue;
                const bool same =
                    c.bits[i] == 0 ? m[i] == 255
                                   : static_cast<unsigned>(m[i] >> (8 - c.bits[i])) == c.value[i];
                if (!same) {
                    ++mismatches;
                    ADD_FAILURE() << what << ": pixel (" << x << "," << y << ") channel "
                                  << "rgba"[i] << ": ImageMagick " << int(m[i]) << ", ours "
                                  << c.value[i] << " in " << c.bits[i] << " bits";
                }
            }
        }
}

// The same file with a V4 header: the V5 header's last 16 bytes removed.
Bytes V5ToV4(const Bytes &v5)
{
    Bytes v4(v5.begin(), v5.begin() + 14 + 108);
    v4.insert(v4.end(), v5.begin() + 14 + 124, v5.end());
    Put<Uint32>(v4, 14, 108);
    Put<Uint32>(v4, 10, Get<Uint32>(v5, 10) - 16);
    Put<Uint32>(v4, 2, static_cast<Uint32>(v4.size()));
    return v4;
}

struct MagickCase {
    const char *name;
    const char *coder;    // BMP3 (Windows 3), BMP (V4/V5), BMP2 (OS/2)
    const char *options;  // after the input
    Uint32 header_size;   // expected; 0 when either V4 or V5 will do
    int file_bpp;
    Uint32 surface_format;
    bool alpha;    // the file carries alpha worth comparing
    bool make_v4;  // also rewrite the V5 file as V4
};

constexpr const char *kPal2 = "-alpha off +dither -colors 2 -type palette",
                     *kPal16 = "-alpha off +dither -colors 16",
                     *kPal200 = "-alpha off +dither -colors 200 -type palette",
                     *kTrue = "-alpha off -type truecolor";
constexpr Uint32 kI8 = JEX_PIXELFORMAT_INDEX8, kBGR24 = JEX_PIXELFORMAT_BGR24,
                 kARGB = JEX_PIXELFORMAT_ARGB8888;

const MagickCase kMagickCases[] = {
    {"win3_1bit", "BMP3", kPal2, 40, 1, kI8, false, false},
    {"win3_4bit", "BMP3", kPal16, 40, 4, kI8, false, false},
    {"win3_8bit", "BMP3", kPal200, 40, 8, kI8, false, false},
    {"win3_24bit", "BMP3", kTrue, 40, 24, kBGR24, false, false},
    {"win3_32bit", "BMP3", "-define bmp3:alpha=true", 40, 32, kARGB, true, false},
    {"v4_32bit", "BMP", "-colorspace gray", 108, 32, kARGB, true, false},
    {"v5_1bit", "BMP", kPal2, 0, 1, kI8, false, false},
    {"v5_4bit", "BMP", kPal16, 124, 4, kI8, false, true},
    {"v5_8bit", "BMP", kPal200, 124, 8, kI8, false, true},
    {"v5_rgb565", "BMP", "-alpha off -define bmp:subtype=RGB565", 124, 16, JEX_PIXELFORMAT_RGB565,
     false, true},
    {"v5_rgb555", "BMP", "-alpha off -define bmp:subtype=RGB555", 124, 16, JEX_PIXELFORMAT_RGB555,
     false, false},
    {"v5_argb4444", "BMP", "-define bmp:subtype=ARGB4444", 124, 16, JEX_PIXELFORMAT_ARGB4444, true,
     false},
    {"v5_argb1555", "BMP", "-define bmp:subtype=ARGB1555", 124, 16, JEX_PIXELFORMAT_ARGB1555, true,
     true},
    {"v5_24bit", "BMP", kTrue, 124, 24, kBGR24, false, true},
    {"v5_32bit", "BMP", "", 124, 32, kARGB, true, true},
    {"os2_1bit", "BMP2", kPal2, 12, 1, kI8, false, false},
    {"os2_4bit", "BMP2", kPal16, 12, 4, kI8, false, false},
    {"os2_8bit", "BMP2", kPal200, 12, 8, kI8, false, false},
    {"os2_24bit", "BMP2", kTrue, 12, 24, kBGR24, false, false},
};

// A colourful image with varied alpha, never 0 (a writer may drop a transparent colour).
Bytes SourceImage(int w, int h)
{
    Bytes rgba(static_cast<size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Uint8 *p = &rgba[(static_cast<size_t>(y) * w + x) * 4];
            p[0] = static_cast<Uint8>(x * 37 + y * 11);
            p[1] = static_cast<Uint8>((x * 13) ^ (y * 71));
            p[2] = static_cast<Uint8>(x * 5 + y * 97);
            p[3] = static_cast<Uint8>(1 + (x * 29 + y * 53) % 255);
        }
    return rgba;
}

void PrintTo(const MagickCase &c, std::ostream *os)
{
    *os << c.name;
}

class BmpMagick : public ::testing::TestWithParam<MagickCase> {};

// ImageMagick's file per width (plus top-down and V4 rewrites) loads as
// ImageMagick decodes it, and our saved copy decodes to the same picture.
TEST_P(BmpMagick, LoadsAsImageMagickDecodesAndSavesBack)
{
    NEED_CONVERT_AND_DIR();
    const MagickCase &c = GetParam();
    const int h = 19;
    enum class Kind { Base, TopDown, V4, Saved };
    struct Item {
        std::string path;
        int w;
        Kind kind;
        size_t base;  // index of the base file's item
        std::string what;
    };
    std::vector<Item> items;
    const std::vector<int> all_widths = {1, 2, 3, 13, 33};
    // One convert call writes a file per width, each image handled alone.
    std::string make = "convert -depth 8";
    for (size_t i = 0; i < all_widths.size(); ++i) {
        const std::string raw = dir.File("src" + std::to_string(i) + ".rgba");
        WriteFile(raw, SourceImage(all_widths[i], h));
        make += " '(' -size " + std::to_string(all_widths[i]) + "x" + std::to_string(h) +
                " rgba:'" + raw + "' ')'";
    }
    make += std::string(" ") + c.options + " -compress none +adjoin " + c.coder + ":'" +
            dir.File("img%d.bmp") + "'";
    ASSERT_TRUE(RunCommand(make)) << make;
    for (size_t i = 0; i < all_widths.size(); ++i) {
        const int w = all_widths[i];
        const std::string what = std::string(c.name) + " width " + std::to_string(w);
        const std::string tag = std::to_string(i);
        const std::string bmp = dir.File("img" + tag + ".bmp");
        const Bytes file = ReadFile(bmp);
        ASSERT_GE(file.size(), 26u) << what;
        const Uint32 hs = Get<Uint32>(file, 14);
        if (c.header_size)
            ASSERT_EQ(hs, c.header_size) << what;
        else
            ASSERT_TRUE(hs == 108 || hs == 124) << what << ": header " << hs;
        // Narrow images may have so few colours that ImageMagick picks a
        // smaller depth; the case is only meant for the depth it names.
        const int bpp = Get<Uint16>(file, hs == 12 ? 24 : 28);
        if (c.file_bpp <= 8 && bpp < c.file_bpp)
            continue;
        ASSERT_EQ(bpp, c.file_bpp) << what;
        const size_t base = items.size();
        items.push_back({bmp, w, Kind::Base, base, what});
        if (hs != 12) {
            Bytes top = file;
            Put<Uint32>(top, 22, static_cast<Uint32>(-h));
            items.push_back(
                {dir.File("top" + tag + ".bmp"), w, Kind::TopDown, base, what + " top-down"});
            WriteFile(items.back().path, top);
        }
        if (c.make_v4) {
            items.push_back({dir.File("v4_" + tag + ".bmp"), w, Kind::V4, base, what + " as V4"});
            WriteFile(items.back().path, V5ToV4(file));
        }
        SurfacePtr surf(JEX_LoadBMP(bmp.c_str()));
        ASSERT_TRUE(surf) << what << ": " << Error();
        const std::string saved = dir.File("saved" + tag + ".bmp");
        ASSERT_EQ(JEX_SaveBMP(surf.get(), saved.c_str()), 0) << what << ": " << Error();
        // Saved at 8 or 24 bits with a Windows 3 header; the sizes in the header agree with
        // the file, and rows are padded with zeros.
        const Bytes out = ReadFile(saved);
        ASSERT_GE(out.size(), 54u);
        const size_t used = size_t(w) * (c.file_bpp <= 8 ? 1 : 3), row = (used + 3) & ~size_t{3};
        const size_t pixels = Get<Uint32>(out, 10);
        EXPECT_EQ(std::tuple(Get<Uint16>(out, 28), Get<Uint32>(out, 14), Get<Uint32>(out, 2),
                             Get<Uint32>(out, 34), pixels + row * h),
                  std::tuple(Uint16(c.file_bpp <= 8 ? 8 : 24), 40u, Uint32(out.size()),
                             Uint32(row * h), out.size()))
            << what;
        for (size_t at = pixels + used; at + row - used <= out.size(); at += row)
            EXPECT_EQ(Bytes(out.begin() + long(at), out.begin() + long(at + row - used)),
                      Bytes(row - used, 0))
                << what << " at " << at;
        items.push_back({saved, w, Kind::Saved, base, what + " saved"});
    }
    ASSERT_FALSE(items.empty());
    std::vector<std::string> paths;
    std::vector<int> widths;
    for (const Item &it : items) {
        paths.push_back(it.path);
        widths.push_back(it.w);
    }
    const std::vector<Bytes> magick = MagickDecode(paths, widths, h);
    ASSERT_EQ(magick.size(), items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const Item &it = items[i];
        // A saved file is compared with the surface it was saved from.
        const std::string &load = it.kind == Kind::Saved ? items[it.base].path : it.path;
        SurfacePtr surf(JEX_LoadBMP(load.c_str()));
        ASSERT_TRUE(surf) << it.what << ": " << Error();
        ASSERT_EQ(surf->w, it.w) << it.what;
        ASSERT_EQ(surf->h, h) << it.what;
        EXPECT_EQ(surf->format->format, c.surface_format)
            << it.what << ": " << JEX_GetPixelFormatName(surf->format->format);
        ExpectSamePixels(surf.get(), magick[i], c.alpha && it.kind != Kind::Saved, it.what);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, BmpMagick, ::testing::ValuesIn(kMagickCases),
                         [](const ::testing::TestParamInfo<MagickCase> &info) {
                             return std::string(info.param.name);
                         });

// --- Damaged files: never a crash, an overrun (ASan watches), a leak or a hang ---

// ImageMagick's files in each header generation and the common depths.
std::vector<Bytes> DamageSamples(const TempDir &dir)
{
    std::vector<Bytes> files;
    const std::string raw = dir.File("src.rgba"), out = dir.File("d.bmp");
    WriteFile(raw, SourceImage(7, 5));
    for (const MagickCase &c : kMagickCases) {
        const std::string name = c.name;
        if (name != "win3_1bit" && name != "os2_4bit" && name != "v5_8bit" && name != "v5_rgb565" &&
            name != "win3_24bit" && name != "v5_32bit")
            continue;
        if (RunCommand("convert -size 7x5 -depth 8 rgba:'" + raw + "' " + c.options +
                       " -compress none " + c.coder + ":'" + out + "'"))
            files.push_back(ReadFile(out));
        else
            ADD_FAILURE() << "convert failed for " << name;
    }
    return files;
}

TEST(BmpDamaged, EveryTruncationFailsCleanly)
{
    NEED_CONVERT_AND_DIR();
    for (const Bytes &file : DamageSamples(dir)) {
        ASSERT_TRUE(LoadBytes(file)) << Error();
        const Uint32 hs = Get<Uint32>(file, 14);
        const int bpp = Get<Uint16>(file, hs == 12 ? 24 : 28);
        const size_t row = (7 * static_cast<size_t>(bpp) + 7) / 8;
        const size_t last_pad = ((row + 3) & ~size_t{3}) - row;
        for (size_t len = 0; len < file.size(); ++len) {
            SCOPED_TRACE("header " + std::to_string(hs) + ", " + std::to_string(bpp) +
                         " bpp, cut at " + std::to_string(len));
            Bytes cut(file.begin(), file.begin() + static_cast<long>(len));
            LoadOutcome out = LoadAt(cut, 2);
            if (len + last_pad >= file.size()) {
                // Only the last row's padding is missing: the picture is whole.
                EXPECT_TRUE(out.surface) << out.error;
            } else {
                EXPECT_FALSE(out.surface);
                EXPECT_EQ(out.position, 0);
                EXPECT_FALSE(out.error.empty());
            }
        }
    }
}

TEST(BmpDamaged, FlippedHeaderBytesNeverCrash)
{
    NEED_CONVERT_AND_DIR();
    int loaded = 0;
    int refused = 0;
    for (const Bytes &file : DamageSamples(dir)) {
        const size_t header_end = std::min<size_t>(file.size(), Get<Uint32>(file, 10));
        for (size_t at = 0; at < header_end; ++at)
            for (Uint8 flip : {0x01, 0x10, 0x80, 0xFF}) {
                Bytes bad = file;
                bad[at] ^= flip;
                LoadOutcome out = LoadAt(bad, 1);
                if (out.surface) {
                    ++loaded;
                    // Whatever loaded is a whole, consistent surface.
                    EXPECT_GT(out.surface->w, 0);
                    EXPECT_GT(out.surface->h, 0);
                    EXPECT_GE(out.surface->pitch,
                              out.surface->w * out.surface->format->bytes_per_pixel);
                } else {
                    ++refused;
                    EXPECT_EQ(out.position, 0) << "byte " << at << " ^ " << int(flip);
                    EXPECT_FALSE(out.error.empty()) << "byte " << at << " ^ " << int(flip);
                }
            }
    }
    // Palette bytes flip harmlessly, size and magic bytes do not.
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

}  // namespace
