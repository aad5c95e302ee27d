// 8-bit sources: every pixel goes through the colour translation table built
// for the destination (palette to palette, or palette to pixel values), or,
// blended, through the source colours. Their selector.
#include <cstddef>
#include <cstring>

#include "surface/blit.h"
#include "surface/blit_family.h"
#include "surface/blit_index.h"
#include "surface/blit_pixel.h"

using namespace jex::blit;

namespace {

// Translated copy. With a key, source bytes equal to it are skipped.
template <int kDstBpp, bool kKey>
void TranslateRows(JEX_BlitInfo *info)
{
    const Uint8 *table = info->table;
    const Uint32 key = info->colorkey;
    const int w = info->dst_w;
    ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
        Unroll8(w, [&](int i) {
            const Uint8 index = s[i];
            if (kKey && index == key)
                return;
            StoreTableEntry<kDstBpp>(d + std::ptrdiff_t(i) * kDstBpp, table, index);
        });
    });
}

template <bool kKey>
void AlphaRows(JEX_BlitInfo *info)
{
    const SourceColours colours(info->src_fmt);
    const Uint32 key = info->colorkey;
    const int w = info->dst_w;
    WithFormat(info->dst_fmt, [&](auto df) {
        const BlendOnto<decltype(df)> blend(df, info->a);
        ForRows(*info, [&](const Uint8 *s, Uint8 *d) {
            Unroll4(w, [&](int i) {
                const Uint8 index = s[i];
                if (kKey && index == key)
                    return;
                blend(d + std::ptrdiff_t(i) * df.bpp(), colours.c[index]);
            });
        });
    });
}

}  // namespace

void JEX_Blit1to1(JEX_BlitInfo *info)
{
    TranslateRows<1, false>(info);
}
void JEX_Blit1to2(JEX_BlitInfo *info)
{
    TranslateRows<2, false>(info);
}
void JEX_Blit1to3(JEX_BlitInfo *info)
{
    TranslateRows<3, false>(info);
}
void JEX_Blit1to4(JEX_BlitInfo *info)
{
    TranslateRows<4, false>(info);
}
void JEX_Blit1to1Key(JEX_BlitInfo *info)
{
    TranslateRows<1, true>(info);
}
void JEX_Blit1to2Key(JEX_BlitInfo *info)
{
    TranslateRows<2, true>(info);
}
void JEX_Blit1to3Key(JEX_BlitInfo *info)
{
    TranslateRows<3, true>(info);
}
void JEX_Blit1to4Key(JEX_BlitInfo *info)
{
    TranslateRows<4, true>(info);
}
void JEX_Blit1toNAlpha(JEX_BlitInfo *info)
{
    AlphaRows<false>(info);
}
void JEX_Blit1toNAlphaKey(JEX_BlitInfo *info)
{
    AlphaRows<true>(info);
}

JEX_BlitFunc JEX_CalculateBlit1(JEX_Surface *surface)
{
    static constexpr JEX_BlitFunc one_blit[] = {nullptr, JEX_Blit1to1, JEX_Blit1to2, JEX_Blit1to3,
                                                JEX_Blit1to4};
    static constexpr JEX_BlitFunc one_blitkey[] = {nullptr, JEX_Blit1to1Key, JEX_Blit1to2Key,
                                                   JEX_Blit1to3Key, JEX_Blit1to4Key};
    return SelectIndexed(surface, one_blit, one_blitkey, JEX_Blit1toNAlpha, JEX_Blit1toNAlphaKey);
}
