/* Internals of the character-set converter, shared with its tests. */
#ifndef JEX_STDLIB_ICONV_INTERNAL_H
#define JEX_STDLIB_ICONV_INTERNAL_H

#include "JEX_stdinc.h"

#include <cstddef>

/* Encoding ids stored in a descriptor. The "order from the data" ids are
   replaced by the concrete order on the first conversion. */
enum : Uint32 {
    JEX_ENC_UNKNOWN = 0,
    JEX_ENC_ASCII = 1,
    JEX_ENC_LATIN1 = 2,
    JEX_ENC_UTF8 = 3,
    JEX_ENC_UTF16 = 4,
    JEX_ENC_UTF16BE = 5,
    JEX_ENC_UTF16LE = 6,
    JEX_ENC_UTF32 = 7,
    JEX_ENC_UTF32BE = 8,
    JEX_ENC_UTF32LE = 9,
    JEX_ENC_UCS2 = 10,
    JEX_ENC_UCS4 = 11,
};

struct JEX_iconv_data_t {
    Uint32 src_fmt;
    Uint32 dst_fmt;
};

namespace jex::stdlib {

constexpr size_t kLocaleCodesetSize = 64;

/* Id of an encoding name (case-insensitive), or JEX_ENC_UNKNOWN. */
Uint32 LookupEncoding(const char *name);

/* The codeset named by the locale environment, "ASCII" when there is none. */
void GetLocaleCodeset(char (&buf)[kLocaleCodesetSize]);

}  // namespace jex::stdlib

#endif /* JEX_STDLIB_ICONV_INTERNAL_H */
