// Drivers, devices and their mixing threads through the dummy and disk
// drivers, the mixer over its whole 8-bit domain, and the harness's audio
// start-up.
#include "JEX.h"
#include "common.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace {

class AudioDevice : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char *v : {"JEX_AUDIODRIVER", "JEX_AUDIO_FREQUENCY", "JEX_AUDIO_FORMAT",
                              "JEX_AUDIO_CHANNELS", "JEX_AUDIO_SAMPLES", "JEX_AUDIO_DEVICE_NAME",
                              "JEX_DISKAUDIOFILE", "JEX_DISKAUDIODELAY"})
            unsetenv(v);
        ASSERT_TRUE(tmp_.ok());
    }
    void TearDown() override { JEX_AudioQuit(); }
    TempDir tmp_;
    const std::string &dir_ = tmp_.path;
};

struct Recorder {
    std::atomic<int> calls{0};
    Uint8 next = 0;
    std::vector<Uint8> produced;  // every byte handed out, in order
};

void CountingCallback(void *userdata, Uint8 *stream, int len)
{
    auto *r = static_cast<Recorder *>(userdata);
    for (int i = 0; i < len; ++i)
        stream[i] = r->next++;
    r->produced.insert(r->produced.end(), stream, stream + len);
    ++r->calls;
}

JEX_AudioSpec Spec(Recorder *r, int freq = 0, Uint16 samples = 0)
{
    return {freq, 0, 0, 0, samples, 0, CountingCallback, r};
}

template <typename Pred>
bool WaitFor(Pred pred)
{
    for (int i = 0; i < 2000 && !pred(); ++i)
        JEX_Delay(5);
    return pred();
}

TEST_F(AudioDevice, DriversSpecsAndIds)
{
    ASSERT_EQ(JEX_GetNumAudioDrivers(), 3);
    EXPECT_STREQ(JEX_GetAudioDriver(2), "dummy");
    EXPECT_EQ(JEX_GetNumAudioDevices(0), -1);
    EXPECT_EQ(JEX_AudioInit("nosuch"), -1);
    EXPECT_STREQ(JEX_GetError(), "Audio target 'nosuch' not available");

    ASSERT_EQ(JEX_AudioInit("DuMmY"), 0);
    EXPECT_STREQ(JEX_GetCurrentAudioDriver(), "dummy");
    EXPECT_EQ(JEX_GetNumAudioDevices(0), 1);
    EXPECT_STREQ(JEX_GetAudioDeviceName(0, 0), "System audio output device");

    Recorder r;
    JEX_AudioSpec want = Spec(&r), got{};
    const std::pair<JEX_AudioSpec, const char *> refused[] = {
        {{-44100, 0, 0, 0, 0, 0, CountingCallback, &r}, "Unsupported audio frequency"},
        {{0, 0x0020, 0, 0, 0, 0, CountingCallback, &r}, "Unsupported audio format"},
        {{0, 0, 3, 0, 0, 0, CountingCallback, &r}, "Unsupported number of audio channels."},
        {{0, 0, 7, 0, 0, 0, CountingCallback, &r}, "Unsupported number of audio channels."},
        {{0, 0, 0, 0, 0, 0, nullptr, &r}, "JEX_OpenAudio() passed a NULL callback"}};
    for (const auto &[spec, msg] : refused) {
        EXPECT_EQ(JEX_OpenAudioDevice(nullptr, 0, &spec, &got, 0), 0u);
        EXPECT_STREQ(JEX_GetError(), msg);
    }

    // Defaults, and a rate high enough that the default buffer would no
    // longer fit in 16 bits.
    const JEX_AudioDeviceID id = JEX_OpenAudioDevice(nullptr, 0, &want, &got, 0);
    ASSERT_EQ(id, 2u);
    EXPECT_EQ(std::tie(got.freq, got.format, got.channels, got.samples, got.size, got.silence),
              std::make_tuple(22050, JEX_AUDIO_S16LSB, 2, 1024, 4096u, 0));
    EXPECT_EQ(JEX_OpenAudioDevice(nullptr, 0, &want, &got, 0), 0u);
    EXPECT_STREQ(JEX_GetError(), "Audio device already open");
    JEX_CloseAudioDevice(id);
    JEX_AudioSpec fast = Spec(&r, 1000000);
    ASSERT_EQ(JEX_OpenAudioDevice(nullptr, 0, &fast, &got, 0), 2u);
    EXPECT_EQ(got.samples, 32768);
    EXPECT_EQ(JEX_GetAudioDeviceStatus(0), JEX_AUDIO_STOPPED);
    EXPECT_STREQ(JEX_GetError(), "Invalid audio device ID");

    // Disk devices are any number: ids 2 to 16, then none; 1 stays free.
    setenv("JEX_DISKAUDIODELAY", "0", 1);
    ASSERT_EQ(JEX_AudioInit("disk"), 0);
    EXPECT_EQ(JEX_GetNumAudioDevices(0), -1);
    testing::internal::CaptureStderr();
    for (int i = 2; i <= 16; ++i)
        EXPECT_EQ(JEX_OpenAudioDevice((dir_ + "/" + std::to_string(i)).c_str(), 0, &want, &got, 0),
                  static_cast<JEX_AudioDeviceID>(i));
    EXPECT_EQ(JEX_OpenAudioDevice((dir_ + "/x").c_str(), 0, &want, &got, 0), 0u);
    EXPECT_STREQ(JEX_GetError(), "Too many open audio devices");
    JEX_CloseAudioDevice(5);
    setenv("JEX_AUDIO_DEVICE_NAME", (dir_ + "/one").c_str(), 1);
    EXPECT_EQ(JEX_OpenAudio(&want, nullptr), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(JEX_GetAudioStatus(), JEX_AUDIO_PAUSED);
    EXPECT_EQ(JEX_OpenAudio(&want, nullptr), -1);
    EXPECT_STREQ(JEX_GetError(), "Audio device is already opened");
}

TEST_F(AudioDevice, PauseHoldsOffTheCallback)
{
    ASSERT_EQ(JEX_AudioInit("dummy"), 0);
    Recorder r;
    JEX_AudioSpec want = Spec(&r, 48000, 64);
    const JEX_AudioDeviceID id = JEX_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
    ASSERT_NE(id, 0u);
    JEX_Delay(30);
    EXPECT_EQ(r.calls, 0);  // devices start paused
    JEX_PauseAudioDevice(id, 0);
    EXPECT_EQ(JEX_GetAudioDeviceStatus(id), JEX_AUDIO_PLAYING);
    ASSERT_TRUE(WaitFor([&] { return r.calls > 3; }));
    for (int round = 0; round < 20; ++round) {
        JEX_PauseAudioDevice(id, 1);
        const int after_pause = r.calls;
        JEX_Delay(3);
        ASSERT_EQ(r.calls, after_pause);
        JEX_LockAudioDevice(id);
        JEX_PauseAudioDevice(id, 0);
        const int while_locked = r.calls;
        JEX_Delay(3);
        ASSERT_EQ(r.calls, while_locked);  // the lock keeps the callback out
        JEX_UnlockAudioDevice(id);
    }
    ASSERT_TRUE(WaitFor([&] { return r.calls > 50; }));
}

TEST_F(AudioDevice, ReinitAndOpenCloseCyclesStopEveryThread)
{
    for (int cycle = 0; cycle < 1000; ++cycle) {
        if (cycle % 100 == 0) {
            ASSERT_EQ(JEX_AudioInit("dummy"), 0);
        }
        auto *r = new Recorder;
        JEX_AudioSpec want = Spec(r, 48000, 32);
        const JEX_AudioDeviceID id = JEX_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
        ASSERT_EQ(id, 2u) << JEX_GetError();
        JEX_PauseAudioDevice(id, 0);
        if (cycle % 100 == 99) {
            // A second start closes the open device and joins its thread
            // before anything is cleared; the recorder may go right after.
            ASSERT_TRUE(WaitFor([&] { return r->calls > 0; }));
            ASSERT_EQ(JEX_AudioInit("dummy"), 0);
            EXPECT_EQ(JEX_GetAudioDeviceStatus(id), JEX_AUDIO_STOPPED);
        } else {
            JEX_CloseAudioDevice(id);
        }
        delete r;
    }
}

TEST_F(AudioDevice, DiskFileHoldsEveryCallbackBuffer)
{
    setenv("JEX_DISKAUDIODELAY", "0", 1);
    const std::string file = dir_ + "/out.raw";
    setenv("JEX_DISKAUDIOFILE", file.c_str(), 1);
    ASSERT_EQ(JEX_AudioInit("disk"), 0);
    Recorder r;
    JEX_AudioSpec want{44100, JEX_AUDIO_U8, 1, 0, 333, 0, CountingCallback, &r};
    testing::internal::CaptureStderr();
    ASSERT_EQ(JEX_OpenAudio(&want, nullptr), 0) << JEX_GetError();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "WARNING: You are using the JEX disk writer audio driver!\n Writing to file [" +
                  file + "].\n");
    JEX_PauseAudio(0);
    ASSERT_TRUE(WaitFor([&] { return r.calls >= 20; }));
    JEX_CloseAudio();
    EXPECT_EQ(ReadFile(file), r.produced);
    EXPECT_GE(r.produced.size(), 20u * 333);

    // A full disk stops the device; a negative delay counts as unset.
    setenv("JEX_DISKAUDIODELAY", "-5", 1);
    Recorder full;
    JEX_AudioSpec fs = Spec(&full, 44100, 4096);
    testing::internal::CaptureStderr();
    const JEX_AudioDeviceID id = JEX_OpenAudioDevice("/dev/full", 0, &fs, nullptr, 0);
    ASSERT_NE(id, 0u);
    JEX_PauseAudioDevice(id, 0);
    EXPECT_TRUE(WaitFor([&] { return JEX_GetAudioDeviceStatus(id) == JEX_AUDIO_STOPPED; }));
    JEX_CloseAudioDevice(id);
    testing::internal::GetCapturedStderr();
}

template <typename T, size_t N>
void Mix(T (&dst)[N], const T (&src)[N], JEX_AudioFormat format, int volume,
         Uint32 len = sizeof(T) * N)
{
    JEX_MixAudioFormat(reinterpret_cast<Uint8 *>(dst), reinterpret_cast<const Uint8 *>(src), format,
                       len, volume);
}

TEST(AudioMix, EveryU8PairAndVolumeAndTheClampedFormats)
{
    Uint8 dst[256], src[256], want[256];
    for (int s = 0; s < 256; ++s)
        for (int vol = 0; vol <= JEX_MIX_MAXVOLUME; ++vol) {
            for (int d = 0; d < 256; ++d) {
                dst[d] = static_cast<Uint8>(d);
                src[d] = static_cast<Uint8>(s);
                const int scaled = (s - 128) * vol / 128;
                want[d] = static_cast<Uint8>(vol ? std::clamp(d + scaled, 0, 254) : d);
            }
            JEX_MixAudioFormat(dst, src, JEX_AUDIO_U8, 256, vol);
            ASSERT_EQ(std::vector<Uint8>(dst, dst + 256), std::vector<Uint8>(want, want + 256))
                << "src " << s << " volume " << vol;
        }

    Sint16 d16[] = {32767, -32768, 100, -3};
    const Sint16 s16[] = {32767, -1, -3, -3};
    Mix(d16, s16, JEX_AUDIO_S16SYS, 64, 7);  // the odd byte is left alone
    EXPECT_EQ(std::vector<Sint16>(d16, d16 + 4), (std::vector<Sint16>{32767, -32768, 99, -3}));
    Sint32 d32[] = {2147483000, -2147483000};
    const Sint32 s32[] = {1000000, -1000000};
    Mix(d32, s32, JEX_AUDIO_S32SYS, 128);
    EXPECT_EQ(std::vector<Sint32>(d32, d32 + 2),
              (std::vector<Sint32>{2147483647, -2147483647 - 1}));
    float df[] = {3e38f, 0.25f};
    const float sf[] = {3e38f, 0.5f};
    Mix(df, sf, JEX_AUDIO_F32SYS, 64);
    EXPECT_EQ(std::vector<float>(df, df + 2), (std::vector<float>{3.402823466e38f, 0.5f}));
    Uint16 u16[] = {1234};
    Mix(u16, u16, JEX_AUDIO_U16LSB, 128);
    EXPECT_EQ(u16[0], 1234);
    EXPECT_STREQ(JEX_GetError(), "JEX_MixAudio(): unknown audio format");
}

// The harness's audio start-up: its reports and failure lines, and the
// requested spec completed by the opened device.
// Starts audio as a program would and returns what start-up printed, with
// " [failed]" appended when it failed.
std::string StartAudio(const char *driver, bool callback, Uint32 info)
{
    Recorder r;
    char prog[] = "prog", *argv[] = {prog, nullptr};
    CommonState *state = CommonCreateState(argv, JEX_INIT_AUDIO);
    state->audio_spec = {11025, JEX_AUDIO_S16MSB, 1, 0, 256, 0, nullptr, nullptr};
    state->audio_driver = driver;
    state->info_flags = info;
    state->audio_spec.callback = callback ? CountingCallback : nullptr;
    state->audio_spec.userdata = &r;
    testing::internal::CaptureStderr();
    const int ok = CommonInit(state);
    std::string out = testing::internal::GetCapturedStderr() + (ok ? "" : " [failed]");
    if (ok) {
        const JEX_AudioSpec &s = state->audio_spec;
        EXPECT_EQ(std::tie(s.freq, s.format, s.channels, s.size),
                  std::make_tuple(11025, JEX_AUDIO_S16MSB, 1, 512u));
        EXPECT_EQ(JEX_GetAudioStatus(), JEX_AUDIO_PAUSED);
    }
    CommonQuit(state);
    EXPECT_EQ(JEX_GetCurrentAudioDriver(), nullptr);  // shutdown stopped audio
    return out;
}

TEST(AudioHarness, StartUpReportsAndFailures)
{
    EXPECT_EQ(StartAudio("dummy", true, INFO_AUDIO | INFO_VIDEO),
              "Built-in audio drivers: alsa, disk, dummy\nAudio driver: dummy\n");
    EXPECT_EQ(StartAudio("dummy", true, INFO_VIDEO), "Audio driver: dummy\n");
    EXPECT_EQ(StartAudio("dummy", false, 0),
              "Couldn't open audio: JEX_OpenAudio() passed a NULL callback\n [failed]");
    EXPECT_EQ(StartAudio("nowhere", true, 0),
              "Couldn't initialize audio driver: Audio target 'nowhere' not available\n [failed]");
}

}  // namespace
