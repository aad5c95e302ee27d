// The general routine: any 2-, 3- or 4-byte source onto any 2-, 3- or 4-byte
// destination, with every copy flag, scaling by nearest neighbour. It spends
// table look-ups and shifts on every channel of every pixel; the specialised
// routines compute the same thing faster with the same arithmetic.
#include <cstddef>

#include "video/blit.h"
#include "video/blit_pixel.h"

using namespace jex::blit;

void JEX_Blit_Slow(JEX_BlitInfo *info)
{
    const Uint32 flags = info->flags;
    const Format sf = MakeFormat(info->src_fmt);
    const Format df = MakeFormat(info->dst_fmt);
    const Modulation mod{info->r, info->g, info->b, info->a};
    const bool keyed = (flags & JEX_COPY_COLORKEY) != 0;
    const Uint32 key = info->colorkey;
    const bool reads_dst = ReadsDestination(flags);
    const int sbpp = sf.bpp, dbpp = df.bpp;
    const int dst_w = info->dst_w, dst_h = info->dst_h;
    const Uint64 incx = ScaleStep(info->src_w, dst_w);
    const Uint64 incy = ScaleStep(info->src_h, dst_h);

    Uint64 posy = 0;
    for (int y = 0; y < dst_h; ++y, posy += incy) {
        const Uint8 *srow = info->src + std::ptrdiff_t(posy >> 16) * info->src_pitch;
        Uint8 *d = info->dst + std::ptrdiff_t(y) * info->dst_pitch;
        Uint64 posx = 0;
        for (int x = 0; x < dst_w; ++x, posx += incx, d += dbpp) {
            const Uint32 sp = LoadPixel(srow + std::ptrdiff_t(posx >> 16) * sbpp, sbpp);
            if (keyed && sp == key)
                continue;
            Color dc{0, 0, 0, 255};
            if (reads_dst)
                dc = Expand(LoadPixel(d, dbpp), df);
            ApplyCopy(flags, mod, Expand(sp, sf), dc);
            StorePixel(d, dbpp, Pack(dc, df));
        }
    }
}
