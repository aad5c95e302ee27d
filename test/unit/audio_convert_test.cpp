// Conversion plans checked against references computed independently in
// double precision: every format pair over every 8- and 16-bit value,
// buffer bounds and whole frames over channel and rate pairs, and pitch and
// noise of a sine through every rate change.
#include "JEX.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Fmt {
    JEX_AudioFormat code;
    const char *name;
};
const Fmt kAll[] = {{JEX_AUDIO_U8, "U8"},         {JEX_AUDIO_S8, "S8"},
                    {JEX_AUDIO_U16LSB, "U16LSB"}, {JEX_AUDIO_S16LSB, "S16LSB"},
                    {JEX_AUDIO_U16MSB, "U16MSB"}, {JEX_AUDIO_S16MSB, "S16MSB"},
                    {JEX_AUDIO_S32LSB, "S32LSB"}, {JEX_AUDIO_S32MSB, "S32MSB"},
                    {JEX_AUDIO_F32LSB, "F32LSB"}, {JEX_AUDIO_F32MSB, "F32MSB"}};

int Bytes(JEX_AudioFormat f)
{
    return (f & 0xFF) / 8;
}
bool IsFloat(JEX_AudioFormat f)
{
    return f & 0x0100;
}
bool IsSigned(JEX_AudioFormat f)
{
    return f & 0x8000;
}

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
    const int bits = Bytes(f) * 8;
    const double half = std::ldexp(1.0, bits - 1);
    const double u = raw;
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
        for (int k = 0; k < 65536; ++k)
            in.push_back(std::bit_cast<Uint32>(static_cast<float>((k - 32768 + 0.37) / 32767.0)));
        for (float v : {1.0f, -1.0f, 0.5f, -0.0f, 2.5f, -7.0f, 1e30f, INFINITY, -INFINITY, NAN})
            in.push_back(std::bit_cast<Uint32>(v));
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
    for (const Fmt &s : kAll) {
        const std::vector<Uint32> in = Inputs(s.code);
        for (const Fmt &d : kAll) {
            if (s.code == d.code)
                continue;
            SCOPED_TRACE(std::string(s.name) + " to " + d.name);
            JEX_AudioCVT cvt;
            ASSERT_EQ(JEX_BuildAudioCVT(&cvt, s.code, 1, 44100, d.code, 1, 44100), 1);
            const int len = static_cast<int>(in.size()) * Bytes(s.code);
            std::vector<Uint8> buf(static_cast<size_t>(len) * cvt.buf_mult);
            for (size_t i = 0; i < in.size(); ++i)
                PutRaw(&buf[i * Bytes(s.code)], s.code, in[i]);
            cvt.buf = buf.data();
            cvt.len = len;
            ASSERT_EQ(JEX_ConvertAudio(&cvt), 0);
            ASSERT_EQ(cvt.len_out, static_cast<int>(in.size()) * Bytes(d.code));
            int bad = 0;
            for (size_t i = 0; i < in.size() && bad < 5; ++i) {
                const double want = Expected(s.code, d.code, in[i]);
                const double got = Value(d.code, GetRaw(&buf[i * Bytes(d.code)], d.code));
                bool ok;
                if (IsFloat(d.code))
                    // Single precision, and unsigned values pass through 1.0.
                    ok = std::isnan(want) ? std::isnan(got)
                                          : got == want || std::fabs(got - want) <= 2e-7;
                else if (IsFloat(s.code))
                    ok = got == want || std::fabs(got - want) <= 1;  // product rounding
                else
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
    JEX_AudioCVT cvt;
    EXPECT_EQ(JEX_BuildAudioCVT(&cvt, JEX_AUDIO_S16, 2, 44100, JEX_AUDIO_S16, 2, 44100), 0);
    EXPECT_EQ(cvt.needed, 0);
    Uint8 data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    cvt.buf = data;
    cvt.len = 8;
    EXPECT_EQ(JEX_ConvertAudio(&cvt), 0);
    EXPECT_EQ(cvt.len_out, 8);

    ASSERT_EQ(JEX_BuildAudioCVT(&cvt, JEX_AUDIO_S16LSB, 2, 22050, JEX_AUDIO_S16LSB, 2, 44100), 1);
    EXPECT_EQ(cvt.buf_mult, 2);
    EXPECT_DOUBLE_EQ(cvt.size_ratio, 2.0);
    ASSERT_EQ(JEX_BuildAudioCVT(&cvt, JEX_AUDIO_U8, 1, 8000, JEX_AUDIO_S16MSB, 2, 8000), 1);
    EXPECT_EQ(cvt.buf_mult, 4);
    EXPECT_DOUBLE_EQ(cvt.size_ratio, 4.0);
    ASSERT_EQ(JEX_BuildAudioCVT(&cvt, JEX_AUDIO_S16, 2, 44100, JEX_AUDIO_S16, 2, 48000), 1);
    EXPECT_EQ(cvt.buf_mult, 2);
    EXPECT_DOUBLE_EQ(cvt.size_ratio, 48000.0 / 44100);

    struct {
        JEX_AudioFormat sf;
        Uint8 sc;
        int sr;
        JEX_AudioFormat df;
        Uint8 dc;
        int dr;
        const char *msg;
    } const bad[] = {
        {JEX_AUDIO_S16, 2, 0, JEX_AUDIO_S16, 2, 44100, "Source or destination rate is zero"},
        {JEX_AUDIO_S16, 2, 44100, JEX_AUDIO_S16, 2, -8000,
         "Source or destination rate is negative"},
        {0x0020, 2, 44100, JEX_AUDIO_S16, 2, 44100, "Invalid source format"},
        {JEX_AUDIO_S16, 2, 44100, 0x8000, 2, 44100, "Invalid destination format"},
        {JEX_AUDIO_S16, 0, 44100, JEX_AUDIO_S16, 2, 44100, "Unsupported number of audio channels."},
        {JEX_AUDIO_S16, 4, 44100, JEX_AUDIO_S16, 6, 44100,
         "No conversion available for these channel counts"},
        {JEX_AUDIO_S16, 3, 44100, JEX_AUDIO_S16, 2, 44100,
         "No conversion available for these channel counts"},
    };
    for (const auto &b : bad) {
        EXPECT_EQ(JEX_BuildAudioCVT(&cvt, b.sf, b.sc, b.sr, b.df, b.dc, b.dr), -1) << b.msg;
        EXPECT_STREQ(JEX_GetError(), b.msg);
        EXPECT_EQ(cvt.needed, 0);
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
                        if (sc == 4 && dc == 6) {
                            EXPECT_EQ(built, -1);
                            continue;
                        }
                        ASSERT_GE(built, 0);
                        if (!built)
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

// Least-squares fit of a + b cos(wt) + c sin(wt) for a given frequency;
// returns the residual power and sets the signal power.
double Residual(const std::vector<double> &x, double rate, double f, double *signal)
{
    double s[3][3] = {}, r[3] = {};
    const double w = 2 * M_PI * f / rate;
    for (size_t n = 0; n < x.size(); ++n) {
        const double b[3] = {1, std::cos(w * n), std::sin(w * n)};
        for (int i = 0; i < 3; ++i) {
            r[i] += b[i] * x[n];
            for (int j = 0; j < 3; ++j)
                s[i][j] += b[i] * b[j];
        }
    }
    // Solve the 3x3 normal equations by Cramer's rule.
    auto det = [](double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double d = det(s);
    double k[3];
    for (int c = 0; c < 3; ++c) {
        double m[3][3];
        std::memcpy(m, s, sizeof m);
        for (int i = 0; i < 3; ++i)
            m[i][c] = r[i];
        k[c] = det(m) / d;
    }
    double err = 0, sig = 0;
    for (size_t n = 0; n < x.size(); ++n) {
        const double fit = k[1] * std::cos(w * n) + k[2] * std::sin(w * n);
        err += std::pow(x[n] - k[0] - fit, 2);
        sig += fit * fit;
    }
    *signal = sig;
    return err;
}

TEST(AudioConvert, SineThroughEveryRateChangeKeepsPitchAndShape)
{
    struct {
        int from, to;
        double min_snr_db;
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
        ASSERT_NEAR(static_cast<double>(out.size()), n * double(c.to) / c.from, 1.0);
        // Leave out the ends, where the last frame repeats.
        std::vector<double> x(out.begin() + out.size() / 50, out.end() - out.size() / 50);
        double lo = 990, hi = 1010, sig = 0;
        for (int it = 0; it < 40; ++it) {  // golden-section search on the residual
            const double a = hi - (hi - lo) * 0.618, b = lo + (hi - lo) * 0.618;
            if (Residual(x, c.to, a, &sig) < Residual(x, c.to, b, &sig))
                hi = b;
            else
                lo = a;
        }
        const double f = (lo + hi) / 2;
        const double snr = 10 * std::log10(sig / Residual(x, c.to, f, &sig));
        std::printf("  %5d -> %5d Hz: 1 kHz fits %.3f Hz, SNR %.1f dB\n", c.from, c.to, f, snr);
        EXPECT_LT(std::fabs(f - 1000) / 1000, 0.001) << c.from << " -> " << c.to;
        EXPECT_GE(snr, c.min_snr_db) << c.from << " -> " << c.to;
    }
}

}  // namespace
