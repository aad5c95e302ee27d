// The harness's audio start-up: its reports and failure lines, and the
// options reaching the opened device.
#include "common.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void Silence(void *, Uint8 *stream, int len)
{
    std::memset(stream, 0, len);
}

// Runs start-up with the given arguments and returns what it printed.
std::string StartAudio(std::vector<std::string> args, const char *driver, bool callback,
                       Uint32 info, int *ok, JEX_AudioStatus *status = nullptr)
{
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    CommonState *state = CommonCreateState(argv.data(), JEX_INIT_AUDIO);
    for (int i = 1; argv[i];) {
        const int used = CommonArg(state, i);
        EXPECT_GT(used, 0) << argv[i];
        i += used > 0 ? used : 1;
    }
    state->audio_driver = driver;
    state->info_flags = info;
    if (callback)
        state->audio_spec.callback = Silence;
    testing::internal::CaptureStderr();
    *ok = CommonInit(state);
    const std::string out = testing::internal::GetCapturedStderr();
    if (*ok) {
        EXPECT_EQ(state->audio_spec.freq, 11025);
        EXPECT_EQ(state->audio_spec.format, JEX_AUDIO_S16MSB);
        EXPECT_EQ(state->audio_spec.channels, 1);
        EXPECT_EQ(state->audio_spec.samples, 256);
        EXPECT_EQ(state->audio_spec.size, 512u);
    }
    if (status)
        *status = JEX_GetAudioStatus();
    CommonQuit(state);
    return out;
}

TEST(AudioHarness, StartUpReportsAndFailures)
{
    const std::vector<std::string> args = {"prog",       "--rate", "11025",     "--format", "s16be",
                                           "--channels", "257",    "--samples", "256"};
    int ok = 0;
    JEX_AudioStatus status = JEX_AUDIO_STOPPED;
    EXPECT_EQ(StartAudio(args, "dummy", true, INFO_AUDIO | INFO_VIDEO, &ok, &status),
              "Built-in audio drivers: alsa, disk, dummy\nAudio driver: dummy\n");
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(status, JEX_AUDIO_PAUSED);
    EXPECT_EQ(JEX_GetCurrentAudioDriver(), nullptr);  // CommonQuit stopped audio

    EXPECT_EQ(StartAudio(args, "dummy", true, INFO_VIDEO, &ok), "Audio driver: dummy\n");
    EXPECT_EQ(StartAudio(args, "dummy", false, 0, &ok),
              "Couldn't open audio: JEX_OpenAudio() passed a NULL callback\n");
    EXPECT_EQ(ok, 0);
    EXPECT_EQ(StartAudio(args, "nowhere", true, 0, &ok),
              "Couldn't initialize audio driver: Audio target 'nowhere' not available\n");
    EXPECT_EQ(ok, 0);
}

}  // namespace
