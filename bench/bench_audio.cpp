// Audio conversion throughput against libswresample (sample types and the
// stereo down-mix) and libsamplerate's linear converter (x2 rate), each over
// 10^8 samples in buffers of a typical device size; and the CPU the mixing
// thread spends per second of 48 kHz stereo played to ALSA's null device.

#include "JEX.h"

#include <benchmark/benchmark.h>
#include <samplerate.h>
#include <sys/resource.h>
extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr Sint64 kSamples = 100000000;
constexpr int kChunk = 8192;  // samples per call

std::vector<Uint8> Input(int bytes)
{
    std::vector<Uint8> in(static_cast<size_t>(bytes));
    for (int i = 0; i < bytes; ++i)
        in[i] = static_cast<Uint8>(i * 37 + (i >> 7));
    return in;
}

std::vector<Uint8> FloatInput(int samples)
{
    std::vector<Uint8> in(static_cast<size_t>(samples) * 4);
    for (int i = 0; i < samples; ++i) {
        const float v = static_cast<float>(std::sin(i * 0.01) * 0.9);
        std::memcpy(&in[i * 4], &v, 4);
    }
    return in;
}

// Both sides pay for the application writing its samples (a copy of the
// chunk): ours into the buffer it converts in place, the peer into its
// input buffer.
void RunJex(benchmark::State &state, JEX_AudioFormat sf, int sc, int sr, JEX_AudioFormat df, int dc,
            int dr)
{
    JEX_AudioCVT cvt;
    if (JEX_BuildAudioCVT(&cvt, sf, sc, sr, df, dc, dr) != 1) {
        state.SkipWithError("no plan");
        return;
    }
    const int in_bytes = kChunk * (sf & 0xFF) / 8;
    const std::vector<Uint8> in = (sf & 0x0100) ? FloatInput(kChunk) : Input(in_bytes);
    std::vector<Uint8> buf(static_cast<size_t>(in_bytes) * cvt.buf_mult);
    cvt.buf = buf.data();
    for (auto _ : state) {
        for (Sint64 done = 0; done < kSamples; done += kChunk) {
            std::memcpy(buf.data(), in.data(), in_bytes);
            cvt.len = in_bytes;
            JEX_ConvertAudio(&cvt);
            benchmark::DoNotOptimize(buf.data());
        }
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void RunSwr(benchmark::State &state, AVSampleFormat sf, int sc, AVSampleFormat df, int dc)
{
    AVChannelLayout in_layout, out_layout;
    av_channel_layout_default(&in_layout, sc);
    av_channel_layout_default(&out_layout, dc);
    SwrContext *swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &out_layout, df, 48000, &in_layout, sf, 48000, 0, nullptr) < 0 ||
        swr_init(swr) < 0) {
        state.SkipWithError("swr_init failed");
        swr_free(&swr);
        return;
    }
    const int frames = kChunk / sc;
    const std::vector<Uint8> in =
        sf == AV_SAMPLE_FMT_FLT ? FloatInput(kChunk) : Input(kChunk * av_get_bytes_per_sample(sf));
    std::vector<Uint8> out(static_cast<size_t>(frames) * dc * av_get_bytes_per_sample(df) + 64);
    std::vector<Uint8> written(in.size());
    for (auto _ : state) {
        for (Sint64 done = 0; done < kSamples; done += kChunk) {
            std::memcpy(written.data(), in.data(), in.size());
            const Uint8 *ip = written.data();
            Uint8 *op = out.data();
            swr_convert(swr, &op, frames, &ip, frames);
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::ClobberMemory();
    }
    swr_free(&swr);
    state.SetItemsProcessed(state.iterations() * kSamples);
}

void BM_Jex_S16ToF32(benchmark::State &s)
{
    RunJex(s, JEX_AUDIO_S16SYS, 1, 48000, JEX_AUDIO_F32SYS, 1, 48000);
}
void BM_Swr_S16ToF32(benchmark::State &s)
{
    RunSwr(s, AV_SAMPLE_FMT_S16, 1, AV_SAMPLE_FMT_FLT, 1);
}
void BM_Jex_F32ToS16(benchmark::State &s)
{
    RunJex(s, JEX_AUDIO_F32SYS, 1, 48000, JEX_AUDIO_S16SYS, 1, 48000);
}
void BM_Swr_F32ToS16(benchmark::State &s)
{
    RunSwr(s, AV_SAMPLE_FMT_FLT, 1, AV_SAMPLE_FMT_S16, 1);
}
void BM_Jex_U8ToS16(benchmark::State &s)
{
    RunJex(s, JEX_AUDIO_U8, 1, 48000, JEX_AUDIO_S16SYS, 1, 48000);
}
void BM_Swr_U8ToS16(benchmark::State &s)
{
    RunSwr(s, AV_SAMPLE_FMT_U8, 1, AV_SAMPLE_FMT_S16, 1);
}
void BM_Jex_S16StereoToMono(benchmark::State &s)
{
    RunJex(s, JEX_AUDIO_S16SYS, 2, 48000, JEX_AUDIO_S16SYS, 1, 48000);
}
void BM_Swr_S16StereoToMono(benchmark::State &s)
{
    RunSwr(s, AV_SAMPLE_FMT_S16, 2, AV_SAMPLE_FMT_S16, 1);
}

// x2 rate change of float mono, 10^8 input samples.
void BM_Jex_RateX2(benchmark::State &s)
{
    RunJex(s, JEX_AUDIO_F32SYS, 1, 24000, JEX_AUDIO_F32SYS, 1, 48000);
}
void BM_Src_RateX2(benchmark::State &state)
{
    int err = 0;
    SRC_STATE *src = src_new(SRC_LINEAR, 1, &err);
    if (!src) {
        state.SkipWithError("src_new failed");
        return;
    }
    const std::vector<Uint8> in_bytes = FloatInput(kChunk);
    std::vector<float> out(kChunk * 2 + 16);
    SRC_DATA data{};
    data.src_ratio = 2.0;
    std::vector<Uint8> written(in_bytes.size());
    for (auto _ : state) {
        for (Sint64 done = 0; done < kSamples; done += kChunk) {
            std::memcpy(written.data(), in_bytes.data(), in_bytes.size());
            data.data_in = reinterpret_cast<const float *>(written.data());
            data.input_frames = kChunk;
            data.data_out = out.data();
            data.output_frames = static_cast<long>(out.size());
            src_process(src, &data);
            benchmark::DoNotOptimize(out.data());
        }
        benchmark::ClobberMemory();
    }
    src_delete(src);
    state.SetItemsProcessed(state.iterations() * kSamples);
}

#define JEX_AUDIO_BENCH(fn)                                                                        \
    BENCHMARK(fn)                                                                                  \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->Iterations(1)                                                                            \
        ->Repetitions(3)                                                                           \
        ->ReportAggregatesOnly(true)
JEX_AUDIO_BENCH(BM_Jex_S16ToF32);
JEX_AUDIO_BENCH(BM_Swr_S16ToF32);
JEX_AUDIO_BENCH(BM_Jex_F32ToS16);
JEX_AUDIO_BENCH(BM_Swr_F32ToS16);
JEX_AUDIO_BENCH(BM_Jex_U8ToS16);
JEX_AUDIO_BENCH(BM_Swr_U8ToS16);
JEX_AUDIO_BENCH(BM_Jex_S16StereoToMono);
JEX_AUDIO_BENCH(BM_Swr_S16StereoToMono);
JEX_AUDIO_BENCH(BM_Jex_RateX2);
JEX_AUDIO_BENCH(BM_Src_RateX2);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        // The machine is shared: medians of CPU time.
        for (const auto &run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                ns_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    void Ratio(const char *label, const char *ours, const char *peer, const char *peer_name)
    {
        const double a = ns_[ours], b = ns_[peer];
        if (a > 0 && b > 0)
            std::printf("RATIO %s vs %s: %.2fx (goal >= 1.0x), median CPU time %.1f ms vs %.1f ms "
                        "per 1e8 samples\n",
                        label, peer_name, b / a, a, b);
    }

private:
    std::map<std::string, double> ns_;
};

double CpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct ToneState {
    std::atomic<Sint64> frames{0};
    double phase = 0;
};

void Tone(void *userdata, Uint8 *stream, int len)
{
    auto *t = static_cast<ToneState *>(userdata);
    auto *s = reinterpret_cast<Sint16 *>(stream);
    for (int i = 0; i + 1 < len / 2; i += 2) {
        s[i] = s[i + 1] = static_cast<Sint16>(8000 * std::sin(t->phase));
        t->phase += 2 * M_PI * 440 / 48000;
    }
    t->frames += len / 4;
}

// The null device takes buffers as fast as they come, so the thread's CPU
// over the audio it produced is its cost per second of sound.
void MixingThreadCost()
{
    if (JEX_AudioInit("alsa") < 0) {
        std::printf("mixing thread: ALSA unavailable (%s)\n", JEX_GetError());
        return;
    }
    ToneState tone;
    JEX_AudioSpec want{48000, JEX_AUDIO_S16SYS, 2, 0, 1024, 0, Tone, &tone};
    const JEX_AudioDeviceID id = JEX_OpenAudioDevice("null", 0, &want, nullptr, 0);
    if (!id) {
        std::printf("mixing thread: %s\n", JEX_GetError());
        JEX_AudioQuit();
        return;
    }
    const double cpu0 = CpuSeconds();
    JEX_PauseAudioDevice(id, 0);
    while (tone.frames < 48000LL * 120)
        JEX_Delay(20);
    JEX_CloseAudioDevice(id);
    const double cpu = CpuSeconds() - cpu0;
    const double seconds = tone.frames / 48000.0;
    std::printf("MIXING THREAD: %.3f ms of CPU per second of 48 kHz stereo S16 on ALSA's null "
                "device (%.1f s of sound, %.2f s CPU, the 440 Hz callback included)\n",
                cpu * 1000 / seconds, seconds, cpu);
    JEX_AudioQuit();
}

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Ratio("S16->F32", "BM_Jex_S16ToF32", "BM_Swr_S16ToF32", "swr_convert");
    reporter.Ratio("F32->S16", "BM_Jex_F32ToS16", "BM_Swr_F32ToS16", "swr_convert");
    reporter.Ratio("U8->S16", "BM_Jex_U8ToS16", "BM_Swr_U8ToS16", "swr_convert");
    reporter.Ratio("S16 stereo->mono", "BM_Jex_S16StereoToMono", "BM_Swr_S16StereoToMono",
                   "swr_convert");
    reporter.Ratio("x2 rate (F32 mono)", "BM_Jex_RateX2", "BM_Src_RateX2", "SRC_LINEAR");
    MixingThreadCost();
    benchmark::Shutdown();
    return 0;
}
