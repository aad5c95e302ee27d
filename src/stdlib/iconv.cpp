/* A small character-set converter with an iconv-shaped interface: every
   input character is decoded to a code point and encoded again. Text that
   is mostly ASCII (window titles, typed text) goes through 16-unit SSE2
   blocks, runs of two- and three-byte UTF-8 through blocks of eight and
   four characters; everything else goes one character at a time. */
#include "stdlib/iconv_internal.h"

#include "JEX_error.h"

#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

#if JEX_SIMD_X86
#include <emmintrin.h>
#endif

namespace {

constexpr Uint32 kReplacement = 0xFFFD;

/* Encodings with a fixed byte order; the converters are built for each
   pair of these. */
enum class Enc : int { Ascii, Latin1, Utf8, Utf16BE, Utf16LE, Utf32BE, Utf32LE, Ucs2, Ucs4 };
constexpr int kEncCount = 9;

constexpr bool kLittleEndianHost = std::endian::native == std::endian::little;

inline Uint16 Load16(const Uint8 *p, bool big)
{
    Uint16 v;
    std::memcpy(&v, p, 2);
    return (big == kLittleEndianHost) ? __builtin_bswap16(v) : v;
}

inline Uint32 Load32(const Uint8 *p, bool big)
{
    Uint32 v;
    std::memcpy(&v, p, 4);
    return (big == kLittleEndianHost) ? __builtin_bswap32(v) : v;
}

inline void Store16(Uint8 *p, Uint16 v, bool big)
{
    if (big == kLittleEndianHost)
        v = __builtin_bswap16(v);
    std::memcpy(p, &v, 2);
}

inline void Store32(Uint8 *p, Uint32 v, bool big)
{
    if (big == kLittleEndianHost)
        v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

constexpr bool kMachineBig = !kLittleEndianHost;

/* Bytes per code unit. */
template <Enc E>
constexpr size_t kUnit = (E == Enc::Utf16BE || E == Enc::Utf16LE || E == Enc::Ucs2)   ? 2
                         : (E == Enc::Utf32BE || E == Enc::Utf32LE || E == Enc::Ucs4) ? 4
                                                                                      : 1;

template <Enc E>
constexpr bool kBigEndian = (E == Enc::Utf16BE || E == Enc::Utf32BE) ||
                            ((E == Enc::Ucs2 || E == Enc::Ucs4) && kMachineBig);

inline bool IsSurrogate(Uint32 cp)
{
    return (cp - 0xD800u) < 0x800u;
}

/* Code points that may appear in UTF output: surrogate halves and values past
   U+10FFFF would make the output invalid, so they become U+FFFD. */
inline Uint32 ScalarValue(Uint32 cp)
{
    return (cp > 0x10FFFF || IsSurrogate(cp)) ? kReplacement : cp;
}

/* ---- Decoding: returns the bytes consumed (avail >= 1), or 0 when the input
   ends inside the character. ---- */

inline size_t DecodeUtf8Slow(const Uint8 *p, size_t avail, Uint32 &cp)
{
    const Uint32 lead = p[0];
    size_t need;
    Uint32 min;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if (lead < 0xC0) {
        cp = kReplacement; /* stray continuation byte */
        return 1;
    } else if (lead < 0xE0) {
        need = 1, cp = lead & 0x1F, min = 0x80;
    } else if (lead < 0xF0) {
        need = 2, cp = lead & 0x0F, min = 0x800;
    } else if (lead < 0xF8) {
        need = 3, cp = lead & 0x07, min = 0x10000;
    } else if (lead < 0xFC) {
        need = 4, cp = lead & 0x03, min = 0x200000;
    } else if (lead < 0xFE) {
        need = 5, cp = lead & 0x01, min = 0x4000000;
    } else {
        cp = kReplacement;
        return 1;
    }
    for (size_t i = 1; i <= need; ++i) {
        /* A byte that cannot continue the sequence makes it invalid at once,
           even near the end of the input: the bytes after it are real
           characters, not the rest of a cut one. */
        if (i >= avail)
            return 0;
        const Uint32 b = p[i];
        if ((b & 0xC0) != 0x80) {
            cp = kReplacement;
            return i;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || IsSurrogate(cp) || cp == 0xFFFE || cp == 0xFFFF || cp > 0x10FFFF)
        cp = kReplacement;
    return need + 1;
}

inline size_t DecodeUtf8(const Uint8 *p, size_t avail, Uint32 &cp)
{
    const Uint32 lead = p[0];
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    /* Well-formed 2-, 3- and 4-byte sequences without the checks of the
       general path; anything unusual takes that path. */
    if (lead >= 0xC2 && lead < 0xE0) {
        if (avail >= 2 && (p[1] & 0xC0) == 0x80) {
            cp = ((lead & 0x1F) << 6) | (p[1] & 0x3F);
            return 2;
        }
    } else if (lead >= 0xE0 && lead < 0xF0) {
        if (avail >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
            const Uint32 v = ((lead & 0x0F) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3F);
            if (v >= 0x800 && !IsSurrogate(v) && v < 0xFFFE) {
                cp = v;
                return 3;
            }
        }
    } else if (lead >= 0xF0 && lead < 0xF5) {
        if (avail >= 4 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80 && (p[3] & 0xC0) == 0x80) {
            const Uint32 v = ((lead & 0x07) << 18) | ((p[1] & 0x3Fu) << 12) |
                             ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3F);
            if (v >= 0x10000 && v <= 0x10FFFF) {
                cp = v;
                return 4;
            }
        }
    }
    return DecodeUtf8Slow(p, avail, cp);
}

inline size_t DecodeUtf16(const Uint8 *p, size_t avail, Uint32 &cp, bool big)
{
    if (avail < 2)
        return 0;
    const Uint32 u = Load16(p, big);
    if (u < 0xD800 || u > 0xDFFF) {
        cp = u;
        return 2;
    }
    if (u >= 0xDC00) {
        cp = kReplacement; /* lone low surrogate */
        return 2;
    }
    if (avail < 4)
        return 0;
    const Uint32 u2 = Load16(p + 2, big);
    if (u2 >= 0xDC00 && u2 <= 0xDFFF) {
        cp = 0x10000 + (((u & 0x3FF) << 10) | (u2 & 0x3FF));
        return 4;
    }
    /* A high surrogate without its partner: only it is bad; the unit after
       it is a character of its own. */
    cp = kReplacement;
    return 2;
}

template <Enc E>
inline size_t Decode(const Uint8 *p, size_t avail, Uint32 &cp)
{
    if constexpr (E == Enc::Ascii) {
        cp = p[0] < 0x80 ? p[0] : kReplacement;
        return 1;
    } else if constexpr (E == Enc::Latin1) {
        cp = p[0];
        return 1;
    } else if constexpr (E == Enc::Utf8) {
        return DecodeUtf8(p, avail, cp);
    } else if constexpr (E == Enc::Utf16BE || E == Enc::Utf16LE) {
        return DecodeUtf16(p, avail, cp, kBigEndian<E>);
    } else if constexpr (E == Enc::Ucs2) {
        if (avail < 2)
            return 0;
        cp = Load16(p, kMachineBig);
        return 2;
    } else if constexpr (E == Enc::Ucs4) {
        if (avail < 4)
            return 0;
        cp = Load32(p, kMachineBig);
        return 4;
    } else {
        /* UTF-32 holds Unicode scalar values only. */
        if (avail < 4)
            return 0;
        cp = ScalarValue(Load32(p, kBigEndian<E>));
        return 4;
    }
}

/* ---- Encoding: returns the bytes written, or 0 when they do not fit. ---- */

template <Enc E>
inline size_t Encode(Uint32 cp, Uint8 *p, size_t room)
{
    if constexpr (E == Enc::Ascii || E == Enc::Latin1) {
        if (room < 1)
            return 0;
        p[0] = cp <= (E == Enc::Ascii ? 0x7Fu : 0xFFu) ? static_cast<Uint8>(cp) : '?';
        return 1;
    } else if constexpr (E == Enc::Utf8) {
        if (cp < 0x80) {
            if (room < 1)
                return 0;
            p[0] = static_cast<Uint8>(cp);
            return 1;
        }
        cp = ScalarValue(cp);
        if (cp < 0x800) {
            if (room < 2)
                return 0;
            p[0] = static_cast<Uint8>(0xC0 | (cp >> 6));
            p[1] = static_cast<Uint8>(0x80 | (cp & 0x3F));
            return 2;
        }
        if (cp < 0x10000) {
            if (room < 3)
                return 0;
            p[0] = static_cast<Uint8>(0xE0 | (cp >> 12));
            p[1] = static_cast<Uint8>(0x80 | ((cp >> 6) & 0x3F));
            p[2] = static_cast<Uint8>(0x80 | (cp & 0x3F));
            return 3;
        }
        if (room < 4)
            return 0;
        p[0] = static_cast<Uint8>(0xF0 | (cp >> 18));
        p[1] = static_cast<Uint8>(0x80 | ((cp >> 12) & 0x3F));
        p[2] = static_cast<Uint8>(0x80 | ((cp >> 6) & 0x3F));
        p[3] = static_cast<Uint8>(0x80 | (cp & 0x3F));
        return 4;
    } else if constexpr (E == Enc::Utf16BE || E == Enc::Utf16LE) {
        cp = ScalarValue(cp);
        if (cp < 0x10000) {
            if (room < 2)
                return 0;
            Store16(p, static_cast<Uint16>(cp), kBigEndian<E>);
            return 2;
        }
        if (room < 4)
            return 0;
        cp -= 0x10000;
        Store16(p, static_cast<Uint16>(0xD800 | (cp >> 10)), kBigEndian<E>);
        Store16(p + 2, static_cast<Uint16>(0xDC00 | (cp & 0x3FF)), kBigEndian<E>);
        return 4;
    } else if constexpr (E == Enc::Ucs2) {
        if (room < 2)
            return 0;
        /* UCS-2 is a plain 16-bit code: every value it can hold, surrogates
           included, goes through as it is. */
        if (cp > 0xFFFF)
            cp = kReplacement;
        Store16(p, static_cast<Uint16>(cp), kMachineBig);
        return 2;
    } else {
        if (room < 4)
            return 0;
        if constexpr (E == Enc::Ucs4) {
            /* 31 bits, surrogate values included, as glibc's UCS-4 does. */
            if (cp & 0x80000000u)
                cp = kReplacement;
        } else {
            cp = ScalarValue(cp);
        }
        Store32(p, cp, kBigEndian<E>);
        return 4;
    }
}

/* The SSE2 blocks below take runs of ASCII and of two- and three-byte
   UTF-8 sequences 16 (8, 4) characters at a time; without them every
   character goes through Decode and Encode. */
#if JEX_SIMD_X86
/* ---- ASCII blocks of 16 characters ---- */

inline __m128i Swap16(__m128i v)
{
    return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}

inline __m128i Swap32(__m128i v)
{
    v = Swap16(v);
    v = _mm_shufflelo_epi16(v, 0xB1);
    return _mm_shufflehi_epi16(v, 0xB1);
}

/* Loads 16 units as bytes; returns a mask with bit i set when unit i is not
   ASCII. Only the bytes of ASCII units are meaningful. */
template <Enc E>
inline unsigned LoadAscii16(const Uint8 *p, __m128i &bytes)
{
    if constexpr (kUnit<E> == 1) {
        bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        return static_cast<unsigned>(_mm_movemask_epi8(bytes));
    } else if constexpr (kUnit<E> == 2) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16));
        if constexpr (kBigEndian<E>) {
            a = Swap16(a);
            b = Swap16(b);
        }
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        const __m128i ok = _mm_packs_epi16(_mm_cmpeq_epi16(_mm_and_si128(a, high), zero),
                                           _mm_cmpeq_epi16(_mm_and_si128(b, high), zero));
        bytes = _mm_packus_epi16(a, b);
        return static_cast<unsigned>(~_mm_movemask_epi8(ok)) & 0xFFFFu;
    } else {
        __m128i v[4];
        for (int i = 0; i < 4; ++i) {
            v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i));
            if constexpr (kBigEndian<E>)
                v[i] = Swap32(v[i]);
        }
        const __m128i high = _mm_set1_epi32(static_cast<int>(0xFFFFFF80u));
        const __m128i zero = _mm_setzero_si128();
        __m128i ok[4];
        for (int i = 0; i < 4; ++i)
            ok[i] = _mm_cmpeq_epi32(_mm_and_si128(v[i], high), zero);
        const __m128i ok8 =
            _mm_packs_epi16(_mm_packs_epi32(ok[0], ok[1]), _mm_packs_epi32(ok[2], ok[3]));
        bytes = _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
        return static_cast<unsigned>(~_mm_movemask_epi8(ok8)) & 0xFFFFu;
    }
}

/* Writes 16 ASCII bytes as 16 units. */
template <Enc E>
inline void StoreAscii16(Uint8 *p, __m128i bytes)
{
    const __m128i zero = _mm_setzero_si128();
    if constexpr (kUnit<E> == 1) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(p), bytes);
    } else if constexpr (kUnit<E> == 2) {
        if constexpr (kBigEndian<E>) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_unpacklo_epi8(zero, bytes));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), _mm_unpackhi_epi8(zero, bytes));
        } else {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_unpacklo_epi8(bytes, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), _mm_unpackhi_epi8(bytes, zero));
        }
    } else {
        if constexpr (kBigEndian<E>) {
            const __m128i lo = _mm_unpacklo_epi8(zero, bytes);
            const __m128i hi = _mm_unpackhi_epi8(zero, bytes);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_unpacklo_epi16(zero, lo));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), _mm_unpackhi_epi16(zero, lo));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 32), _mm_unpacklo_epi16(zero, hi));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 48), _mm_unpackhi_epi16(zero, hi));
        } else {
            const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
            const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p), _mm_unpacklo_epi16(lo, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 16), _mm_unpackhi_epi16(lo, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 32), _mm_unpacklo_epi16(hi, zero));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(p + 48), _mm_unpackhi_epi16(hi, zero));
        }
    }
}

/* ---- Runs of two-byte UTF-8 sequences (Latin, Greek, Cyrillic, Hebrew,
   Arabic...), eight at a time ---- */

/* Targets that take every code point from U+0080 to U+07FF unchanged. */
template <Enc D>
constexpr bool kTwoByteBlocks = D != Enc::Ascii &&D != Enc::Latin1;

/* Output bytes per two-byte character. */
template <Enc D>
constexpr size_t kTwoByteOut = D == Enc::Utf8 ? 2 : kUnit<D>;

/* Decodes the well-formed two-byte sequences among the eight pairs at p (16
   bytes readable) and writes them to out (room for eight characters);
   returns how many leading pairs were such sequences. */
template <Enc D>
inline size_t Utf8TwoByteBlock(const Uint8 *p, Uint8 *out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    /* Each 16-bit lane holds lead | continuation << 8: a lead 110xxxxx that
       is not C0 or C1 (overlong), then 10xxxxxx. */
    const __m128i shape =
        _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xC0E0))),
                        _mm_set1_epi16(static_cast<short>(0x80C0)));
    const __m128i overlong = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16(0x001E)), zero);
    const unsigned bad =
        ~static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(overlong, shape))) & 0xFFFFu;
    const size_t k = bad ? static_cast<size_t>(std::countr_zero(bad)) / 2 : 8;
    if (k == 0)
        return 0;
    if constexpr (D == Enc::Utf8) {
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), v);
    } else {
        const __m128i lead = _mm_and_si128(v, _mm_set1_epi16(0x1F));
        const __m128i cont = _mm_and_si128(_mm_srli_epi16(v, 8), _mm_set1_epi16(0x3F));
        const __m128i units = _mm_or_si128(_mm_slli_epi16(lead, 6), cont);
        if constexpr (kUnit<D> == 2) {
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out),
                             kBigEndian<D> ? Swap16(units) : units);
        } else {
            __m128i lo = _mm_unpacklo_epi16(units, zero);
            __m128i hi = _mm_unpackhi_epi16(units, zero);
            if constexpr (kBigEndian<D>) {
                lo = Swap32(lo);
                hi = Swap32(hi);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), lo);
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 16), hi);
        }
    }
    return k;
}

/* ---- Runs of three-byte UTF-8 sequences (CJK, Indic, symbols), four at a
   time: one load chain serves four characters instead of one. ---- */

/* The sequence in the low three bytes of x (little-endian load), or 0 when
   they are not a well-formed three-byte sequence of an allowed value. */
inline Uint32 ThreeByteValue(Uint64 x)
{
    if ((x & 0xC0C0F0u) != 0x8080E0u)
        return 0;
    const Uint32 cp =
        static_cast<Uint32>(((x & 0x0F) << 12) | (((x >> 8) & 0x3F) << 6) | ((x >> 16) & 0x3F));
    return (cp >= 0x800 && !IsSurrogate(cp) && cp < 0xFFFE) ? cp : 0;
}

/* Converts the well-formed three-byte sequences among the four at p (14
   bytes readable) to out (room for four characters); returns how many
   leading ones were well formed. */
template <Enc D>
inline size_t Utf8ThreeByteBlock(const Uint8 *p, Uint8 *out)
{
    if constexpr (!kLittleEndianHost) {
        return 0;
    } else {
        Uint64 a, b;
        std::memcpy(&a, p, 8);
        std::memcpy(&b, p + 6, 8);
        const Uint32 c0 = ThreeByteValue(a);
        const Uint32 c1 = ThreeByteValue(a >> 24);
        const Uint32 c2 = ThreeByteValue(b);
        const Uint32 c3 = ThreeByteValue(b >> 24);
        const size_t k = c0 == 0 ? 0 : c1 == 0 ? 1 : c2 == 0 ? 2 : c3 == 0 ? 3 : 4;
        if (k == 0)
            return 0;
        if constexpr (D == Enc::Utf8) {
            std::memcpy(out, p, 12);
        } else if constexpr (kUnit<D> == 2) {
            Store16(out, static_cast<Uint16>(c0), kBigEndian<D>);
            Store16(out + 2, static_cast<Uint16>(c1), kBigEndian<D>);
            Store16(out + 4, static_cast<Uint16>(c2), kBigEndian<D>);
            Store16(out + 6, static_cast<Uint16>(c3), kBigEndian<D>);
        } else {
            Store32(out, c0, kBigEndian<D>);
            Store32(out + 4, c1, kBigEndian<D>);
            Store32(out + 8, c2, kBigEndian<D>);
            Store32(out + 12, c3, kBigEndian<D>);
        }
        return k;
    }
}

/* Output bytes per three-byte character. */
template <Enc D>
constexpr size_t kThreeByteOut = D == Enc::Utf8 ? 3 : kUnit<D>;

/* Whether the unit at p is ASCII (at least one whole unit is available). */
#endif  // JEX_SIMD_X86

template <Enc E>
inline bool IsAsciiUnit(const Uint8 *p)
{
    if constexpr (kUnit<E> == 1)
        return p[0] < 0x80;
    else if constexpr (kUnit<E> == 2)
        return Load16(p, kBigEndian<E>) < 0x80;
    else
        return Load32(p, kBigEndian<E>) < 0x80;
}

/* Whether the units at p (a whole block is readable) start with enough
   ASCII to be worth a block: a lone space between words is cheaper to take
   one character at a time. */
template <Enc E>
inline bool AsciiRunAhead(const Uint8 *p)
{
    if constexpr (kUnit<E> == 1) {
        Uint32 v;
        std::memcpy(&v, p, 4);
        return (v & 0x80808080u) == 0;
    } else {
        return IsAsciiUnit<E>(p) && IsAsciiUnit<E>(p + kUnit<E>);
    }
}

/* Converts from S to D until the input is used up, the output is full
   (JEX_ICONV_E2BIG) or the input ends inside a character (JEX_ICONV_EINVAL);
   the pointers, counts and the character count always end after the last
   whole character. */
template <Enc S, Enc D>
size_t Convert(const Uint8 *&in, size_t &inleft, Uint8 *&out, size_t &outleft, size_t &count)
{
    constexpr size_t kInBlock = 16 * kUnit<S>;
    constexpr size_t kOutBlock = 16 * kUnit<D>;
    const Uint8 *ip = in;
    size_t il = inleft;
    Uint8 *op = out;
    size_t ol = outleft;
    size_t n = count;
    size_t status = 0;

    while (il > 0) {
#if JEX_SIMD_X86
        while (il >= kInBlock && ol >= kOutBlock) {
            __m128i bytes;
            const unsigned mask = LoadAscii16<S>(ip, bytes);
            /* The whole block fits, so writing all of it is harmless even
               when only its ASCII prefix counts. */
            StoreAscii16<D>(op, bytes);
            const size_t k = mask ? static_cast<size_t>(std::countr_zero(mask)) : 16;
            ip += k * kUnit<S>;
            il -= k * kUnit<S>;
            op += k * kUnit<D>;
            ol -= k * kUnit<D>;
            n += k;
            if (k != 16)
                break;
        }
#endif
        /* One character at a time until a block could start again. */
        while (il > 0) {
            size_t k = 0;
#if JEX_SIMD_X86
            if constexpr (S == Enc::Utf8 && kTwoByteBlocks<D>) {
                if ((ip[0] & 0xE0) == 0xC0 && il >= 16 && ol >= 8 * kTwoByteOut<D>) {
                    k = Utf8TwoByteBlock<D>(ip, op);
                    ip += 2 * k;
                    il -= 2 * k;
                    op += k * kTwoByteOut<D>;
                    ol -= k * kTwoByteOut<D>;
                    n += k;
                } else if ((ip[0] & 0xF0) == 0xE0 && il >= 14 && ol >= 4 * kThreeByteOut<D>) {
                    k = Utf8ThreeByteBlock<D>(ip, op);
                    ip += 3 * k;
                    il -= 3 * k;
                    op += k * kThreeByteOut<D>;
                    ol -= k * kThreeByteOut<D>;
                    n += k;
                }
            }
#endif
            if (k == 0) {
                Uint32 cp;
                const size_t used = Decode<S>(ip, il, cp);
                if (used == 0) {
                    status = JEX_ICONV_EINVAL;
                    goto done;
                }
                const size_t wrote = Encode<D>(cp, op, ol);
                if (wrote == 0) {
                    status = JEX_ICONV_E2BIG;
                    goto done;
                }
                ip += used;
                il -= used;
                op += wrote;
                ol -= wrote;
                ++n;
            }
            if (il >= kInBlock && ol >= kOutBlock && AsciiRunAhead<S>(ip))
                break;
        }
    }
done:
    in = ip;
    inleft = il;
    out = op;
    outleft = ol;
    count = n;
    return status;
}

using ConvertFn = size_t (*)(const Uint8 *&, size_t &, Uint8 *&, size_t &, size_t &);

template <size_t... I>
constexpr std::array<ConvertFn, sizeof...(I)> MakeTable(std::index_sequence<I...>)
{
    return {{&Convert<static_cast<Enc>(I / kEncCount), static_cast<Enc>(I % kEncCount)>...}};
}

constexpr auto kConverters = MakeTable(std::make_index_sequence<kEncCount * kEncCount>{});

/* Concrete encoding of an id; -1 for the ids whose order is not yet known. */
int ConcreteEnc(Uint32 id)
{
    switch (id) {
    case JEX_ENC_ASCII: return static_cast<int>(Enc::Ascii);
    case JEX_ENC_LATIN1: return static_cast<int>(Enc::Latin1);
    case JEX_ENC_UTF8: return static_cast<int>(Enc::Utf8);
    case JEX_ENC_UTF16BE: return static_cast<int>(Enc::Utf16BE);
    case JEX_ENC_UTF16LE: return static_cast<int>(Enc::Utf16LE);
    case JEX_ENC_UTF32BE: return static_cast<int>(Enc::Utf32BE);
    case JEX_ENC_UTF32LE: return static_cast<int>(Enc::Utf32LE);
    case JEX_ENC_UCS2: return static_cast<int>(Enc::Ucs2);
    case JEX_ENC_UCS4: return static_cast<int>(Enc::Ucs4);
    default: return -1;
    }
}

struct EncodingName {
    const char *name;
    Uint32 id;
};

constexpr EncodingName kEncodingNames[] = {
    {"ASCII", JEX_ENC_ASCII},       {"US-ASCII", JEX_ENC_ASCII},  {"8859-1", JEX_ENC_LATIN1},
    {"ISO-8859-1", JEX_ENC_LATIN1}, {"UTF8", JEX_ENC_UTF8},       {"UTF-8", JEX_ENC_UTF8},
    {"UTF16", JEX_ENC_UTF16},       {"UTF-16", JEX_ENC_UTF16},    {"UTF16BE", JEX_ENC_UTF16BE},
    {"UTF-16BE", JEX_ENC_UTF16BE},  {"UTF16LE", JEX_ENC_UTF16LE}, {"UTF-16LE", JEX_ENC_UTF16LE},
    {"UTF32", JEX_ENC_UTF32},       {"UTF-32", JEX_ENC_UTF32},    {"UTF32BE", JEX_ENC_UTF32BE},
    {"UTF-32BE", JEX_ENC_UTF32BE},  {"UTF32LE", JEX_ENC_UTF32LE}, {"UTF-32LE", JEX_ENC_UTF32LE},
    {"UCS2", JEX_ENC_UCS2},         {"UCS-2", JEX_ENC_UCS2},      {"UCS4", JEX_ENC_UCS4},
    {"UCS-4", JEX_ENC_UCS4},
};

/* Case-insensitive in plain ASCII, whatever the C locale says. */
bool NameEquals(const char *a, const char *b)
{
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(*a);
        unsigned char cb = static_cast<unsigned char>(*b);
        if (ca >= 'a' && ca <= 'z')
            ca = static_cast<unsigned char>(ca - 'a' + 'A');
        if (cb >= 'a' && cb <= 'z')
            cb = static_cast<unsigned char>(cb - 'a' + 'A');
        if (ca != cb)
            return false;
        if (ca == 0)
            return true;
    }
}

/* Byte order of a UTF-16 or UTF-32 input from its first byte-order mark;
   big-endian when there is none. */
bool InputIsBigEndian(const Uint8 *p, size_t len, size_t unit)
{
    if (unit == 2) {
        for (size_t i = 0; i + 2 <= len; i += 2) {
            if (p[i] == 0xFE && p[i + 1] == 0xFF)
                return true;
            if (p[i] == 0xFF && p[i + 1] == 0xFE)
                return false;
        }
    } else {
        for (size_t i = 0; i + 4 <= len; i += 4) {
            if (p[i] == 0 && p[i + 1] == 0 && p[i + 2] == 0xFE && p[i + 3] == 0xFF)
                return true;
            if (p[i] == 0xFF && p[i + 1] == 0xFE && p[i + 2] == 0 && p[i + 3] == 0)
                return false;
        }
    }
    return true;
}

bool IsValidDescriptor(JEX_iconv_t cd)
{
    return cd != nullptr && cd != reinterpret_cast<JEX_iconv_t>(-1);
}

}  // namespace

namespace jex::stdlib {

Uint32 LookupEncoding(const char *name)
{
    if (name == nullptr)
        return JEX_ENC_UNKNOWN;
    for (const EncodingName &e : kEncodingNames)
        if (NameEquals(name, e.name))
            return e.id;
    return JEX_ENC_UNKNOWN;
}

void GetLocaleCodeset(char (&buf)[kLocaleCodesetSize])
{
    /* An empty variable counts as unset, as it does for setlocale(). */
    const char *value = nullptr;
    for (const char *var : {"LC_ALL", "LC_CTYPE", "LC_MESSAGES", "LANG"}) {
        const char *v = std::getenv(var);
        if (v != nullptr && *v != '\0') {
            value = v;
            break;
        }
    }
    if (value == nullptr || std::strcmp(value, "C") == 0) {
        std::strcpy(buf, "ASCII");
        return;
    }
    if (const char *dot = std::strchr(value, '.'))
        value = dot + 1;
    std::strncpy(buf, value, kLocaleCodesetSize - 1);
    buf[kLocaleCodesetSize - 1] = '\0';
    if (char *at = std::strchr(buf, '@'))
        *at = '\0';
}

}  // namespace jex::stdlib

using jex::stdlib::GetLocaleCodeset;
using jex::stdlib::kLocaleCodesetSize;
using jex::stdlib::LookupEncoding;

extern "C" {

JEX_iconv_t JEX_iconv_open(const char *tocode, const char *fromcode)
{
    const JEX_iconv_t invalid = reinterpret_cast<JEX_iconv_t>(-1);
    char locale[kLocaleCodesetSize];
    if (tocode == nullptr || *tocode == '\0' || fromcode == nullptr || *fromcode == '\0') {
        GetLocaleCodeset(locale);
        if (tocode == nullptr || *tocode == '\0')
            tocode = locale;
        if (fromcode == nullptr || *fromcode == '\0')
            fromcode = locale;
    }
    const Uint32 src = LookupEncoding(fromcode);
    const Uint32 dst = LookupEncoding(tocode);
    if (src == JEX_ENC_UNKNOWN || dst == JEX_ENC_UNKNOWN)
        return invalid;
    auto *cd = static_cast<JEX_iconv_t>(std::malloc(sizeof(JEX_iconv_data_t)));
    if (cd == nullptr) {
        JEX_OutOfMemory();
        return invalid;
    }
    cd->src_fmt = src;
    cd->dst_fmt = dst;
    return cd;
}

int JEX_iconv_close(JEX_iconv_t cd)
{
    if (IsValidDescriptor(cd))
        std::free(cd);
    return 0;
}

size_t JEX_iconv(JEX_iconv_t cd, const char **inbuf, size_t *inbytesleft, char **outbuf,
                 size_t *outbytesleft)
{
    if (!IsValidDescriptor(cd))
        return JEX_ICONV_ERROR;
    if (inbuf == nullptr || *inbuf == nullptr)
        return 0;
    if (outbuf == nullptr || *outbuf == nullptr || outbytesleft == nullptr || *outbytesleft == 0)
        return JEX_ICONV_E2BIG;
    if (inbytesleft == nullptr)
        return JEX_ICONV_ERROR;

    const Uint8 *in = reinterpret_cast<const Uint8 *>(*inbuf);
    size_t inleft = *inbytesleft;
    if (cd->src_fmt == JEX_ENC_UTF16)
        cd->src_fmt = InputIsBigEndian(in, inleft, 2) ? JEX_ENC_UTF16BE : JEX_ENC_UTF16LE;
    else if (cd->src_fmt == JEX_ENC_UTF32)
        cd->src_fmt = InputIsBigEndian(in, inleft, 4) ? JEX_ENC_UTF32BE : JEX_ENC_UTF32LE;

    Uint8 *out = reinterpret_cast<Uint8 *>(*outbuf);
    size_t outleft = *outbytesleft;
    if (cd->dst_fmt == JEX_ENC_UTF16 || cd->dst_fmt == JEX_ENC_UTF32) {
        /* Unmarked output is written big-endian, announced by a mark. */
        static constexpr Uint8 kBom16[] = {0xFE, 0xFF};
        static constexpr Uint8 kBom32[] = {0x00, 0x00, 0xFE, 0xFF};
        const bool is16 = cd->dst_fmt == JEX_ENC_UTF16;
        const size_t len = is16 ? 2 : 4;
        if (outleft < len)
            return JEX_ICONV_E2BIG;
        std::memcpy(out, is16 ? kBom16 : kBom32, len);
        out += len;
        outleft -= len;
        *outbuf = reinterpret_cast<char *>(out);
        *outbytesleft = outleft;
        cd->dst_fmt = is16 ? JEX_ENC_UTF16BE : JEX_ENC_UTF32BE;
    }

    if (inleft == 0)
        return 0;
    const int s = ConcreteEnc(cd->src_fmt);
    const int d = ConcreteEnc(cd->dst_fmt);
    if (s < 0 || d < 0)
        return JEX_ICONV_ERROR;
    size_t count = 0;
    const size_t status =
        kConverters[static_cast<size_t>(s * kEncCount + d)](in, inleft, out, outleft, count);
    *inbuf = reinterpret_cast<const char *>(in);
    *inbytesleft = inleft;
    *outbuf = reinterpret_cast<char *>(out);
    *outbytesleft = outleft;
    return status != 0 ? status : count;
}

char *JEX_iconv_string(const char *tocode, const char *fromcode, const char *inbuf,
                       size_t inbytesleft)
{
    if (inbuf == nullptr)
        return nullptr;
    JEX_iconv_t cd = JEX_iconv_open(tocode, fromcode);
    if (!IsValidDescriptor(cd)) {
        cd = JEX_iconv_open((tocode == nullptr || *tocode == '\0') ? "UTF-8" : tocode,
                            (fromcode == nullptr || *fromcode == '\0') ? "UTF-8" : fromcode);
        if (!IsValidDescriptor(cd))
            return nullptr;
    }

    /* Four bytes past the room handed to the converter are kept for the
       terminator, so it always fits. */
    constexpr size_t kTerminator = 4;
    size_t size = inbytesleft < kTerminator ? kTerminator : inbytesleft;
    if (size > SIZE_MAX - kTerminator) {
        JEX_OutOfMemory();
        JEX_iconv_close(cd);
        return nullptr;
    }
    size += kTerminator;
    char *string = static_cast<char *>(std::malloc(size));
    if (string == nullptr) {
        JEX_OutOfMemory();
        JEX_iconv_close(cd);
        return nullptr;
    }
    std::memset(string, 0, kTerminator);

    const char *in = inbuf;
    size_t inleft = inbytesleft;
    char *out = string;
    size_t outleft = size - kTerminator;
    while (inleft > 0) {
        const size_t result = JEX_iconv(cd, &in, &inleft, &out, &outleft);
        if (result == JEX_ICONV_E2BIG) {
            const size_t used = static_cast<size_t>(out - string);
            if (size > SIZE_MAX / 2) {
                JEX_OutOfMemory();
                std::free(string);
                JEX_iconv_close(cd);
                return nullptr;
            }
            const size_t bigger = size * 2;
            char *grown = static_cast<char *>(std::realloc(string, bigger));
            if (grown == nullptr) {
                JEX_OutOfMemory();
                std::free(string);
                JEX_iconv_close(cd);
                return nullptr;
            }
            string = grown;
            size = bigger;
            out = string + used;
            outleft = size - kTerminator - used;
        } else if (result == JEX_ICONV_EILSEQ) {
            ++in;
            --inleft;
        } else if (result == JEX_ICONV_EINVAL || result == JEX_ICONV_ERROR) {
            break;
        }
    }
    std::memset(out, 0, kTerminator);
    JEX_iconv_close(cd);
    return string;
}

}  // extern "C"
