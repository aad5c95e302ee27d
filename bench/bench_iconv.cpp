// Text conversion throughput against glibc's iconv on the same 16 MB of
// mixed-script UTF-8 (mostly ASCII with runs of 2-, 3- and 4-byte
// characters), converted in one call into a buffer that is large enough.

#include "JEX_stdinc.h"

#include <benchmark/benchmark.h>
#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr size_t kTextBytes = 16 << 20;

void AppendUtf8(std::string &s, Uint32 cp)
{
    if (cp < 0x80) {
        s.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        s.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        s.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        s.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        s.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

/* Sentences of ASCII words, now and then a run of Cyrillic or Greek,
   CJK, or emoji. */
const std::string &MixedText()
{
    static const std::string text = [] {
        std::mt19937 rng(2026);
        std::string s;
        s.reserve(kTextBytes + 64);
        std::uniform_int_distribution<int> word_len(1, 9);
        std::uniform_int_distribution<int> letter('a', 'z');
        std::uniform_int_distribution<int> run_len(2, 12);
        std::uniform_int_distribution<int> pick(0, 9);
        while (s.size() < kTextBytes) {
            for (int w = word_len(rng) + 4; w > 0; --w) {
                for (int i = word_len(rng); i > 0; --i)
                    s.push_back(static_cast<char>(letter(rng)));
                s.push_back(' ');
            }
            s.back() = '.';
            s.push_back(' ');
            const int p = pick(rng);
            Uint32 lo = 0, hi = 0;
            if (p < 4)
                lo = 0x0410, hi = 0x044F; /* Cyrillic */
            else if (p < 6)
                lo = 0x03B1, hi = 0x03C9; /* Greek */
            else if (p < 8)
                lo = 0x4E00, hi = 0x9FA5; /* CJK */
            else if (p < 9)
                lo = 0x1F600, hi = 0x1F64F; /* emoji */
            if (hi) {
                std::uniform_int_distribution<Uint32> cp(lo, hi);
                for (int i = run_len(rng); i > 0; --i)
                    AppendUtf8(s, cp(rng));
                s.push_back(' ');
            }
        }
        /* End on a character boundary. */
        while ((static_cast<unsigned char>(s.back()) & 0xC0) == 0x80 ||
               static_cast<unsigned char>(s.back()) >= 0xC0)
            s.pop_back();
        return s;
    }();
    return text;
}

const std::string &AsciiText()
{
    static const std::string text = [] {
        std::string s;
        s.reserve(kTextBytes);
        const char *words[] = {"window ", "title ", "event ", "the ", "of ", "keyboard ", "text. "};
        for (size_t i = 0; s.size() < kTextBytes; ++i)
            s += words[(i * 7 + i / 3) % 7];
        return s;
    }();
    return text;
}

/* Text in one script: the cost per character of the multi-byte paths. */
const std::string &ScriptText(Uint32 lo, Uint32 hi)
{
    static std::map<Uint32, std::string> texts;
    std::string &s = texts[lo];
    if (s.empty()) {
        std::mt19937 rng(lo);
        std::uniform_int_distribution<Uint32> cp(lo, hi);
        std::uniform_int_distribution<int> word(2, 9);
        while (s.size() < kTextBytes / 4) {
            for (int i = word(rng); i > 0; --i)
                AppendUtf8(s, cp(rng));
            s.push_back(' ');
        }
    }
    return s;
}

std::vector<char> &OutputBuffer()
{
    static std::vector<char> out(kTextBytes * 4 + 64);
    return out;
}

void RunJex(benchmark::State &state, const char *to, const char *from, const std::string &in)
{
    std::vector<char> &out = OutputBuffer();
    JEX_iconv_t cd = JEX_iconv_open(to, from);
    if (cd == reinterpret_cast<JEX_iconv_t>(-1)) {
        state.SkipWithError("JEX_iconv_open failed");
        return;
    }
    for (auto _ : state) {
        const char *ip = in.data();
        size_t il = in.size();
        char *op = out.data();
        size_t ol = out.size();
        const size_t r = JEX_iconv(cd, &ip, &il, &op, &ol);
        if (r >= JEX_ICONV_EINVAL || il != 0) {
            state.SkipWithError("conversion stopped");
            break;
        }
        benchmark::DoNotOptimize(op);
        benchmark::ClobberMemory();
    }
    JEX_iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void RunGlibc(benchmark::State &state, const char *to, const char *from, const std::string &in)
{
    std::vector<char> &out = OutputBuffer();
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv_open failed");
        return;
    }
    for (auto _ : state) {
        char *ip = const_cast<char *>(in.data());
        size_t il = in.size();
        char *op = out.data();
        size_t ol = out.size();
        const size_t r = iconv(cd, &ip, &il, &op, &ol);
        if (r == static_cast<size_t>(-1) || il != 0) {
            state.SkipWithError("conversion stopped");
            break;
        }
        benchmark::DoNotOptimize(op);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * in.size()));
}

void BM_Jex_Utf8ToUtf16LE(benchmark::State &s)
{
    RunJex(s, "UTF-16LE", "UTF-8", MixedText());
}
void BM_Glibc_Utf8ToUtf16LE(benchmark::State &s)
{
    RunGlibc(s, "UTF-16LE", "UTF-8", MixedText());
}
void BM_Jex_Utf8ToUtf32LE(benchmark::State &s)
{
    RunJex(s, "UTF-32LE", "UTF-8", MixedText());
}
void BM_Glibc_Utf8ToUtf32LE(benchmark::State &s)
{
    RunGlibc(s, "UTF-32LE", "UTF-8", MixedText());
}
void BM_Jex_Utf8ToUtf8(benchmark::State &s)
{
    RunJex(s, "UTF-8", "UTF-8", MixedText());
}
void BM_Glibc_Utf8ToUtf8(benchmark::State &s)
{
    RunGlibc(s, "UTF-8", "UTF-8", MixedText());
}
void BM_Jex_AsciiUtf8ToUtf16LE(benchmark::State &s)
{
    RunJex(s, "UTF-16LE", "UTF-8", AsciiText());
}
void BM_Glibc_AsciiUtf8ToUtf16LE(benchmark::State &s)
{
    RunGlibc(s, "UTF-16LE", "UTF-8", AsciiText());
}

void BM_Jex_CyrillicUtf8ToUtf16LE(benchmark::State &s)
{
    RunJex(s, "UTF-16LE", "UTF-8", ScriptText(0x0410, 0x044F));
}
void BM_Glibc_CyrillicUtf8ToUtf16LE(benchmark::State &s)
{
    RunGlibc(s, "UTF-16LE", "UTF-8", ScriptText(0x0410, 0x044F));
}
void BM_Jex_CjkUtf8ToUtf16LE(benchmark::State &s)
{
    RunJex(s, "UTF-16LE", "UTF-8", ScriptText(0x4E00, 0x9FA5));
}
void BM_Glibc_CjkUtf8ToUtf16LE(benchmark::State &s)
{
    RunGlibc(s, "UTF-16LE", "UTF-8", ScriptText(0x4E00, 0x9FA5));
}

const std::string &MixedUtf16()
{
    static const std::string text = [] {
        char *s = JEX_iconv_string("UTF-16LE", "UTF-8", MixedText().data(), MixedText().size());
        /* Find the end: the text holds no NUL unit. */
        size_t n = 0;
        while (s[n] != 0 || s[n + 1] != 0)
            n += 2;
        std::string r(s, n);
        std::free(s);
        return r;
    }();
    return text;
}
void BM_Jex_Utf16LEToUtf8(benchmark::State &s)
{
    RunJex(s, "UTF-8", "UTF-16LE", MixedUtf16());
}
void BM_Glibc_Utf16LEToUtf8(benchmark::State &s)
{
    RunGlibc(s, "UTF-8", "UTF-16LE", MixedUtf16());
}

BENCHMARK(BM_Jex_Utf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Glibc_Utf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Jex_Utf8ToUtf32LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Glibc_Utf8ToUtf32LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Jex_Utf8ToUtf8)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Glibc_Utf8ToUtf8)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Jex_AsciiUtf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Glibc_AsciiUtf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Jex_CyrillicUtf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Glibc_CyrillicUtf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Jex_CjkUtf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Glibc_CjkUtf8ToUtf16LE)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Jex_Utf16LEToUtf8)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_Glibc_Utf16LEToUtf8)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        /* The machine is shared: compare medians of CPU time, which other
           processes disturb far less than wall time. */
        for (const auto &run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                ns_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }

    void Ratio(const char *label, const char *ours, const char *peer, const char *goal)
    {
        const double a = ns_[ours];
        const double b = ns_[peer];
        if (a <= 0 || b <= 0)
            return;
        std::printf("RATIO %s vs glibc iconv: %.1fx%s, median CPU time %.2f ms vs %.2f ms\n", label,
                    b / a, goal, a, b);
    }

private:
    std::map<std::string, double> ns_;
};

}  // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    MixedText();
    std::printf("mixed text: %zu bytes of UTF-8\n", MixedText().size());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.Ratio("utf8->utf16le", "BM_Jex_Utf8ToUtf16LE", "BM_Glibc_Utf8ToUtf16LE",
                   " (goal >= 2x)");
    reporter.Ratio("utf8->utf32le", "BM_Jex_Utf8ToUtf32LE", "BM_Glibc_Utf8ToUtf32LE",
                   " (goal >= 2x)");
    reporter.Ratio("utf8->utf8", "BM_Jex_Utf8ToUtf8", "BM_Glibc_Utf8ToUtf8", "");
    reporter.Ratio("ascii utf8->utf16le", "BM_Jex_AsciiUtf8ToUtf16LE",
                   "BM_Glibc_AsciiUtf8ToUtf16LE", "");
    reporter.Ratio("cyrillic utf8->utf16le", "BM_Jex_CyrillicUtf8ToUtf16LE",
                   "BM_Glibc_CyrillicUtf8ToUtf16LE", "");
    reporter.Ratio("cjk utf8->utf16le", "BM_Jex_CjkUtf8ToUtf16LE", "BM_Glibc_CjkUtf8ToUtf16LE", "");
    reporter.Ratio("utf16le->utf8", "BM_Jex_Utf16LEToUtf8", "BM_Glibc_Utf16LEToUtf8", "");
    benchmark::Shutdown();
    return 0;
}
