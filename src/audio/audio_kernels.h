/* The conversion steps written for the vectoriser: sample types and the
   channel halving. Included inside audio_convert.cpp's anonymous namespace,
   after the standard headers and audio_sample.h. */

void RunNext(JEX_AudioCVT *cvt, JEX_AudioFormat format)
{
    ++cvt->filter_pos;
    if (cvt->filters[cvt->filter_pos])
        cvt->filters[cvt->filter_pos](cvt, format);
}

/* ---- Sample type ------------------------------------------------------ */

/* Float samples outside [-1, 1] are clamped and NaN is silence, so that the
   integer conversion is always defined. */
inline float ClampUnit(Uint32 bits)
{
    // On the bit pattern, so that the loops around it vectorise: NaN
    // becomes zero, magnitudes above 1.0 become 1.0 with their sign.
    Sint32 mag = static_cast<Sint32>(bits & 0x7FFFFFFFu);
    mag = mag > 0x7F800000 ? 0 : mag;
    mag = mag > 0x3F800000 ? 0x3F800000 : mag;
    return std::bit_cast<float>((bits & 0x80000000u) | static_cast<Uint32>(mag));
}

template <JEX_AudioFormat S, JEX_AudioFormat D>
typename Sample<D>::Raw ConvertOne(typename Sample<S>::Raw in)
{
    using Src = Sample<S>;
    using Dst = Sample<D>;
    using DRaw = typename Dst::Raw;
    if constexpr (Src::is_float && Dst::is_float) {
        return in;
    } else if constexpr (!Src::is_float && !Dst::is_float) {
        Uint32 r = in;
        if constexpr (Src::is_signed != Dst::is_signed)
            r ^= Uint32{1} << (Src::bits - 1);
        if constexpr (Dst::bits > Src::bits)
            r <<= Dst::bits - Src::bits;
        else if constexpr (Dst::bits < Src::bits)
            r >>= Src::bits - Dst::bits;
        return static_cast<DRaw>(r);
    } else if constexpr (Dst::is_float) {
        // The scale factors are the single-precision constants nearest to
        // 1/127, 1/32767 and 2^-31.
        constexpr float kScale = Src::bits == 8    ? std::bit_cast<float>(0x3C010204u)
                                 : Src::bits == 16 ? std::bit_cast<float>(0x38000100u)
                                                   : std::bit_cast<float>(0x30000000u);
        float v;
        if constexpr (Src::is_signed)
            v = static_cast<float>(static_cast<std::make_signed_t<typename Src::Raw>>(in)) * kScale;
        else
            v = static_cast<float>(in) * kScale - 1.0f;
        return std::bit_cast<DRaw>(v);
    } else {
        const float v = ClampUnit(in);
        if constexpr (Dst::bits == 32) {
            return static_cast<DRaw>(static_cast<Sint32>(static_cast<double>(v) * 2147483647.0));
        } else {
            constexpr float kMul = Dst::bits == 8 ? 127.0f : 32767.0f;
            if constexpr (Dst::is_signed)
                return static_cast<DRaw>(static_cast<Sint32>(v * kMul));
            else
                return static_cast<DRaw>(static_cast<Sint32>((v + 1.0f) * kMul));
        }
    }
}

/* Samples are converted in blocks through local arrays, which keeps the
   inner loops free of aliasing so that they vectorise. Within a block all
   input is read before any output is written; widening walks the blocks
   from the end and narrowing from the start, so no block overwrites input
   that a later block still needs. */
constexpr int kBlock = 64;

template <JEX_AudioFormat S, JEX_AudioFormat D, int Count>
void ConvertBlock(Uint8 *buf, int start, int count)
{
    using Src = Sample<S>;
    using Dst = Sample<D>;
    // Full blocks have a constant length, so the copies inline.
    if constexpr (Count > 0)
        count = Count;
#if JEX_SIMD_X86 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The two most common steps in SSE2, with the same formulas: a
    // saturating pack is exact here because the values are already in range.
    if constexpr (Count == kBlock && S == JEX_AUDIO_F32LSB && D == JEX_AUDIO_S16LSB) {
        const __m128 one = _mm_set1_ps(1.0f), minus_one = _mm_set1_ps(-1.0f);
        const __m128 scale = _mm_set1_ps(32767.0f);
        for (int i = 0; i < kBlock; i += 8) {
            __m128 v[2];
            for (int k = 0; k < 2; ++k) {
                v[k] = _mm_loadu_ps(reinterpret_cast<const float *>(buf + (start + i + 4 * k) * 4));
                v[k] = _mm_and_ps(v[k], _mm_cmpord_ps(v[k], v[k]));  // NaN to zero
                v[k] = _mm_mul_ps(_mm_min_ps(_mm_max_ps(v[k], minus_one), one), scale);
            }
            const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(v[0]), _mm_cvttps_epi32(v[1]));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(buf + (start + i) * 2), packed);
        }
        return;
    } else if constexpr (Count == kBlock && S == JEX_AUDIO_S16LSB && D == JEX_AUDIO_F32LSB) {
        const __m128 scale = _mm_set1_ps(std::bit_cast<float>(0x38000100u));
        __m128i in[kBlock / 8];
        for (int i = 0; i < kBlock / 8; ++i)
            in[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(buf + (start + 8 * i) * 2));
        for (int i = 0; i < kBlock / 8; ++i) {
            // Sign-extend each half to 32 bits by shifting it into the top.
            const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(in[i], in[i]), 16);
            const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(in[i], in[i]), 16);
            float *out = reinterpret_cast<float *>(buf + (start + 8 * i) * 4);
            _mm_storeu_ps(out, _mm_mul_ps(_mm_cvtepi32_ps(lo), scale));
            _mm_storeu_ps(out + 4, _mm_mul_ps(_mm_cvtepi32_ps(hi), scale));
        }
        return;
    }
#endif
    typename Src::Raw in[kBlock];
    typename Dst::Raw out[kBlock];
    std::memcpy(in, buf + start * Src::bytes, count * Src::bytes);
    for (int i = 0; i < count; ++i)
        out[i] = Dst::Swap(ConvertOne<S, D>(Src::Swap(in[i])));
    std::memcpy(buf + start * Dst::bytes, out, count * Dst::bytes);
}

template <JEX_AudioFormat S, JEX_AudioFormat D>
void ConvertType(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using Src = Sample<S>;
    using Dst = Sample<D>;
    const int n = cvt->len_out / Src::bytes;
    Uint8 *buf = cvt->buf;
    if constexpr (Dst::bytes > Src::bytes) {
        const int tail = n % kBlock;
        if (tail)
            ConvertBlock<S, D, 0>(buf, n - tail, tail);
        for (int start = n - tail - kBlock; start >= 0; start -= kBlock)
            ConvertBlock<S, D, kBlock>(buf, start, kBlock);
    } else {
        int start = 0;
        for (; start + kBlock <= n; start += kBlock)
            ConvertBlock<S, D, kBlock>(buf, start, kBlock);
        if (start < n)
            ConvertBlock<S, D, 0>(buf, start, n - start);
    }
    cvt->len_out = n * Dst::bytes;
    RunNext(cvt, D);
}

template <size_t... I>
constexpr std::array<JEX_AudioFilter, 100> MakeTypeTable(std::index_sequence<I...>)
{
    return {{(I / 10 == I % 10 ? nullptr : &ConvertType<kFormats[I / 10], kFormats[I % 10]>)...}};
}
constexpr auto kTypeFilters = MakeTypeTable(std::make_index_sequence<100>{});

/* ---- Channel halving -------------------------------------------------- */

/* Halves the channels: Stride 1 averages adjacent samples (stereo to mono);
   Stride 2 averages front-left with rear-left and front-right with
   rear-right (four channels to stereo). */
template <JEX_AudioFormat F, int Stride, int Count>
void MonoBlock(Uint8 *buf, int start, int count)
{
    using T = Sample<F>;
    using Raw = typename T::Raw;
    // Sums of two samples of up to 16 bits fit an int, which vectorises
    // better than the 64-bit centred values.
    using W =
        std::conditional_t<T::is_float, double, std::conditional_t<(T::bits < 32), int, Sint64>>;
    constexpr int group = 2 * Stride;
    if constexpr (Count > 0)
        count = Count;
    Raw in[kBlock * group], out[kBlock * Stride];
    std::memcpy(in, buf + start * group * T::bytes, count * group * T::bytes);
    for (int g = 0; g < count; ++g)
        for (int k = 0; k < Stride; ++k) {
            const W a = static_cast<W>(T::Decode(T::Swap(in[g * group + k])));
            const W b = static_cast<W>(T::Decode(T::Swap(in[g * group + k + Stride])));
            W m;
            if constexpr (T::is_float)
                m = (a + b) * 0.5;
            else if constexpr (T::is_signed)
                m = (a + b) / 2;
            else
                m = (a + b) >> 1;
            // A mean never leaves the range, so it needs no clamping.
            if constexpr (T::is_float)
                out[g * Stride + k] = T::Swap(std::bit_cast<Raw>(static_cast<float>(m)));
            else
                out[g * Stride + k] = T::Swap(static_cast<Raw>(m + T::kOffset));
        }
    std::memcpy(buf + start * Stride * T::bytes, out, count * Stride * T::bytes);
}

template <JEX_AudioFormat F, int Stride>
void ConvertMono(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using T = Sample<F>;
    const int groups = cvt->len_out / (2 * Stride * T::bytes);
    int start = 0;
    for (; start + kBlock <= groups; start += kBlock)
        MonoBlock<F, Stride, kBlock>(cvt->buf, start, kBlock);
    if (start < groups)
        MonoBlock<F, Stride, 0>(cvt->buf, start, groups - start);
    cvt->len_out = groups * Stride * T::bytes;
    RunNext(cvt, F);
}

template <size_t... I>
constexpr std::array<std::array<JEX_AudioFilter, 2>, 10> MakeMonoTable(std::index_sequence<I...>)
{
    return {{{&ConvertMono<kFormats[I], 1>, &ConvertMono<kFormats[I], 2>}...}};
}
/* [format][0 stereo to mono, 1 four channels to stereo] */
constexpr auto kMonoFilters = MakeMonoTable(std::make_index_sequence<10>{});
