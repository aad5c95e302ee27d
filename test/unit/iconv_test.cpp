/* The character-set converter: cross-checked against glibc's iconv on large
   valid texts for every pair of encodings, and checked against its own rules
   for invalid input, byte-order marks, full output buffers and names. */
#include "JEX_stdinc.h"
#include "stdlib/iconv_internal.h"

#include <gtest/gtest.h>
#include <iconv.h>

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

/* Random text: runs of ASCII and of wider characters, all up to `max`,
   without NUL, surrogates or U+FFFE/U+FFFF. */
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
    Bytes b;
    for (char32_t c : s)
        b.append(reinterpret_cast<const char *>(&c), 4);
    return b;
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

TEST(IconvDecode, InvalidAndCutInput)
{
    const struct {
        const char *from, *hex;
        std::u32string want;
    } cases[] = {
        {"UTF-8", "C3 A9", U"\u00E9"},
        {"UTF-8", "E2 82 AC E0 A4 85", U"\u20AC\u0905"},
        {"UTF-8", "F0 9F 98 80", U"\U0001F600"},
        /* stray continuation bytes and FE/FF: one U+FFFD each */
        {"UTF-8", "80 BF 61 FE FF", U"\uFFFD\uFFFDa\uFFFD\uFFFD"},
        /* overlong forms, whole sequence consumed */
        {"UTF-8", "C0 80 C1 BF 78", U"\uFFFD\uFFFDx"},
        {"UTF-8", "E0 80 80 F0 8F BF BF", U"\uFFFD\uFFFD"},
        /* surrogates, U+FFFE, U+FFFF, past U+10FFFF */
        {"UTF-8", "ED A0 80 ED BF BF", U"\uFFFD\uFFFD"},
        {"UTF-8", "EF BF BE EF BF BF EF BF BD", U"\uFFFD\uFFFD\uFFFD"},
        {"UTF-8", "F4 90 80 80 61", U"\uFFFDa"},
        /* five- and six-byte forms are read whole and rejected */
        {"UTF-8", "F8 88 80 80 80 FC 84 80 80 80 80 7A", U"\uFFFD\uFFFDz"},
        /* a byte that cannot continue ends the character and starts the
           next, even when the announced length runs past the input */
        {"UTF-8", "E2 82 41 C3 C3 A9", U"\uFFFDA\uFFFD\u00E9"},
        {"UTF-8", "F0 9F 98 62", U"\uFFFDb"},
        {"UTF-8", "F0 41", U"\uFFFDA"},
        {"UTF-16BE", "D8 3D DE 00", U"\U0001F600"},
        {"UTF-16LE", "3D D8 00 DE", U"\U0001F600"},
        /* a lone low surrogate; a high one without its partner costs only itself */
        {"UTF-16LE", "00 DC 61 00", U"\uFFFDa"},
        {"UTF-16LE", "00 D8 61 00", U"\uFFFDa"},
        {"UTF-16BE", "D8 00 D8 3D DE 00", U"\uFFFD\U0001F600"},
        {"UTF-32BE", "00 01 F6 00", U"\U0001F600"},
        {"UCS-2", "AC 20", U"\u20AC"},
        {"UCS-4", "AC 20 00 00", U"\u20AC"},
        {"ASCII", "61 E9 62", U"a\uFFFDb"},
        {"ISO-8859-1", "61 E9 FF", U"a\u00E9\u00FF"},
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
}

TEST(IconvEncode, NarrowTargetsAndReplacement)
{
    const struct {
        const char *to, *from, *in, *out;
    } cases[] = {
        {"ISO-8859-1", "UTF-8", "C3 A9", "E9"},
        {"ASCII", "UTF-8", "C3 A9 61", "3F 61"},
        {"ISO-8859-1", "UTF-8", "E2 82 AC C3 BF", "3F FF"},
        {"UTF-16BE", "UTF-8", "F0 9F 98 80", "D8 3D DE 00"},
        {"UCS-2", "UTF-8", "F0 9F 98 80 41", "FD FF 41 00"},
        {"UTF-8", "UTF-8", "C0 80", "EF BF BD"},
        /* Values no Unicode text may hold never reach UTF output, nor come
           from UTF input: surrogates and values past U+10FFFF become U+FFFD. */
        {"UTF-8", "UTF-32LE", "00 D8 00 00 00 00 11 00", "EF BF BD EF BF BD"},
        {"UTF-16LE", "UCS-4", "00 D8 00 00 00 00 11 00", "FD FF FD FF"},
        {"UCS-4", "UTF-32LE", "00 D8 00 00 00 00 11 00", "FD FF 00 00 FD FF 00 00"},
        {"UTF-8", "UCS-2", "00 D8", "EF BF BD"},
        {"UTF-8", "UCS-4", "FF FF FF 7F", "EF BF BD"},
        /* so a UTF-8 sequence past U+10FFFF is U+FFFD by the time UCS-4 gets it */
        {"UCS-4", "UTF-8", "F4 90 80 80 F4 8F BF BF", "FD FF 00 00 FF FF 10 00"},
        /* unmarked output: a big-endian mark, then big-endian data */
        {"UTF-16", "UTF-8", "41", "FE FF 00 41"},
        {"UTF-32", "UTF-8", "41", "00 00 FE FF 00 00 00 41"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Convert(c.to, c.from, H(c.in)).out, H(c.out)) << c.to << " from " << c.in;
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
    EXPECT_EQ(Convert("UCS-4", "UCS-4", H("00 00 00 80 FF FF FF FF")).out,
              H("FD FF 00 00 FD FF 00 00"));

    /* A surrogate read from UCS-4 is refused by every UTF target, as glibc
       refuses it; here it becomes U+FFFD. */
    const Bytes surrogate = H("00 DC 00 00");
    for (const char *to : {"UTF-8", "UTF-16LE", "UTF-32BE"}) {
        EXPECT_FALSE(Glibc(to, "UCS-4LE", surrogate)) << to;
        EXPECT_TRUE(Convert(to, "UCS-4", surrogate).out == Convert(to, "UTF-8", H("EF BF BD")).out)
            << to;
    }
}

TEST(IconvEncode, ByteOrderMarks)
{
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

    /* Input order comes from the first mark anywhere in the data; the mark
       itself is a character. */
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

TEST(IconvCalls, ArgumentsNamesAndLocale)
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
        const char *value = std::getenv(v);
        saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        unsetenv(v);
    }
    char buf[jex::stdlib::kLocaleCodesetSize];
    jex::stdlib::GetLocaleCodeset(buf);
    EXPECT_STREQ(buf, "ASCII");
    const std::string longname = "xx." + std::string(100, 'Q');
    const char *steps[][3] = {{"LANG", "C", "ASCII"},
                              {"LANG", "de_DE.ISO-8859-1@euro", "ISO-8859-1"},
                              {"LC_CTYPE", "en_US.UTF-8", "UTF-8"},
                              {"LC_ALL", "", "UTF-8"}, /* empty counts as unset */
                              {"LC_ALL", "POSIXISH", "POSIXISH"},
                              {"LC_ALL", longname.c_str(), nullptr}}; /* cut to the buffer */
    for (const auto &st : steps) {
        setenv(st[0], st[1], 1);
        jex::stdlib::GetLocaleCodeset(buf);
        EXPECT_EQ(std::string(buf), st[2] ? st[2] : std::string(63, 'Q')) << st[1];
    }
    /* Empty names use the locale; an unknown locale fails to open, and the
       whole-string form falls back to UTF-8 for it. */
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
    for (size_t i = 0; i < saved.size(); ++i) {
        if (saved[i])
            setenv(vars[i], saved[i]->c_str(), 1);
        else
            unsetenv(vars[i]);
    }
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
        const char *to, *from, *in, *want; /* want includes the four-byte terminator */
    } cases[] = {
        {"UTF-16", "UTF-8", "", "00 00 00 00"}, /* a mark owed, no input: the terminator */
        {"UTF-32", "UTF-8", "41", "00 00 FE FF 00 00 00 41 00 00 00 00"},
        {"UTF-8", "UTF-8", "61 62 E2 82", "61 62 00 00 00 00"}, /* cut: ends before it */
    };
    for (const auto &c : cases) {
        const Bytes in = H(c.in), want = H(c.want);
        s = JEX_iconv_string(c.to, c.from, in.data(), in.size());
        ASSERT_NE(s, nullptr) << c.to;
        EXPECT_EQ(Bytes(s, want.size()), want) << c.to << " from " << c.in;
        std::free(s);
    }
    EXPECT_EQ(JEX_iconv_string("UTF-8", "NOPE", "a", 1), nullptr);
    EXPECT_EQ(JEX_iconv_string("UTF-8", "UTF-8", nullptr, 3), nullptr);
}

}  // namespace
