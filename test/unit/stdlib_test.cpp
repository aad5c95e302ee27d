/* String utilities: the UTF-8-aware bounded copy, wide strings, in-place
   reversal and case change, and integer-to-text conversion. */
#include "JEX_stdinc.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

/* Whether s is well-formed UTF-8 (no cut or overlong sequences). */
bool ValidUtf8(const std::string &s)
{
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t len = c < 0x80                 ? 1
                     : c >= 0xC2 && c <= 0xDF ? 2
                     : c >= 0xE0 && c <= 0xEF ? 3
                     : c >= 0xF0 && c <= 0xF4 ? 4
                                              : 0;
        if (len == 0 || i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += len;
    }
    return true;
}

TEST(Utf8Strlcpy, NeverEndsInsideASequence)
{
    /* Every room size: the copy ends on a character boundary (a lead byte
       at index 0 included), keeps as much as fits and never writes past
       the room. */
    for (const std::string text : {"a\xC3\xA9"
                                   "b\xE2\x82\xAC\xF0\x9F\x98\x80"
                                   "c\xE0\xA4\x85",
                                   "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xC3\xA9", "hello"}) {
        for (size_t room = 1; room <= text.size() + 2; ++room) {
            char out[64];
            std::memset(out, 'Z', sizeof out);
            const size_t n = JEX_utf8strlcpy(out, text.c_str(), room);
            ASSERT_LT(n, room);
            ASSERT_EQ(out[n], '\0');
            ASSERT_EQ(out[room], 'Z') << "wrote past the room";
            const std::string copy(out, n);
            EXPECT_TRUE(ValidUtf8(copy)) << room;
            EXPECT_EQ(copy, text.substr(0, n));
            /* The next character would not have fitted. */
            if (n < text.size()) {
                size_t next = n + 1;
                while (next < text.size() &&
                       (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80)
                    ++next;
                EXPECT_GT(next, room - 1) << room;
            }
        }
    }
    char buf[16];
    EXPECT_EQ(JEX_utf8strlcpy(buf, "a\xC3\xA9", 3), 1u);
    EXPECT_STREQ(buf, "a");
    EXPECT_EQ(JEX_utf8strlcpy(buf, "\xF0\x9F\x98\x80", 5), 4u);

    /* Stray continuation bytes belong to the source; they are copied as
       they are rather than cutting a whole character before them. */
    EXPECT_EQ(JEX_utf8strlcpy(buf, "\xC3\xA9\x80", 4), 3u);
    EXPECT_EQ(JEX_utf8strlcpy(buf, "x\x80\x80\x80\x80", 16), 5u);

    /* No room even for a terminator; null arguments; an unterminated
       source is not read past the room. */
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

TEST(ByteStrings, BoundedCopyAndAppend)
{
    char buf[8];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(JEX_strlcpy(buf, "abcdefghij", 5), 10u);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(buf[5], 'Z');
    EXPECT_EQ(JEX_strlcpy(buf, "q", 0), 1u);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_EQ(JEX_strlcpy(buf, "xy", sizeof buf), 2u);
    EXPECT_EQ(JEX_strlcat(buf, "cdefgh", sizeof buf), 8u);
    EXPECT_STREQ(buf, "xycdefg");
    EXPECT_EQ(JEX_strlcat(buf, "more", sizeof buf), 11u);
    EXPECT_STREQ(buf, "xycdefg");
    char full[3] = {'a', 'b', 'c'};
    EXPECT_EQ(JEX_strlcat(full, "xy", 3), 5u);
    EXPECT_EQ(full[2], 'c');
}

TEST(WideStrings, LengthCopyAppend)
{
    EXPECT_EQ(JEX_wcslen(L""), 0u);
    EXPECT_EQ(JEX_wcslen(L"h\u00E9llo\U0001F600"), 6u);
    EXPECT_EQ(JEX_wcslen(nullptr), 0u);

    wchar_t buf[8];
    std::wmemset(buf, L'Z', 8);
    EXPECT_EQ(JEX_wcslcpy(buf, L"abcdefghij", 5), 10u);
    EXPECT_EQ(std::wstring(buf), L"abcd");
    EXPECT_EQ(buf[5], L'Z');
    EXPECT_EQ(JEX_wcslcpy(buf, L"xy", 8), 2u);
    EXPECT_EQ(std::wstring(buf), L"xy");
    EXPECT_EQ(JEX_wcslcpy(buf, L"q", 0), 1u);
    EXPECT_EQ(std::wstring(buf), L"xy");
    EXPECT_EQ(JEX_wcslcpy(buf, L"q", 1), 1u);
    EXPECT_EQ(std::wstring(buf), L"");

    std::wmemset(buf, L'Z', 8);
    JEX_wcslcpy(buf, L"ab", 8);
    EXPECT_EQ(JEX_wcslcat(buf, L"cdef", 8), 6u);
    EXPECT_EQ(std::wstring(buf), L"abcdef");
    EXPECT_EQ(JEX_wcslcat(buf, L"ghij", 8), 10u);
    EXPECT_EQ(std::wstring(buf), L"abcdefg");
    /* No room left: unchanged, and the would-be length is still reported. */
    EXPECT_EQ(JEX_wcslcat(buf, L"xyz", 8), 10u);
    EXPECT_EQ(std::wstring(buf), L"abcdefg");
    EXPECT_EQ(JEX_wcslcat(buf, L"xyz", 3), 6u);
    EXPECT_EQ(std::wstring(buf), L"abcdefg");

    /* A destination with no terminator inside maxlen is never read past it. */
    wchar_t full[4] = {L'a', L'b', L'c', L'd'};
    EXPECT_EQ(JEX_wcslcat(full, L"xy", 4), 6u);
    EXPECT_EQ(full[3], L'd');
}

TEST(CaseAndOrder, InPlace)
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

TEST(IntegerToText, KnownValuesAndExtremes)
{
    char s[80];
    EXPECT_STREQ(JEX_ltoa(-255, s, 16), "-FF");
    EXPECT_STREQ(JEX_ultoa(0, s, 10), "0");
    EXPECT_STREQ(JEX_ltoa(0, s, 2), "0");
    EXPECT_STREQ(JEX_lltoa(-1, s, 36), "-1");
    EXPECT_STREQ(JEX_ulltoa(35, s, 36), "Z");
    EXPECT_STREQ(JEX_ulltoa(36, s, 36), "10");
    EXPECT_STREQ(JEX_ltoa(LONG_MIN, s, 10), std::to_string(LONG_MIN).c_str());
    EXPECT_STREQ(JEX_ltoa(LONG_MAX, s, 10), std::to_string(LONG_MAX).c_str());
    EXPECT_STREQ(JEX_lltoa(INT64_MIN, s, 16), "-8000000000000000");
    EXPECT_STREQ(JEX_lltoa(INT64_MIN, s, 2), ("-1" + std::string(63, '0')).c_str());
    EXPECT_STREQ(JEX_ulltoa(UINT64_MAX, s, 2), std::string(64, '1').c_str());
    EXPECT_STREQ(JEX_ultoa(ULONG_MAX, s, 16), "FFFFFFFFFFFFFFFF");

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

TEST(IntegerToText, ReadsBackInEveryRadix)
{
    std::mt19937_64 rng(5);
    char s[80];
    for (int radix = 2; radix <= 36; ++radix) {
        for (int i = 0; i < 300; ++i) {
            const Uint64 bits = rng() >> (rng() % 64);
            const Sint64 value =
                (i & 1) ? -static_cast<Sint64>(bits >> 1) : static_cast<Sint64>(bits >> 1);

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
}

}  // namespace
