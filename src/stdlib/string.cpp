/* Small string utilities: bounded copies (plain and UTF-8-aware), 32-bit
   wide strings,
   in-place reversal and case change, integer-to-text conversion. */
#include "JEX_stdinc.h"

#include <algorithm>
#include <cstring>

static_assert(sizeof(wchar_t) == 4, "wide strings are made of 32-bit units");

namespace {

/* Length of the sequence a UTF-8 lead byte announces, 0 for other bytes. */
size_t Utf8SequenceLength(unsigned char c)
{
    if (c >= 0xC0 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

bool IsContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

/* Writes the digits of value, least significant first, then reverses them. */
char *UnsignedToText(Uint64 value, char *out, int radix)
{
    char *p = out;
    do {
        *p++ = kDigits[value % static_cast<unsigned>(radix)];
        value /= static_cast<unsigned>(radix);
    } while (value != 0);
    *p = '\0';
    JEX_strrev(out);
    return out;
}

char *SignedToText(Sint64 value, char *string, int radix)
{
    if (string == nullptr)
        return nullptr;
    if (radix < 2 || radix > 36) {
        *string = '\0';
        return string;
    }
    char *digits = string;
    /* The magnitude is taken in unsigned arithmetic so the most negative
       value does not overflow. */
    Uint64 magnitude = static_cast<Uint64>(value);
    if (value < 0) {
        *digits++ = '-';
        magnitude = 0 - magnitude;
    }
    UnsignedToText(magnitude, digits, radix);
    return string;
}

char *UnsignedToTextChecked(Uint64 value, char *string, int radix)
{
    if (string == nullptr)
        return nullptr;
    if (radix < 2 || radix > 36) {
        *string = '\0';
        return string;
    }
    return UnsignedToText(value, string, radix);
}

}  // namespace

extern "C" {

size_t JEX_utf8strlcpy(char *dst, const char *src, size_t dst_bytes)
{
    /* No room even for the terminator: leave the destination alone. */
    if (dst == nullptr || dst_bytes == 0)
        return 0;
    if (src == nullptr) {
        *dst = '\0';
        return 0;
    }
    const auto *s = reinterpret_cast<const unsigned char *>(src);
    size_t n = strnlen(src, dst_bytes - 1);
    if (n > 0) {
        /* Find where the last sequence in the copy starts (at most three
           continuation bytes back, the lead may be the first byte) and drop
           it when the copy would end inside it. */
        size_t start = n - 1;
        for (size_t back = 0; back < 3 && start > 0 && IsContinuation(s[start]); ++back)
            --start;
        const size_t len = Utf8SequenceLength(s[start]);
        if (len != 0 && start + len > n)
            n = start;
    }
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return n;
}

size_t JEX_strlcpy(char *dst, const char *src, size_t maxlen)
{
    const size_t srclen = src != nullptr ? std::strlen(src) : 0;
    if (dst != nullptr && maxlen > 0) {
        const size_t n = srclen < maxlen - 1 ? srclen : maxlen - 1;
        if (n > 0)
            std::memcpy(dst, src, n);
        dst[n] = '\0';
    }
    return srclen;
}

size_t JEX_strlcat(char *dst, const char *src, size_t maxlen)
{
    const size_t srclen = src != nullptr ? std::strlen(src) : 0;
    if (dst == nullptr)
        return srclen;
    /* Never read past maxlen bytes looking for the destination's end. */
    const size_t dstlen = strnlen(dst, maxlen);
    if (dstlen < maxlen)
        JEX_strlcpy(dst + dstlen, src, maxlen - dstlen);
    return dstlen + srclen;
}

size_t JEX_wcslen(const wchar_t *s)
{
    if (s == nullptr)
        return 0;
    size_t n = 0;
    while (s[n] != 0)
        ++n;
    return n;
}

size_t JEX_wcslcpy(wchar_t *dst, const wchar_t *src, size_t maxlen)
{
    const size_t srclen = JEX_wcslen(src);
    if (dst != nullptr && maxlen > 0) {
        const size_t n = srclen < maxlen - 1 ? srclen : maxlen - 1;
        if (n > 0)
            std::memcpy(dst, src, n * sizeof(wchar_t));
        dst[n] = 0;
    }
    return srclen;
}

size_t JEX_wcslcat(wchar_t *dst, const wchar_t *src, size_t maxlen)
{
    const size_t srclen = JEX_wcslen(src);
    if (dst == nullptr)
        return srclen;
    /* Never read past maxlen units looking for the destination's end. */
    size_t dstlen = 0;
    while (dstlen < maxlen && dst[dstlen] != 0)
        ++dstlen;
    if (dstlen < maxlen)
        JEX_wcslcpy(dst + dstlen, src, maxlen - dstlen);
    return dstlen + srclen;
}

char *JEX_strrev(char *s)
{
    if (s != nullptr)
        std::reverse(s, s + std::strlen(s));
    return s;
}

char *JEX_strupr(char *s)
{
    if (s == nullptr)
        return nullptr;
    for (char *p = s; *p; ++p)
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    return s;
}

char *JEX_strlwr(char *s)
{
    if (s == nullptr)
        return nullptr;
    for (char *p = s; *p; ++p)
        if (*p >= 'A' && *p <= 'Z')
            *p = static_cast<char>(*p - 'A' + 'a');
    return s;
}

char *JEX_ltoa(long value, char *string, int radix)
{
    return SignedToText(value, string, radix);
}

char *JEX_ultoa(unsigned long value, char *string, int radix)
{
    return UnsignedToTextChecked(value, string, radix);
}

char *JEX_lltoa(Sint64 value, char *string, int radix)
{
    return SignedToText(value, string, radix);
}

char *JEX_ulltoa(Uint64 value, char *string, int radix)
{
    return UnsignedToTextChecked(value, string, radix);
}

}  // extern "C"
