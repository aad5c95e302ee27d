// The ALSA driver without a sound card: ALSA's "null" device and file PCMs
// defined in a configuration of our own (after the system's), whose files
// must hold exactly what the callback produced, converted by the core where
// the PCM refuses the request.
#include "JEX.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

TempDir *g_tmp = nullptr;
std::string g_dir;

class AudioAlsa : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_tmp = new TempDir;
        g_dir = g_tmp->path;
        std::ofstream conf(g_dir + "/asound.conf");
        conf << "</usr/share/alsa/alsa.conf>\n";
        for (const char *name : {"plain", "linear", "rate"})
            conf << "pcm.jex_file_" << name << " { type file; slave.pcm \"null\"; file \"" << g_dir
                 << "/" << name << ".raw\"; format \"raw\" }\n";
        // Integer samples only, so float requests are converted by the core.
        conf
            << "pcm.jex_linear { type linear; slave { pcm \"jex_file_linear\"; format S16_LE } }\n";
        // A fixed rate that ALSA is not allowed to resample to.
        conf << "pcm.jex_rate { type plug; slave { pcm \"jex_file_rate\"; rate 48000 } }\n";
        conf.close();
        setenv("ALSA_CONFIG_PATH", (g_dir + "/asound.conf").c_str(), 1);
        unsetenv("JEX_AUDIO_DEVICE_NAME");
    }
    static void TearDownTestSuite() { delete g_tmp; }
    void SetUp() override { ASSERT_EQ(JEX_AudioInit("alsa"), 0) << JEX_GetError(); }
    void TearDown() override { JEX_AudioQuit(); }
};

struct Recorder {
    explicit Recorder(JEX_AudioFormat f = 0) : format(f) {}
    std::atomic<int> calls{0};
    JEX_AudioFormat format;
    int n = 0;
    std::vector<Uint8> produced;
};

// A 16-bit tone (any integer format takes its bytes); for floats a ramp
// that also runs past full scale, to show the clamping on the way to
// integers.
void Produce(void *userdata, Uint8 *stream, int len)
{
    auto *r = static_cast<Recorder *>(userdata);
    if (r->format == JEX_AUDIO_F32SYS) {
        for (int i = 0; i + 4 <= len; i += 4, ++r->n) {
            const float v = static_cast<float>((r->n % 1000) / 400.0 - 1.25);
            std::memcpy(stream + i, &v, 4);
        }
    } else {
        for (int i = 0; i + 2 <= len; i += 2, ++r->n) {
            const Sint16 v = static_cast<Sint16>(std::lround(12000 * std::sin(r->n * 0.0575)));
            std::memcpy(stream + i, &v, 2);
        }
    }
    r->produced.insert(r->produced.end(), stream, stream + len);
    ++r->calls;
}

// Plays until the callback has run `calls` times, then closes.
void Play(JEX_AudioDeviceID id, Recorder &r, int calls)
{
    ASSERT_NE(id, 0u) << JEX_GetError();
    JEX_PauseAudioDevice(id, 0);
    for (int i = 0; i < 2000 && r.calls < calls; ++i)
        JEX_Delay(5);
    JEX_CloseAudioDevice(id);
    ASSERT_GE(r.calls, calls);
}

TEST_F(AudioAlsa, NullDeviceAndToneThroughFilePcmAndDiskMatchTheCallback)
{
    EXPECT_EQ(JEX_GetAudioDeviceName(100000, 0), nullptr);
    EXPECT_EQ(JEX_OpenAudioDevice("jex_no_such_pcm", 0, nullptr, nullptr, 0), 0u);

    Recorder null_r;
    JEX_AudioSpec want{44100, JEX_AUDIO_S16LSB, 2, 0, 512, 0, Produce, &null_r}, got{};
    Play(JEX_OpenAudioDevice("null", 0, &want, &got, 0), null_r, 5);

    // A tone through ALSA's file PCM and through the disk driver: each file
    // holds exactly what its callback produced, and the two agree.
    Recorder alsa_r(JEX_AUDIO_S16SYS), disk_r(JEX_AUDIO_S16SYS);
    want = {22050, JEX_AUDIO_S16SYS, 1, 0, 1000, 0, Produce, &alsa_r};
    const JEX_AudioDeviceID id = JEX_OpenAudioDevice("jex_file_plain", 0, &want, &got, 0);
    EXPECT_EQ(std::tie(got.freq, got.format, got.samples),
              std::make_tuple(22050, JEX_AUDIO_S16SYS, 1000));
    Play(id, alsa_r, 6);
    ASSERT_EQ(JEX_AudioInit("disk"), 0);
    setenv("JEX_DISKAUDIODELAY", "0", 1);
    want.userdata = &disk_r;
    testing::internal::CaptureStderr();
    Play(JEX_OpenAudioDevice((g_dir + "/disk.raw").c_str(), 0, &want, nullptr, 0), disk_r, 6);
    testing::internal::GetCapturedStderr();
    unsetenv("JEX_DISKAUDIODELAY");
    const std::vector<Uint8> a = ReadFile(g_dir + "/plain.raw"), d = ReadFile(g_dir + "/disk.raw");
    EXPECT_EQ(a, alsa_r.produced);
    EXPECT_EQ(d, disk_r.produced);
    ASSERT_GE(std::min(a.size(), d.size()), 6u * 2000);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + std::min(a.size(), d.size()), d.begin()));
}

TEST_F(AudioAlsa, FloatsRefusedBySlaveAreConvertedByTheCore)
{
    Recorder r(JEX_AUDIO_F32SYS);
    JEX_AudioSpec want{44100, JEX_AUDIO_F32SYS, 1, 0, 1024, 0, Produce, &r};
    ASSERT_EQ(JEX_OpenAudioDevice("jex_linear", 0, &want, nullptr, 0), 2u) << JEX_GetError();
    Play(2, r, 8);
    // The core gives the slave 32-bit integers; ALSA keeps their top half.
    const std::vector<Uint8> file = ReadFile(g_dir + "/linear.raw");
    ASSERT_EQ(file.size(), r.produced.size() / 2);
    const auto *in = reinterpret_cast<const float *>(r.produced.data());
    const auto *out = reinterpret_cast<const Sint16 *>(file.data());
    for (size_t i = 0; i < file.size() / 2; ++i) {
        const auto s32 =
            static_cast<Sint32>(std::trunc(std::fmax(-1.0, std::fmin(1.0, in[i])) * 2147483647.0));
        ASSERT_EQ(out[i], static_cast<Sint16>(s32 >> 16)) << "sample " << i << " value " << in[i];
    }
}

TEST_F(AudioAlsa, FixedRateSlaveIsResampledByTheCore)
{
    Recorder r(JEX_AUDIO_S16SYS);
    JEX_AudioSpec want{24000, JEX_AUDIO_S16SYS, 1, 0, 1024, 0, Produce, &r}, got{};
    ASSERT_EQ(JEX_OpenAudioDevice("jex_rate", 0, &want, &got, 0), 2u) << JEX_GetError();
    EXPECT_EQ(got.freq, 24000);
    Play(2, r, 8);
    // Twice the frames, every input frame at an even position.
    const std::vector<Uint8> file = ReadFile(g_dir + "/rate.raw");
    ASSERT_EQ(file.size(), r.produced.size() * 2);
    for (size_t i = 0; i < r.produced.size() / 2; ++i)
        ASSERT_EQ(std::memcmp(&file[i * 4], &r.produced[i * 2], 2), 0) << "frame " << i;
}

}  // namespace
