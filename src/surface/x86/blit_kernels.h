// Vector row kernels of the blitters, generic over the register width. No
// include guard on purpose: the SSE2 and AVX2 files each include it inside
// an unnamed namespace so that each compiles its own copy for its own
// instruction set. V supplies the operations used below; every kernel
// computes exactly what the scalar loop of its routine computes, and returns
// how many pixels it did (a multiple of its step).

// 32-bit RGB to 565 or 555: each channel's top bits. Blue and red are cut
// out together and joined by one multiply-add (red x 2^11 or 2^10 + blue).
template <class V, bool k565>
inline typename V::reg To16Lanes(typename V::reg p)
{
    const auto rb = V::and_(V::srli32(p, 3), V::set32(0x001F001F));
    const auto joined = V::madd16(rb, V::set32(k565 ? 0x08000001 : 0x04000001));
    const auto g = k565 ? V::and_(V::srli32(p, 5), V::set32(0x7E0))
                        : V::and_(V::srli32(p, 6), V::set32(0x3E0));
    return V::or_(joined, g);
}

template <class V, bool k565>
int RowTo16(const Uint32 *src, Uint16 *dst, int n)
{
    constexpr int step = 2 * V::lanes32;
    int i = 0;
    // Two stores per step while the row lasts, for more work in flight.
    for (; i + 2 * step <= n; i += 2 * step) {
        const auto a = To16Lanes<V, k565>(V::load(src + i));
        const auto b = To16Lanes<V, k565>(V::load(src + i + V::lanes32));
        const auto c = To16Lanes<V, k565>(V::load(src + i + 2 * V::lanes32));
        const auto e = To16Lanes<V, k565>(V::load(src + i + 3 * V::lanes32));
        V::store(dst + i, V::pack32to16(a, b));
        V::store(dst + i + step, V::pack32to16(c, e));
    }
    for (; i + step <= n; i += step) {
        const auto a = To16Lanes<V, k565>(V::load(src + i));
        const auto b = To16Lanes<V, k565>(V::load(src + i + V::lanes32));
        V::store(dst + i, V::pack32to16(a, b));
    }
    return i;
}

template <class V>
int RowRGB888To565(const Uint32 *src, Uint16 *dst, int n)
{
    return RowTo16<V, true>(src, dst, n);
}

template <class V>
int RowRGB888To555(const Uint32 *src, Uint16 *dst, int n)
{
    return RowTo16<V, false>(src, dst, n);
}

// 565 to 32 bits as the expansion tables give it: red and blue
// v x 255 / 31, green 4 x (low 3 bits) + (high 3 bits) x 8 x 255 / 63, each
// quotient truncated (by multiplying with a rounded-up reciprocal, exact
// over these ranges), alpha 255.
template <class V, int kKind>
int Row565To32Of(const Uint16 *src, Uint32 *dst, int n)
{
    using R = typename V::reg;
    constexpr int kShifts[4][4] = {{16, 8, 0, 24}, {0, 8, 16, 24}, {24, 16, 8, 0}, {8, 16, 24, 0}};
    constexpr int rs = kShifts[kKind][0], gs = kShifts[kKind][1], bs = kShifts[kKind][2],
                  as = kShifts[kKind][3];
    const R alpha = V::set32(Uint32(255) << as);
    const R m31 = V::set16(31), m7 = V::set16(7);
    const R div31 = V::set16(33826), div63 = V::set16(33289);
    constexpr int step = V::lanes16;
    int i = 0;
    for (; i + step <= n; i += step) {
        const R p = V::load(src + i);
        const R r5 = V::srli16(p, 11);
        const R b5 = V::and_(p, m31);
        const R hi3 = V::and_(V::srli16(p, 8), m7);
        const R lo3 = V::and_(V::srli16(p, 5), m7);
        const R r = V::srli16(V::mulhi16(V::sub16(V::slli16(r5, 8), r5), div31), 4);
        const R b = V::srli16(V::mulhi16(V::sub16(V::slli16(b5, 8), b5), div31), 4);
        // hi3 x 2040 = hi3 x 2048 - hi3 x 8.
        const R g8 = V::sub16(V::slli16(hi3, 11), V::slli16(hi3, 3));
        const R g = V::add16(V::slli16(lo3, 2), V::srli16(V::mulhi16(g8, div63), 5));
        R r_lo, r_hi, g_lo, g_hi, b_lo, b_hi;
        V::widen16(r, r_lo, r_hi);
        V::widen16(g, g_lo, g_hi);
        V::widen16(b, b_lo, b_hi);
        const R lo = V::or_(V::or_(V::sll32(r_lo, rs), V::sll32(g_lo, gs)),
                            V::or_(V::sll32(b_lo, bs), alpha));
        const R hi = V::or_(V::or_(V::sll32(r_hi, rs), V::sll32(g_hi, gs)),
                            V::or_(V::sll32(b_hi, bs), alpha));
        V::store(dst + i, lo);
        V::store(dst + i + V::lanes32, hi);
    }
    return i;
}

template <class V>
int Row565To32(const Uint16 *src, Uint32 *dst, int n, int kind)
{
    switch (kind) {
    case 0: return Row565To32Of<V, 0>(src, dst, n);
    case 1: return Row565To32Of<V, 1>(src, dst, n);
    case 2: return Row565To32Of<V, 2>(src, dst, n);
    default: return Row565To32Of<V, 3>(src, dst, n);
    }
}

template <class V>
int RowMaskOr32(const Uint32 *src, Uint32 *dst, int n, Uint32 and_mask, Uint32 or_mask)
{
    const auto am = V::set32(and_mask), om = V::set32(or_mask);
    constexpr int L = V::lanes32;
    int i = 0;
    // Four registers in flight per step, loads ahead of the stores.
    for (; i + 4 * L <= n; i += 4 * L) {
        const auto a = V::load(src + i), b = V::load(src + i + L);
        const auto c = V::load(src + i + 2 * L), e = V::load(src + i + 3 * L);
        V::store(dst + i, V::or_(V::and_(a, am), om));
        V::store(dst + i + L, V::or_(V::and_(b, am), om));
        V::store(dst + i + 2 * L, V::or_(V::and_(c, am), om));
        V::store(dst + i + 3 * L, V::or_(V::and_(e, am), om));
    }
    for (; i + L <= n; i += L)
        V::store(dst + i, V::or_(V::and_(V::load(src + i), am), om));
    return i;
}

template <class V>
int RowKeyMaskOr32(const Uint32 *src, Uint32 *dst, int n, Uint32 key_mask, Uint32 key,
                   Uint32 and_mask, Uint32 or_mask)
{
    const auto km = V::set32(key_mask), kv = V::set32(key);
    const auto am = V::set32(and_mask), om = V::set32(or_mask);
    constexpr int step = V::lanes32;
    int i = 0;
    for (; i + step <= n; i += step) {
        const auto s = V::load(src + i);
        const auto keyed = V::cmpeq32(V::and_(s, km), kv);
        const auto out = V::or_(V::and_(s, am), om);
        V::store(dst + i, V::select(keyed, V::load(dst + i), out));
    }
    return i;
}

// The blend itself, for alphas (one per 32-bit lane, 0 to 256) already
// taken out of the source.
template <class V>
inline typename V::reg BlendLanes(typename V::reg s, typename V::reg d, typename V::reg a32)
{
    using R = typename V::reg;
    const R zero = V::zero();
    const R pair = V::or_(a32, V::slli32(a32, 16));
    const R a_lo = V::unpacklo32(pair, a32), a_hi = V::unpackhi32(pair, a32);
    // (a x s + (256 - a) x d) >> 8 = (a x (s - d) + 256 x d) >> 8 in 16-bit
    // arithmetic: the true sum fits, so the wrap-around cancels.
    const R s_lo = V::unpacklo8(s, zero), s_hi = V::unpackhi8(s, zero);
    const R d_lo = V::unpacklo8(d, zero), d_hi = V::unpackhi8(d, zero);
    const R r_lo =
        V::srli16(V::add16(V::mullo16(V::sub16(s_lo, d_lo), a_lo), V::slli16(d_lo, 8)), 8);
    const R r_hi =
        V::srli16(V::add16(V::mullo16(V::sub16(s_hi, d_hi), a_hi), V::slli16(d_hi, 8)), 8);
    return V::packus16(r_lo, r_hi);
}

// Alpha in the top byte onto 8888 of the same colour order, destination top
// byte kept. Per channel the two-lane formula equals
// d + floor(a x (s - d) / 256) = (a x s + (256 - a) x d) >> 8, which fits 16
// bits; alpha 255 copies the colour, alpha 0 leaves the pixel.
// One vector of pixels; false when every source alpha is 0 (nothing to do).
template <class V>
inline bool RGBPixelAlphaVector(typename V::reg s, typename V::reg d, typename V::reg &out)
{
    using R = typename V::reg;
    R a32 = V::srli32(s, 24);
    if (V::all_zero(a32))
        return false;
    // Alpha 255 counts as 256, which gives the source colour exactly;
    // the alpha lane gets weight 0, which keeps the destination's.
    a32 = V::sub32(a32, V::cmpeq32(a32, V::set32(0xFF)));
    out = BlendLanes<V>(s, d, a32);
    return true;
}

template <class V>
int RowRGBPixelAlpha(const Uint32 *src, Uint32 *dst, int n)
{
    using R = typename V::reg;
    constexpr int step = V::lanes32;
    int i = 0;
    // Two vectors per step, independent of each other.
    for (; i + 2 * step <= n; i += 2 * step) {
        R o0, o1;
        const bool w0 = RGBPixelAlphaVector<V>(V::load(src + i), V::load(dst + i), o0);
        const bool w1 =
            RGBPixelAlphaVector<V>(V::load(src + i + step), V::load(dst + i + step), o1);
        if (w0)
            V::store(dst + i, o0);
        if (w1)
            V::store(dst + i + step, o1);
    }
    for (; i + step <= n; i += step) {
        R o;
        if (RGBPixelAlphaVector<V>(V::load(src + i), V::load(dst + i), o))
            V::store(dst + i, o);
    }
    return i;
}

// One translucent row of the alpha encoding (see JEX_SimdKernels). The runs
// are short (a sprite's soft edge), so the whole row is walked here rather
// than one call per run; the formula is RowRGBPixelAlpha's, and the scalar
// tail computes the same d + floor(a x (s - d) / 256) per channel.
template <class V>
const Uint8 *RLEAlphaRow(const Uint8 *enc, Uint32 *dst, int w)
{
    using R = typename V::reg;
    const R top = V::set32(0xFF000000);
    int ofs = 0;
    while (ofs < w) {
        Uint16 counts[2];
        std::memcpy(counts, enc, sizeof(counts));
        enc += sizeof(counts);
        ofs += counts[0];
        const int run = counts[1];
        const Uint32 *src = reinterpret_cast<const Uint32 *>(enc);
        Uint32 *d = dst + ofs;
        int i = 0;
        // Alpha here is never 0 or 255 (those pixels are skipped or opaque).
        for (; i + V::lanes32 <= run; i += V::lanes32) {
            const R sv = V::load(src + i);
            V::store(d + i, V::or_(BlendLanes<V>(sv, V::load(d + i), V::srli32(sv, 24)), top));
        }
        for (; i < run; ++i) {
            const Uint32 s = src[i], dp = d[i], a = s >> 24;
            const Uint32 rb =
                (((a * ((s & 0xFF00FF) - (dp & 0xFF00FF))) >> 8) + (dp & 0xFF00FF)) & 0xFF00FF;
            const Uint32 g = (((((s & 0xFF00) - (dp & 0xFF00)) * a) >> 8) + (dp & 0xFF00)) & 0xFF00;
            d[i] = rb + g + 0xFF000000;
        }
        enc += std::size_t(run) * 4;
        ofs += run;
    }
    return enc;
}

// 8888 with alpha on top onto 565: per channel (a5 x s + (32 - a5) x d) >> 5
// with a5 = alpha >> 3 and the channels at 565 precision, which is what the
// spread formula gives; a5 = 31 stores the source converted.
template <class V>
int RowARGBTo565PixelAlpha(const Uint32 *src, Uint16 *dst, int n)
{
    using R = typename V::reg;
    const R m31 = V::set16(31), m63 = V::set16(63), c32 = V::set16(32);
    constexpr int step = V::lanes16;
    int i = 0;
    for (; i + step <= n; i += step) {
        const R s0 = V::load(src + i), s1 = V::load(src + i + V::lanes32);
        const R a5 = V::pack32to16(V::srli32(s0, 27), V::srli32(s1, 27));
        if (V::all_zero(a5))
            continue;
        const R m5 = V::set32(31), m6 = V::set32(63);
        const R sr = V::pack32to16(V::and_(V::srli32(s0, 19), m5), V::and_(V::srli32(s1, 19), m5));
        const R sg = V::pack32to16(V::and_(V::srli32(s0, 10), m6), V::and_(V::srli32(s1, 10), m6));
        const R sb = V::pack32to16(V::and_(V::srli32(s0, 3), m5), V::and_(V::srli32(s1, 3), m5));
        const R direct = V::or_(V::or_(V::slli16(sr, 11), V::slli16(sg, 5)), sb);
        const R d = V::load(dst + i);
        const R dr = V::srli16(d, 11), dg = V::and_(V::srli16(d, 5), m63), db = V::and_(d, m31);
        const R inv = V::sub16(c32, a5);
        const R r = V::srli16(V::add16(V::mullo16(sr, a5), V::mullo16(dr, inv)), 5);
        const R g = V::srli16(V::add16(V::mullo16(sg, a5), V::mullo16(dg, inv)), 5);
        const R b = V::srli16(V::add16(V::mullo16(sb, a5), V::mullo16(db, inv)), 5);
        const R blended = V::or_(V::or_(V::slli16(r, 11), V::slli16(g, 5)), b);
        V::store(dst + i, V::select(V::cmpeq16(a5, m31), direct, blended));
    }
    return i;
}

// The whole set for one instruction set, with the fill kernels of
// fill_kernel.h (included first).
template <class V>
constexpr JEX_SimdKernels MakeKernels()
{
    return JEX_SimdKernels{RowRGB888To565<V>,
                           RowRGB888To555<V>,
                           Row565To32<V>,
                           RowMaskOr32<V>,
                           RowKeyMaskOr32<V>,
                           RowRGBPixelAlpha<V>,
                           RowARGBTo565PixelAlpha<V>,
                           RLEAlphaRow<V>,
                           FillRowsWith<V>,
                           BlendLanesWith<V>};
}
