/* String utilities: the UTF-8-aware bounded copy, byte and wide strings,
   in-place reversal and case change, and integer-to-text conversion. */
#include "JEX_stdinc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

TEST(Utf8Strlcpy, NeverEndsInsideASequence)
{
    /* Every room size: the copy is the longest prefix of whole characters
       that fits, and nothing is written past the room. */
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
    /* No room even for a terminator; nulls; an unterminated source is not
       read past the room. */
    std::memset(buf, 'Z', 4);
    EXPECT_EQ(JEX_utf8strlcpy(buf, "abc", 0), 0u);
    EXPECT_EQ(buf[0], 'Z');
    EXPECT_EQ(JEX_utf8strlcpy(nullptr, "abc", 4), 0u);
    EXPECT_EQ(JEX_utf8strlcpy(buf, nullptr, 4), 0u);
    EXPECT_EQ(buf[0], '\0');
    const char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(JEX_utf8strlcpy(buf, unterminated, 3), 2u);
    EXPECT_STREQ(buf, "ab");
}

TEST(Strings, BoundedCopyAndAppendOfBytesAndWideUnits)
{
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(JEX_strlcpy(buf, "abcdefghij", 5), 10u);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(buf[5], 'Z');
    EXPECT_EQ(JEX_strlcpy(buf, "q", 0), 1u);
    EXPECT_EQ(JEX_strlcpy(buf, "xy", sizeof buf), 2u);
    EXPECT_EQ(JEX_strlcat(buf, "cdefgh", sizeof buf), 8u);
    EXPECT_STREQ(buf, "xycdefg");
    EXPECT_EQ(JEX_strlcat(buf, "more", sizeof buf), 11u);
    EXPECT_STREQ(buf, "xycdefg");
    char full[3] = {'a', 'b', 'c'}; /* no terminator within maxlen: not read past */
    EXPECT_EQ(JEX_strlcat(full, "xy", 3), 5u);
    EXPECT_EQ(full[2], 'c');

    EXPECT_EQ(JEX_wcslen(L"h\u00E9llo\U0001F600"), 6u);
    EXPECT_EQ(JEX_wcslen(nullptr), 0u);
    wchar_t w[8];
    std::wmemset(w, L'Z', 8);
    EXPECT_EQ(JEX_wcslcpy(w, L"abcdefghij", 5), 10u);
    EXPECT_EQ(std::wstring(w), L"abcd");
    EXPECT_EQ(w[5], L'Z');
    EXPECT_EQ(JEX_wcslcpy(w, L"q", 0), 1u);
    EXPECT_EQ(std::wstring(w), L"abcd");
    EXPECT_EQ(JEX_wcslcpy(w, L"q", 1), 1u);
    EXPECT_EQ(std::wstring(w), L"");
    JEX_wcslcpy(w, L"ab", 8);
    EXPECT_EQ(JEX_wcslcat(w, L"cdef", 8), 6u);
    EXPECT_EQ(JEX_wcslcat(w, L"ghij", 8), 10u);
    EXPECT_EQ(std::wstring(w), L"abcdefg");
    EXPECT_EQ(JEX_wcslcat(w, L"xyz", 3), 6u); /* maxlen not above the length: unchanged */
    EXPECT_EQ(std::wstring(w), L"abcdefg");
    wchar_t wfull[4] = {L'a', L'b', L'c', L'd'};
    EXPECT_EQ(JEX_wcslcat(wfull, L"xy", 4), 6u);
    EXPECT_EQ(wfull[3], L'd');
}

TEST(Strings, CaseAndOrderInPlace)
{
    char s[] = "Hello, W\xC3\xB6rld! 123 [z]{A}@`";
    EXPECT_EQ(JEX_strupr(s), s);
    EXPECT_STREQ(s, "HELLO, W\xC3\xB6RLD! 123 [Z]{A}@`");
    EXPECT_EQ(JEX_strlwr(s), s);
    EXPECT_STREQ(s, "hello, w\xC3\xB6rld! 123 [z]{a}@`");
    char odd[] = "abcde", even[] = "abcdef", one[] = "x", empty[] = "";
    EXPECT_EQ(JEX_strrev(odd), odd);
    EXPECT_STREQ(odd, "edcba");
    EXPECT_STREQ(JEX_strrev(even), "fedcba");
    EXPECT_STREQ(JEX_strrev(one), "x");
    EXPECT_STREQ(JEX_strrev(empty), "");
    EXPECT_EQ(JEX_strrev(nullptr), nullptr);
    EXPECT_EQ(JEX_strupr(nullptr), nullptr);
    EXPECT_EQ(JEX_strlwr(nullptr), nullptr);
}

TEST(IntegerToText, ReadsBackInEveryRadixAndRefusesOtherRadixes)
{
    char s[80];
    EXPECT_STREQ(JEX_ltoa(-255, s, 16), "-FF");
    EXPECT_STREQ(JEX_ultoa(0, s, 10), "0");
    EXPECT_STREQ(JEX_lltoa(INT64_MIN, s, 2), ("-1" + std::string(63, '0')).c_str());
    EXPECT_STREQ(JEX_ulltoa(UINT64_MAX, s, 36), "3W5E11264SGSF");
    EXPECT_STREQ(JEX_ltoa(LONG_MIN, s, 10), std::to_string(LONG_MIN).c_str());
    /* strtoll and friends are the reference; digits are upper case and
       there are no leading zeros. */
    std::mt19937_64 rng(5);
    for (int radix = 2; radix <= 36; ++radix) {
        for (int i = 0; i < 300; ++i) {
            const Uint64 bits = rng() >> (rng() % 64);
            const Sint64 value = (i & 1) ? -static_cast<Sint64>(bits >> 1) : Sint64(bits >> 1);
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
