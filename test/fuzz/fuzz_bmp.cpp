// Arbitrary bytes through the BMP loader, from a read-only memory stream.
// Whatever loads must be a whole surface that saves again; whatever fails
// must leave the stream where it started.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "JEX_bmp.h"
#include "JEX_error.h"
#include "JEX_rwops.h"
#include "JEX_surface.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    JEX_RWops *rw = JEX_RWFromConstMem(data, static_cast<int>(size));
    if (!rw)
        return 0;
    JEX_Surface *surface = JEX_LoadBMP_RW(rw, 0);
    if (!surface && JEX_RWtell(rw) != 0)
        std::abort();
    JEX_RWclose(rw);
    if (!surface)
        return 0;
    // Touch every pixel byte of every row, so a short allocation shows.
    unsigned sum = 0;
    const auto *pixels = static_cast<const uint8_t *>(surface->pixels);
    const int row = surface->w * surface->format->bytes_per_pixel;
    for (int y = 0; y < surface->h; ++y)
        for (int x = 0; x < row; ++x)
            sum += pixels[static_cast<size_t>(y) * surface->pitch + x];
    // Saving what was loaded must succeed into a block large enough.
    std::vector<uint8_t> out(2048 + static_cast<size_t>(surface->h) *
                                        ((static_cast<size_t>(surface->w) * 3 + 3) & ~size_t{3}));
    JEX_RWops *dst = JEX_RWFromMem(out.data(), static_cast<int>(out.size()));
    if (dst && JEX_SaveBMP_RW(surface, dst, 1) != 0)
        std::abort();
    JEX_FreeSurface(surface);
    return static_cast<int>(sum & 0);
}
