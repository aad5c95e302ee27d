/* String utilities: bounded copies, reversal, case change, integer-to-text conversion. */
#include "JEX_stdinc.h"
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

/* Bytes and wide units: 8-unit buffer before/after ('0' is the terminator), call, result. */
template <typename C>
void CheckBounded(size_t (*copy)(C *, const C *, size_t), size_t (*append)(C *, const C *, size_t))
{
    const struct {
        const char *before;
        bool cat;
        const char *src;
        size_t maxlen, result;
        const char *after;
    } cases[] = {{"ZZZZZZZZ", false, "abcdefghij", 5, 10, "abcd0ZZZ"},
                 {"abcd0ZZZ", false, "q", 0, 1, "abcd0ZZZ"},
                 {"abcd0ZZZ", false, "q", 1, 1, "0bcd0ZZZ"},
                 {"xy0ZZZZZ", true, "cdefgh", 8, 8, "xycdefg0"},
                 {"xycdefg0", true, "more", 8, 11, "xycdefg0"},
                 {"xycdefg0", true, "xyz", 3, 6, "xycdefg0"}, /* maxlen not above the length */
                 {"abcZZZZZ", true, "xy", 3, 5, "abcZZZZZ"}}; /* not read past maxlen */
    auto units = [](const char *s) {
        std::basic_string<C> u(s, s + std::strlen(s));
        for (C &c : u)
            c = c == '0' ? C(0) : c;
        return u;
    };
    for (const auto &c : cases) {
        std::basic_string<C> buf = units(c.before);
        const std::basic_string<C> src = units(c.src);
        EXPECT_EQ((c.cat ? append : copy)(buf.data(), src.c_str(), c.maxlen), c.result) << c.src;
        EXPECT_TRUE(buf == units(c.after)) << c.before << " " << c.src << " " << c.maxlen;
    }
}

TEST(Strings, Utf8AndBoundedCopiesCaseAndReversal)
{
    /* Every room: the longest prefix of whole characters that fits, nothing past it. */
    const std::string text = "a\xC3\xA9"
                             "b\xE2\x82\xAC\xF0\x9F\x98\x80"
                             "c\xE0\xA4\x85";
    const size_t boundaries[] = {0, 1, 3, 4, 7, 11, 12, 15};
    for (size_t room = 1; room <= text.size() + 2; ++room) {
        char out[32];
        std::memset(out, 'Z', sizeof out);
        const size_t n = JEX_utf8strlcpy(out, text.c_str(), room);
        size_t want = 0;
        for (size_t b : boundaries)
            if (b < room)
                want = b;
        EXPECT_EQ(n, want) << room;
        EXPECT_EQ(std::string(out, n + 1), text.substr(0, n) + '\0') << room;
        EXPECT_EQ(out[room], 'Z') << "wrote past the room";
    }
    char buf[16];
    EXPECT_EQ(JEX_utf8strlcpy(buf, "\xE2\x82\xAC", 3), 0u); /* a lead byte at index 0 */
    EXPECT_EQ(JEX_utf8strlcpy(buf, "\xF0\x9F\x98\x80", 5), 4u);
    /* Stray continuation bytes belong to the source and are copied as they are. */
    EXPECT_EQ(JEX_utf8strlcpy(buf, "\xC3\xA9\x80", 4), 3u);
    EXPECT_EQ(JEX_utf8strlcpy(buf, "x\x80\x80\x80\x80", 16), 5u);
    /* No room even for a terminator; nulls; an unterminated source is not overread. */
    std::memset(buf, 'Z', 4);
    EXPECT_EQ(JEX_utf8strlcpy(buf, "abc", 0), 0u);
    EXPECT_EQ(buf[0], 'Z');
    EXPECT_EQ(JEX_utf8strlcpy(nullptr, "abc", 4), 0u);
    EXPECT_EQ(JEX_utf8strlcpy(buf, nullptr, 4), 0u);
    EXPECT_EQ(buf[0], '\0');
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(JEX_utf8strlcpy(buf, unterminated, 3), 2u);
    EXPECT_STREQ(buf, "ab");
    // Bounded copies and appends of bytes and wide units, case, reversal.
    CheckBounded<char>(JEX_strlcpy, JEX_strlcat);
    CheckBounded<wchar_t>(JEX_wcslcpy, JEX_wcslcat);
    EXPECT_EQ(JEX_wcslen(L"h\u00E9llo\U0001F600"), 6u);
    EXPECT_EQ(JEX_wcslen(nullptr), 0u);
    char s[] = "Hello, W\xC3\xB6rld! 123 [z]{A}@`";
    EXPECT_EQ(JEX_strupr(s), s);
    EXPECT_STREQ(s, "HELLO, W\xC3\xB6RLD! 123 [Z]{A}@`");
    EXPECT_EQ(JEX_strlwr(s), s);
    EXPECT_STREQ(s, "hello, w\xC3\xB6rld! 123 [z]{a}@`");
    for (std::string t : {"abcde", "abcdef", "x", ""}) {
        const std::string want(t.rbegin(), t.rend());
        EXPECT_EQ(JEX_strrev(t.data()), t.data());
        EXPECT_EQ(t, want);
    }
    EXPECT_EQ(JEX_strrev(nullptr), nullptr);
    EXPECT_EQ(JEX_strupr(nullptr), nullptr);
    EXPECT_EQ(JEX_strlwr(nullptr), nullptr);
}

TEST(IntegerToText, ReadsBackInEveryRadixAndRefusesOtherRadixes)
{
    char s[80];
    EXPECT_STREQ(JEX_ltoa(-255, s, 16), "-FF");
    /* strtoll and friends are the reference; upper case, no leading zeros; extremes first. */
    std::mt19937_64 rng(5);
    for (int radix = 2; radix <= 36; ++radix) {
        for (int i = 0; i < 300; ++i) {
            const Uint64 bits = i < 2 ? (i ? UINT64_MAX : 0) : rng() >> (rng() % 64);
            const Sint64 value = i < 2     ? (i ? INT64_MIN : 0)
                                 : (i & 1) ? -static_cast<Sint64>(bits >> 1)
                                           : Sint64(bits >> 1);
            JEX_lltoa(value, s, radix);
            ASSERT_EQ(std::strtoll(s, nullptr, radix), value) << s << " radix " << radix;
            ASSERT_EQ(std::string(s).find_first_of("abcdefghijklmnopqrstuvwxyz"),
                      std::string::npos);
            ASSERT_TRUE(s[0] != '0' || s[1] == '\0') << "leading zero: " << s;
            JEX_ulltoa(bits, s, radix);
            ASSERT_EQ(std::strtoull(s, nullptr, radix), bits) << s << " radix " << radix;
            JEX_ltoa(static_cast<long>(value), s, radix);
            ASSERT_EQ(std::strtol(s, nullptr, radix), static_cast<long>(value));
            JEX_ultoa(static_cast<unsigned long>(bits), s, radix);
            ASSERT_EQ(std::strtoul(s, nullptr, radix), static_cast<unsigned long>(bits));
        }
    }
    /* A radix outside 2..36 gives an empty string, never a crash or a hang. */
    for (int radix : {-5, 0, 1, 37, 1000}) {
        char a[8] = "junk", b[8] = "junk", c[8] = "junk", d[8] = "junk";
        EXPECT_EQ(JEX_ltoa(12345, a, radix), a);
        EXPECT_STREQ(a, "") << radix;
        EXPECT_STREQ(JEX_ultoa(12345, b, radix), "") << radix;
        EXPECT_STREQ(JEX_lltoa(-12345, c, radix), "") << radix;
        EXPECT_STREQ(JEX_ulltoa(0, d, radix), "") << radix;
    }
    EXPECT_EQ(JEX_ltoa(1, nullptr, 10), nullptr);
    EXPECT_EQ(JEX_ulltoa(1, nullptr, 10), nullptr);
}

}  // namespace
