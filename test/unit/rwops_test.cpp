// Streams over memory and files, and the endian readers and writers.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Output of a shell command, for reading files back with an independent tool.
std::string RunCommand(const std::string &cmd)
{
    std::string out;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

TEST(Endian, SwapHelpers)
{
    EXPECT_EQ(JEX_Swap16(0x1234), 0x3412);
    EXPECT_EQ(JEX_Swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(JEX_Swap64(0x0102030405060708ull), 0x0807060504030201ull);
    // This build is little-endian: LE conversions are the identity.
    EXPECT_EQ(JEX_BYTEORDER, JEX_LIL_ENDIAN);
    EXPECT_EQ(JEX_SwapLE32(0xA1B2C3D4u), 0xA1B2C3D4u);
    EXPECT_EQ(JEX_SwapBE32(0xA1B2C3D4u), 0xD4C3B2A1u);
    EXPECT_EQ(JEX_SwapBE16(0x00FF), 0xFF00);
    EXPECT_EQ(JEX_SwapLE64(0x1122334455667788ull), 0x1122334455667788ull);
    EXPECT_EQ(JEX_SwapBE64(0x1122334455667788ull), 0x8877665544332211ull);
    const float f = 1.5f;
    EXPECT_EQ(JEX_SwapFloat(JEX_SwapFloat(f)), f);
    Uint32 bits;
    const float swapped = JEX_SwapFloatBE(f);
    std::memcpy(&bits, &swapped, 4);
    EXPECT_EQ(bits, 0x0000C03Fu);  // 1.5f is 0x3FC00000
}

TEST(MemStream, SeekClampsAndRejectsUnknownWhence)
{
    std::array<Uint8, 100> block{};
    JEX_RWops *rw = JEX_RWFromMem(block.data(), 100);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_RWseek(rw, -10, JEX_RW_SEEK_SET), 0);
    EXPECT_EQ(JEX_RWseek(rw, 10, JEX_RW_SEEK_END), 100);
    EXPECT_EQ(JEX_RWseek(rw, -30, JEX_RW_SEEK_CUR), 70);
    EXPECT_EQ(JEX_RWtell(rw), 70);
    EXPECT_EQ(JEX_RWseek(rw, -2147483647 - 1, JEX_RW_SEEK_END), 0);
    EXPECT_EQ(JEX_RWseek(rw, 2147483647, JEX_RW_SEEK_CUR), 100);
    JEX_ClearError();
    EXPECT_EQ(JEX_RWseek(rw, 0, 3), -1);
    EXPECT_STREQ(JEX_GetError(), "Unknown value for 'whence'");
    EXPECT_EQ(JEX_RWtell(rw), 100);
    EXPECT_EQ(JEX_RWclose(rw), 0);
}

TEST(MemStream, ReadsWholeObjectsAndRejectsOverflow)
{
    std::array<Uint8, 20> block;
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<Uint8>(i);
    JEX_RWops *rw = JEX_RWFromConstMem(block.data(), 20);
    ASSERT_NE(rw, nullptr);
    ASSERT_EQ(JEX_RWseek(rw, 10, JEX_RW_SEEK_SET), 10);

    // A request whose byte count wraps reads nothing and moves nothing.
    Uint8 out[12] = {};
    JEX_ClearError();
    EXPECT_EQ(JEX_RWread(rw, out, SIZE_MAX / 2 + 1, 2), 0u);
    EXPECT_EQ(JEX_RWread(rw, out, 4, SIZE_MAX), 0u);
    EXPECT_STRNE(JEX_GetError(), "");
    EXPECT_EQ(JEX_RWtell(rw), 10);
    EXPECT_EQ(out[0], 0);

    EXPECT_EQ(JEX_RWread(rw, out, 0, 3), 0u);
    EXPECT_EQ(JEX_RWread(rw, out, 4, 0), 0u);

    // 3 objects of 4 bytes with 10 left: 2 whole objects, all 10 bytes taken.
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(JEX_RWread(rw, out, 4, 3), 2u);
    EXPECT_EQ(JEX_RWtell(rw), 20);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(out[i], 10 + i);
    EXPECT_EQ(out[10], 0xEE);
    EXPECT_EQ(JEX_RWread(rw, out, 1, 1), 0u);
    JEX_RWclose(rw);
}

TEST(MemStream, WritesOnlyWholeObjectsThatFit)
{
    std::array<Uint8, 16> block{};
    JEX_RWops *rw = JEX_RWFromMem(block.data(), 16);
    ASSERT_NE(rw, nullptr);
    ASSERT_EQ(JEX_RWseek(rw, 6, JEX_RW_SEEK_SET), 6);
    const Uint8 src[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};

    EXPECT_EQ(JEX_RWwrite(rw, src, SIZE_MAX, 2), 0u);
    EXPECT_EQ(JEX_RWtell(rw), 6);

    // 5 objects of 4 with 10 bytes left: 2 objects, 8 bytes.
    EXPECT_EQ(JEX_RWwrite(rw, src, 4, 5), 2u);
    EXPECT_EQ(JEX_RWtell(rw), 14);
    const std::array<Uint8, 16> want = {0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0};
    EXPECT_EQ(block, want);
    EXPECT_EQ(JEX_RWwrite(rw, src, 4, 1), 0u);
    EXPECT_EQ(block, want);
    EXPECT_EQ(JEX_RWwrite(rw, src, 1, 2), 2u);
    EXPECT_EQ(block[15], 2);
    JEX_RWclose(rw);
}

TEST(MemStream, ReadOnlyAndBadBlocks)
{
    const Uint8 block[4] = {9, 8, 7, 6};
    JEX_RWops *rw = JEX_RWFromConstMem(block, 4);
    ASSERT_NE(rw, nullptr);
    const Uint8 src[4] = {1, 2, 3, 4};
    JEX_ClearError();
    EXPECT_EQ(JEX_RWwrite(rw, src, 1, 4), 0u);
    EXPECT_STREQ(JEX_GetError(), "Can't write to read-only memory");
    EXPECT_EQ(JEX_WriteBE16(rw, 0x1234), 0u);
    EXPECT_EQ(block[0], 9);
    EXPECT_EQ(JEX_RWtell(rw), 0);
    JEX_RWclose(rw);

    Uint8 b[1];
    EXPECT_EQ(JEX_RWFromMem(nullptr, 10), nullptr);
    EXPECT_EQ(JEX_RWFromConstMem(nullptr, 0), nullptr);
    EXPECT_EQ(JEX_RWFromMem(b, -1), nullptr);
    // An empty block is a valid, empty stream.
    rw = JEX_RWFromMem(b, 0);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_RWread(rw, b, 1, 1), 0u);
    EXPECT_EQ(JEX_RWseek(rw, 5, JEX_RW_SEEK_SET), 0);
    JEX_RWclose(rw);
}

TEST(EndianIO, ByteOrderOfEachReader)
{
    const Uint8 bytes[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
    JEX_RWops *rw = JEX_RWFromConstMem(bytes, 8);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_ReadBE16(rw), 0x1234);
    EXPECT_EQ(JEX_ReadLE16(rw), 0x7856);
    JEX_RWseek(rw, 0, JEX_RW_SEEK_SET);
    EXPECT_EQ(JEX_ReadBE32(rw), 0x12345678u);
    EXPECT_EQ(JEX_ReadLE32(rw), 0xF0DEBC9Au);
    JEX_RWseek(rw, 0, JEX_RW_SEEK_SET);
    EXPECT_EQ(JEX_ReadBE64(rw), 0x123456789ABCDEF0ull);
    JEX_RWseek(rw, 0, JEX_RW_SEEK_SET);
    EXPECT_EQ(JEX_ReadLE64(rw), 0xF0DEBC9A78563412ull);
    JEX_RWclose(rw);
}

TEST(EndianIO, ShortReadOrWriteMovesNothing)
{
    const Uint8 bytes[5] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
    JEX_RWops *rw = JEX_RWFromConstMem(bytes, 5);
    ASSERT_NE(rw, nullptr);
    ASSERT_EQ(JEX_RWseek(rw, 2, JEX_RW_SEEK_SET), 2);
    JEX_ClearError();
    // 3 bytes left: never a value made of 3 bytes and a zero.
    EXPECT_EQ(JEX_ReadBE32(rw), 0u);
    EXPECT_STREQ(JEX_GetError(), "Error reading from datastream");
    EXPECT_EQ(JEX_RWtell(rw), 2);
    EXPECT_EQ(JEX_ReadLE64(rw), 0u);
    EXPECT_EQ(JEX_ReadBE16(rw), 0xCCDD);
    JEX_ClearError();
    EXPECT_EQ(JEX_ReadLE16(rw), 0u);
    EXPECT_STRNE(JEX_GetError(), "");
    JEX_RWclose(rw);

    JEX_ClearError();
    EXPECT_EQ(JEX_ReadLE32(nullptr), 0u);
    EXPECT_EQ(JEX_WriteLE32(nullptr, 1), 0u);
    EXPECT_STRNE(JEX_GetError(), "");

    // Nor does a writer leave part of a value.
    std::array<Uint8, 5> block{};
    rw = JEX_RWFromMem(block.data(), 5);
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_WriteBE32(rw, 0x01020304u), 1u);
    EXPECT_EQ(JEX_WriteLE16(rw, 0xFFFF), 0u);
    EXPECT_EQ(block[4], 0);
    EXPECT_EQ(JEX_RWtell(rw), 4);
    JEX_RWclose(rw);
}

// Writes a value of every width in both orders and reads it back.
void RoundTrip(JEX_RWops *rw)
{
    ASSERT_EQ(JEX_WriteLE16(rw, 0xBEEF), 1u);
    ASSERT_EQ(JEX_WriteBE16(rw, 0xCAFE), 1u);
    ASSERT_EQ(JEX_WriteLE32(rw, 0xDEADBEEFu), 1u);
    ASSERT_EQ(JEX_WriteBE32(rw, 0x01234567u), 1u);
    ASSERT_EQ(JEX_WriteLE64(rw, 0x0011223344556677ull), 1u);
    ASSERT_EQ(JEX_WriteBE64(rw, 0x8899AABBCCDDEEFFull), 1u);
    ASSERT_EQ(JEX_RWtell(rw), 28);
    ASSERT_EQ(JEX_RWseek(rw, 0, JEX_RW_SEEK_SET), 0);
    EXPECT_EQ(JEX_ReadLE16(rw), 0xBEEF);
    EXPECT_EQ(JEX_ReadBE16(rw), 0xCAFE);
    EXPECT_EQ(JEX_ReadLE32(rw), 0xDEADBEEFu);
    EXPECT_EQ(JEX_ReadBE32(rw), 0x01234567u);
    EXPECT_EQ(JEX_ReadLE64(rw), 0x0011223344556677ull);
    EXPECT_EQ(JEX_ReadBE64(rw), 0x8899AABBCCDDEEFFull);
    // The same bytes read in the other order come out swapped.
    ASSERT_EQ(JEX_RWseek(rw, 4, JEX_RW_SEEK_SET), 4);
    EXPECT_EQ(JEX_ReadBE32(rw), 0xEFBEADDEu);
}

TEST(EndianIO, RoundTripThroughEveryStreamKind)
{
    std::array<Uint8, 28> block{};
    JEX_RWops *mem = JEX_RWFromMem(block.data(), 28);
    ASSERT_NE(mem, nullptr);
    RoundTrip(mem);
    JEX_RWclose(mem);
    EXPECT_EQ(block[0], 0xEF);
    EXPECT_EQ(block[2], 0xCA);

    const std::string path = TempPath("roundtrip");
    JEX_RWops *file = JEX_RWFromFile(path.c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    RoundTrip(file);
    EXPECT_EQ(JEX_RWclose(file), 0);

    // The file holds exactly the bytes of the memory block.
    JEX_RWops *again = JEX_RWFromFile(path.c_str(), "rb");
    ASSERT_NE(again, nullptr);
    std::array<Uint8, 32> disk{};
    EXPECT_EQ(JEX_RWread(again, disk.data(), 1, disk.size()), 28u);
    EXPECT_EQ(std::memcmp(disk.data(), block.data(), 28), 0);
    JEX_RWclose(again);

    FILE *fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    JEX_RWops *wrapped = JEX_RWFromFP(fp, 1);
    ASSERT_NE(wrapped, nullptr);
    RoundTrip(wrapped);
    EXPECT_EQ(JEX_RWclose(wrapped), 0);
    std::remove(path.c_str());
}

TEST(FileStream, ReadsBytesWrittenByPrintf)
{
    const std::string path = TempPath("printf");
    // Octal escapes: POSIX printf in any shell writes these raw bytes.
    const std::string cmd =
        "printf '\\022\\064\\126\\170\\232\\274\\336\\360\\001' > '" + path + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    JEX_RWops *rw = JEX_RWFromFile(path.c_str(), "rb");
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(JEX_ReadBE32(rw), 0x12345678u);
    EXPECT_EQ(JEX_ReadLE32(rw), 0xF0DEBC9Au);
    JEX_ClearError();
    EXPECT_EQ(JEX_ReadBE16(rw), 0u);  // one byte left
    EXPECT_STRNE(JEX_GetError(), "");
    EXPECT_EQ(JEX_RWtell(rw), 8);
    Uint8 last = 0;
    EXPECT_EQ(JEX_RWread(rw, &last, 1, 1), 1u);
    EXPECT_EQ(last, 0x01);
    EXPECT_EQ(JEX_RWseek(rw, 0, JEX_RW_SEEK_END), 9);
    EXPECT_EQ(JEX_RWseek(rw, -3, JEX_RW_SEEK_END), 6);
    EXPECT_EQ(JEX_RWseek(rw, -2, JEX_RW_SEEK_CUR), 4);
    EXPECT_EQ(JEX_ReadBE16(rw), 0x9ABC);
    JEX_RWclose(rw);
    std::remove(path.c_str());
}

TEST(FileStream, WrittenBytesSeenByOd)
{
    const std::string path = TempPath("od");
    JEX_RWops *rw = JEX_RWFromFile(path.c_str(), "wb");
    ASSERT_NE(rw, nullptr);
    ASSERT_EQ(JEX_WriteBE16(rw, 0x0A0B), 1u);
    ASSERT_EQ(JEX_WriteLE32(rw, 0x01020304u), 1u);
    ASSERT_EQ(JEX_RWclose(rw), 0);
    EXPECT_EQ(RunCommand("od -An -tx1 -v '" + path + "' | tr -s ' \\n' ' '"),
              " 0a 0b 04 03 02 01 ");
    std::remove(path.c_str());
}

TEST(FileStream, OpenFailures)
{
    JEX_ClearError();
    EXPECT_EQ(JEX_RWFromFile("x", ""), nullptr);
    EXPECT_STREQ(JEX_GetError(), "JEX_RWFromFile(): No file or no mode specified");
    EXPECT_EQ(JEX_RWFromFile("", "rb"), nullptr);
    EXPECT_EQ(JEX_RWFromFile(nullptr, "rb"), nullptr);
    EXPECT_EQ(JEX_RWFromFile("x", nullptr), nullptr);
    const std::string missing = TempPath("does_not_exist");
    EXPECT_EQ(JEX_RWFromFile(missing.c_str(), "rb"), nullptr);
    EXPECT_EQ(std::string(JEX_GetError()), "Couldn't open " + missing);
    EXPECT_EQ(JEX_RWFromFP(nullptr, 1), nullptr);
}

TEST(FileStream, SeekAndIoErrors)
{
    const std::string path = TempPath("errors");
    JEX_RWops *rw = JEX_RWFromFile(path.c_str(), "wb");
    ASSERT_NE(rw, nullptr);
    ASSERT_EQ(JEX_RWwrite(rw, "abcd", 1, 4), 4u);
    JEX_ClearError();
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
    EXPECT_EQ(JEX_RWclose(rw), 0);
    std::remove(path.c_str());
}

TEST(FileStream, AutocloseDecidesWhetherTheFileStaysOpen)
{
    FILE *fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    JEX_RWops *rw = JEX_RWFromFP(fp, 0);
    ASSERT_NE(rw, nullptr);
    ASSERT_EQ(JEX_WriteBE32(rw, 0x41424344u), 1u);
    EXPECT_EQ(JEX_RWclose(rw), 0);
    // Still usable through the C file.
    ASSERT_EQ(std::fseek(fp, 0, SEEK_SET), 0);
    char text[5] = {};
    EXPECT_EQ(std::fread(text, 1, 4, fp), 4u);
    EXPECT_STREQ(text, "ABCD");
    EXPECT_EQ(std::fclose(fp), 0);
}

// A stream of the caller's own kind that hands out one byte per read and cannot seek.
size_t TrickleRead(JEX_RWops *rw, void *ptr, size_t size, size_t maxnum)
{
    auto *left = static_cast<int *>(rw->hidden.unknown.data1);
    if (size != 1 || maxnum == 0 || *left == 0)
        return 0;
    --*left;
    *static_cast<Uint8 *>(ptr) = 0x7F;
    return 1;
}

int CustomClose(JEX_RWops *rw)
{
    JEX_FreeRW(rw);
    return 0;
}

TEST(EndianIO, CustomStreamDeliveringPartOfAValue)
{
    int left = 3;
    JEX_RWops *rw = JEX_AllocRW();
    ASSERT_NE(rw, nullptr);
    EXPECT_EQ(rw->seek, nullptr);
    rw->read = TrickleRead;
    rw->close = CustomClose;
    rw->hidden.unknown.data1 = &left;
    JEX_ClearError();
    EXPECT_EQ(JEX_ReadLE32(rw), 0u);
    EXPECT_STRNE(JEX_GetError(), "");
    EXPECT_EQ(JEX_WriteLE32(rw, 5), 0u);  // no write operation
    EXPECT_EQ(JEX_RWclose(rw), 0);
}

}  // namespace
