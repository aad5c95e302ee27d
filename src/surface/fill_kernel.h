// The row kernels of the fills, generic over the register width: the solid
// fill (scalar 64-bit words, SSE2, AVX2) and the blended lane fill (SSE2,
// AVX2). No include guard on purpose: each file that needs a kernel includes
// it inside an unnamed namespace, so the AVX2 file compiles its own copy for
// AVX2 without that copy ever being shared with code compiled for the
// baseline. Include <cstddef>, <cstdint>, <cstring>, surface/blit_pixel.h
// and surface/simd.h first, with namespace jex visible.

// A repeating byte pattern for a fill: byte i of a row is pattern[i % bpp],
// laid out so that any bpp-phase plus three vector widths can be loaded.
struct FillPattern {
    alignas(32) Uint8 bytes[3 * 32 + 4];
    int bpp;

    FillPattern(int bpp_, Uint32 color) : bpp(bpp_)
    {
        Uint8 px[4];
        blit::StorePixel(px, bpp_, color);
        for (std::size_t i = 0; i < sizeof bytes; ++i)
            bytes[i] = px[i % std::size_t(bpp_)];
    }
};

// One row. Rows shorter than a vector are copied from the pattern; longer
// ones get an unaligned vector at each end and aligned stores of three
// pattern vectors per step between them (three widths are a whole number of
// 3-byte pixels, and for 1, 2 and 4 bytes the three vectors are equal). The
// end stores overlap the middle with the same bytes. V supplies `reg`,
// `width`, `load` and `store` (unaligned) and `store_aligned`.
template <class V>
inline void FillRowWith(Uint8 *row, std::size_t n, const FillPattern &pat)
{
    constexpr std::size_t W = V::width;
    if (n < W) {
        std::memcpy(row, pat.bytes, n);
        return;
    }
    const std::size_t bpp = std::size_t(pat.bpp);
    V::store(row, V::load(pat.bytes));
    const std::size_t misalign = reinterpret_cast<std::uintptr_t>(row) & (W - 1);
    std::size_t i = misalign ? W - misalign : 0;
    const Uint8 *phase = pat.bytes + i % bpp;
    const typename V::reg v0 = V::load(phase), v1 = V::load(phase + W), v2 = V::load(phase + 2 * W);
    if (bpp != 3) {
        // One vector repeats: eight stores per step.
        for (; i + 8 * W <= n; i += 8 * W) {
            V::store_aligned(row + i, v0);
            V::store_aligned(row + i + W, v0);
            V::store_aligned(row + i + 2 * W, v0);
            V::store_aligned(row + i + 3 * W, v0);
            V::store_aligned(row + i + 4 * W, v0);
            V::store_aligned(row + i + 5 * W, v0);
            V::store_aligned(row + i + 6 * W, v0);
            V::store_aligned(row + i + 7 * W, v0);
        }
    }
    for (; i + 3 * W <= n; i += 3 * W) {
        V::store_aligned(row + i, v0);
        V::store_aligned(row + i + W, v1);
        V::store_aligned(row + i + 2 * W, v2);
    }
    if (i + W <= n) {
        V::store_aligned(row + i, v0);
        i += W;
        if (i + W <= n) {
            V::store_aligned(row + i, v1);
            i += W;
        }
    }
    if (i < n) {
        const std::size_t last = n - W;
        V::store(row + last, V::load(pat.bytes + last % bpp));
    }
}

// Rows that follow each other without a gap are filled as one long row.
template <class V>
void FillRowsWith(Uint8 *dst, std::ptrdiff_t pitch, int w, int h, int bpp, Uint32 color)
{
    const FillPattern pat(bpp, color);
    const std::size_t n = std::size_t(w) * std::size_t(bpp);
    if (pitch > 0 && std::size_t(pitch) == n)
        FillRowWith<V>(dst, n * std::size_t(h), pat);
    else
        for (int y = 0; y < h; ++y, dst += pitch)
            FillRowWith<V>(dst, n, pat);
    V::finish();
}

// n pixels of one row, one lane at a time (the tails of the vector loop).
inline void BlendLanesScalar(Uint8 *p, int n, const JEX_LaneOp &op)
{
    for (int i = 0; i < n; ++i, p += 4) {
        for (int k = 0; k < 4; ++k) {
            const unsigned v = blit::Div255(unsigned(p[k]) * op.mul[k]) + op.add[k];
            p[k] = Uint8(v > 255u ? 255u : v);
        }
    }
}

// The lane operation over rows, one register of pixels per step: bytes
// widened to 16 bits, multiplied, divided by 255, offset, packed back with
// saturation.
template <class V>
void BlendLanesWith(Uint8 *row, std::ptrdiff_t pitch, int w, int h, const JEX_LaneOp &op)
{
    using R = typename V::reg;
    Uint64 mul4, add4;
    std::memcpy(&mul4, op.mul, 8);
    std::memcpy(&add4, op.add, 8);
    // Two pixels' worth of 16-bit lanes, repeated.
    const R mul = V::set64(mul4), add = V::set64(add4);
    const R div = V::set16(0x8081);
    const R zero = V::zero();
    constexpr int step = V::lanes32;
    for (int y = 0; y < h; ++y, row += pitch) {
        Uint8 *p = row;
        int x = 0;
        for (; x + step <= w; x += step, p += 4 * step) {
            const R d = V::load(p);
            R lo = V::mullo16(V::unpacklo8(d, zero), mul);
            R hi = V::mullo16(V::unpackhi8(d, zero), mul);
            // x / 255 for every 16-bit x is (x * 0x8081) >> 23.
            lo = V::add16(V::srli16(V::mulhi16(lo, div), 7), add);
            hi = V::add16(V::srli16(V::mulhi16(hi, div), 7), add);
            V::store(p, V::packus16(lo, hi));
        }
        BlendLanesScalar(p, w - x, op);
    }
    V::finish();
}
