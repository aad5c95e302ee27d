// Conversion plans checked against references computed independently in
// double precision: every format pair over every 8- and 16-bit value,
// buffer bounds and whole frames over channel and rate pairs, and pitch and
// noise of a sine through every rate change.
#include "JEX.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

const JEX_AudioFormat kAll[] = {
    JEX_AUDIO_U8,     JEX_AUDIO_S8,     JEX_AUDIO_U16LSB, JEX_AUDIO_S16LSB, JEX_AUDIO_U16MSB,
    JEX_AUDIO_S16MSB, JEX_AUDIO_S32LSB, JEX_AUDIO_S32MSB, JEX_AUDIO_F32LSB, JEX_AUDIO_F32MSB};

const auto Bytes = [](JEX_AudioFormat f) { return (f & 0xFF) / 8; };
const auto IsFloat = [](JEX_AudioFormat f) { return (f & 0x0100) != 0; };
const auto IsSigned = [](JEX_AudioFormat f) { return (f & 0x8000) != 0; };

Uint32 GetRaw(const Uint8 *p, JEX_AudioFormat f)
{
    Uint32 r = 0;
    for (int i = 0; i < Bytes(f); ++i)
        r |= Uint32{p[(f & 0x1000) ? Bytes(f) - 1 - i : i]} << (8 * i);
    return r;
}
void PutRaw(Uint8 *p, JEX_AudioFormat f, Uint32 r)
{
    for (int i = 0; i < Bytes(f); ++i)
        p[(f & 0x1000) ? Bytes(f) - 1 - i : i] = static_cast<Uint8>(r >> (8 * i));
}
// A sample as a number: floats as they are, integers centred on silence.
double Value(JEX_AudioFormat f, Uint32 raw)
{
    if (IsFloat(f))
        return std::bit_cast<float>(raw);
    const double half = std::ldexp(1.0, Bytes(f) * 8 - 1), u = raw;
    return IsSigned(f) ? (u >= half ? u - 2 * half : u) : u - half;
}

std::vector<Uint32> Inputs(JEX_AudioFormat f)
{
    std::vector<Uint32> in;
    if (Bytes(f) < 4) {
        for (Uint32 v = 0; v < (1u << (8 * Bytes(f))); ++v)
            in.push_back(v);
    } else if (!IsFloat(f)) {
        for (Uint32 k = 0; k < 65536; ++k)
            in.push_back((k << 16) | ((k * 40503u) & 0xFFFF));
    } else {
        for (float v : {1.0f, -1.0f, 0.5f, -0.0f, 2.5f, -7.0f, 1e30f, INFINITY, -INFINITY, NAN})
            in.push_back(std::bit_cast<Uint32>(v));
        for (int k = 0; k < 65536; ++k)
            in.push_back(std::bit_cast<Uint32>(static_cast<float>((k - 32768 + 0.37) / 32767.0)));
    }
    return in;
}

// What a sample must become, from the conversion rules written as
// arithmetic on values.
double Expected(JEX_AudioFormat s, JEX_AudioFormat d, Uint32 raw)
{
    const double v = Value(s, raw);
    const int sb = Bytes(s) * 8, db = Bytes(d) * 8;
    if (IsFloat(s) && IsFloat(d))
        return v;
    if (!IsFloat(s) && !IsFloat(d))
        return std::floor(std::ldexp(v, db - sb));
    if (IsFloat(d)) {
        const double scale = sb == 8 ? 1 / 127.0 : sb == 16 ? 1 / 32767.0 : std::ldexp(1.0, -31);
        return IsSigned(s) ? v * scale : (v + std::ldexp(1.0, sb - 1)) * scale - 1.0;
    }
    const double c = std::isnan(v) ? 0.0 : std::fmin(1.0, std::fmax(-1.0, v));
    const double m = db == 8 ? 127.0 : db == 16 ? 32767.0 : 2147483647.0;
    return IsSigned(d) ? std::trunc(c * m) : std::trunc((c + 1) * m) - std::ldexp(1.0, db - 1);
}

TEST(AudioConvert, EveryTypePairMatchesReference)
{
    for (const JEX_AudioFormat sf : kAll) {
        const std::vector<Uint32> in = Inputs(sf);
        for (const JEX_AudioFormat df : kAll) {
            if (sf == df)
                continue;
            SCOPED_TRACE(testing::Message() << std::hex << sf << " to " << df);
            JEX_AudioCVT cvt;
            ASSERT_EQ(JEX_BuildAudioCVT(&cvt, sf, 1, 44100, df, 1, 44100), 1);
            const int len = static_cast<int>(in.size()) * Bytes(sf);
            std::vector<Uint8> buf(static_cast<size_t>(len) * cvt.buf_mult);
            for (size_t i = 0; i < in.size(); ++i)
                PutRaw(&buf[i * Bytes(sf)], sf, in[i]);
            cvt.buf = buf.data();
            cvt.len = len;
            ASSERT_EQ(JEX_ConvertAudio(&cvt), 0);
            ASSERT_EQ(cvt.len_out, static_cast<int>(in.size()) * Bytes(df));
            int bad = 0;
            for (size_t i = 0; i < in.size() && bad < 5; ++i) {
                const double want = Expected(sf, df, in[i]);
                const double got = Value(df, GetRaw(&buf[i * Bytes(df)], df));
                bool ok;
                if (IsFloat(df))
                    // Single precision, and unsigned values pass through 1.0.
                    ok = std::isnan(want) ? std::isnan(got)
                                          : got == want || std::fabs(got - want) <= 2e-7;
                else if (IsFloat(sf) && Bytes(df) == 1) {
                    // The single-precision product may land across an integer.
                    const double v = std::fmax(-1, std::fmin(1, Value(sf, in[i]))) * 127 +
                                     (IsSigned(df) ? 0 : 127);
                    ok = got == want ||
                         (std::fabs(v - std::round(v)) < 1e-4 && std::fabs(got - want) <= 1);
                } else
                    ok = got == want;
                if (!ok) {
                    ++bad;
                    ADD_FAILURE() << "input 0x" << std::hex << in[i] << std::dec << " gave " << got
                                  << ", want " << want;
                }
            }
        }
    }
}

TEST(AudioConvert, PlansAndErrors)
{
    constexpr int S16 = JEX_AUDIO_S16;
    struct {
        int sf, sc, sr, df, dc, dr, result, buf_mult;
        double size_ratio;
        const char *msg;
    } const plans[] = {
        {S16, 2, 44100, S16, 2, 44100, 0, 0, 0, nullptr},
        {S16, 2, 22050, S16, 2, 44100, 1, 2, 2.0, nullptr},
        {JEX_AUDIO_U8, 1, 8000, JEX_AUDIO_S16MSB, 2, 8000, 1, 4, 4.0, nullptr},
        {S16, 2, 44100, S16, 2, 48000, 1, 2, 48000.0 / 44100, nullptr},
        {S16, 2, 0, S16, 2, 44100, -1, 0, 0, "Source or destination rate is zero"},
        {S16, 2, 44100, S16, 2, -8000, -1, 0, 0, "Source or destination rate is negative"},
        {0x0020, 2, 44100, S16, 2, 44100, -1, 0, 0, "Invalid source format"},
        {S16, 2, 44100, 0x8000, 2, 44100, -1, 0, 0, "Invalid destination format"},
        {S16, 0, 44100, S16, 2, 44100, -1, 0, 0, "Unsupported number of audio channels."},
        {S16, 4, 44100, S16, 6, 44100, -1, 0, 0,
         "No conversion available for these channel counts"},
        {S16, 3, 44100, S16, 2, 44100, -1, 0, 0,
         "No conversion available for these channel counts"},
    };
    JEX_AudioCVT cvt;
    for (const auto &p : plans) {
        ASSERT_EQ(JEX_BuildAudioCVT(&cvt, p.sf, p.sc, p.sr, p.df, p.dc, p.dr), p.result) << p.msg;
        EXPECT_EQ(cvt.needed, p.result > 0);
        if (p.result > 0) {
            EXPECT_EQ(cvt.buf_mult, p.buf_mult);
            EXPECT_DOUBLE_EQ(cvt.size_ratio, p.size_ratio);
        }
        if (p.msg) {
            EXPECT_STREQ(JEX_GetError(), p.msg);
        }
    }
    cvt.buf = nullptr;
    EXPECT_EQ(JEX_ConvertAudio(&cvt), -1);
    EXPECT_STREQ(JEX_GetError(), "No buffer allocated for conversion");
}

// Runs a plan over samples given as S16 values and returns the output.
std::vector<Sint16> Convert16(const std::vector<Sint16> &in, int sc, int dc, int sr = 44100,
                              int dr = 44100)
{
    JEX_AudioCVT cvt;
    EXPECT_EQ(JEX_BuildAudioCVT(&cvt, JEX_AUDIO_S16SYS, sc, sr, JEX_AUDIO_S16SYS, dc, dr), 1);
    std::vector<Sint16> buf(in.size() * cvt.buf_mult);
    std::copy(in.begin(), in.end(), buf.begin());
    cvt.buf = reinterpret_cast<Uint8 *>(buf.data());
    cvt.len = static_cast<int>(in.size() * 2);
    JEX_ConvertAudio(&cvt);
    buf.resize(cvt.len_out / 2);
    return buf;
}

TEST(AudioConvert, ChannelMixes)
{
    // Stereo to mono rounds toward zero; four channels mix each front with
    // its rear; six keep the front pair; the surround sums clamp.
    EXPECT_EQ(Convert16({-3, 0, 5, 4}, 2, 1), (std::vector<Sint16>{-1, 4}));
    EXPECT_EQ(Convert16({100, 10, 300, 30}, 4, 2), (std::vector<Sint16>{200, 20}));
    EXPECT_EQ(Convert16({1, 2, 3, 4, 5, 6}, 6, 2), (std::vector<Sint16>{1, 2}));
    EXPECT_EQ(Convert16({1, 2, 3, 4, 5, 6}, 6, 4), (std::vector<Sint16>{1, 2, 3, 4}));
    EXPECT_EQ(Convert16({7, -9}, 1, 2), (std::vector<Sint16>{7, 7, -9, -9}));
    EXPECT_EQ(Convert16({32767, -32768}, 2, 4),
              (std::vector<Sint16>{32767, -32768, -32767, 32767}));
    EXPECT_EQ(Convert16({-32768, 32767}, 2, 6),
              (std::vector<Sint16>{-32768, 32767, -32767, 32767, -1, -1}));
    // Rates: exact x2 keeps every input frame at the even positions.
    EXPECT_EQ(Convert16({10, 20, 30}, 1, 1, 22050, 44100),
              (std::vector<Sint16>{10, 15, 20, 25, 30, 30}));
}

TEST(AudioConvert, BoundsAndWholeFramesOverChannelsAndRates)
{
    const Uint8 chans[] = {1, 2, 4, 6};
    const int rates[] = {8000, 11025, 22050, 44100, 48000, 96000};
    const JEX_AudioFormat fmts[][2] = {{JEX_AUDIO_U8, JEX_AUDIO_F32MSB},
                                       {JEX_AUDIO_S16LSB, JEX_AUDIO_S16LSB},
                                       {JEX_AUDIO_F32LSB, JEX_AUDIO_S16MSB}};
    constexpr int kCanary = 32;
    for (const auto &f : fmts)
        for (Uint8 sc : chans)
            for (Uint8 dc : chans)
                for (int sr : rates)
                    for (int dr : rates) {
                        JEX_AudioCVT cvt;
                        const int built = JEX_BuildAudioCVT(&cvt, f[0], sc, sr, f[1], dc, dr);
                        ASSERT_EQ(built < 0, sc == 4 && dc == 6);  // no layout for 4 -> 6
                        if (built <= 0)
                            continue;
                        const int sframe = Bytes(f[0]) * sc, dframe = Bytes(f[1]) * dc;
                        for (int len : {0, sframe, 63, 64, 65, 1001}) {
                            std::vector<Uint8> buf(len * cvt.buf_mult + kCanary, 0xA5);
                            for (int i = 0; i < len; ++i)
                                buf[i] = static_cast<Uint8>(i * 7);
                            cvt.buf = buf.data();
                            cvt.len = len;
                            ASSERT_EQ(JEX_ConvertAudio(&cvt), 0);
                            const double frames = std::floor(len / sframe) * dr / sr;
                            SCOPED_TRACE(testing::Message() << int(sc) << "->" << int(dc) << " "
                                                            << sr << "->" << dr << " len " << len);
                            EXPECT_EQ(cvt.len_out % dframe, 0);
                            EXPECT_LE(cvt.len_out, len * cvt.buf_mult);
                            EXPECT_NEAR(cvt.len_out / dframe, frames, 1.0);
                            for (int i = 0; i < kCanary; ++i)
                                ASSERT_EQ(buf[len * cvt.buf_mult + i], 0xA5);
                        }
                    }
}

// Least-squares fit of b cos(wt) + c sin(wt) at frequency f; returns the
// residual power and sets the fitted signal's power.
double Residual(const std::vector<double> &x, double rate, double f, double *signal)
{
    double cc = 0, ss = 0, cs = 0, xc = 0, xs = 0;
    const double w = 2 * M_PI * f / rate;
    for (size_t n = 0; n < x.size(); ++n) {
        const double c = std::cos(w * n), s = std::sin(w * n);
        cc += c * c, ss += s * s, cs += c * s, xc += x[n] * c, xs += x[n] * s;
    }
    const double d = cc * ss - cs * cs, b = (xc * ss - xs * cs) / d, c = (xs * cc - xc * cs) / d;
    double err = 0, sig = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double fit = b * std::cos(w * n) + c * std::sin(w * n);
        err += (x[n] - fit) * (x[n] - fit), sig += fit * fit;
    }
    *signal = sig;
    return err;
}

TEST(AudioConvert, SineThroughEveryRateChangeKeepsPitchAndShape)
{
    struct {
        int from, to, min_snr_db;
    } const cases[] = {{22050, 44100, 44}, {44100, 22050, 46}, {11025, 44100, 30},
                       {48000, 12000, 30}, {44100, 48000, 30}, {48000, 44100, 30},
                       {22050, 32000, 30}, {8000, 44100, 30},  {96000, 8000, 30}};
    for (const auto &c : cases) {
        const int n = c.from / 4;  // a quarter of a second
        std::vector<Sint16> in(n);
        for (int i = 0; i < n; ++i)
            in[i] =
                static_cast<Sint16>(std::lround(16000 * std::sin(2 * M_PI * 1000.0 * i / c.from)));
        const std::vector<Sint16> out = Convert16(in, 1, 1, c.from, c.to);
        // Leave out the ends, where the last frame repeats.
        std::vector<double> x(out.begin() + out.size() / 50, out.end() - out.size() / 50);
        double lo = 990, hi = 1010, sig = 0;
        for (int it = 0; it < 40; ++it) {  // golden-section search on the residual
            const double a = hi - (hi - lo) * 0.618, b = lo + (hi - lo) * 0.618;
            const bool left = Residual(x, c.to, a, &sig) < Residual(x, c.to, b, &sig);
            (left ? hi : lo) = left ? b : a;
        }
        const double f = (lo + hi) / 2, snr = 10 * std::log10(sig / Residual(x, c.to, f, &sig));
        std::printf("  %5d -> %5d Hz: 1 kHz fits %.3f Hz, SNR %.1f dB\n", c.from, c.to, f, snr);
        EXPECT_LT(std::fabs(f - 1000) / 1000, 0.001) << c.from << " -> " << c.to;
        EXPECT_GE(snr, c.min_snr_db) << c.from << " -> " << c.to;
    }
}

}  // namespace
