/* The character-set converter: cross-checked against glibc's iconv on large
   valid texts for every pair of encodings, and checked against its own rules
   for invalid input, byte-order marks, full output buffers and names. */
#include "JEX_stdinc.h"
#include "stdlib/iconv_internal.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::string;

/* Bytes from hex pairs separated by blanks: H("C3 A9"). */
Bytes H(const char *hex)
{
    Bytes b;
    for (const char *p = hex; *p; p += p[2] ? 3 : 2)
        b.push_back(static_cast<char>(std::strtoul(std::string(p, 2).c_str(), nullptr, 16)));
    return b;
}

/* Several byte strings in hex, separated by "|". */
std::vector<Bytes> Pieces(const std::string &hex)
{
    std::vector<Bytes> pieces;
    for (size_t start = 0, bar; start <= hex.size(); start = bar + 1) {
        bar = std::min(hex.find('|', start), hex.size());
        pieces.push_back(H(hex.substr(start, bar - start).c_str()));
    }
    return pieces;
}

Bytes B(std::initializer_list<int> v)
{
    Bytes b;
    for (int c : v)
        b.push_back(static_cast<char>(c));
    return b;
}

std::string Hex(const Bytes &b)
{
    std::string s;
    char tmp[4];
    for (unsigned char c : b) {
        std::snprintf(tmp, sizeof tmp, "%02X ", c);
        s += tmp;
    }
    return s;
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
    size_t il = in.size();
    char *op = buf.data();
    size_t ol = room;
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

Bytes Utf8(const char *s)
{
    return Bytes(s);
}

/* ---- glibc as the reference ---- */

std::optional<Bytes> Glibc(const char *to, const char *from, const Bytes &in)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    Bytes out(in.size() * 4 + 16, '\0');
    char *ip = const_cast<char *>(in.data());
    size_t il = in.size();
    char *op = out.data();
    size_t ol = out.size();
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    iconv_close(cd);
    if (r == static_cast<size_t>(-1) || il != 0)
        return std::nullopt;
    out.resize(out.size() - ol);
    return out;
}

struct Encoding {
    const char *name;  /* ours */
    const char *glibc; /* glibc's name for the same bytes (fixed order) */
    Uint32 max;        /* largest code point it can carry */
    const char *bom;   /* mark written before the output, for the data-order ones */
    size_t bom_len;
};

const Encoding kEncodings[] = {
    {"ASCII", "ASCII", 0x7F, "", 0},
    {"ISO-8859-1", "ISO-8859-1", 0xFF, "", 0},
    {"UTF-8", "UTF-8", 0x10FFFF, "", 0},
    {"UTF-16", "UTF-16BE", 0x10FFFF, "\xFE\xFF", 2},
    {"UTF-16BE", "UTF-16BE", 0x10FFFF, "", 0},
    {"UTF-16LE", "UTF-16LE", 0x10FFFF, "", 0},
    {"UTF-32", "UTF-32BE", 0x10FFFF, "\0\0\xFE\xFF", 4},
    {"UTF-32BE", "UTF-32BE", 0x10FFFF, "", 0},
    {"UTF-32LE", "UTF-32LE", 0x10FFFF, "", 0},
    {"UCS-2", "UCS-2LE", 0xFFFF, "", 0},
    {"UCS-4", "UCS-4LE", 0x10FFFF, "", 0},
};

/* Random text that is mostly ASCII with runs of wider characters, all below
   `max`, no NUL, no surrogates and no U+FFFE/U+FFFF. */
std::u32string RandomText(std::mt19937 &rng, size_t chars, Uint32 max)
{
    std::u32string s;
    std::uniform_int_distribution<int> run(0, 24);
    std::uniform_int_distribution<int> kind(0, 3);
    while (s.size() < chars) {
        for (int i = run(rng); i > 0; --i)
            s.push_back(static_cast<char32_t>(std::uniform_int_distribution<Uint32>(1, 0x7F)(rng)));
        const int k = kind(rng);
        Uint32 lo = 0x80, hi = 0x7FF;
        if (k == 1)
            lo = 0x800, hi = 0xFFFD;
        else if (k == 2)
            lo = 0x10000, hi = 0x10FFFF;
        else if (k == 3)
            lo = 0x80, hi = 0xFF;
        if (max <= 0x7F)
            continue;
        hi = std::min(hi, max == 0xFFFF ? 0xFFFDu : max);
        lo = std::min(lo, hi);
        for (int i = run(rng) / (k == 0 ? 1 : 3); i > 0; --i) {
            Uint32 cp = std::uniform_int_distribution<Uint32>(lo, hi)(rng);
            if ((cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF)
                cp = 0x4E2D;
            s.push_back(static_cast<char32_t>(cp));
        }
    }
    s.resize(chars);
    return s;
}

Bytes Utf32Le(const std::u32string &s)
{
    Bytes b;
    for (char32_t c : s)
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<char>((c >> (8 * i)) & 0xFF));
    return b;
}

TEST(IconvVsGlibc, EveryPairOnLargeRandomText)
{
    std::mt19937 rng(1234);
    for (const Encoding &from : kEncodings) {
        for (const Encoding &to : kEncodings) {
            const Uint32 max = std::min(from.max, to.max);
            const std::u32string text = RandomText(rng, 20000, max);
            const auto input = Glibc(from.glibc, "UTF-32LE", Utf32Le(text));
            ASSERT_TRUE(input) << from.glibc;
            const auto expected = Glibc(to.glibc, from.glibc, *input);
            ASSERT_TRUE(expected) << to.glibc << " from " << from.glibc;
            const Bytes want = Bytes(to.bom, to.bom_len) + *expected;

            const Result got = Convert(to.name, from.name, *input);
            ASSERT_EQ(got.code, text.size()) << to.name << " from " << from.name;
            ASSERT_EQ(got.in_used, input->size());
            ASSERT_TRUE(got.out == want) << to.name << " from " << from.name;

            /* The whole-string form gives the same text plus four zero bytes. */
            char *s = JEX_iconv_string(to.name, from.name, input->data(), input->size());
            ASSERT_NE(s, nullptr);
            EXPECT_EQ(std::memcmp(s, want.data(), want.size()), 0)
                << to.name << " from " << from.name;
            EXPECT_EQ(std::memcmp(s + want.size(), "\0\0\0\0", 4), 0);
            std::free(s);
        }
    }
}

TEST(IconvVsGlibc, UnmarkedUtf16And32InputTakesOrderFromTheMark)
{
    std::mt19937 rng(99);
    /* A leading U+FEFF is decoded like any character, so glibc's fixed-order
       decoders (which keep it) are the reference. */
    std::u32string text = U"\uFEFF" + RandomText(rng, 5000, 0x10FFFF);
    for (const char *order : {"BE", "LE"}) {
        for (const char *base : {"UTF-16", "UTF-32"}) {
            const std::string fixed = std::string(base) + order;
            const auto input = Glibc(fixed.c_str(), "UTF-32LE", Utf32Le(text));
            ASSERT_TRUE(input);
            const auto expected = Glibc("UTF-8", fixed.c_str(), *input);
            ASSERT_TRUE(expected);
            const Result got = Convert("UTF-8", base, *input);
            EXPECT_EQ(got.code, text.size());
            EXPECT_TRUE(got.out == *expected) << fixed;
        }
    }
}

/* Input handed over less than 16 bytes at a time never reaches the block
   paths, so it is the character-by-character reference for them, on valid
   and invalid input alike; output in small pieces must add up the same. */
TEST(IconvBlocks, AgreeWithCharacterPathOnAnyInput)
{
    std::mt19937 rng(4242);
    /* Byte soup with long runs of the shapes the block paths look for:
       ASCII, two-byte sequences, wide units; and defects among them. */
    const std::vector<Bytes> pieces =
        Pieces("61 62 63 64 65 66 67 68|D0 96 D0 B6 D1 8F CE B1|C3 A9|C0 80|C1 BF|C2|80|E2 82 AC|"
               "F0 9F 98 80|FF|00 00 00 00|41 00 42 00|00 D8|00 DC|DF BF DF BF|C2 41|ED A0 80|"
               "EF BF BE|E0 80 80|E0 A0 80|EF BF BD|ED 9F BF|E0 9F BF|E4 B8 AD E6 96 87|E2 41 42");
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> repeat(1, 12);
    std::uniform_int_distribution<size_t> room(1, 70);
    for (int round = 0; round < 12; ++round) {
        Bytes input;
        while (input.size() < 3000) {
            const Bytes &p = pieces[pick(rng)];
            for (int r = repeat(rng); r > 0; --r)
                input += p;
        }
        for (const Encoding &from : kEncodings) {
            if (from.bom_len != 0)
                continue; /* order decided from the first slice only */
            for (const Encoding &to : kEncodings) {
                const Result whole = Convert(to.name, from.name, input, input.size() * 4 + 64);
                JEX_iconv_t cd = JEX_iconv_open(to.name, from.name);
                Bytes sliced;
                Bytes pending;
                size_t fed = 0;
                size_t code = 0;
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

TEST(IconvResume, FullOutputLeavesPointersAfterLastWholeCharacter)
{
    /* "a" + U+00E9 + U+20AC + U+1F600 to UTF-8 with every room size. */
    const Bytes in = Utf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    const size_t ends[] = {0, 1, 3, 6, 10};
    for (size_t room = 1; room < 10; ++room) {
        const Result r = Convert("UTF-8", "UTF-8", in, room);
        EXPECT_EQ(r.code, JEX_ICONV_E2BIG) << room;
        size_t whole = 0;
        for (size_t e : ends)
            if (e <= room)
                whole = e;
        EXPECT_EQ(r.in_used, whole) << room;
        EXPECT_EQ(r.out, in.substr(0, whole)) << room;
    }
    /* A 2-byte character into 1 byte of room: nothing moves. */
    const Result r = Convert("UTF-8", "UTF-8", Utf8("\xC3\xA9"), 1);
    EXPECT_EQ(r.code, JEX_ICONV_E2BIG);
    EXPECT_EQ(r.in_used, 0u);
    EXPECT_TRUE(r.out.empty());

    /* A surrogate pair needs all four bytes of room. */
    const Result p = Convert("UTF-16LE", "UTF-8", Utf8("A\xF0\x9F\x98\x80"), 5);
    EXPECT_EQ(p.code, JEX_ICONV_E2BIG);
    EXPECT_EQ(p.out, B({'A', 0}));
    EXPECT_EQ(p.in_used, 1u);
}

/* ---- the decoding rules for invalid input ---- */

struct Case {
    const char *from;
    Bytes in;
    std::u32string want; /* decoded code points */
};

std::u32string DecodeAll(const char *from, const Bytes &in, size_t *code = nullptr)
{
    const Result r = Convert("UTF-32LE", from, in);
    if (code)
        *code = r.code;
    std::u32string s;
    for (size_t i = 0; i + 4 <= r.out.size(); i += 4) {
        Uint32 v;
        std::memcpy(&v, r.out.data() + i, 4);
        s.push_back(static_cast<char32_t>(v));
    }
    return s;
}

TEST(IconvDecode, Utf8Rules)
{
    const std::pair<const char *, std::u32string> cases[] = {
        {"C3 A9", U"\u00E9"},
        {"E2 82 AC E0 A4 85", U"\u20AC\u0905"},
        {"F0 9F 98 80", U"\U0001F600"},
        /* stray continuation bytes and FE/FF: one U+FFFD each */
        {"80 BF 61 FE FF", U"\uFFFD\uFFFDa\uFFFD\uFFFD"},
        /* overlong forms, whole sequence consumed */
        {"C0 80 C1 BF 78", U"\uFFFD\uFFFDx"},
        {"E0 80 80 F0 8F BF BF", U"\uFFFD\uFFFD"},
        /* surrogates, U+FFFE, U+FFFF, past U+10FFFF */
        {"ED A0 80 ED BF BF", U"\uFFFD\uFFFD"},
        {"EF BF BE EF BF BF EF BF BD", U"\uFFFD\uFFFD\uFFFD"},
        {"F4 90 80 80 61", U"\uFFFDa"},
        /* five- and six-byte forms are read whole and rejected */
        {"F8 88 80 80 80 FC 84 80 80 80 80 7A", U"\uFFFD\uFFFDz"},
        /* a byte that cannot continue ends the character and starts the next, */
        {"E2 82 41 C3 C3 A9", U"\uFFFDA\uFFFD\u00E9"},
        {"F0 9F 98 62", U"\uFFFDb"},
        /* even when the announced length runs past the end of the input */
        {"F0 41", U"\uFFFDA"},
    };
    for (const auto &[hex, want] : cases) {
        size_t code = 0;
        EXPECT_EQ(DecodeAll("UTF-8", H(hex), &code), want) << hex;
        EXPECT_EQ(code, want.size()) << hex;
    }
}

TEST(IconvDecode, InputEndingInsideACharacter)
{
    struct Cut {
        const char *from;
        Bytes in;
        size_t whole; /* bytes of whole characters before the cut */
    };
    const Cut cuts[] = {
        {"UTF-8", Utf8("ab\xE2\x82"), 2},
        {"UTF-8", Utf8("\xC3"), 0},
        {"UTF-8", Utf8("x\xF0\x9F\x98"), 1},
        {"UTF-16LE", B({'A', 0, 'B'}), 2},
        {"UTF-16BE", B({0xD8, 0x3D}), 0}, /* high surrogate, partner missing */
        {"UTF-16BE", B({0xD8, 0x3D, 0xDE}), 0},
        {"UTF-32LE", B({'A', 0, 0, 0, 'B', 0, 0}), 4},
        {"UCS-2", B({'A'}), 0},
        {"UCS-4", B({'A', 0, 0}), 0},
    };
    for (const Cut &c : cuts) {
        const Result r = Convert("UTF-8", c.from, c.in);
        EXPECT_EQ(r.code, JEX_ICONV_EINVAL) << c.from << " " << Hex(c.in);
        EXPECT_EQ(r.in_used, c.whole) << c.from << " " << Hex(c.in);
    }
}

TEST(IconvDecode, Utf16AndFixedWidthRules)
{
    const Case cases[] = {
        {"UTF-16BE", B({0xD8, 0x3D, 0xDE, 0x00}), U"\U0001F600"},
        {"UTF-16LE", B({0x3D, 0xD8, 0x00, 0xDE}), U"\U0001F600"},
        /* a lone low surrogate */
        {"UTF-16LE", B({0x00, 0xDC, 'a', 0}), U"\uFFFDa"},
        /* a high surrogate without its partner costs only itself */
        {"UTF-16LE", B({0x00, 0xD8, 'a', 0}), U"\uFFFDa"},
        {"UTF-16BE", B({0xD8, 0x00, 0xD8, 0x3D, 0xDE, 0x00}), U"\uFFFD\U0001F600"},
        {"UTF-32BE", B({0, 0x01, 0xF6, 0x00}), U"\U0001F600"},
        {"UCS-2", B({0xAC, 0x20}), U"\u20AC"},
        {"UCS-4", B({0xAC, 0x20, 0, 0}), U"\u20AC"},
        /* bytes above 0x7F are not ASCII */
        {"ASCII", B({'a', 0xE9, 'b'}), U"a\uFFFDb"},
        {"ISO-8859-1", B({'a', 0xE9, 0xFF}), U"a\u00E9\u00FF"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(DecodeAll(c.from, c.in), c.want) << c.from << " " << Hex(c.in);
}

/* ---- encoding ---- */

TEST(IconvEncode, NarrowTargetsAndReplacement)
{
    EXPECT_EQ(Convert("ISO-8859-1", "UTF-8", Utf8("\xC3\xA9")).out, B({0xE9}));
    EXPECT_EQ(Convert("ASCII", "UTF-8",
                      Utf8("\xC3\xA9"
                           "a"))
                  .out,
              "?a");
    EXPECT_EQ(Convert("ISO-8859-1", "UTF-8", Utf8("\xE2\x82\xAC\xC3\xBF")).out, B({'?', 0xFF}));
    EXPECT_EQ(Convert("UTF-16BE", "UTF-8", Utf8("\xF0\x9F\x98\x80")).out,
              B({0xD8, 0x3D, 0xDE, 0x00}));
    EXPECT_EQ(Convert("UCS-2", "UTF-8",
                      Utf8("\xF0\x9F\x98\x80"
                           "A"))
                  .out,
              B({0xFD, 0xFF, 'A', 0}));
    EXPECT_EQ(Convert("UTF-8", "UTF-8", Utf8("\xC0\x80")).out, Utf8("\xEF\xBF\xBD"));

    /* Values no Unicode text may hold never reach UTF output, nor come from
       UTF input: surrogates and values past U+10FFFF become U+FFFD. */
    const Bytes lone = B({0x00, 0xD8, 0, 0, 0x00, 0x00, 0x11, 0});
    EXPECT_EQ(Convert("UTF-8", "UTF-32LE", lone).out, Utf8("\xEF\xBF\xBD\xEF\xBF\xBD"));
    EXPECT_EQ(Convert("UTF-16LE", "UCS-4", lone).out, B({0xFD, 0xFF, 0xFD, 0xFF}));
    EXPECT_EQ(Convert("UCS-4", "UTF-32LE", lone).out, B({0xFD, 0xFF, 0, 0, 0xFD, 0xFF, 0, 0}));
    EXPECT_EQ(Convert("UTF-8", "UCS-2", B({0x00, 0xD8})).out, Utf8("\xEF\xBF\xBD"));
    EXPECT_EQ(Convert("UTF-8", "UCS-4", B({0xFF, 0xFF, 0xFF, 0x7F})).out, Utf8("\xEF\xBF\xBD"));
    /* ...so a UTF-8 sequence past U+10FFFF is U+FFFD by the time UCS-4 gets it. */
    EXPECT_EQ(Convert("UCS-4", "UTF-8", Utf8("\xF4\x90\x80\x80\xF4\x8F\xBF\xBF")).out,
              B({0xFD, 0xFF, 0, 0, 0xFF, 0xFF, 0x10, 0}));
}

/* UCS-2 and UCS-4 are plain codes: every value they can hold goes through
   between them as it is, surrogates included; only the top bit of UCS-4
   and values past 0xFFFF for UCS-2 are replaced. */
TEST(IconvEncode, UcsPassesEveryValueThrough)
{
    std::mt19937 rng(31);
    std::vector<Uint32> values = {0xD800, 0xDBFF, 0xDC00,   0xDFFF,
                                  0xFFFE, 0xFFFF, 0x110000, 0x7FFFFFFF};
    for (int i = 0; i < 5000; ++i)
        values.push_back(rng() >> (1 + rng() % 31));
    Bytes ucs4;
    for (Uint32 v : values)
        ucs4.append(reinterpret_cast<const char *>(&v), 4);
    /* glibc's UCS-4 agrees: the same bytes come back. */
    const auto glibc = Glibc("UCS-4LE", "UCS-4LE", ucs4);
    ASSERT_TRUE(glibc);
    EXPECT_TRUE(*glibc == ucs4);
    EXPECT_TRUE(Convert("UCS-4", "UCS-4", ucs4).out == ucs4);

    Bytes ucs2, want2, back4;
    for (Uint32 v : values) {
        const Uint16 u = static_cast<Uint16>(v), w = v > 0xFFFF ? 0xFFFD : u;
        const Uint32 w4 = w;
        ucs2.append(reinterpret_cast<const char *>(&u), 2);
        want2.append(reinterpret_cast<const char *>(&w), 2);
        back4.append(reinterpret_cast<const char *>(&w4), 4);
    }
    EXPECT_TRUE(Convert("UCS-2", "UCS-4", ucs4).out == want2);
    EXPECT_TRUE(Convert("UCS-4", "UCS-2", want2).out == back4);
    EXPECT_TRUE(Convert("UCS-2", "UCS-2", ucs2).out == ucs2);
    EXPECT_EQ(Convert("UCS-4", "UCS-4", B({0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF, 0xFF})).out,
              B({0xFD, 0xFF, 0, 0, 0xFD, 0xFF, 0, 0}));

    /* A surrogate read from UCS-4 is refused by every UTF target, as glibc
       refuses it; here it becomes U+FFFD. */
    const Bytes surrogate = B({0x00, 0xDC, 0, 0});
    for (const char *to : {"UTF-8", "UTF-16LE", "UTF-32BE"}) {
        EXPECT_FALSE(Glibc(to, "UCS-4LE", surrogate)) << to;
        EXPECT_TRUE(Convert(to, "UCS-4", surrogate).out == Convert(to, "UTF-8", "\xEF\xBF\xBD").out)
            << to;
    }
}

TEST(IconvEncode, ByteOrderMarks)
{
    /* Unmarked output: a big-endian mark, then big-endian data. */
    EXPECT_EQ(Convert("UTF-16", "UTF-8", "A").out, B({0xFE, 0xFF, 0x00, 0x41}));
    EXPECT_EQ(Convert("UTF-32", "UTF-8", "A").out, B({0, 0, 0xFE, 0xFF, 0, 0, 0, 0x41}));

    /* The mark is written once per descriptor. */
    JEX_iconv_t cd = JEX_iconv_open("UTF-16", "UTF-8");
    EXPECT_EQ(ConvertOnce(cd, "A", 16).out, B({0xFE, 0xFF, 0x00, 0x41}));
    EXPECT_EQ(ConvertOnce(cd, "B", 16).out, B({0x00, 0x42}));
    EXPECT_EQ(cd->dst_fmt, JEX_ENC_UTF16BE);
    JEX_iconv_close(cd);

    /* No room for the mark: nothing written, and it is still owed. */
    cd = JEX_iconv_open("UTF-32", "UTF-8");
    Result r = ConvertOnce(cd, "A", 3);
    EXPECT_EQ(r.code, JEX_ICONV_E2BIG);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(r.in_used, 0u);
    r = ConvertOnce(cd, "A", 7);
    EXPECT_EQ(r.code, JEX_ICONV_E2BIG);
    EXPECT_EQ(r.out, B({0, 0, 0xFE, 0xFF}));
    EXPECT_EQ(ConvertOnce(cd, "A", 8).out, B({0, 0, 0, 0x41}));
    JEX_iconv_close(cd);

    /* Input order comes from the first mark anywhere in the data; the mark
       itself is a character. */
    EXPECT_EQ(DecodeAll("UTF-16", B({0xFF, 0xFE, 0x41, 0x00})), U"\uFEFFA");
    EXPECT_EQ(DecodeAll("UTF-16", B({0xFE, 0xFF, 0x00, 0x41})), U"\uFEFFA");
    EXPECT_EQ(DecodeAll("UTF-16", B({0x00, 0x41})), U"A");
    EXPECT_EQ(DecodeAll("UTF-16", B({0x41, 0x00, 0xFF, 0xFE})), U"A\uFEFF");
    EXPECT_EQ(DecodeAll("UTF-32", B({0x41, 0, 0, 0, 0xFF, 0xFE, 0, 0})), U"A\uFEFF");
    EXPECT_EQ(DecodeAll("UTF-32", B({0, 0, 0, 0x41})), U"A");

    /* ...decided once for the descriptor's life. */
    cd = JEX_iconv_open("UTF-8", "UTF-16");
    EXPECT_EQ(ConvertOnce(cd, B({0xFF, 0xFE, 'a', 0}), 16).out, Utf8("\xEF\xBB\xBF"
                                                                     "a"));
    EXPECT_EQ(cd->src_fmt, JEX_ENC_UTF16LE);
    EXPECT_EQ(ConvertOnce(cd, B({0xFE, 0xFF, 'b', 0}), 16).out, Utf8("\xEF\xBF\xBE"
                                                                     "b")); /* U+FFFE */
    JEX_iconv_close(cd);
}

TEST(IconvCalls, ArgumentsAndDescriptors)
{
    JEX_iconv_t cd = JEX_iconv_open("UTF-8", "UTF-16LE");
    char out[8];
    char *op = out;
    size_t ol = sizeof out;
    const char *const start = "a\0";
    const char *ip = start;
    size_t il = 2;
    EXPECT_EQ(JEX_iconv(cd, nullptr, &il, &op, &ol), 0u);
    const char *null_in = nullptr;
    EXPECT_EQ(JEX_iconv(cd, &null_in, &il, &op, &ol), 0u);
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, nullptr, &ol), JEX_ICONV_E2BIG);
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, &op, nullptr), JEX_ICONV_E2BIG);
    size_t zero = 0;
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, &op, &zero), JEX_ICONV_E2BIG);
    EXPECT_EQ(JEX_iconv(cd, &ip, nullptr, &op, &ol), JEX_ICONV_ERROR);
    EXPECT_EQ(JEX_iconv(nullptr, &ip, &il, &op, &ol), JEX_ICONV_ERROR);
    EXPECT_EQ(JEX_iconv(reinterpret_cast<JEX_iconv_t>(-1), &ip, &il, &op, &ol), JEX_ICONV_ERROR);
    EXPECT_EQ(ip, start); /* untouched so far */
    EXPECT_EQ(il, 2u);
    EXPECT_EQ(op, out);
    /* No input: nothing to do. */
    size_t none = 0;
    EXPECT_EQ(JEX_iconv(cd, &ip, &none, &op, &ol), 0u);
    EXPECT_EQ(JEX_iconv(cd, &ip, &il, &op, &ol), 1u);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(il, 0u);
    EXPECT_EQ(JEX_iconv_close(cd), 0);
    EXPECT_EQ(JEX_iconv_close(nullptr), 0);
    EXPECT_EQ(JEX_iconv_close(reinterpret_cast<JEX_iconv_t>(-1)), 0);
}

TEST(IconvCalls, NamesAndLocale)
{
    const JEX_iconv_t invalid = reinterpret_cast<JEX_iconv_t>(-1);
    EXPECT_EQ(JEX_iconv_open("UTF-8", "EBCDIC"), invalid);
    EXPECT_EQ(JEX_iconv_open("UTF-7", "UTF-8"), invalid);
    EXPECT_EQ(JEX_iconv_open("UTF-8 ", "UTF-8"), invalid);
    const struct {
        const char *name;
        Uint32 id;
    } names[] = {
        {"ascii", JEX_ENC_ASCII},       {"Us-Ascii", JEX_ENC_ASCII},   {"8859-1", JEX_ENC_LATIN1},
        {"iso-8859-1", JEX_ENC_LATIN1}, {"utf8", JEX_ENC_UTF8},        {"utf-16", JEX_ENC_UTF16},
        {"UTF16be", JEX_ENC_UTF16BE},   {"utf-16le", JEX_ENC_UTF16LE}, {"UTF32", JEX_ENC_UTF32},
        {"utf-32be", JEX_ENC_UTF32BE},  {"UTF32LE", JEX_ENC_UTF32LE},  {"ucs2", JEX_ENC_UCS2},
        {"Ucs-4", JEX_ENC_UCS4}};
    for (const auto &n : names) {
        JEX_iconv_t cd = JEX_iconv_open(n.name, "UTF-8");
        ASSERT_NE(cd, invalid) << n.name;
        EXPECT_EQ(cd->dst_fmt, n.id) << n.name;
        EXPECT_EQ(cd->src_fmt, JEX_ENC_UTF8);
        JEX_iconv_close(cd);
    }

    /* The locale codeset, from the first of the variables that is set. */
    const char *vars[] = {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> saved;
    for (const char *v : vars) {
        const char *value = std::getenv(v);
        saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        unsetenv(v);
    }
    char buf[jex::stdlib::kLocaleCodesetSize];
    jex::stdlib::GetLocaleCodeset(buf);
    EXPECT_STREQ(buf, "ASCII");
    const std::string longname = "xx." + std::string(100, 'Q');
    const struct {
        const char *var, *value, *codeset;
    } steps[] = {{"LANG", "C", "ASCII"},
                 {"LANG", "de_DE.ISO-8859-1@euro", "ISO-8859-1"},
                 {"LC_CTYPE", "en_US.UTF-8", "UTF-8"},
                 {"LC_ALL", "", "UTF-8"}, /* empty counts as unset */
                 {"LC_ALL", "POSIXISH", "POSIXISH"},
                 {"LC_ALL", longname.c_str(), nullptr}}; /* cut to the buffer */
    for (const auto &st : steps) {
        setenv(st.var, st.value, 1);
        jex::stdlib::GetLocaleCodeset(buf);
        EXPECT_EQ(std::string(buf), st.codeset ? st.codeset : std::string(63, 'Q')) << st.value;
    }

    /* Empty names use the locale; an unknown locale fails to open, and the
       whole-string form falls back to UTF-8 for it. */
    setenv("LC_ALL", "fr_FR.iso-8859-1", 1);
    JEX_iconv_t cd = JEX_iconv_open("", nullptr);
    ASSERT_NE(cd, invalid);
    EXPECT_EQ(cd->src_fmt, JEX_ENC_LATIN1);
    EXPECT_EQ(cd->dst_fmt, JEX_ENC_LATIN1);
    JEX_iconv_close(cd);
    char *s = JEX_iconv_string("UTF-8", "", "\xE9", 1);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "\xC3\xA9");
    std::free(s);
    setenv("LC_ALL", "klingon", 1);
    EXPECT_EQ(JEX_iconv_open("", "UTF-8"), invalid);
    s = JEX_iconv_string("", "UTF-16LE", "h\0i\0", 4);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s, "hi");
    std::free(s);

    for (size_t i = 0; i < saved.size(); ++i)
        if (saved[i])
            setenv(vars[i], saved[i]->c_str(), 1);
        else
            unsetenv(vars[i]);
}

TEST(IconvString, GrowthTerminatorAndStops)
{
    /* ASCII to UTF-32 needs four times the input: the buffer grows. */
    const std::string text(1000, 'x');
    char *s = JEX_iconv_string("UTF-32LE", "ASCII", text.data(), text.size());
    ASSERT_NE(s, nullptr);
    for (size_t i = 0; i < text.size(); ++i)
        ASSERT_EQ(std::memcmp(s + 4 * i, "x\0\0\0", 4), 0) << i;
    EXPECT_EQ(std::memcmp(s + 4 * text.size(), "\0\0\0\0", 4), 0);
    std::free(s);

    const struct {
        const char *to, *from;
        Bytes in, want; /* want includes the four-byte terminator */
    } cases[] = {
        /* Empty input: just the terminator, even with a mark owed. */
        {"UTF-16", "UTF-8", "", B({0, 0, 0, 0})},
        /* Tiny input into a marked wide output. */
        {"UTF-32", "UTF-8", "A", B({0, 0, 0xFE, 0xFF, 0, 0, 0, 'A', 0, 0, 0, 0})},
        /* A character cut by the end of the input ends the text before it. */
        {"UTF-8", "UTF-8", "ab\xE2\x82", B({'a', 'b', 0, 0, 0, 0})},
    };
    for (const auto &c : cases) {
        s = JEX_iconv_string(c.to, c.from, c.in.data(), c.in.size());
        ASSERT_NE(s, nullptr) << c.to;
        EXPECT_EQ(Bytes(s, c.want.size()), c.want) << c.to << " from " << c.from;
        std::free(s);
    }

    EXPECT_EQ(JEX_iconv_string("UTF-8", "NOPE", "a", 1), nullptr);
    EXPECT_EQ(JEX_iconv_string("UTF-8", "UTF-8", nullptr, 3), nullptr);
}

}  // namespace
