// The plain copy: source pixels moved unchanged to a destination of the same
// format.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "surface/blit.h"

namespace {

bool MostSignificantFirst(const JEX_PixelFormat *fmt)
{
    return JEX_PIXELORDER(fmt->format) != JEX_BITMAPORDER_4321;
}

// Pixel n of a row of 1- or 4-bit pixels, counted from the row's first byte.
unsigned GetSubPixel(const Uint8 *row, long n, unsigned bits, bool msb_first)
{
    const unsigned per_byte = 8 / bits;
    const unsigned k = unsigned(n % per_byte);
    const unsigned shift = msb_first ? 8 - bits - k * bits : k * bits;
    return (row[n / per_byte] >> shift) & ((1u << bits) - 1);
}

void PutSubPixel(Uint8 *row, long n, unsigned bits, bool msb_first, unsigned v)
{
    const unsigned per_byte = 8 / bits;
    const unsigned k = unsigned(n % per_byte);
    const unsigned shift = msb_first ? 8 - bits - k * bits : k * bits;
    const unsigned mask = ((1u << bits) - 1) << shift;
    Uint8 &b = row[n / per_byte];
    b = Uint8((b & ~mask) | ((v << shift) & mask));
}

// Formats of less than a byte per pixel are copied pixel by pixel at their
// bit positions, so nothing outside the rectangle is touched (the two sides
// may differ in bit order and alignment). When the two areas share memory
// the walk runs backwards if the destination lies after the source.
void CopySubByte(JEX_BlitInfo *info)
{
    const unsigned bits = info->src_fmt->bits_per_pixel;
    const bool src_msb = MostSignificantFirst(info->src_fmt);
    const bool dst_msb = MostSignificantFirst(info->dst_fmt);
    const int w = info->dst_w, h = info->dst_h;
    const auto bit_address = [bits](const Uint8 *p, int sub) {
        return Uint64(reinterpret_cast<uintptr_t>(p)) * 8 + Uint64(sub) * bits;
    };
    const bool backwards =
        bit_address(info->dst, info->dst_subpixel) > bit_address(info->src, info->src_subpixel);
    for (int j = 0; j < h; ++j) {
        const int y = backwards ? h - 1 - j : j;
        const Uint8 *s = info->src + std::ptrdiff_t(y) * info->src_pitch;
        Uint8 *d = info->dst + std::ptrdiff_t(y) * info->dst_pitch;
        for (int i = 0; i < w; ++i) {
            const int x = backwards ? w - 1 - i : i;
            const unsigned v = GetSubPixel(s, long(info->src_subpixel) + x, bits, src_msb);
            PutSubPixel(d, long(info->dst_subpixel) + x, bits, dst_msb, v);
        }
    }
}

}  // namespace

void JEX_BlitCopy(JEX_BlitInfo *info)
{
    if (info->dst_w <= 0 || info->dst_h <= 0)
        return;
    if (info->dst_fmt->bits_per_pixel < 8) {
        CopySubByte(info);
        return;
    }
    const size_t row = size_t(info->dst_w) * info->dst_fmt->bytes_per_pixel;
    const int h = info->dst_h;
    Uint8 *src = info->src;
    Uint8 *dst = info->dst;
    const std::ptrdiff_t src_pitch = info->src_pitch, dst_pitch = info->dst_pitch;

    const auto s0 = reinterpret_cast<uintptr_t>(src);
    const auto d0 = reinterpret_cast<uintptr_t>(dst);
    const bool overlap = (s0 < d0 && d0 < s0 + uintptr_t(h) * uintptr_t(src_pitch)) ||
                         (d0 < s0 && s0 < d0 + uintptr_t(h) * uintptr_t(dst_pitch)) || s0 == d0;
    if (!overlap) {
        // Whole rows on both sides: one block.
        if (src_pitch == dst_pitch && size_t(src_pitch) == row) {
            std::memcpy(dst, src, row * size_t(h));
            return;
        }
        for (int y = 0; y < h; ++y) {
            std::memcpy(dst, src, row);
            src += src_pitch;
            dst += dst_pitch;
        }
        return;
    }
    // Overlapping areas (a surface blitted onto itself): each row is moved
    // with memmove, and the rows are taken bottom up when the destination
    // starts after the source, so no row is overwritten before it is read.
    if (d0 > s0) {
        src += std::ptrdiff_t(h - 1) * src_pitch;
        dst += std::ptrdiff_t(h - 1) * dst_pitch;
        for (int y = 0; y < h; ++y) {
            std::memmove(dst, src, row);
            src -= src_pitch;
            dst -= dst_pitch;
        }
    } else {
        for (int y = 0; y < h; ++y) {
            std::memmove(dst, src, row);
            src += src_pitch;
            dst += dst_pitch;
        }
    }
}
