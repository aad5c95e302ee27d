/* Character sets: glibc's iconv on valid text of every pair, own rules for the rest. */
#include "JEX_stdinc.h"
#include "stdlib/iconv_internal.h"
#include <gtest/gtest.h>
#include <iconv.h>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Bytes = std::string;

/* Bytes from hex pairs separated by blanks, H("C3 A9"); "|" starts another piece. */
std::vector<Bytes> Pieces(const char *hex)
{
    std::vector<Bytes> pieces(1);
    for (const char *p = hex; *p; p += p[2] ? 3 : 2) {
        pieces.back().push_back(
            static_cast<char>(std::strtoul(std::string(p, 2).c_str(), nullptr, 16)));
        if (p[2] == '|')
            pieces.emplace_back();
    }
    return pieces;
}
Bytes H(const char *hex)
{
    return Pieces(hex)[0];
}

struct Result {
    size_t code;
    Bytes out;
    size_t in_used;
};

/* One JEX_iconv call with an output buffer of `room` bytes. */
Result ConvertOnce(JEX_iconv_t cd, const Bytes &in, size_t room)
{
    std::vector<char> buf(room + 1);
    const char *ip = in.data();
    size_t il = in.size(), ol = room;
    char *op = buf.data();
    const size_t code = JEX_iconv(cd, &ip, &il, &op, &ol);
    EXPECT_EQ(static_cast<size_t>(ip - in.data()), in.size() - il);
    EXPECT_EQ(static_cast<size_t>(op - buf.data()), room - ol);
    return {code, Bytes(buf.data(), static_cast<size_t>(op - buf.data())), in.size() - il};
}

Result Convert(const char *to, const char *from, const Bytes &in, size_t room = 0)
{
    JEX_iconv_t cd = JEX_iconv_open(to, from);
    EXPECT_NE(cd, reinterpret_cast<JEX_iconv_t>(-1)) << to << " from " << from;
    Result r = ConvertOnce(cd, in, room ? room : in.size() * 4 + 16);
    JEX_iconv_close(cd);
    return r;
}

/* glibc as the reference; nothing when it refuses the input. */
std::optional<Bytes> Glibc(const char *to, const char *from, const Bytes &in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    Bytes out(in.size() * 4 + 16, '\0');
    char *ip = const_cast<char *>(in.data()), *op = out.data();
    size_t il = in.size(), ol = out.size();
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || il != 0)
        return std::nullopt;
    out.resize(out.size() - ol);
    return out;
}

struct Encoding {
    const char *name, *glibc; /* ours, and glibc's for the same bytes (fixed order) */
    Uint32 max;               /* largest code point it can carry */
};
const Encoding kEncodings[] = {
    {"ASCII", "ASCII", 0x7F},           {"ISO-8859-1", "ISO-8859-1", 0xFF},
    {"UTF-8", "UTF-8", 0x10FFFF},       {"UTF-16", "UTF-16BE", 0x10FFFF},
    {"UTF-16BE", "UTF-16BE", 0x10FFFF}, {"UTF-16LE", "UTF-16LE", 0x10FFFF},
    {"UTF-32", "UTF-32BE", 0x10FFFF},   {"UTF-32BE", "UTF-32BE", 0x10FFFF},
    {"UTF-32LE", "UTF-32LE", 0x10FFFF}, {"UCS-2", "UCS-2LE", 0xFFFF},
    {"UCS-4", "UCS-4LE", 0x10FFFF}};

/* The mark written before the output of the data-order encodings. */
Bytes Bom(const Encoding &e)
{
    return Bytes(e.name) == "UTF-16"   ? Bytes("\xFE\xFF")
           : Bytes(e.name) == "UTF-32" ? Bytes("\0\0\xFE\xFF", 4)
                                       : "";
}

/* Random text up to `max`, without NUL, surrogates or U+FFFE/U+FFFF. */
std::u32string RandomText(std::mt19937 &rng, size_t chars, Uint32 max)
{
    const Uint32 ranges[][2] = {
        {1, 0x7F}, {0x80, 0xFF}, {0x80, 0x7FF}, {0x800, 0xFFFD}, {0x10000, 0x10FFFF}};
    std::u32string s;
    while (s.size() < chars) {
        const Uint32 *r = ranges[rng() % 5];
        const Uint32 hi = std::min(r[1], max == 0xFFFF ? 0xFFFDu : max);
        for (int i = r[0] > hi ? -1 : int(rng() % (r[0] == 1 ? 40 : 12)); i >= 0; --i) {
            const Uint32 cp = r[0] + rng() % (hi - r[0] + 1);
            const bool bad = (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF;
            s.push_back(bad ? U'\u4E2D' : char32_t(cp));
        }
    }
    s.resize(chars);
    return s;
}

Bytes Utf32Le(const std::u32string &s)
{
    return Bytes(reinterpret_cast<const char *>(s.data()), s.size() * 4);
}

std::u32string DecodeAll(const char *from, const Bytes &in, size_t *code = nullptr)
{
    const Result r = Convert("UTF-32LE", from, in);
    if (code)
        *code = r.code;
    std::u32string s(r.out.size() / 4, U'\0');
    std::memcpy(s.data(), r.out.data(), s.size() * 4);
    return s;
}

TEST(IconvVsGlibc, EveryPairOnLargeRandomTextAndUnmarkedInput)
{
    std::mt19937 rng(1234);
    for (const Encoding &from : kEncodings) {
        for (const Encoding &to : kEncodings) {
            const std::u32string text = RandomText(rng, 20000, std::min(from.max, to.max));
            const auto input = Glibc(from.glibc, "UTF-32LE", Utf32Le(text));
            ASSERT_TRUE(input) << from.glibc;
            const auto expected = Glibc(to.glibc, from.glibc, *input);
            ASSERT_TRUE(expected) << to.glibc << " from " << from.glibc;
            const Bytes want = Bom(to) + *expected;
            const Result got = Convert(to.name, from.name, *input);
            ASSERT_EQ(got.code, text.size()) << to.name << " from " << from.name;
            ASSERT_EQ(got.in_used, input->size());
            ASSERT_TRUE(got.out == want) << to.name << " from " << from.name;
            /* The whole-string form gives the same text plus four zero bytes. */
            char *s = JEX_iconv_string(to.name, from.name, input->data(), input->size());
            ASSERT_NE(s, nullptr);
            EXPECT_TRUE(Bytes(s, want.size() + 4) == want + Bytes(4, '\0'))
                << to.name << " from " << from.name;
            std::free(s);
        }
    }
    /* Unmarked UTF-16/32 takes the mark's order; the mark is a character (glibc decodes). */
    rng.seed(99);
    std::u32string text = U"\uFEFF" + RandomText(rng, 5000, 0x10FFFF);
    for (const char *order : {"BE", "LE"}) {
        for (const char *base : {"UTF-16", "UTF-32"}) {
            const std::string fixed = std::string(base) + order;
            const auto input = Glibc(fixed.c_str(), "UTF-32LE", Utf32Le(text));
            const auto expected = Glibc("UTF-8", fixed.c_str(), input.value());
            const Result got = Convert("UTF-8", base, *input);
            EXPECT_EQ(got.code, text.size());
            EXPECT_TRUE(got.out == expected.value()) << fixed;
        }
    }
}

/* Input fed under 16 bytes at a time never takes the block paths: their reference. */
TEST(IconvBlocks, AgreeWithCharacterPathOnAnyInput)
{
    std::mt19937 rng(4242);
    /* Runs of the shapes the block paths look for, and defects among them. */
    const std::vector<Bytes> pieces =
        Pieces("61 62 63 64 65 66 67 68|D0 96 D0 B6 D1 8F CE B1|C3 A9|C0 80|C1 BF|C2|80|E2 82 AC|"
               "F0 9F 98 80|FF|00 00 00 00|41 00 42 00|00 D8|00 DC|DF BF DF BF|C2 41|ED A0 80|"
               "EF BF BE|E0 80 80|E0 A0 80|EF BF BD|ED 9F BF|E0 9F BF|E4 B8 AD E6 96 87|E2 41 42");
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1), room(1, 70);
    std::uniform_int_distribution<int> repeat(1, 12);
    for (int round = 0; round < 12; ++round) {
        Bytes input;
        while (input.size() < 3000) {
            const Bytes &p = pieces[pick(rng)];
            for (int r = repeat(rng); r > 0; --r)
                input += p;
        }
        for (const Encoding &from : kEncodings) {
            if (!Bom(from).empty())
                continue; /* order decided from the first slice only */
            for (const Encoding &to : kEncodings) {
                const Result whole = Convert(to.name, from.name, input, input.size() * 4 + 64);
                JEX_iconv_t cd = JEX_iconv_open(to.name, from.name);
                Bytes sliced, pending;
                size_t fed = 0, code = 0;
                while (fed < input.size()) {
                    const size_t take = std::min<size_t>(15 - pending.size(), input.size() - fed);
                    pending += input.substr(fed, take);
                    fed += take;
                    do { /* output in pieces of random small sizes */
                        const Result r = ConvertOnce(cd, pending, room(rng));
                        sliced += r.out;
                        pending.erase(0, r.in_used);
                        code = r.code;
                    } while (code == JEX_ICONV_E2BIG);
                }
                JEX_iconv_close(cd);
                ASSERT_TRUE(sliced == whole.out)
                    << to.name << " from " << from.name << " round " << round;
                ASSERT_EQ(whole.in_used, input.size() - pending.size());
                ASSERT_EQ(whole.code == JEX_ICONV_EINVAL, code == JEX_ICONV_EINVAL);
            }
        }
    }
}

/* Defects glibc refuses outright (valid text is the oracle tests' business). */
TEST(IconvDecode, InvalidCutInputAndByteOrderMarks)
{
    const struct {
        const char *from, *hex;
        std::u32string want;
    } cases[] = {
        /* stray continuation bytes and FE/FF: one U+FFFD each */
        {"UTF-8", "80 BF 61 FE FF", U"\uFFFD\uFFFDa\uFFFD\uFFFD"},
        /* overlong forms, whole sequence consumed */
        {"UTF-8", "C0 80 C1 BF 78 E0 80 80 F0 8F BF BF", U"\uFFFD\uFFFDx\uFFFD\uFFFD"},
        /* surrogates, U+FFFE, U+FFFF, past U+10FFFF */
        {"UTF-8", "ED A0 80 ED BF BF EF BF BE EF BF BF EF BF BD",
         U"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"UTF-8", "F4 90 80 80 61", U"\uFFFDa"},
        /* five- and six-byte forms are read whole and rejected */
        {"UTF-8", "F8 88 80 80 80 FC 84 80 80 80 80 7A", U"\uFFFD\uFFFDz"},
        /* a byte that cannot continue starts the next character, even past the input */
        {"UTF-8", "E2 82 41 C3 C3 A9", U"\uFFFDA\uFFFD\u00E9"},
        {"UTF-8", "F0 9F 98 62", U"\uFFFDb"},
        {"UTF-8", "F0 41", U"\uFFFDA"},
        /* a lone low surrogate; a high one without its partner costs only itself */
        {"UTF-16LE", "00 DC 61 00", U"\uFFFDa"},
        {"UTF-16LE", "00 D8 61 00", U"\uFFFDa"},
        {"UTF-16BE", "D8 00 D8 3D DE 00", U"\uFFFD\U0001F600"},
        {"ASCII", "61 E9 62", U"a\uFFFDb"},
    };
    for (const auto &c : cases) {
        size_t code = 0;
        EXPECT_EQ(DecodeAll(c.from, H(c.hex), &code), c.want) << c.from << " " << c.hex;
        EXPECT_EQ(code, c.want.size()) << c.hex;
    }
    /* Input ending inside a character: -4, pointers after the whole ones. */
    const struct {
        const char *from, *hex;
        size_t whole;
    } cuts[] = {{"UTF-8", "61 62 E2 82", 2},
                {"UTF-8", "C3", 0},
                {"UTF-8", "78 F0 9F 98", 1},
                {"UTF-16LE", "41 00 42", 2},
                {"UTF-16BE", "D8 3D", 0},
                {"UTF-16BE", "D8 3D DE", 0},
                {"UTF-32LE", "41 00 00 00 42 00 00", 4},
                {"UCS-2", "41", 0},
                {"UCS-4", "41 00 00", 0}};
    for (const auto &c : cuts) {
        const Result r = Convert("UTF-8", c.from, H(c.hex));
        EXPECT_EQ(r.code, JEX_ICONV_EINVAL) << c.from << " " << c.hex;
        EXPECT_EQ(r.in_used, c.whole) << c.from << " " << c.hex;
    }
    /* The mark is written once per descriptor. */
    JEX_iconv_t cd = JEX_iconv_open("UTF-16", "UTF-8");
    EXPECT_EQ(ConvertOnce(cd, "A", 16).out, H("FE FF 00 41"));
    EXPECT_EQ(ConvertOnce(cd, "B", 16).out, H("00 42"));
    JEX_iconv_close(cd);
    /* No room for the mark: nothing written, and it is still owed. */
    cd = JEX_iconv_open("UTF-32", "UTF-8");
    Result r = ConvertOnce(cd, "A", 3);
    EXPECT_EQ(r.code, JEX_ICONV_E2BIG);
    EXPECT_EQ(r.out.size() + r.in_used, 0u);
    r = ConvertOnce(cd, "A", 7);
    EXPECT_EQ(r.code, JEX_ICONV_E2BIG);
    EXPECT_EQ(r.out, H("00 00 FE FF"));
    EXPECT_EQ(ConvertOnce(cd, "A", 8).out, H("00 00 00 41"));
    JEX_iconv_close(cd);
    /* Input order: the first mark anywhere (else big-endian); the mark is a character. */
    EXPECT_EQ(DecodeAll("UTF-16", H("FF FE 41 00")), U"\uFEFFA");
    EXPECT_EQ(DecodeAll("UTF-16", H("FE FF 00 41")), U"\uFEFFA");
    EXPECT_EQ(DecodeAll("UTF-16", H("00 41")), U"A");
    EXPECT_EQ(DecodeAll("UTF-16", H("41 00 FF FE")), U"A\uFEFF");
    EXPECT_EQ(DecodeAll("UTF-32", H("41 00 00 00 FF FE 00 00")), U"A\uFEFF");
    EXPECT_EQ(DecodeAll("UTF-32", H("00 00 00 41")), U"A");
    /* ...decided once for the descriptor's life. */
    cd = JEX_iconv_open("UTF-8", "UTF-16");
    EXPECT_EQ(ConvertOnce(cd, H("FF FE 61 00"), 16).out, H("EF BB BF 61"));
    EXPECT_EQ(ConvertOnce(cd, H("FE FF 62 00"), 16).out, H("EF BF BE 62")); /* U+FFFE */
    JEX_iconv_close(cd);
}

TEST(IconvEncode, NarrowTargetsReplacementAndUcsValues)
{
    const struct {
        const char *to, *from, *in, *out;
    } cases[] = {
        {"ASCII", "UTF-8", "C3 A9 61", "3F 61"},
        {"ISO-8859-1", "UTF-8", "E2 82 AC C3 BF", "3F FF"},
        {"UCS-2", "UTF-8", "F0 9F 98 80 41", "FD FF 41 00"},
        {"UTF-8", "UTF-8", "C0 80", "EF BF BD"},
        /* UTF never carries surrogates or values past U+10FFFF: they become U+FFFD. */
        {"UTF-8", "UTF-32LE", "00 D8 00 00 00 00 11 00", "EF BF BD EF BF BD"},
        {"UTF-16LE", "UCS-4", "00 D8 00 00 00 00 11 00", "FD FF FD FF"},
        {"UCS-4", "UTF-32LE", "00 D8 00 00 00 00 11 00", "FD FF 00 00 FD FF 00 00"},
        {"UTF-8", "UCS-2", "00 D8", "EF BF BD"},
        {"UTF-8", "UCS-4", "FF FF FF 7F", "EF BF BD"},
        /* so a UTF-8 sequence past U+10FFFF is U+FFFD by the time UCS-4 gets it */
        {"UCS-4", "UTF-8", "F4 90 80 80 F4 8F BF BF", "FD FF 00 00 FF FF 10 00"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Convert(c.to, c.from, H(c.in)).out, H(c.out)) << c.to << " from " << c.in;
    /* UCS-2/4 carry any value they can hold as it is, surrogates included. */
    std::mt19937 rng(31);
    std::vector<Uint32> values = {0xD800, 0xDBFF, 0xDC00,   0xDFFF,
                                  0xFFFE, 0xFFFF, 0x110000, 0x7FFFFFFF};
    for (int i = 0; i < 5000; ++i)
        values.push_back(rng() >> (1 + rng() % 31));
    Bytes ucs4, ucs2, want2, back4;
    for (Uint32 v : values) {
        const Uint16 u = static_cast<Uint16>(v), w = v > 0xFFFF ? 0xFFFD : u;
        const Uint32 w4 = w;
        ucs4.append(reinterpret_cast<const char *>(&v), 4);
        ucs2.append(reinterpret_cast<const char *>(&u), 2);
        want2.append(reinterpret_cast<const char *>(&w), 2);
        back4.append(reinterpret_cast<const char *>(&w4), 4);
    }
    EXPECT_TRUE(Convert("UCS-4", "UCS-4", ucs4).out == ucs4);
    EXPECT_TRUE(Convert("UCS-2", "UCS-4", ucs4).out == want2);
    EXPECT_TRUE(Convert("UCS-4", "UCS-2", want2).out == back4);
    EXPECT_TRUE(Convert("UCS-2", "UCS-2", ucs2).out == ucs2);
    EXPECT_EQ(Convert("UCS-4", "UCS-4", H("00 00 00 80 FF FF FF FF")).out,
              H("FD FF 00 00 FD FF 00 00"));
}

TEST(IconvCalls, ArgumentsNamesLocaleAndWholeStrings)
{
    const JEX_iconv_t invalid = reinterpret_cast<JEX_iconv_t>(-1);
    JEX_iconv_t cd = JEX_iconv_open("UTF-8", "UTF-16LE");
    char out[8];
    char *op = out;
    size_t ol = sizeof out, il = 2, zero = 0;
    const char *const start = "a\0";
    const char *ip = start, *null_in = nullptr;
    EXPECT_EQ(JEX_iconv(cd, nullptr, &il, &op, &ol), 0u);
    EXPECT_EQ(JEX_iconv(cd, &null_in, &il, &op, &ol), 0u);
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, nullptr, &ol), JEX_ICONV_E2BIG);
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, &op, nullptr), JEX_ICONV_E2BIG);
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, &op, &zero), JEX_ICONV_E2BIG);
    EXPECT_EQ(JEX_iconv(cd, &ip, nullptr, &op, &ol), JEX_ICONV_ERROR);
    EXPECT_EQ(JEX_iconv(nullptr, &ip, &il, &op, &ol), JEX_ICONV_ERROR);
    EXPECT_EQ(JEX_iconv(invalid, &ip, &il, &op, &ol), JEX_ICONV_ERROR);
    EXPECT_TRUE(ip == start && il == 2 && op == out);   /* untouched so far */
    EXPECT_EQ(JEX_iconv(cd, &ip, &zero, &op, &ol), 0u); /* no input: nothing to do */
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, &op, &ol), 1u);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(JEX_iconv_close(cd), 0);
    EXPECT_EQ(JEX_iconv_close(nullptr), 0);
    EXPECT_EQ(JEX_iconv_close(invalid), 0);
    for (const char *bad : {"EBCDIC", "UTF-7", "UTF-8 "})
        EXPECT_EQ(JEX_iconv_open("UTF-8", bad), invalid) << bad;
    const std::pair<const char *, Uint32> names[] = {
        {"ascii", JEX_ENC_ASCII},       {"Us-Ascii", JEX_ENC_ASCII},   {"8859-1", JEX_ENC_LATIN1},
        {"iso-8859-1", JEX_ENC_LATIN1}, {"utf8", JEX_ENC_UTF8},        {"utf-16", JEX_ENC_UTF16},
        {"UTF16be", JEX_ENC_UTF16BE},   {"utf-16le", JEX_ENC_UTF16LE}, {"UTF32", JEX_ENC_UTF32},
        {"utf-32be", JEX_ENC_UTF32BE},  {"UTF32LE", JEX_ENC_UTF32LE},  {"ucs2", JEX_ENC_UCS2},
        {"Ucs-4", JEX_ENC_UCS4}};
    for (const auto &[name, id] : names) {
        cd = JEX_iconv_open(name, "UTF-8");
        ASSERT_NE(cd, invalid) << name;
        EXPECT_EQ(cd->dst_fmt, id) << name;
        JEX_iconv_close(cd);
    }
    /* The locale codeset, from the first of the variables that is set. */
    const char *vars[] = {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> saved;
    for (const char *v : vars) {
        saved.push_back(std::getenv(v) ? std::optional<std::string>(std::getenv(v)) : std::nullopt);
        unsetenv(v);
    }
    const std::string longname = "xx." + std::string(100, 'Q'), cut(63, 'Q');
    const char *steps[][3] = {{"LANG", "", "ASCII"}, /* nothing set */
                              {"LANG", "C", "ASCII"},
                              {"LANG", "de_DE.ISO-8859-1@euro", "ISO-8859-1"},
                              {"LC_CTYPE", "en_US.UTF-8", "UTF-8"},
                              {"LC_ALL", "", "UTF-8"}, /* empty counts as unset */
                              {"LC_ALL", "POSIXISH", "POSIXISH"},
                              {"LC_ALL", longname.c_str(), cut.c_str()}}; /* cut to the buffer */
    for (const auto &st : steps) {
        setenv(st[0], st[1], 1);
        char buf[jex::stdlib::kLocaleCodesetSize];
        jex::stdlib::GetLocaleCodeset(buf);
        EXPECT_STREQ(buf, st[2]) << st[1];
    }
    /* Empty names use the locale; an unknown one fails, iconv_string falls back to UTF-8. */
    setenv("LC_ALL", "fr_FR.iso-8859-1", 1);
    cd = JEX_iconv_open("", nullptr);
    ASSERT_NE(cd, invalid);
    EXPECT_TRUE(cd->src_fmt == JEX_ENC_LATIN1 && cd->dst_fmt == JEX_ENC_LATIN1);
    JEX_iconv_close(cd);
    char *s = JEX_iconv_string("UTF-8", "", "\xE9", 1);
    EXPECT_STREQ(s, "\xC3\xA9");
    std::free(s);
    setenv("LC_ALL", "klingon", 1);
    EXPECT_EQ(JEX_iconv_open("", "UTF-8"), invalid);
    s = JEX_iconv_string("", "UTF-16LE", "h\0i\0", 4);
    EXPECT_STREQ(s, "hi");
    std::free(s);
    for (size_t i = 0; i < saved.size(); ++i)
        saved[i] ? setenv(vars[i], saved[i]->c_str(), 1) : unsetenv(vars[i]);
    /* The four-byte terminator: alone when only a mark is owed; before a cut character. */
    for (const auto &[to, in, want] :
         {std::tuple{"UTF-16", "", "00 00 00 00"}, {"UTF-8", "61 62 E2 82", "61 62 00 00 00 00"}}) {
        const Bytes bytes = H(in), expected = H(want);
        char *s = JEX_iconv_string(to, "UTF-8", bytes.data(), bytes.size());
        ASSERT_NE(s, nullptr) << to;
        EXPECT_EQ(Bytes(s, expected.size()), expected) << to;
        std::free(s);
    }
    EXPECT_EQ(JEX_iconv_string("UTF-8", "NOPE", "a", 1), nullptr);
    EXPECT_EQ(JEX_iconv_string("UTF-8", "UTF-8", nullptr, 3), nullptr);
}

/* Growth of the buffer is covered by the oracle test (ASCII to UTF-32). */
}  // namespace
