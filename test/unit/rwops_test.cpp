// Streams over memory and files, and the endian readers and writers.
#include <gtest/gtest.h>
#include <array>
#include <tuple>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <unistd.h>
#include "JEX_endian.h"
#include "JEX_error.h"
#include "JEX_rwops.h"

namespace {

std::string TempPath(const char *stem)
{
    return ::testing::TempDir() + "jex_rwops_" + std::to_string(getpid()) + "_" + stem;
}

TEST(Streams, MemorySeekReadWriteAndByteOrder)
{
    std::array<Uint8, 20> block;
    std::iota(block.begin(), block.end(), Uint8{0});
    JEX_RWops *rw = JEX_RWFromMem(block.data(), 20);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_RWseek(rw, -10, JEX_RW_SEEK_SET), 0);
    EXPECT_EQ(JEX_RWseek(rw, 10, JEX_RW_SEEK_END), 20);
    EXPECT_EQ(JEX_RWseek(rw, -30, JEX_RW_SEEK_CUR), 0);
    EXPECT_EQ(JEX_RWseek(rw, -2147483647 - 1, JEX_RW_SEEK_END), 0);
    EXPECT_EQ(JEX_RWseek(rw, 2147483647, JEX_RW_SEEK_CUR), 20);
    EXPECT_EQ(JEX_RWseek(rw, 0, 3), -1);
    EXPECT_STREQ(JEX_GetError(), "Unknown value for 'whence'");
    EXPECT_EQ(JEX_RWtell(rw), 20);
    // Requests whose byte count wraps, or of no size, move nothing.
    ASSERT_EQ(JEX_RWseek(rw, 10, JEX_RW_SEEK_SET), 10);
    Uint8 out[12];
    std::memset(out, 0xEE, sizeof out);
    for (auto [size, n] :
         {std::pair<size_t, size_t>{SIZE_MAX / 2 + 1, 2}, {4, SIZE_MAX}, {0, 3}, {4, 0}}) {
        EXPECT_EQ(JEX_RWread(rw, out, size, n), 0u);
        EXPECT_EQ(JEX_RWwrite(rw, out, size, n), 0u);
    }
    EXPECT_EQ(JEX_RWtell(rw), 10);
    // 3 objects of 4 bytes with 10 left: 2 whole objects, all 10 bytes taken.
    EXPECT_EQ(JEX_RWread(rw, out, 4, 3), 2u);
    EXPECT_EQ(std::tuple(JEX_RWtell(rw), out[9], out[10]), std::tuple(20, 19, 0xEE));
    // 5 objects of 4 with 10 bytes left: 2 objects, 8 bytes.
    ASSERT_EQ(JEX_RWseek(rw, -10, JEX_RW_SEEK_END), 10);
    const Uint8 src[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(JEX_RWwrite(rw, src, 4, 5), 2u);
    EXPECT_EQ(JEX_RWwrite(rw, src, 4, 1), 0u);
    EXPECT_EQ(std::tuple(JEX_RWtell(rw), block[17], block[18]), std::tuple(18, 8, 18));
    EXPECT_EQ(JEX_RWclose(rw), 0);
    // Read-only blocks refuse writes; bad blocks are refused; empty ones work.
    rw = JEX_RWFromConstMem(block.data(), 4);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_RWwrite(rw, src, 1, 4), 0u);
    EXPECT_STREQ(JEX_GetError(), "Can't write to read-only memory");
    EXPECT_EQ(JEX_WriteBE16(rw, 0x1234), 0u);
    EXPECT_EQ(std::tuple(block[0], JEX_RWtell(rw)), std::tuple(0, 0));
    JEX_RWclose(rw);
    EXPECT_EQ(JEX_RWFromMem(nullptr, 10), nullptr);
    EXPECT_EQ(JEX_RWFromConstMem(nullptr, 0), nullptr);
    EXPECT_EQ(JEX_RWFromMem(out, -1), nullptr);
    rw = JEX_RWFromMem(out, 0);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_RWread(rw, out, 1, 1), 0u);
    EXPECT_EQ(JEX_RWseek(rw, 5, JEX_RW_SEEK_SET), 0);
    JEX_RWclose(rw);
    // The endian readers and writers: byte order, never part of a value.
    const Uint8 bytes[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    rw = JEX_RWFromConstMem(bytes, 8);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_ReadBE16(rw), 0x1234);
    EXPECT_EQ(JEX_ReadLE16(rw), 0x7856);
    EXPECT_EQ(JEX_ReadLE32(rw), 0xF0DEBC9Au);
    JEX_RWseek(rw, 0, JEX_RW_SEEK_SET);
    EXPECT_EQ(JEX_ReadBE64(rw), 0x123456789ABCDEF0ull);
    JEX_RWseek(rw, 0, JEX_RW_SEEK_SET);
    EXPECT_EQ(JEX_ReadLE64(rw), 0xF0DEBC9A78563412ull);
    const float f = JEX_SwapFloatBE(1.5f);
    EXPECT_EQ(std::memcmp(&f, "\x3F\xC0\x00\x00", 4), 0);
    // 3 bytes left: never a value made of 3 bytes and a zero, nothing moves.
    ASSERT_EQ(JEX_RWseek(rw, 5, JEX_RW_SEEK_SET), 5);
    JEX_ClearError();
    EXPECT_EQ(JEX_ReadBE32(rw), 0u);
    EXPECT_STREQ(JEX_GetError(), "Error reading from datastream");
    EXPECT_EQ(JEX_RWtell(rw), 5);
    EXPECT_EQ(JEX_ReadLE64(rw), 0u);
    EXPECT_EQ(JEX_ReadBE16(rw), 0xBCDE);
    JEX_RWclose(rw);
    JEX_ClearError();
    EXPECT_EQ(JEX_ReadLE32(nullptr), 0u);
    EXPECT_EQ(JEX_WriteLE32(nullptr, 1), 0u);
    EXPECT_STRNE(JEX_GetError(), "");
    // Nor does a writer leave part of a value.
    std::array<Uint8, 5> five{};
    rw = JEX_RWFromMem(five.data(), 5);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_WriteBE32(rw, 0x01020304u), 1u);
    EXPECT_EQ(JEX_WriteLE16(rw, 0xFFFF), 0u);
    EXPECT_EQ(five[4], 0);
    JEX_RWclose(rw);
    // A one-byte-per-read stream that cannot seek: an unfinished value is 0 with an error.
    int left = 3;
    rw = JEX_AllocRW();
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(rw->seek, nullptr);
    rw->read = [](JEX_RWops *ctx, void *ptr, size_t size, size_t n) -> size_t {
        auto *more = static_cast<int *>(ctx->hidden.unknown.data1);
        if (size != 1 || n == 0 || *more == 0)
            return 0;
        --*more;
        *static_cast<Uint8 *>(ptr) = 0x7F;
        return 1;
    };
    rw->hidden.unknown.data1 = &left;
    JEX_ClearError();
    EXPECT_EQ(JEX_ReadLE32(rw), 0u);
    EXPECT_STRNE(JEX_GetError(), "");
    EXPECT_EQ(JEX_WriteLE32(rw, 5), 0u);  // no write operation
    JEX_FreeRW(rw);
}

// Every writer on file-backed streams, read back by the C library.
TEST(Streams, FilesByteOrderSeeksAndErrors)
{
    const std::string path = TempPath("roundtrip");
    for (int kind = 0; kind < 3; ++kind) {  // file name, C file kept open, C file handed over
        FILE *fp = kind ? std::fopen(path.c_str(), "w+b") : nullptr;
        JEX_RWops *rw = kind ? JEX_RWFromFP(fp, kind == 2) : JEX_RWFromFile(path.c_str(), "w+b");
        ASSERT_NE(rw, nullptr);
        ASSERT_EQ(JEX_WriteLE16(rw, 0xBEEF) + JEX_WriteBE16(rw, 0xCAFE) +
                      JEX_WriteLE32(rw, 0xDEADBEEFu) + JEX_WriteBE32(rw, 0x01234567u) +
                      JEX_WriteLE64(rw, 0x0011223344556677ull) +
                      JEX_WriteBE64(rw, 0x8899AABBCCDDEEFFull),
                  6u);
        // The readers of the other orders are held to fixed bytes in memory.
        ASSERT_EQ(JEX_RWseek(rw, 8, JEX_RW_SEEK_SET), 8);
        EXPECT_EQ(JEX_ReadBE32(rw), 0x01234567u);
        EXPECT_EQ(JEX_RWclose(rw), 0);
        EXPECT_EQ(kind == 1 ? std::fclose(fp) : 0, 0);  // no autoclose: fp is still open
        char bytes[29] = {};
        FILE *f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(std::fread(bytes, 1, sizeof bytes, f), 28u);
        std::fclose(f);
        EXPECT_EQ(std::string(bytes, 28),
                  std::string("\xef\xbe\xca\xfe\xef\xbe\xad\xde\x01\x23\x45\x67\x77\x66"
                              "\x55\x44\x33\x22\x11\x00\x88\x99\xaa\xbb\xcc\xdd\xee\xff",
                              28));
    }
    // The file seeks like the memory block, from every origin.
    JEX_RWops *file = JEX_RWFromFile(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(JEX_RWseek(file, 0, JEX_RW_SEEK_END), 28);
    EXPECT_EQ(JEX_RWseek(file, -6, JEX_RW_SEEK_END), 22);
    EXPECT_EQ(JEX_RWseek(file, -2, JEX_RW_SEEK_CUR), 20);
    EXPECT_EQ(JEX_ReadBE64(file), 0x8899AABBCCDDEEFFull);
    JEX_ClearError();
    EXPECT_EQ(JEX_ReadBE16(file), 0u);  // at the end
    EXPECT_STRNE(JEX_GetError(), "");
    JEX_RWclose(file);
    std::remove(path.c_str());
    // Opening, seeking and I/O errors.
    EXPECT_EQ(JEX_RWFromFile("x", ""), nullptr);
    EXPECT_STREQ(JEX_GetError(), "JEX_RWFromFile(): No file or no mode specified");
    EXPECT_EQ(JEX_RWFromFile("", "rb"), nullptr);
    EXPECT_EQ(JEX_RWFromFile(nullptr, "rb"), nullptr);
    EXPECT_EQ(JEX_RWFromFile("x", nullptr), nullptr);
    const std::string missing = TempPath("does_not_exist");
    EXPECT_EQ(JEX_RWFromFile(missing.c_str(), "rb"), nullptr);
    EXPECT_EQ(std::string(JEX_GetError()), "Couldn't open " + missing);
    EXPECT_EQ(JEX_RWFromFP(nullptr, 1), nullptr);
    JEX_RWops *rw = JEX_RWFromFile(path.c_str(), "wb");
    ASSERT_NE(rw, nullptr);
    ASSERT_EQ(JEX_RWwrite(rw, "abcd", 1, 4), 4u);
    EXPECT_EQ(JEX_RWseek(rw, -1, JEX_RW_SEEK_SET), -1);
    EXPECT_STREQ(JEX_GetError(), "Error seeking in datastream");
    EXPECT_EQ(JEX_RWseek(rw, 0, 7), -1);
    EXPECT_EQ(JEX_RWseek(rw, 2, JEX_RW_SEEK_SET), 2);
    // Reading a file opened for writing only sets the error indicator.
    char buf[4];
    JEX_ClearError();
    EXPECT_EQ(JEX_RWread(rw, buf, 1, 4), 0u);
    EXPECT_STREQ(JEX_GetError(), "Error reading from datastream");
    // A request larger than memory is refused before fread sees it.
    EXPECT_EQ(JEX_RWread(rw, buf, SIZE_MAX, 2), 0u);
    EXPECT_EQ(JEX_RWwrite(rw, buf, 2, SIZE_MAX), 0u);
    // A seek past what the int result can tell fails in place (the sparse file is free).
    ASSERT_EQ(truncate(path.c_str(), 3LL << 30), 0);
    EXPECT_EQ(JEX_RWseek(rw, 0, JEX_RW_SEEK_END), -1);
    EXPECT_STREQ(JEX_GetError(), "Error seeking in datastream");
    EXPECT_EQ(JEX_RWtell(rw), 2);
    EXPECT_EQ(JEX_RWseek(rw, 2147483647, JEX_RW_SEEK_CUR), -1);
    EXPECT_EQ(JEX_RWseek(rw, -5, JEX_RW_SEEK_END), -1);
    EXPECT_EQ(JEX_RWwrite(rw, "XY", 1, 2), 2u);  // still written where it was
    EXPECT_EQ(JEX_RWclose(rw), 0);
    FILE *fp = std::fopen(path.c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    char head[5] = {};
    EXPECT_EQ(std::fread(head, 1, 4, fp), 4u);
    EXPECT_STREQ(head, "abXY");
    std::fclose(fp);
    std::remove(path.c_str());
}

}  // namespace
