/* Character-set conversion and small string utilities.
   Threads: every call may be made from any thread; a conversion descriptor
   must not be used by two threads at once. */
#ifndef JEX_STDINC_H
#define JEX_STDINC_H

#include "JEX_types.h"

#include <wchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Conversion descriptor; (JEX_iconv_t)-1 is the invalid descriptor. */
typedef struct JEX_iconv_data_t *JEX_iconv_t;

/* Result codes of JEX_iconv (as size values). */
#define JEX_ICONV_ERROR ((size_t)-1)  /* bad descriptor or arguments */
#define JEX_ICONV_E2BIG ((size_t)-2)  /* output space exhausted */
#define JEX_ICONV_EILSEQ ((size_t)-3) /* invalid input */
#define JEX_ICONV_EINVAL ((size_t)-4) /* input ends inside a character */

/* Encodings: "ASCII"/"US-ASCII", "8859-1"/"ISO-8859-1", "UTF8"/"UTF-8",
   "UTF16"/"UTF-16" (+BE/LE), "UTF32"/"UTF-32" (+BE/LE), "UCS2"/"UCS-2" and
   "UCS4"/"UCS-4" (machine order). Names are compared case-insensitively; a
   null or empty name means the locale's codeset. UTF-16 and UTF-32 without
   an order take it from the first byte-order mark in the input (big-endian
   without one) and are written big-endian after a mark. UCS-2 and UCS-4 are
   plain 16- and 31-bit codes: every value they can hold, surrogates included,
   is read and written as it is; the UTF encodings never read or write a
   surrogate or a value past U+10FFFF (U+FFFD takes its place). */
JEX_API JEX_iconv_t JEX_iconv_open(const char *tocode, const char *fromcode);
JEX_API int JEX_iconv_close(JEX_iconv_t cd);

/* Converts as many whole characters as fit, moving the caller's pointers and
   counts past them. Returns the number of characters converted, or one of
   the JEX_ICONV_ codes. Invalid input becomes U+FFFD (or '?'). */
JEX_API size_t JEX_iconv(JEX_iconv_t cd, const char **inbuf, size_t *inbytesleft, char **outbuf,
                         size_t *outbytesleft);

/* Converts a whole string into a new buffer (release it with free()),
   followed by four zero bytes; null on failure. */
JEX_API char *JEX_iconv_string(const char *tocode, const char *fromcode, const char *inbuf,
                               size_t inbytesleft);

/* Copies at most dst_bytes - 1 bytes of src, never ending inside a UTF-8
   sequence, and terminates (when dst_bytes > 0). Returns the bytes copied. */
JEX_API size_t JEX_utf8strlcpy(char *dst, const char *src, size_t dst_bytes);

/* Byte strings, BSD style: copy or append with at most maxlen - 1 bytes in
   dst, always terminated when maxlen > 0; return the length the result
   would have had without the limit. */
JEX_API size_t JEX_strlcpy(char *dst, const char *src, size_t maxlen);
JEX_API size_t JEX_strlcat(char *dst, const char *src, size_t maxlen);

/* Wide strings of 32-bit units; the same contracts as above. */
JEX_API size_t JEX_wcslen(const wchar_t *s);
JEX_API size_t JEX_wcslcpy(wchar_t *dst, const wchar_t *src, size_t maxlen);
JEX_API size_t JEX_wcslcat(wchar_t *dst, const wchar_t *src, size_t maxlen);

/* In place; each returns s. Case mapping is plain ASCII. */
JEX_API char *JEX_strrev(char *s);
JEX_API char *JEX_strupr(char *s);
JEX_API char *JEX_strlwr(char *s);

/* Integer to text in radix 2..36 (upper-case digits); returns string. Any
   other radix writes an empty string. string must hold the digits, a sign and
   the terminator (65 + 1 bytes always suffice). */
JEX_API char *JEX_ltoa(long value, char *string, int radix);
JEX_API char *JEX_ultoa(unsigned long value, char *string, int radix);
JEX_API char *JEX_lltoa(Sint64 value, char *string, int radix);
JEX_API char *JEX_ulltoa(Uint64 value, char *string, int radix);

#ifdef __cplusplus
}
#endif

#endif /* JEX_STDINC_H */
