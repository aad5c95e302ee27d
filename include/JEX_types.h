/* Basic types and the export macro shared by every JEX header. */
#ifndef JEX_TYPES_H
#define JEX_TYPES_H

#include <stddef.h>
#include <stdint.h>
#include <stdarg.h>

#if defined(__GNUC__) || defined(__clang__)
#define JEX_API __attribute__((visibility("default")))
#define JEX_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define JEX_API
#define JEX_PRINTF_FORMAT(fmt, args)
#endif

typedef int8_t Sint8;
typedef uint8_t Uint8;
typedef int16_t Sint16;
typedef uint16_t Uint16;
typedef int32_t Sint32;
typedef uint32_t Uint32;
typedef int64_t Sint64;
typedef uint64_t Uint64;

typedef enum { JEX_FALSE = 0, JEX_TRUE = 1 } JEX_bool;

#endif /* JEX_TYPES_H */
