// The general routine: any 2-, 3- or 4-byte source onto any 2-, 3- or 4-byte
// destination, with every copy flag, scaling by nearest neighbour. It spends
// table look-ups and shifts on every channel of every pixel; the specialised
// routines compute the same thing faster with the same arithmetic.
#include <cstddef>

#include "surface/blit.h"
#include "surface/blit_pixel.h"

using namespace jex::blit;

void JEX_Blit_Slow(JEX_BlitInfo *info)
{
    BlitPixels(*info, RuntimeFormat(info->src_fmt), RuntimeFormat(info->dst_fmt), info->flags);
}
