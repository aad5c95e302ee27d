// Streams over C files and memory blocks, and the endian readers/writers.
#include "JEX_rwops.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <sys/types.h>

#include "JEX_endian.h"
#include "JEX_error.h"

namespace {

// size * count in bytes, or false when the product does not fit in size_t.
bool RequestBytes(size_t size, size_t count, size_t *bytes)
{
    return !__builtin_mul_overflow(size, count, bytes);
}

struct FileCloser {
    void operator()(FILE *fp) const { std::fclose(fp); }
};

// ---- C standard-I/O streams ----

int StdioSeek(JEX_RWops *context, int offset, int whence)
{
    if (!context) {
        JEX_Error(JEX_ERR_SEEK);
        return -1;
    }
    // The stream's whence codes are mapped rather than assumed to be the C ones.
    int origin;
    switch (whence) {
    case JEX_RW_SEEK_SET: origin = SEEK_SET; break;
    case JEX_RW_SEEK_CUR: origin = SEEK_CUR; break;
    case JEX_RW_SEEK_END: origin = SEEK_END; break;
    default: JEX_Error(JEX_ERR_SEEK); return -1;
    }
    FILE *fp = context->hidden.stdio.fp;
    // The position is reported as an int. A seek that lands beyond what an
    // int can tell is undone, so that a failed seek never moves the stream.
    const off_t before = ftello(fp);
    if (fseeko(fp, offset, origin) != 0) {
        JEX_Error(JEX_ERR_SEEK);
        return -1;
    }
    const off_t pos = ftello(fp);
    if (pos < 0 || pos > INT_MAX) {
        if (before >= 0)
            fseeko(fp, before, SEEK_SET);
        JEX_Error(JEX_ERR_SEEK);
        return -1;
    }
    return static_cast<int>(pos);
}

size_t StdioRead(JEX_RWops *context, void *ptr, size_t size, size_t maxnum)
{
    size_t bytes = 0;
    if (!context || size == 0 || maxnum == 0)
        return 0;
    // fread does not check the product itself and would report a count
    // of objects it never read.
    if (!RequestBytes(size, maxnum, &bytes) || !ptr) {
        JEX_Error(JEX_ERR_READ);
        return 0;
    }
    FILE *fp = context->hidden.stdio.fp;
    size_t n = std::fread(ptr, size, maxnum, fp);
    if (n < maxnum && std::ferror(fp))
        JEX_Error(JEX_ERR_READ);
    return n;
}

size_t StdioWrite(JEX_RWops *context, const void *ptr, size_t size, size_t num)
{
    size_t bytes = 0;
    if (!context || size == 0 || num == 0)
        return 0;
    if (!RequestBytes(size, num, &bytes) || !ptr) {
        JEX_Error(JEX_ERR_WRITE);
        return 0;
    }
    FILE *fp = context->hidden.stdio.fp;
    size_t n = std::fwrite(ptr, size, num, fp);
    if (n < num && std::ferror(fp))
        JEX_Error(JEX_ERR_WRITE);
    return n;
}

int StdioClose(JEX_RWops *context)
{
    if (!context)
        return 0;
    int status = 0;
    if (context->hidden.stdio.autoclose && std::fclose(context->hidden.stdio.fp) != 0) {
        JEX_Error(JEX_ERR_WRITE);
        status = -1;
    }
    JEX_FreeRW(context);
    return status;
}

// ---- memory streams ----

int MemSeek(JEX_RWops *context, int offset, int whence)
{
    if (!context) {
        JEX_Error(JEX_ERR_SEEK);
        return -1;
    }
    auto &m = context->hidden.mem;
    // Positions are computed as offsets so that no pointer ever leaves the block.
    const long long size = m.stop - m.base;
    long long target;
    switch (whence) {
    case JEX_RW_SEEK_SET: target = offset; break;
    case JEX_RW_SEEK_CUR: target = (m.here - m.base) + static_cast<long long>(offset); break;
    case JEX_RW_SEEK_END: target = size + offset; break;
    default: JEX_SetError("Unknown value for 'whence'"); return -1;
    }
    if (target < 0)
        target = 0;
    else if (target > size)
        target = size;
    m.here = m.base + target;
    return static_cast<int>(target);
}

size_t MemRead(JEX_RWops *context, void *ptr, size_t size, size_t maxnum)
{
    size_t bytes = 0;
    if (!context || size == 0 || maxnum == 0)
        return 0;
    if (!RequestBytes(size, maxnum, &bytes) || !ptr) {
        JEX_Error(JEX_ERR_READ);
        return 0;
    }
    auto &m = context->hidden.mem;
    const size_t avail = static_cast<size_t>(m.stop - m.here);
    if (bytes > avail)
        bytes = avail;
    if (bytes > 0) {
        std::memcpy(ptr, m.here, bytes);
        m.here += bytes;
    }
    return bytes / size;
}

size_t MemWrite(JEX_RWops *context, const void *ptr, size_t size, size_t num)
{
    size_t bytes = 0;
    if (!context || size == 0 || num == 0)
        return 0;
    if (!RequestBytes(size, num, &bytes) || !ptr) {
        JEX_Error(JEX_ERR_WRITE);
        return 0;
    }
    auto &m = context->hidden.mem;
    const size_t avail = static_cast<size_t>(m.stop - m.here);
    if (bytes > avail) {
        // Only whole objects go in; the block is full for this request.
        num = avail / size;
        bytes = num * size;
        JEX_Error(JEX_ERR_WRITE);
    }
    if (bytes > 0) {
        std::memcpy(m.here, ptr, bytes);
        m.here += bytes;
    }
    return num;
}

size_t MemWriteConst(JEX_RWops *, const void *, size_t, size_t)
{
    JEX_SetError("Can't write to read-only memory");
    return 0;
}

int MemClose(JEX_RWops *context)
{
    JEX_FreeRW(context);
    return 0;
}

JEX_RWops *MemStream(const void *mem, int size, bool writable)
{
    if (!mem || size < 0) {
        JEX_SetError(writable ? "JEX_RWFromMem(): Invalid memory block"
                              : "JEX_RWFromConstMem(): Invalid memory block");
        return nullptr;
    }
    JEX_RWops *rw = JEX_AllocRW();
    if (!rw)
        return nullptr;
    rw->seek = MemSeek;
    rw->read = MemRead;
    rw->write = writable ? MemWrite : MemWriteConst;
    rw->close = MemClose;
    // The read-only kind keeps a non-const pointer but has no write path through it.
    auto *base = static_cast<Uint8 *>(const_cast<void *>(mem));
    rw->hidden.mem.base = base;
    rw->hidden.mem.here = base;
    rw->hidden.mem.stop = base + size;
    return rw;
}

// ---- endian helpers ----

// Reads exactly sizeof(T) bytes. On a short read the bytes that did arrive
// are given back to the stream when it can seek, and the caller gets false.
template <typename T>
bool ReadExact(JEX_RWops *src, T *value)
{
    *value = 0;
    if (!src || !src->read) {
        JEX_SetError("Invalid stream");
        return false;
    }
    Uint8 buf[sizeof(T)] = {};
    size_t got = src->read(src, buf, 1, sizeof(T));
    if (got != sizeof(T)) {
        if (got > 0 && src->seek)
            src->seek(src, -static_cast<int>(got), JEX_RW_SEEK_CUR);
        JEX_Error(JEX_ERR_READ);
        return false;
    }
    std::memcpy(value, buf, sizeof(T));
    return true;
}

template <typename T>
size_t WriteValue(JEX_RWops *dst, T value)
{
    if (!dst || !dst->write) {
        JEX_SetError("Invalid stream");
        return 0;
    }
    return dst->write(dst, &value, sizeof(T), 1) == 1 ? 1 : 0;
}

}  // namespace

extern "C" {

JEX_RWops *JEX_AllocRW(void)
{
    auto *area = static_cast<JEX_RWops *>(std::calloc(1, sizeof(JEX_RWops)));
    if (!area)
        JEX_OutOfMemory();
    return area;
}

void JEX_FreeRW(JEX_RWops *area)
{
    std::free(area);
}

JEX_RWops *JEX_RWFromFile(const char *file, const char *mode)
{
    if (!file || !*file || !mode || !*mode) {
        JEX_SetError("JEX_RWFromFile(): No file or no mode specified");
        return nullptr;
    }
    std::unique_ptr<FILE, FileCloser> fp(std::fopen(file, mode));
    if (!fp) {
        JEX_SetError("Couldn't open %s", file);
        return nullptr;
    }
    JEX_RWops *rw = JEX_RWFromFP(fp.get(), 1);
    if (rw)
        fp.release();
    return rw;
}

JEX_RWops *JEX_RWFromFP(FILE *fp, int autoclose)
{
    if (!fp) {
        JEX_SetError("JEX_RWFromFP(): No file specified");
        return nullptr;
    }
    JEX_RWops *rw = JEX_AllocRW();
    if (!rw)
        return nullptr;
    rw->seek = StdioSeek;
    rw->read = StdioRead;
    rw->write = StdioWrite;
    rw->close = StdioClose;
    rw->hidden.stdio.autoclose = autoclose ? 1 : 0;
    rw->hidden.stdio.fp = fp;
    return rw;
}

JEX_RWops *JEX_RWFromMem(void *mem, int size)
{
    return MemStream(mem, size, true);
}

JEX_RWops *JEX_RWFromConstMem(const void *mem, int size)
{
    return MemStream(mem, size, false);
}

Uint16 JEX_ReadLE16(JEX_RWops *src)
{
    Uint16 v;
    return ReadExact(src, &v) ? JEX_SwapLE16(v) : 0;
}

Uint16 JEX_ReadBE16(JEX_RWops *src)
{
    Uint16 v;
    return ReadExact(src, &v) ? JEX_SwapBE16(v) : 0;
}

Uint32 JEX_ReadLE32(JEX_RWops *src)
{
    Uint32 v;
    return ReadExact(src, &v) ? JEX_SwapLE32(v) : 0;
}

Uint32 JEX_ReadBE32(JEX_RWops *src)
{
    Uint32 v;
    return ReadExact(src, &v) ? JEX_SwapBE32(v) : 0;
}

Uint64 JEX_ReadLE64(JEX_RWops *src)
{
    Uint64 v;
    return ReadExact(src, &v) ? JEX_SwapLE64(v) : 0;
}

Uint64 JEX_ReadBE64(JEX_RWops *src)
{
    Uint64 v;
    return ReadExact(src, &v) ? JEX_SwapBE64(v) : 0;
}

size_t JEX_WriteLE16(JEX_RWops *dst, Uint16 value)
{
    return WriteValue(dst, JEX_SwapLE16(value));
}

size_t JEX_WriteBE16(JEX_RWops *dst, Uint16 value)
{
    return WriteValue(dst, JEX_SwapBE16(value));
}

size_t JEX_WriteLE32(JEX_RWops *dst, Uint32 value)
{
    return WriteValue(dst, JEX_SwapLE32(value));
}

size_t JEX_WriteBE32(JEX_RWops *dst, Uint32 value)
{
    return WriteValue(dst, JEX_SwapBE32(value));
}

size_t JEX_WriteLE64(JEX_RWops *dst, Uint64 value)
{
    return WriteValue(dst, JEX_SwapLE64(value));
}

size_t JEX_WriteBE64(JEX_RWops *dst, Uint64 value)
{
    return WriteValue(dst, JEX_SwapBE64(value));
}

}  // extern "C"
