// Drivers, devices and their mixing threads through the dummy and disk
// drivers, and the mixer over its whole 8-bit domain.
#include "JEX.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
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
        char tmpl[] = "/tmp/jex_audio_XXXXXX";
        dir_ = mkdtemp(tmpl);
    }
    void TearDown() override
    {
        JEX_AudioQuit();
        std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

struct Recorder {
    std::atomic<int> calls{0};
    std::atomic<bool> stop_after_pause{false};
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
    JEX_AudioSpec s{};
    s.freq = freq;
    s.samples = samples;
    s.callback = CountingCallback;
    s.userdata = r;
    return s;
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
    EXPECT_STREQ(JEX_GetAudioDriver(1), "disk");
    EXPECT_STREQ(JEX_GetAudioDriver(2), "dummy");
    EXPECT_EQ(JEX_GetAudioDriver(3), nullptr);
    EXPECT_EQ(JEX_GetNumAudioDevices(0), -1);
    EXPECT_EQ(JEX_AudioInit("nosuch"), -1);
    EXPECT_STREQ(JEX_GetError(), "Audio target 'nosuch' not available");

    ASSERT_EQ(JEX_AudioInit("DuMmY"), 0);
    EXPECT_STREQ(JEX_GetCurrentAudioDriver(), "dummy");
    EXPECT_EQ(JEX_GetNumAudioDevices(0), 1);
    EXPECT_STREQ(JEX_GetAudioDeviceName(0, 0), "System audio output device");
    EXPECT_EQ(JEX_GetNumAudioDevices(1), 0);

    Recorder r;
    JEX_AudioSpec want = Spec(&r), got{};
    struct {
        int freq;
        JEX_AudioFormat format;
        Uint8 channels;
        const char *msg;
    } const refused[] = {{-44100, 0, 0, "Unsupported audio frequency"},
                         {0, 0x0020, 0, "Unsupported audio format"},
                         {0, 0, 3, "Unsupported number of audio channels."},
                         {0, 0, 7, "Unsupported number of audio channels."}};
    for (const auto &b : refused) {
        JEX_AudioSpec s = want;
        s.freq = b.freq;
        s.format = b.format;
        s.channels = b.channels;
        EXPECT_EQ(JEX_OpenAudioDevice(nullptr, 0, &s, &got, 0), 0u);
        EXPECT_STREQ(JEX_GetError(), b.msg);
    }
    JEX_AudioSpec no_cb = want;
    no_cb.callback = nullptr;
    EXPECT_EQ(JEX_OpenAudioDevice(nullptr, 0, &no_cb, &got, 0), 0u);
    EXPECT_STREQ(JEX_GetError(), "JEX_OpenAudio() passed a NULL callback");

    // Defaults, and a rate high enough that the default buffer would no
    // longer fit in 16 bits.
    const JEX_AudioDeviceID id = JEX_OpenAudioDevice(nullptr, 0, &want, &got, 0);
    ASSERT_EQ(id, 2u);
    EXPECT_EQ(got.freq, 22050);
    EXPECT_EQ(got.format, JEX_AUDIO_S16LSB);
    EXPECT_EQ(got.channels, 2);
    EXPECT_EQ(got.samples, 1024);
    EXPECT_EQ(got.size, 4096u);
    EXPECT_EQ(got.silence, 0);
    EXPECT_EQ(JEX_OpenAudioDevice(nullptr, 0, &want, &got, 0), 0u);
    EXPECT_STREQ(JEX_GetError(), "Audio device already open");
    JEX_CloseAudioDevice(id);
    JEX_AudioSpec fast = Spec(&r, 1000000);
    ASSERT_EQ(JEX_OpenAudioDevice(nullptr, 0, &fast, &got, 0), 2u);
    EXPECT_EQ(got.samples, 32768);
    EXPECT_EQ(JEX_GetAudioDeviceStatus(0), JEX_AUDIO_STOPPED);
    EXPECT_STREQ(JEX_GetError(), "Invalid audio device ID");

    // The disk driver has any number of devices: ids 2 to 16, then none;
    // id 1 stays for the single-device interface.
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

std::vector<Uint8> ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

TEST_F(AudioDevice, DiskFileHoldsEveryCallbackBuffer)
{
    setenv("JEX_DISKAUDIODELAY", "0", 1);
    const std::string file = dir_ + "/out.raw";
    setenv("JEX_DISKAUDIOFILE", file.c_str(), 1);
    ASSERT_EQ(JEX_AudioInit("disk"), 0);
    Recorder r;
    JEX_AudioSpec want = Spec(&r, 44100, 333);
    want.format = JEX_AUDIO_U8;
    want.channels = 1;
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
    JEX_MixAudioFormat(reinterpret_cast<Uint8 *>(d16), reinterpret_cast<const Uint8 *>(s16),
                       JEX_AUDIO_S16SYS, 7, 64);  // the odd byte is left alone
    EXPECT_EQ(std::vector<Sint16>(d16, d16 + 4), (std::vector<Sint16>{32767, -32768, 99, -3}));
    Sint32 d32[] = {2147483000, -2147483000};
    const Sint32 s32[] = {1000000, -1000000};
    JEX_MixAudioFormat(reinterpret_cast<Uint8 *>(d32), reinterpret_cast<const Uint8 *>(s32),
                       JEX_AUDIO_S32SYS, 8, 128);
    EXPECT_EQ(d32[0], 2147483647);
    EXPECT_EQ(d32[1], -2147483647 - 1);
    float df[] = {3e38f, 0.25f};
    const float sf[] = {3e38f, 0.5f};
    JEX_MixAudioFormat(reinterpret_cast<Uint8 *>(df), reinterpret_cast<const Uint8 *>(sf),
                       JEX_AUDIO_F32SYS, 8, 64);
    EXPECT_EQ(df[0], 3.402823466e38f);
    EXPECT_EQ(df[1], 0.5f);
    Uint16 u16[] = {1234};
    JEX_MixAudioFormat(reinterpret_cast<Uint8 *>(u16), reinterpret_cast<const Uint8 *>(u16),
                       JEX_AUDIO_U16LSB, 2, 128);
    EXPECT_EQ(u16[0], 1234);
    EXPECT_STREQ(JEX_GetError(), "JEX_MixAudio(): unknown audio format");
}

}  // namespace
