// Sources of 1 or 4 bits per pixel: each pixel is addressed by its bit
// position in the row (most or least significant first, as the format
// says), starting from the pixel the blit begins at, so nothing past the
// rectangle is read as pixels. Their selector.
#include <cstddef>

#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/blit_index.h"
#include "surface/blit_pixel.h"

using namespace jex::blit;

namespace {

// Reads the pixels of one row, bits as the format orders them.
struct BitReader {
    unsigned bits;
    bool msb_first;
    unsigned mask;
    explicit BitReader(const JEX_PixelFormat *fmt)
        : bits(fmt->bits_per_pixel), msb_first(JEX_PIXELORDER(fmt->format) != JEX_BITMAPORDER_4321),
          mask((1u << fmt->bits_per_pixel) - 1)
    {}
    // Pixel n counted from the first pixel of the byte at row.
    unsigned operator()(const Uint8 *row, unsigned n) const
    {
        const unsigned per_byte = 8 / bits;
        const unsigned k = n % per_byte;
        const unsigned shift = msb_first ? 8 - bits - k * bits : k * bits;
        return (row[n / per_byte] >> shift) & mask;
    }
};

template <int kDstBpp, bool kKey>
void TranslateRows(JEX_BlitInfo *info)
{
    const BitReader read(info->src_fmt);
    const Uint8 *table = info->table;
    const Uint32 key = info->colorkey;
    const unsigned first = unsigned(info->src_subpixel);
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        for (int i = 0; i < w; ++i) {
            const unsigned index = read(s, first + unsigned(i));
            if (kKey && index == key)
                continue;
            StoreTableEntry<kDstBpp>(d + std::ptrdiff_t(i) * kDstBpp, table, index);
        }
    });
}

template <bool kKey>
void AlphaRows(JEX_BlitInfo *info)
{
    const BitReader read(info->src_fmt);
    const SourceColours colours(info->src_fmt);
    const Uint32 key = info->colorkey;
    const unsigned first = unsigned(info->src_subpixel);
    const int w = info->dst_w;
    WithFormat(info->dst_fmt, [&](auto df) {
        const BlendOnto<decltype(df)> blend(df, info->a);
        ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
            for (int i = 0; i < w; ++i) {
                const unsigned index = read(s, first + unsigned(i));
                if (kKey && index == key)
                    continue;
                blend(d + std::ptrdiff_t(i) * df.bpp(), colours.c[index]);
            }
        });
    });
}

}  // namespace

void JEX_BlitBto1(JEX_BlitInfo *info)
{
    TranslateRows<1, false>(info);
}
void JEX_BlitBto2(JEX_BlitInfo *info)
{
    TranslateRows<2, false>(info);
}
void JEX_BlitBto3(JEX_BlitInfo *info)
{
    TranslateRows<3, false>(info);
}
void JEX_BlitBto4(JEX_BlitInfo *info)
{
    TranslateRows<4, false>(info);
}
void JEX_BlitBto1Key(JEX_BlitInfo *info)
{
    TranslateRows<1, true>(info);
}
void JEX_BlitBto2Key(JEX_BlitInfo *info)
{
    TranslateRows<2, true>(info);
}
void JEX_BlitBto3Key(JEX_BlitInfo *info)
{
    TranslateRows<3, true>(info);
}
void JEX_BlitBto4Key(JEX_BlitInfo *info)
{
    TranslateRows<4, true>(info);
}
void JEX_BlitBtoNAlpha(JEX_BlitInfo *info)
{
    AlphaRows<false>(info);
}
void JEX_BlitBtoNAlphaKey(JEX_BlitInfo *info)
{
    AlphaRows<true>(info);
}

JEX_BlitFunc JEX_CalculateBlit0(JEX_Surface *surface)
{
    static constexpr JEX_BlitFunc bitmap_blit[] = {nullptr, JEX_BlitBto1, JEX_BlitBto2,
                                                   JEX_BlitBto3, JEX_BlitBto4};
    static constexpr JEX_BlitFunc colorkey_blit[] = {nullptr, JEX_BlitBto1Key, JEX_BlitBto2Key,
                                                     JEX_BlitBto3Key, JEX_BlitBto4Key};
    const int bits = surface->format->bits_per_pixel;
    // 4-bit sources are read the same way as bitmaps, a nibble per pixel.
    if (bits != 1 && bits != 4)
        return nullptr;
    return SelectIndexed(surface, bitmap_blit, colorkey_blit, JEX_BlitBtoNAlpha,
                         JEX_BlitBtoNAlphaKey);
}
