// The row fill kernel, generic over the store width. This header has no
// include guard on purpose: each file that needs a kernel includes it inside
// an unnamed namespace, so the AVX2 file can compile its own copy for AVX2
// without that copy ever being shared with code compiled for the baseline.
// Include <cstddef>, <cstdint>, <cstring> and video/blit_pixel.h first.

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
// `width`, `load` (unaligned), `store` (aligned) and `storeu`.
template <class V>
inline void FillRowWith(Uint8 *row, std::size_t n, const FillPattern &pat)
{
    constexpr std::size_t W = V::width;
    if (n < W) {
        std::memcpy(row, pat.bytes, n);
        return;
    }
    const std::size_t bpp = std::size_t(pat.bpp);
    V::storeu(row, V::load(pat.bytes));
    const std::size_t misalign = reinterpret_cast<std::uintptr_t>(row) & (W - 1);
    std::size_t i = misalign ? W - misalign : 0;
    const Uint8 *phase = pat.bytes + i % bpp;
    const typename V::reg v0 = V::load(phase), v1 = V::load(phase + W), v2 = V::load(phase + 2 * W);
    if (bpp != 3) {
        // One vector repeats: eight stores per step.
        for (; i + 8 * W <= n; i += 8 * W) {
            V::store(row + i, v0);
            V::store(row + i + W, v0);
            V::store(row + i + 2 * W, v0);
            V::store(row + i + 3 * W, v0);
            V::store(row + i + 4 * W, v0);
            V::store(row + i + 5 * W, v0);
            V::store(row + i + 6 * W, v0);
            V::store(row + i + 7 * W, v0);
        }
    }
    for (; i + 3 * W <= n; i += 3 * W) {
        V::store(row + i, v0);
        V::store(row + i + W, v1);
        V::store(row + i + 2 * W, v2);
    }
    if (i + W <= n) {
        V::store(row + i, v0);
        i += W;
        if (i + W <= n) {
            V::store(row + i, v1);
            i += W;
        }
    }
    if (i < n) {
        const std::size_t last = n - W;
        V::storeu(row + last, V::load(pat.bytes + last % bpp));
    }
}

// Rows that follow each other without a gap are filled as one long row.
template <class V>
inline void FillRowsWith(Uint8 *dst, std::ptrdiff_t pitch, int w, int h, int bpp, Uint32 color)
{
    const FillPattern pat(bpp, color);
    const std::size_t n = std::size_t(w) * std::size_t(bpp);
    if (pitch > 0 && std::size_t(pitch) == n) {
        FillRowWith<V>(dst, n * std::size_t(h), pat);
        return;
    }
    for (int y = 0; y < h; ++y, dst += pitch)
        FillRowWith<V>(dst, n, pat);
}
