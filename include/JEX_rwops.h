/* Read/write streams over C files and memory blocks, and fixed-width
   integer I/O in a stated byte order.
   Threads: any thread may create and use streams; one stream must not be
   used by two threads at once (a stream has no lock of its own). */
#ifndef JEX_RWOPS_H
#define JEX_RWOPS_H

#include <stdio.h>

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* whence values of the seek operation */
#define JEX_RW_SEEK_SET 0
#define JEX_RW_SEEK_CUR 1
#define JEX_RW_SEEK_END 2

/* One stream: four operations and the state of its kind.
   - seek returns the new position from the start, or -1.
   - read returns the number of whole objects read; a request whose
     size * maxnum does not fit in size_t reads nothing and returns 0.
   - write returns the number of whole objects written (0 on failure,
     including every write to a read-only memory stream).
   - close returns 0 or -1 and frees the record in every case. */
typedef struct JEX_RWops {
    int (*seek)(struct JEX_RWops *context, int offset, int whence);
    size_t (*read)(struct JEX_RWops *context, void *ptr, size_t size, size_t maxnum);
    size_t (*write)(struct JEX_RWops *context, const void *ptr, size_t size, size_t num);
    int (*close)(struct JEX_RWops *context);
    union {
        struct {
            int autoclose;
            FILE *fp;
        } stdio;
        struct {
            Uint8 *base;
            Uint8 *here;
            Uint8 *stop;
        } mem;
        struct {
            void *data1;
        } unknown;
    } hidden;
} JEX_RWops;

JEX_API JEX_RWops *JEX_RWFromFile(const char *file, const char *mode);
/* When autoclose is nonzero, closing the stream closes fp. */
JEX_API JEX_RWops *JEX_RWFromFP(FILE *fp, int autoclose);
/* A read-write stream over size bytes at mem (null mem or a negative size fail). */
JEX_API JEX_RWops *JEX_RWFromMem(void *mem, int size);
/* A read-only stream over size bytes at mem. */
JEX_API JEX_RWops *JEX_RWFromConstMem(const void *mem, int size);

/* An empty record for streams of the caller's own kind; free it with JEX_FreeRW. */
JEX_API JEX_RWops *JEX_AllocRW(void);
JEX_API void JEX_FreeRW(JEX_RWops *area);

#define JEX_RWseek(ctx, offset, whence) (ctx)->seek(ctx, offset, whence)
#define JEX_RWtell(ctx) (ctx)->seek(ctx, 0, JEX_RW_SEEK_CUR)
#define JEX_RWread(ctx, ptr, size, n) (ctx)->read(ctx, ptr, size, n)
#define JEX_RWwrite(ctx, ptr, size, n) (ctx)->write(ctx, ptr, size, n)
#define JEX_RWclose(ctx) (ctx)->close(ctx)

/* Each reader fetches one value of its width in the named byte order.
   When the stream cannot supply every byte of the value (end of stream,
   read error, null stream) the result is 0 and an error is recorded; a
   partly read value is never returned. To tell a stored 0 from a failure,
   call JEX_ClearError before the read and check JEX_GetError after it. */
JEX_API Uint16 JEX_ReadLE16(JEX_RWops *src);
JEX_API Uint16 JEX_ReadBE16(JEX_RWops *src);
JEX_API Uint32 JEX_ReadLE32(JEX_RWops *src);
JEX_API Uint32 JEX_ReadBE32(JEX_RWops *src);
JEX_API Uint64 JEX_ReadLE64(JEX_RWops *src);
JEX_API Uint64 JEX_ReadBE64(JEX_RWops *src);

/* Each writer stores one value in the named byte order and returns the
   number of values written, 1 or 0. */
JEX_API size_t JEX_WriteLE16(JEX_RWops *dst, Uint16 value);
JEX_API size_t JEX_WriteBE16(JEX_RWops *dst, Uint16 value);
JEX_API size_t JEX_WriteLE32(JEX_RWops *dst, Uint32 value);
JEX_API size_t JEX_WriteBE32(JEX_RWops *dst, Uint32 value);
JEX_API size_t JEX_WriteLE64(JEX_RWops *dst, Uint64 value);
JEX_API size_t JEX_WriteBE64(JEX_RWops *dst, Uint64 value);

#ifdef __cplusplus
}
#endif

#endif /* JEX_RWOPS_H */
