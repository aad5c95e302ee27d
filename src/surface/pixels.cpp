// Pixel format codes, shared format records, palettes and colour mapping.
#include "surface/pixels_internal.h"

#include "JEX_error.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// ---------------------------------------------------------------------------
// Expansion tables: entry i of the table for loss L is i * 255 / (2^(8-L) - 1).

template <int Loss>
constexpr std::array<Uint8, (1u << (8 - Loss))> make_expand_table()
{
    constexpr unsigned count = 1u << (8 - Loss);
    std::array<Uint8, count> t{};
    if constexpr (count == 1)
        t[0] = 255;
    else
        for (unsigned i = 0; i < count; ++i)
            t[i] = static_cast<Uint8>(i * 255u / (count - 1));
    return t;
}

constexpr auto lookup_0 = make_expand_table<0>();
constexpr auto lookup_1 = make_expand_table<1>();
constexpr auto lookup_2 = make_expand_table<2>();
constexpr auto lookup_3 = make_expand_table<3>();
constexpr auto lookup_4 = make_expand_table<4>();
constexpr auto lookup_5 = make_expand_table<5>();
constexpr auto lookup_6 = make_expand_table<6>();
constexpr auto lookup_7 = make_expand_table<7>();
constexpr auto lookup_8 = make_expand_table<8>();

static_assert(lookup_3[5] == 41 && lookup_3[30] == 246 && lookup_3[31] == 255);
static_assert(lookup_2[20] == 80 && lookup_2[21] == 85);
static_assert(lookup_5[3] == 109 && lookup_6[1] == 85 && lookup_8[0] == 255);

// ---------------------------------------------------------------------------
// Format codes.

struct FormatName {
    Uint32 format;
    const char *name;
};

#define JEX_FORMAT_NAME(f)                                                                         \
    FormatName                                                                                     \
    {                                                                                              \
        f, #f                                                                                      \
    }
constexpr FormatName format_names[] = {
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_INDEX1LSB), JEX_FORMAT_NAME(JEX_PIXELFORMAT_INDEX1MSB),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_INDEX4LSB), JEX_FORMAT_NAME(JEX_PIXELFORMAT_INDEX4MSB),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_INDEX8),    JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGB332),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGB444),    JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGB555),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_BGR555),    JEX_FORMAT_NAME(JEX_PIXELFORMAT_ARGB4444),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGBA4444),  JEX_FORMAT_NAME(JEX_PIXELFORMAT_ABGR4444),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_BGRA4444),  JEX_FORMAT_NAME(JEX_PIXELFORMAT_ARGB1555),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGBA5551),  JEX_FORMAT_NAME(JEX_PIXELFORMAT_ABGR1555),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_BGRA5551),  JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGB565),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_BGR565),    JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGB24),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_BGR24),     JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGB888),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_BGR888),    JEX_FORMAT_NAME(JEX_PIXELFORMAT_ARGB8888),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_RGBA8888),  JEX_FORMAT_NAME(JEX_PIXELFORMAT_ABGR8888),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_BGRA8888),  JEX_FORMAT_NAME(JEX_PIXELFORMAT_ARGB2101010),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_YV12),      JEX_FORMAT_NAME(JEX_PIXELFORMAT_IYUV),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_YUY2),      JEX_FORMAT_NAME(JEX_PIXELFORMAT_UYVY),
    JEX_FORMAT_NAME(JEX_PIXELFORMAT_YVYU),
};
#undef JEX_FORMAT_NAME

// Slot masks of each packed layout (index = layout), most significant first.
constexpr Uint32 layout_slots[9][4] = {
    {0, 0, 0, 0},
    {0, 0xE0, 0x1C, 0x03},                             // 332
    {0xF000, 0x0F00, 0x00F0, 0x000F},                  // 4444
    {0x8000, 0x7C00, 0x03E0, 0x001F},                  // 1555
    {0xF800, 0x07C0, 0x003E, 0x0001},                  // 5551
    {0, 0xF800, 0x07E0, 0x001F},                       // 565
    {0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF},  // 8888
    {0xC0000000, 0x3FF00000, 0x000FFC00, 0x000003FF},  // 2101010
    {0xFFC00000, 0x003FF000, 0x00000FFC, 0x00000003},  // 1010102
};

// Slot (0 = A .. 3 = D) of R, G, B and A for each packed order; -1 unused.
constexpr signed char order_slots[9][4] = {
    {-1, -1, -1, -1}, {1, 2, 3, -1},  // XRGB
    {0, 1, 2, -1},                    // RGBX
    {1, 2, 3, 0},                     // ARGB
    {0, 1, 2, 3},                     // RGBA
    {3, 2, 1, -1},                    // XBGR
    {2, 1, 0, -1},                    // BGRX
    {3, 2, 1, 0},                     // ABGR
    {2, 1, 0, 3},                     // BGRA
};

// Masks of the 3-byte array formats on this little-endian host: the byte at
// the lowest address is the least significant one of the pixel read as an
// integer, so RGB24 (R first in memory) has R in bits 0-7.
constexpr Uint32 rgb24_rmask = 0x000000FF, rgb24_gmask = 0x0000FF00, rgb24_bmask = 0x00FF0000;

JEX_PixelFormat *formats = nullptr;

void channel_shift_loss(Uint32 mask, Uint8 &shift, Uint8 &loss)
{
    if (mask == 0) {
        shift = 0;
        loss = 8;
        return;
    }
    const int low = std::countr_zero(mask);
    const int width = std::countr_one(mask >> low);
    if (width > 8) {
        // Wide channel: address its top 8 bits so the 8-bit tables apply.
        shift = static_cast<Uint8>(low + width - 8);
        loss = 0;
    } else {
        shift = static_cast<Uint8>(low);
        loss = static_cast<Uint8>(8 - width);
    }
}

inline Uint8 nearest_index(const JEX_Palette *pal, Uint8 r, Uint8 g, Uint8 b)
{
    if (!pal || pal->ncolors <= 0 || !pal->colors)
        return 0;
    Uint32 best = std::numeric_limits<Uint32>::max();
    int pixel = 0;
    const JEX_Color *c = pal->colors;
    for (int i = 0; i < pal->ncolors; ++i) {
        const int dr = int(c[i].r) - r, dg = int(c[i].g) - g, db = int(c[i].b) - b;
        const Uint32 d = Uint32(dr * dr) + Uint32(dg * dg) + Uint32(db * db);
        if (d < best) {
            pixel = i;
            if (d == 0)
                break;
            best = d;
        }
    }
    return static_cast<Uint8>(pixel);
}

// Entries a translation table needs so that any source byte may index it.
inline size_t table_entries(const JEX_Palette *src)
{
    const size_t n = src ? size_t(src->ncolors > 0 ? src->ncolors : 0) : 0;
    return n > 256 ? n : 256;
}

}  // namespace

// ---------------------------------------------------------------------------

const Uint8 *const JEX_expand_byte[9] = {
    lookup_0.data(), lookup_1.data(), lookup_2.data(), lookup_3.data(), lookup_4.data(),
    lookup_5.data(), lookup_6.data(), lookup_7.data(), lookup_8.data(),
};

bool JEX_IsKnownPixelFormat(Uint32 format)
{
    // Every field of a code must be the table's: a bytes field that
    // disagrees with the bits, or an undefined type, order or layout, would
    // have the blitters walk rows of the wrong length.
    if (format == JEX_PIXELFORMAT_UNKNOWN || JEX_ISPIXELFORMAT_FOURCC(format))
        return false;
    for (const auto &n : format_names)
        if (n.format == format)
            return true;
    return false;
}

extern "C" {

const char *JEX_GetPixelFormatName(Uint32 format)
{
    for (const auto &n : format_names)
        if (n.format == format)
            return n.name;
    return "JEX_PIXELFORMAT_UNKNOWN";
}

JEX_bool JEX_PixelFormatEnumToMasks(Uint32 format, int *bpp, Uint32 *Rmask, Uint32 *Gmask,
                                    Uint32 *Bmask, Uint32 *Amask)
{
    if (JEX_ISPIXELFORMAT_FOURCC(format)) {
        JEX_SetError("FOURCC pixel formats are not supported");
        return JEX_FALSE;
    }
    if (format != JEX_PIXELFORMAT_UNKNOWN && !JEX_IsKnownPixelFormat(format)) {
        JEX_SetError("Unknown pixel format 0x%08X", format);
        return JEX_FALSE;
    }
    const Uint32 bytes = JEX_BYTESPERPIXEL(format);
    const int bits = bytes > 2 ? int(bytes * 8) : int(JEX_BITSPERPIXEL(format));
    Uint32 m[4] = {0, 0, 0, 0};

    auto store = [&] {
        if (bpp)
            *bpp = bits;
        if (Rmask)
            *Rmask = m[0];
        if (Gmask)
            *Gmask = m[1];
        if (Bmask)
            *Bmask = m[2];
        if (Amask)
            *Amask = m[3];
    };

    if (format == JEX_PIXELFORMAT_RGB24 || format == JEX_PIXELFORMAT_BGR24) {
        const bool rgb = format == JEX_PIXELFORMAT_RGB24;
        m[0] = rgb ? rgb24_rmask : rgb24_bmask;
        m[1] = rgb24_gmask;
        m[2] = rgb ? rgb24_bmask : rgb24_rmask;
        store();
        return JEX_TRUE;
    }
    const Uint32 type = JEX_PIXELTYPE(format);
    if (type != JEX_PIXELTYPE_PACKED8 && type != JEX_PIXELTYPE_PACKED16 &&
        type != JEX_PIXELTYPE_PACKED32) {
        store();
        return JEX_TRUE;
    }
    const Uint32 layout = JEX_PIXELLAYOUT(format), order = JEX_PIXELORDER(format);
    for (int c = 0; c < 4; ++c) {
        const int slot = order_slots[order][c];
        m[c] = slot < 0 ? 0 : layout_slots[layout][slot];
    }
    store();
    return JEX_TRUE;
}

Uint32 JEX_MasksToPixelFormatEnum(int bpp, Uint32 Rmask, Uint32 Gmask, Uint32 Bmask, Uint32 Amask)
{
    auto match = [&](std::initializer_list<Uint32> candidates) -> Uint32 {
        for (Uint32 f : candidates) {
            int b;
            Uint32 r, g, bl, a;
            if (JEX_PixelFormatEnumToMasks(f, &b, &r, &g, &bl, &a) && r == Rmask && g == Gmask &&
                bl == Bmask && a == Amask)
                return f;
        }
        return JEX_PIXELFORMAT_UNKNOWN;
    };
    auto match16 = [&] {
        return match({JEX_PIXELFORMAT_RGB555, JEX_PIXELFORMAT_BGR555, JEX_PIXELFORMAT_RGB565,
                      JEX_PIXELFORMAT_BGR565, JEX_PIXELFORMAT_ARGB4444, JEX_PIXELFORMAT_RGBA4444,
                      JEX_PIXELFORMAT_ABGR4444, JEX_PIXELFORMAT_BGRA4444, JEX_PIXELFORMAT_ARGB1555,
                      JEX_PIXELFORMAT_RGBA5551, JEX_PIXELFORMAT_ABGR1555,
                      JEX_PIXELFORMAT_BGRA5551});
    };
    auto match32 = [&] {
        return match({JEX_PIXELFORMAT_RGB888, JEX_PIXELFORMAT_BGR888, JEX_PIXELFORMAT_ARGB8888,
                      JEX_PIXELFORMAT_RGBA8888, JEX_PIXELFORMAT_ABGR8888, JEX_PIXELFORMAT_BGRA8888,
                      JEX_PIXELFORMAT_ARGB2101010});
    };

    switch (bpp) {
    case 1: return JEX_PIXELFORMAT_INDEX1MSB;
    case 4: return JEX_PIXELFORMAT_INDEX4MSB;
    case 8:
        if (Rmask == 0)
            return JEX_PIXELFORMAT_INDEX8;
        if (Rmask == 0xE0 && Gmask == 0x1C && Bmask == 0x03 && Amask == 0)
            return JEX_PIXELFORMAT_RGB332;
        return JEX_PIXELFORMAT_UNKNOWN;
    case 12:
        if (Rmask == 0 || (Rmask == 0xF00 && Gmask == 0xF0 && Bmask == 0xF && Amask == 0))
            return JEX_PIXELFORMAT_RGB444;
        return JEX_PIXELFORMAT_UNKNOWN;
    case 15: return Rmask == 0 ? JEX_PIXELFORMAT_RGB555 : match16();
    case 16: return Rmask == 0 ? JEX_PIXELFORMAT_RGB565 : match16();
    case 24:
        // Default and R-first-in-memory masks give RGB24 (see rgb24_rmask).
        if (Rmask == 0 || Rmask == rgb24_rmask)
            return JEX_PIXELFORMAT_RGB24;
        if (Rmask == rgb24_bmask)
            return JEX_PIXELFORMAT_BGR24;
        return match32();
    case 32: return Rmask == 0 ? JEX_PIXELFORMAT_RGB888 : match32();
    default: return JEX_PIXELFORMAT_UNKNOWN;
    }
}

}  // extern "C"

int JEX_InitFormat(JEX_PixelFormat *format, Uint32 pixel_format)
{
    if (!format) {
        JEX_SetError("JEX_InitFormat() passed NULL format");
        return -1;
    }
    int bpp;
    Uint32 r, g, b, a;
    if (!JEX_PixelFormatEnumToMasks(pixel_format, &bpp, &r, &g, &b, &a))
        return -1;
    std::memset(format, 0, sizeof(*format));
    format->format = pixel_format;
    format->bits_per_pixel = static_cast<Uint8>(bpp);
    format->bytes_per_pixel = static_cast<Uint8>((bpp + 7) / 8);
    format->rmask = r;
    format->gmask = g;
    format->bmask = b;
    format->amask = a;
    channel_shift_loss(r, format->rshift, format->rloss);
    channel_shift_loss(g, format->gshift, format->gloss);
    channel_shift_loss(b, format->bshift, format->bloss);
    channel_shift_loss(a, format->ashift, format->aloss);
    format->palette = nullptr;
    format->refcount = 1;
    format->next = nullptr;
    return 0;
}

extern "C" {

JEX_PixelFormat *JEX_AllocFormat(Uint32 pixel_format)
{
    for (JEX_PixelFormat *f = formats; f; f = f->next) {
        if (f->format == pixel_format) {
            ++f->refcount;
            return f;
        }
    }
    auto *f = static_cast<JEX_PixelFormat *>(std::malloc(sizeof(JEX_PixelFormat)));
    if (!f) {
        JEX_OutOfMemory();
        return nullptr;
    }
    if (JEX_InitFormat(f, pixel_format) < 0) {
        std::free(f);
        return nullptr;
    }
    // Each indexed record carries its own palette, so those are never shared.
    if (!JEX_ISPIXELFORMAT_INDEXED(pixel_format)) {
        f->next = formats;
        formats = f;
    }
    return f;
}

void JEX_FreeFormat(JEX_PixelFormat *format)
{
    if (!format)
        return;
    if (--format->refcount > 0)
        return;
    for (JEX_PixelFormat **link = &formats; *link; link = &(*link)->next) {
        if (*link == format) {
            *link = format->next;
            break;
        }
    }
    JEX_FreePalette(format->palette);
    std::free(format);
}

JEX_Palette *JEX_AllocPalette(int ncolors)
{
    if (ncolors < 0) {
        JEX_SetError("JEX_AllocPalette(): invalid number of colors %d", ncolors);
        return nullptr;
    }
    auto *palette = static_cast<JEX_Palette *>(std::malloc(sizeof(JEX_Palette)));
    // At least one byte so that an empty palette still gets a distinct block.
    auto *colors = static_cast<JEX_Color *>(
        std::malloc(ncolors > 0 ? size_t(ncolors) * sizeof(JEX_Color) : 1));
    if (!palette || !colors) {
        std::free(palette);
        std::free(colors);
        JEX_OutOfMemory();
        return nullptr;
    }
    std::memset(colors, 0xFF, size_t(ncolors) * sizeof(JEX_Color));
    palette->ncolors = ncolors;
    palette->colors = colors;
    palette->version = 1;
    palette->refcount = 1;
    return palette;
}

void JEX_FreePalette(JEX_Palette *palette)
{
    if (!palette)
        return;
    if (--palette->refcount > 0)
        return;
    std::free(palette->colors);
    std::free(palette);
}

int JEX_SetPaletteColors(JEX_Palette *palette, const JEX_Color *colors, int firstcolor, int ncolors)
{
    if (!palette)
        return -1;
    if (firstcolor < 0 || firstcolor > palette->ncolors) {
        JEX_SetError("JEX_SetPaletteColors(): first color %d out of range", firstcolor);
        return -1;
    }
    if (ncolors < 0 || (ncolors > 0 && !colors)) {
        JEX_SetError("JEX_SetPaletteColors(): invalid colors");
        return -1;
    }
    int status = 0;
    const int room = palette->ncolors - firstcolor;
    if (ncolors > room) {
        ncolors = room;
        status = -1;
    }
    if (colors != palette->colors + firstcolor && ncolors > 0) {
        // The caller may pass a range of this palette's own storage.
        std::memmove(palette->colors + firstcolor, colors, size_t(ncolors) * sizeof(JEX_Color));
    }
    if (++palette->version == 0)
        palette->version = 1;
    return status;
}

int JEX_SetPixelFormatPalette(JEX_PixelFormat *format, JEX_Palette *palette)
{
    if (!format) {
        JEX_SetError("JEX_SetPixelFormatPalette() passed NULL format");
        return -1;
    }
    // Only indexed records carry palettes: the others are shared by every
    // surface of their code, and a palette there would change them all.
    if (palette && (!JEX_ISPIXELFORMAT_INDEXED(format->format) || format->bits_per_pixel > 8 ||
                    palette->ncolors != (1 << format->bits_per_pixel))) {
        JEX_SetError("JEX_SetPixelFormatPalette() passed a palette that doesn't match the format");
        return -1;
    }
    if (format->palette == palette)
        return 0;
    JEX_FreePalette(format->palette);
    format->palette = palette;
    if (palette)
        ++palette->refcount;
    return 0;
}

Uint32 JEX_MapRGB(const JEX_PixelFormat *format, Uint8 r, Uint8 g, Uint8 b)
{
    if (!format)
        return 0;
    if (format->palette)
        return nearest_index(format->palette, r, g, b);
    return (Uint32(r >> format->rloss) << format->rshift) |
           (Uint32(g >> format->gloss) << format->gshift) |
           (Uint32(b >> format->bloss) << format->bshift) | format->amask;
}

Uint32 JEX_MapRGBA(const JEX_PixelFormat *format, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    if (!format)
        return 0;
    if (format->palette)
        return nearest_index(format->palette, r, g, b);
    return (Uint32(r >> format->rloss) << format->rshift) |
           (Uint32(g >> format->gloss) << format->gshift) |
           (Uint32(b >> format->bloss) << format->bshift) |
           ((Uint32(a >> format->aloss) << format->ashift) & format->amask);
}

void JEX_GetRGB(Uint32 pixel, const JEX_PixelFormat *format, Uint8 *r, Uint8 *g, Uint8 *b)
{
    Uint8 cr = 0, cg = 0, cb = 0;
    if (!format) {
        // nothing to read: black
    } else if (!format->palette) {
        cr = JEX_expand_byte[format->rloss][(pixel & format->rmask) >> format->rshift];
        cg = JEX_expand_byte[format->gloss][(pixel & format->gmask) >> format->gshift];
        cb = JEX_expand_byte[format->bloss][(pixel & format->bmask) >> format->bshift];
    } else if (pixel < Uint32(format->palette->ncolors)) {
        const JEX_Color &c = format->palette->colors[pixel];
        cr = c.r;
        cg = c.g;
        cb = c.b;
    }
    if (r)
        *r = cr;
    if (g)
        *g = cg;
    if (b)
        *b = cb;
}

void JEX_GetRGBA(Uint32 pixel, const JEX_PixelFormat *format, Uint8 *r, Uint8 *g, Uint8 *b,
                 Uint8 *a)
{
    Uint8 cr = 0, cg = 0, cb = 0, ca = 0;
    if (!format) {
        // nothing to read: transparent black
    } else if (!format->palette) {
        cr = JEX_expand_byte[format->rloss][(pixel & format->rmask) >> format->rshift];
        cg = JEX_expand_byte[format->gloss][(pixel & format->gmask) >> format->gshift];
        cb = JEX_expand_byte[format->bloss][(pixel & format->bmask) >> format->bshift];
        ca = JEX_expand_byte[format->aloss][(pixel & format->amask) >> format->ashift];
    } else if (pixel < Uint32(format->palette->ncolors)) {
        const JEX_Color &c = format->palette->colors[pixel];
        cr = c.r;
        cg = c.g;
        cb = c.b;
        ca = JEX_ALPHA_OPAQUE;
    }
    if (r)
        *r = cr;
    if (g)
        *g = cg;
    if (b)
        *b = cb;
    if (a)
        *a = ca;
}

void JEX_CalculateGammaRamp(float gamma, Uint16 *ramp)
{
    if (!ramp)
        return;
    // Not-a-number is treated like an invalid (non-positive) gamma.
    if (!(gamma > 0.0f)) {
        std::memset(ramp, 0, 256 * sizeof(Uint16));
        return;
    }
    if (gamma == 1.0f) {
        for (int i = 0; i < 256; ++i)
            ramp[i] = static_cast<Uint16>((i << 8) | i);
        return;
    }
    const float exponent = 1.0f / gamma;
    for (int i = 0; i < 256; ++i) {
        double v = std::pow(i / 256.0, double(exponent)) * 65535.0 + 0.5;
        if (!(v >= 0.0))
            v = 0.0;
        ramp[i] = v > 65535.0 ? Uint16(65535) : static_cast<Uint16>(v);
    }
}

}  // extern "C"

// ---------------------------------------------------------------------------

void JEX_DitherColors(JEX_Color *colors, int bpp)
{
    if (bpp != 8 || !colors)
        return;
    for (int i = 0; i < 256; ++i) {
        int r = i & 0xE0;
        r |= r >> 3 | r >> 6;
        int g = (i << 3) & 0xE0;
        g |= g >> 3 | g >> 6;
        int b = (i & 0x3) | ((i & 0x3) << 2);
        b |= b << 4;
        colors[i].r = static_cast<Uint8>(r);
        colors[i].g = static_cast<Uint8>(g);
        colors[i].b = static_cast<Uint8>(b);
        colors[i].a = JEX_ALPHA_OPAQUE;
    }
}

int JEX_CalculatePitch(const JEX_PixelFormat *format, int width)
{
    if (!format || width < 0) {
        JEX_SetError("JEX_CalculatePitch(): invalid format or width");
        return -1;
    }
    Sint64 pitch = Sint64(width) * format->bytes_per_pixel;
    switch (format->bits_per_pixel) {
    case 1: pitch = (pitch + 7) / 8; break;
    case 4: pitch = (pitch + 1) / 2; break;
    default: break;
    }
    pitch = (pitch + 3) & ~Sint64(3);
    if (pitch > std::numeric_limits<int>::max()) {
        JEX_SetError("Row of %d pixels is too long", width);
        return -1;
    }
    return static_cast<int>(pitch);
}

Uint8 JEX_FindColor(const JEX_Palette *palette, Uint8 r, Uint8 g, Uint8 b)
{
    return nearest_index(palette, r, g, b);
}

Uint8 *JEX_Map1to1(const JEX_Palette *src, const JEX_Palette *dst, int *identical)
{
    if (identical) {
        if (src && dst && src->ncolors <= dst->ncolors &&
            (src == dst || src->ncolors <= 0 ||
             std::memcmp(src->colors, dst->colors, size_t(src->ncolors) * sizeof(JEX_Color)) ==
                 0)) {
            *identical = 1;
            return nullptr;
        }
        *identical = 0;
    }
    const size_t n = table_entries(src);
    auto *map = static_cast<Uint8 *>(std::malloc(n));
    if (!map) {
        JEX_OutOfMemory();
        return nullptr;
    }
    const int valid = src && src->colors ? src->ncolors : 0;
    for (int i = 0; i < valid; ++i) {
        const JEX_Color &c = src->colors[i];
        map[i] = nearest_index(dst, c.r, c.g, c.b);
    }
    if (size_t(valid) < n) {
        // Bytes past the source palette read as black.
        std::memset(map + valid, nearest_index(dst, 0, 0, 0), n - size_t(valid));
    }
    return map;
}

Uint8 *JEX_MapNto1(const JEX_Palette *dst, int *identical)
{
    JEX_Color colors[256];
    JEX_Palette dither{256, colors, 1, 1};
    JEX_DitherColors(colors, 8);
    // The blitters index this table with RGB332 values whatever the palette,
    // so it is built even when the palette starts with the dither colours.
    if (identical) {
        *identical =
            dst && dst->ncolors >= 256 && std::memcmp(colors, dst->colors, sizeof(colors)) == 0;
    }
    return JEX_Map1to1(&dither, dst, nullptr);
}

int JEX_Map1toNEntrySize(const JEX_PixelFormat *dst)
{
    if (!dst)
        return 0;
    return dst->bytes_per_pixel == 3 ? 4 : dst->bytes_per_pixel;
}

Uint8 *JEX_Map1toN(const JEX_Palette *src, Uint8 mr, Uint8 mg, Uint8 mb, Uint8 ma,
                   const JEX_PixelFormat *dst)
{
    if (!dst || JEX_ISPIXELFORMAT_INDEXED(dst->format) || JEX_ISPIXELFORMAT_FOURCC(dst->format) ||
        dst->bytes_per_pixel < 1 || dst->bytes_per_pixel > 4) {
        JEX_SetError("JEX_Map1toN(): unsupported destination format");
        return nullptr;
    }
    const size_t bpp = size_t(JEX_Map1toNEntrySize(dst));
    const size_t n = table_entries(src);
    // Zero entries stand for (0, 0, 0, alpha 0), the reading of a byte past
    // the palette.
    auto *map = static_cast<Uint8 *>(std::calloc(n, bpp));
    if (!map) {
        JEX_OutOfMemory();
        return nullptr;
    }
    const int valid = src && src->colors ? src->ncolors : 0;
    for (int i = 0; i < valid; ++i) {
        const JEX_Color &c = src->colors[i];
        const Uint32 R = Uint32(mr) * c.r / 255;
        const Uint32 G = Uint32(mg) * c.g / 255;
        const Uint32 B = Uint32(mb) * c.b / 255;
        Uint8 *entry = map + size_t(i) * bpp;
        if (dst->bytes_per_pixel == 3) {
            // Bytes in memory order: the byte holding a channel is its shift / 8.
            entry[dst->rshift / 8] = static_cast<Uint8>(R);
            entry[dst->gshift / 8] = static_cast<Uint8>(G);
            entry[dst->bshift / 8] = static_cast<Uint8>(B);
            continue;
        }
        const Uint32 pixel =
            ((R >> dst->rloss) << dst->rshift) | ((G >> dst->gloss) << dst->gshift) |
            ((B >> dst->bloss) << dst->bshift) | ((Uint32(ma) >> dst->aloss) << dst->ashift);
        switch (bpp) {
        case 1: entry[0] = static_cast<Uint8>(pixel); break;
        case 2: {
            const Uint16 v = static_cast<Uint16>(pixel);
            std::memcpy(entry, &v, 2);
            break;
        }
        default: std::memcpy(entry, &pixel, 4); break;
        }
    }
    return map;
}
