/* Conversion plans: sample type, then channels, then rate, each step run in
   place over one buffer. Steps that grow the data walk from the end so that
   their output may overlap their input; the others walk from the start.
   Every step is generated per format (and channel count for the rate steps),
   so no inner loop decides anything about the format. */
#include "audio/audio_internal.h"
#include "audio/audio_sample.h"

#include "JEX_error.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#if JEX_SIMD_X86
#include <emmintrin.h>
#endif

using jex_audio::FormatIndex;
using jex_audio::kFormats;
using jex_audio::Sample;

namespace {

#include "audio/audio_kernels.h"

/* ---- Channels --------------------------------------------------------- */

template <JEX_AudioFormat F>
void ConvertStereo(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using T = Sample<F>;
    const int n = cvt->len_out / T::bytes;
    Uint8 *buf = cvt->buf;
    for (int i = n - 1; i >= 0; --i) {
        const auto r = T::LoadRaw(buf + i * T::bytes);
        T::StoreRaw(buf + (2 * i + 1) * T::bytes, r);
        T::StoreRaw(buf + 2 * i * T::bytes, r);
    }
    cvt->len_out = n * 2 * T::bytes;
    RunNext(cvt, F);
}

/* Stereo to four (out = 4) or six (out = 6) channels. The differences are
   formed on centred values in a wider type and clamped on the way out. */
template <JEX_AudioFormat F, int Out>
void ConvertSurround(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using T = Sample<F>;
    const int frames = cvt->len_out / (2 * T::bytes);
    Uint8 *buf = cvt->buf;
    for (int i = frames - 1; i >= 0; --i) {
        const auto lf = T::Load(buf + (2 * i) * T::bytes);
        const auto rf = T::Load(buf + (2 * i + 1) * T::bytes);
        const auto ce = lf / 2 + rf / 2;  // each half toward zero
        Uint8 *out = buf + i * Out * T::bytes;
        if constexpr (Out == 4) {
            T::Store(out + 3 * T::bytes, lf - ce);
            T::Store(out + 2 * T::bytes, rf - ce);
        } else {
            T::Store(out + 5 * T::bytes, ce);
            T::Store(out + 4 * T::bytes, ce);
            T::Store(out + 3 * T::bytes, rf - ce);
            T::Store(out + 2 * T::bytes, lf - ce);
        }
        T::Store(out + T::bytes, rf);
        T::Store(out, lf);
    }
    cvt->len_out = frames * Out * T::bytes;
    RunNext(cvt, F);
}

/* Six channels down to the first Keep of each frame. */
template <JEX_AudioFormat F, int Keep>
void ConvertStrip(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using T = Sample<F>;
    const int frames = cvt->len_out / (6 * T::bytes);
    Uint8 *buf = cvt->buf;
    for (int i = 0; i < frames; ++i)
        std::memmove(buf + i * Keep * T::bytes, buf + i * 6 * T::bytes, Keep * T::bytes);
    cvt->len_out = frames * Keep * T::bytes;
    RunNext(cvt, F);
}

template <size_t... I>
constexpr std::array<std::array<JEX_AudioFilter, 5>, 10> MakeChannelTable(std::index_sequence<I...>)
{
    return {{{&ConvertStereo<kFormats[I]>, &ConvertSurround<kFormats[I], 4>,
              &ConvertSurround<kFormats[I], 6>, &ConvertStrip<kFormats[I], 2>,
              &ConvertStrip<kFormats[I], 4>}...}};
}
constexpr auto kChannelFilters = MakeChannelTable(std::make_index_sequence<10>{});
enum ChannelStep { kStereo, kSurround4, kSurround6, kStrip2, kStrip4 };

/* ---- Rate ------------------------------------------------------------- */

/* (a + b) >> 1 for integers, (a + b) * 0.5 for floats. */
template <JEX_AudioFormat F>
typename Sample<F>::Value Mean2(typename Sample<F>::Value a, typename Sample<F>::Value b)
{
    if constexpr (Sample<F>::is_float)
        return (a + b) * 0.5;
    else
        return (a + b) >> 1;
}

/* Output frames Mul*i+k for k in 0..Mul-1 lie k/Mul of the way from s[i]
   to s[i+1]; the last frame has no successor and repeats. */
template <JEX_AudioFormat F, int C, int Mul>
void Upsample(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using T = Sample<F>;
    using V = typename T::Value;
    constexpr int frame = C * T::bytes;
    const int n = cvt->len_out / frame;
    Uint8 *buf = cvt->buf;
    for (int i = n - 1; i >= 0; --i) {
        V a[C], b[C];
        const int next = i + 1 < n ? i + 1 : i;
        for (int c = 0; c < C; ++c) {
            a[c] = T::Load(buf + i * frame + c * T::bytes);
            b[c] = T::Load(buf + next * frame + c * T::bytes);
        }
        Uint8 *out = buf + i * Mul * frame;
        for (int c = 0; c < C; ++c) {
            const int o = c * T::bytes;
            if constexpr (Mul == 2) {
                T::Store(out + frame + o, Mean2<F>(a[c], b[c]));
            } else if constexpr (T::is_float) {
                T::Store(out + 3 * frame + o, (a[c] + 3 * b[c]) * 0.25);
                T::Store(out + 2 * frame + o, (a[c] + b[c]) * 0.5);
                T::Store(out + frame + o, (3 * a[c] + b[c]) * 0.25);
            } else {
                T::Store(out + 3 * frame + o, (a[c] + 3 * b[c]) >> 2);
                T::Store(out + 2 * frame + o, (a[c] + b[c]) >> 1);
                T::Store(out + frame + o, (3 * a[c] + b[c]) >> 2);
            }
            T::Store(out + o, a[c]);
        }
    }
    cvt->len_out = n * Mul * frame;
    RunNext(cvt, F);
}

/* Output frame i is the mean of s[Div*i - Div] and s[Div*i], s[-Div]
   standing for s[0]. */
template <JEX_AudioFormat F, int C, int Div>
void Downsample(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using T = Sample<F>;
    using V = typename T::Value;
    constexpr int frame = C * T::bytes;
    const int n_out = cvt->len_out / frame / Div;
    Uint8 *buf = cvt->buf;
    V prev[C];
    for (int c = 0; c < C; ++c)
        prev[c] = T::Load(buf + c * T::bytes);
    for (int i = 0; i < n_out; ++i) {
        for (int c = 0; c < C; ++c) {
            const V cur = T::Load(buf + i * Div * frame + c * T::bytes);
            T::Store(buf + i * frame + c * T::bytes, Mean2<F>(prev[c], cur));
            prev[c] = cur;
        }
    }
    cvt->len_out = n_out * frame;
    RunNext(cvt, F);
}

/* Frames produced from n input frames at the plan's ratio; the small bias
   keeps exact ratios such as 480/441 from rounding one frame short. */
int GenericFrames(const JEX_AudioCVT *cvt, int n)
{
    return static_cast<int>(std::floor(n * cvt->rate_factor + 1e-6));
}

/* Any ratio: linear interpolation between the two input frames around
   j * n_in / n_out, the index clamped to the last frame. Upsampling runs
   from the end and downsampling from the start, so every frame read is
   still input. */
template <JEX_AudioFormat F, int C>
void ResampleAny(JEX_AudioCVT *cvt, JEX_AudioFormat)
{
    using T = Sample<F>;
    using V = typename T::Value;
    constexpr int frame = C * T::bytes;
    const int n_in = cvt->len_out / frame;
    const int n_out = n_in > 0 ? std::max(GenericFrames(cvt, n_in), 0) : 0;
    Uint8 *buf = cvt->buf;
    auto one = [&](int j) {
        const Uint64 pos = static_cast<Uint64>(j) * static_cast<Uint64>(n_in);
        const int idx = static_cast<int>(pos / static_cast<Uint64>(n_out));
        const Uint64 frac = ((pos % static_cast<Uint64>(n_out)) << 16) / static_cast<Uint64>(n_out);
        const int next = std::min(idx + 1, n_in - 1);
        V out[C];
        for (int c = 0; c < C; ++c) {
            const V a = T::Load(buf + idx * frame + c * T::bytes);
            if (frac == 0) {
                out[c] = a;
                continue;
            }
            const V b = T::Load(buf + next * frame + c * T::bytes);
            if constexpr (T::is_float)
                out[c] = a + (b - a) * (static_cast<double>(frac) * (1.0 / 65536.0));
            else
                out[c] = a + (((b - a) * static_cast<Sint64>(frac)) >> 16);
        }
        for (int c = 0; c < C; ++c)
            T::Store(buf + j * frame + c * T::bytes, out[c]);
    };
    if (n_out > n_in)
        for (int j = n_out - 1; j >= 0; --j)
            one(j);
    else
        for (int j = 0; j < n_out; ++j)
            one(j);
    cvt->len_out = n_out * frame;
    RunNext(cvt, F);
}

/* Drops a trailing partial frame of Frame bytes, so that every later step
   sees whole frames and the output never splits one. */
template <int Frame>
void TrimFrames(JEX_AudioCVT *cvt, JEX_AudioFormat format)
{
    cvt->len_out -= cvt->len_out % Frame;
    RunNext(cvt, format);
}
template <int Bytes, size_t... C>
constexpr std::array<JEX_AudioFilter, 8> MakeTrimRow(std::index_sequence<C...>)
{
    return {{&TrimFrames<Bytes *(static_cast<int>(C) + 1)>...}};
}
/* [1, 2 or 4 bytes per sample][channels - 1] */
constexpr std::array<std::array<JEX_AudioFilter, 8>, 3> kTrimFilters = {
    MakeTrimRow<1>(std::make_index_sequence<8>{}), MakeTrimRow<2>(std::make_index_sequence<8>{}),
    MakeTrimRow<4>(std::make_index_sequence<8>{})};

constexpr int kMaxChannels = 8;

constexpr int kRateChannels[5] = {1, 2, 4, 6, 8};

/* [format][channel slot][0 any ratio, 1 x2, 2 x4][0 down, 1 up] */
using RateRow = std::array<std::array<JEX_AudioFilter, 2>, 3>;
template <JEX_AudioFormat F, int C>
constexpr RateRow MakeRateRow()
{
    return {{{&ResampleAny<F, C>, &ResampleAny<F, C>},
             {&Downsample<F, C, 2>, &Upsample<F, C, 2>},
             {&Downsample<F, C, 4>, &Upsample<F, C, 4>}}};
}
template <JEX_AudioFormat F, size_t... C>
constexpr std::array<RateRow, 5> MakeRateFormat(std::index_sequence<C...>)
{
    return {{MakeRateRow<F, kRateChannels[C]>()...}};
}
template <size_t... I>
constexpr std::array<std::array<RateRow, 5>, 10> MakeRateTable(std::index_sequence<I...>)
{
    return {{MakeRateFormat<kFormats[I]>(std::make_index_sequence<5>{})...}};
}
constexpr auto kRateFilters = MakeRateTable(std::make_index_sequence<10>{});

class Plan {
public:
    explicit Plan(JEX_AudioCVT *cvt) : cvt_(cvt) {}
    void Add(JEX_AudioFilter filter) { cvt_->filters[count_++] = filter; }
    int count() const { return count_; }

private:
    JEX_AudioCVT *cvt_;
    int count_ = 0;
};

}  // namespace

extern "C" {

int JEX_BuildAudioCVT(JEX_AudioCVT *cvt, JEX_AudioFormat src_format, Uint8 src_channels,
                      int src_rate, JEX_AudioFormat dst_format, Uint8 dst_channels, int dst_rate)
{
    if (!cvt) {
        JEX_SetError("Parameter 'cvt' is invalid");
        return -1;
    }
    std::memset(cvt, 0, sizeof *cvt);
    const int si = FormatIndex(src_format);
    const int di = FormatIndex(dst_format);
    if (si < 0) {
        JEX_SetError("Invalid source format");
        return -1;
    }
    if (di < 0) {
        JEX_SetError("Invalid destination format");
        return -1;
    }
    if (src_channels == 0 || dst_channels == 0 || src_channels > kMaxChannels ||
        dst_channels > kMaxChannels) {
        JEX_SetError("Unsupported number of audio channels.");
        return -1;
    }
    if (src_rate == 0 || dst_rate == 0) {
        JEX_SetError("Source or destination rate is zero");
        return -1;
    }
    if (src_rate < 0 || dst_rate < 0) {
        JEX_SetError("Source or destination rate is negative");
        return -1;
    }

    cvt->src_format = src_format;
    cvt->dst_format = dst_format;
    cvt->buf_mult = 1;
    cvt->size_ratio = 1.0;
    cvt->rate_factor = static_cast<double>(dst_rate) / src_rate;
    Plan plan(cvt);
    const int sbytes = (src_format & 0xFF) / 8;
    if (sbytes * src_channels > 1)
        plan.Add(kTrimFilters[sbytes == 1 ? 0 : sbytes == 2 ? 1 : 2][src_channels - 1]);

    if (si != di) {
        plan.Add(kTypeFilters[si * 10 + di]);
        const int sbits = src_format & 0xFF, dbits = dst_format & 0xFF;
        if (dbits > sbits) {
            cvt->buf_mult *= dbits / sbits;
            cvt->size_ratio *= dbits / sbits;
        } else if (dbits < sbits) {
            cvt->size_ratio /= sbits / dbits;
        }
    }

    if (src_channels != dst_channels) {
        const auto &ch = kChannelFilters[di];
        int c = src_channels;
        const int d = dst_channels;
        if (c == 1 && d >= 2) {
            plan.Add(ch[kStereo]);
            c = 2;
            cvt->buf_mult *= 2;
            cvt->size_ratio *= 2;
        }
        if (c == 2 && d == 6) {
            plan.Add(ch[kSurround6]);
            c = 6;
            cvt->buf_mult *= 3;
            cvt->size_ratio *= 3;
        } else if (c == 2 && d == 4) {
            plan.Add(ch[kSurround4]);
            c = 4;
            cvt->buf_mult *= 2;
            cvt->size_ratio *= 2;
        }
        while (d >= 2 * c) {
            plan.Add(ch[kStereo]);
            c *= 2;
            cvt->buf_mult *= 2;
            cvt->size_ratio *= 2;
        }
        if (c == 6 && d <= 2) {
            plan.Add(ch[kStrip2]);
            c = 2;
            cvt->size_ratio /= 3;
        } else if (c == 6 && d == 4) {
            plan.Add(ch[kStrip4]);
            c = 4;
            cvt->size_ratio = cvt->size_ratio * 2 / 3;
        }
        if (c == 4 && d <= 2) {
            plan.Add(kMonoFilters[di][1]);
            c = 2;
            cvt->size_ratio /= 2;
        }
        while (c % 2 == 0 && d <= c / 2) {
            plan.Add(kMonoFilters[di][0]);
            c /= 2;
            cvt->size_ratio /= 2;
        }
        if (c != d) {
            std::memset(cvt, 0, sizeof *cvt);
            JEX_SetError("No conversion available for these channel counts");
            return -1;
        }
    }

    if (src_rate != dst_rate) {
        const bool up = src_rate < dst_rate;
        const int hi = up ? dst_rate : src_rate, lo = up ? src_rate : dst_rate;
        const int multiple = hi % lo == 0 && (hi / lo == 2 || hi / lo == 4) ? hi / lo : 0;
        const int slot = static_cast<int>(
            std::find(std::begin(kRateChannels), std::end(kRateChannels), dst_channels) -
            std::begin(kRateChannels));
        if (slot == 5) {
            std::memset(cvt, 0, sizeof *cvt);
            JEX_SetError("No conversion available for these rates");
            return -1;
        }
        plan.Add(kRateFilters[di][slot][multiple / 2][up ? 1 : 0]);
        if (up) {
            cvt->buf_mult *= static_cast<int>(std::ceil(cvt->rate_factor));
            cvt->size_ratio *= cvt->rate_factor;
        } else {
            cvt->size_ratio /= static_cast<double>(src_rate) / dst_rate;
        }
    }

    // A lone trimming step changes nothing worth a plan.
    if (plan.count() == 0 || (plan.count() == 1 && sbytes * src_channels > 1)) {
        cvt->filters[0] = nullptr;
        return 0;
    }
    cvt->filters[plan.count()] = nullptr;
    cvt->needed = 1;
    cvt->buf = nullptr;
    cvt->len = 0;
    return 1;
}

int JEX_ConvertAudio(JEX_AudioCVT *cvt)
{
    if (!cvt || !cvt->buf) {
        JEX_SetError("No buffer allocated for conversion");
        return -1;
    }
    // Only whole frames of the source format are converted.
    cvt->len_out = cvt->len < 0 ? 0 : cvt->len;
    cvt->filter_pos = 0;
    if (cvt->filters[0])
        cvt->filters[0](cvt, cvt->src_format);
    return 0;
}

}  // extern "C"
