// Arbitrary bytes through every pair of encodings with small, randomly sized
// output buffers. Checks: nothing is written past a buffer (each buffer is an
// exact heap block, so ASan sees any overrun), the moving pointers and counts
// agree, a conversion in pieces equals the one-shot conversion, the output is
// well-formed in its encoding and decodes back to what the input decodes to.

#include "JEX_stdinc.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char *const kNames[] = {"ASCII",  "ISO-8859-1", "UTF-8",    "UTF-16", "UTF-16BE", "UTF-16LE",
                              "UTF-32", "UTF-32BE",   "UTF-32LE", "UCS-2",  "UCS-4"};
constexpr size_t kNameCount = sizeof kNames / sizeof kNames[0];

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

struct Outcome {
    std::vector<uint8_t> out;
    size_t code = 0; /* last result */
    size_t consumed = 0;
};

/* One call with room for everything. */
Outcome OneShot(const char *to, const char *from, const uint8_t *data, size_t size)
{
    Outcome o;
    JEX_iconv_t cd = JEX_iconv_open(to, from);
    Check(cd != reinterpret_cast<JEX_iconv_t>(-1));
    std::vector<uint8_t> buf(size * 4 + 8);
    const char *ip = reinterpret_cast<const char *>(data);
    size_t il = size;
    char *op = reinterpret_cast<char *>(buf.data());
    size_t ol = buf.size();
    o.code = JEX_iconv(cd, &ip, &il, &op, &ol);
    Check(o.code != JEX_ICONV_E2BIG && o.code != JEX_ICONV_ERROR && o.code != JEX_ICONV_EILSEQ);
    o.consumed = size - il;
    buf.resize(buf.size() - ol);
    o.out = std::move(buf);
    JEX_iconv_close(cd);
    return o;
}

uint32_t Load(const uint8_t *p, size_t unit, bool big)
{
    uint32_t v = 0;
    for (size_t i = 0; i < unit; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * (big ? unit - 1 - i : i));
    return v;
}

/* Independent well-formedness check of converter output. */
bool WellFormed(const char *to, const std::vector<uint8_t> &s)
{
    const std::string name = to;
    auto scalar = [](uint32_t c) { return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF); };
    if (name == "ASCII") {
        for (uint8_t c : s)
            if (c >= 0x80)
                return false;
        return true;
    }
    if (name == "ISO-8859-1")
        return true;
    if (name == "UTF-8") {
        for (size_t i = 0; i < s.size();) {
            const uint8_t c = s[i];
            size_t len = c < 0x80   ? 1
                         : c < 0xC2 ? 0
                         : c < 0xE0 ? 2
                         : c < 0xF0 ? 3
                         : c < 0xF5 ? 4
                                    : 0;
            if (len == 0 || i + len > s.size())
                return false;
            uint32_t cp = len == 1 ? c : (c & (0x7F >> len));
            for (size_t k = 1; k < len; ++k) {
                if ((s[i + k] & 0xC0) != 0x80)
                    return false;
                cp = (cp << 6) | (s[i + k] & 0x3F);
            }
            static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (cp < kMin[len] || !scalar(cp))
                return false;
            i += len;
        }
        return true;
    }
    const bool wide = name.find("32") != std::string::npos || name == "UCS-4";
    const size_t unit = wide ? 4 : 2;
    if (s.size() % unit != 0)
        return false;
    /* The unmarked names write a big-endian mark and big-endian data. */
    const bool big = name.find("BE") != std::string::npos || name == "UTF-16" || name == "UTF-32";
    if (name == "UTF-16" || name == "UTF-32") {
        if (s.size() < unit || Load(s.data(), unit, true) != 0xFEFF)
            return false;
    }
    for (size_t i = 0; i < s.size(); i += unit) {
        const uint32_t u = Load(s.data() + i, unit, big);
        if (name == "UCS-2") {
            if (u >= 0xD800 && u <= 0xDFFF)
                return false;
        } else if (name == "UCS-4") {
            if ((u & 0x80000000u) || (u >= 0xD800 && u <= 0xDFFF))
                return false;
        } else if (wide) {
            if (!scalar(u))
                return false;
        } else if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 4 > s.size())
                return false;
            const uint32_t low = Load(s.data() + i + 2, 2, big);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            i += 2;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

bool HasMark(const char *name)
{
    return std::strcmp(name, "UTF-16") == 0 || std::strcmp(name, "UTF-32") == 0;
}

/* Targets that keep every code point a decoder can produce (after the
   replacement of values no Unicode text may hold). */
bool Lossless(const char *name)
{
    return std::strncmp(name, "UTF", 3) == 0 || std::strcmp(name, "UCS-4") == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    const char *from = kNames[data[0] % kNameCount];
    const char *to = kNames[data[1] % kNameCount];
    uint32_t rng = data[2] * 2654435761u + 1;
    auto next_room = [&rng]() {
        rng = rng * 1103515245u + 12345u;
        return static_cast<size_t>((rng >> 16) % 23) + 1;
    };
    data += 3;
    size -= 3;

    const Outcome whole = OneShot(to, from, data, size);

    /* The same conversion with small output buffers. */
    JEX_iconv_t cd = JEX_iconv_open(to, from);
    Check(cd != reinterpret_cast<JEX_iconv_t>(-1));
    std::vector<uint8_t> pieces;
    const char *ip = reinterpret_cast<const char *>(data);
    size_t il = size;
    size_t last = 0;
    for (int calls = 0;; ++calls) {
        Check(calls < 1000000);
        const size_t room = next_room();
        std::unique_ptr<uint8_t[]> buf(new uint8_t[room]);
        char *op = reinterpret_cast<char *>(buf.get());
        size_t ol = room;
        const char *ip_before = ip;
        const size_t il_before = il;
        last = JEX_iconv(cd, &ip, &il, &op, &ol);
        const size_t used = static_cast<size_t>(ip - ip_before);
        const size_t wrote = room - ol;
        Check(ip >= ip_before && used == il_before - il);
        Check(op == reinterpret_cast<char *>(buf.get()) + wrote && ol <= room);
        pieces.insert(pieces.end(), buf.get(), buf.get() + wrote);
        if (last == JEX_ICONV_E2BIG) {
            /* No progress only when the next character (at most 4 bytes, or
               a 4-byte mark) did not fit. */
            Check(used != 0 || wrote != 0 || room < 4);
            continue;
        }
        if (last == JEX_ICONV_EINVAL)
            Check(il > 0 && il < 6);
        else
            Check(last < JEX_ICONV_EINVAL && il == 0);
        break;
    }
    JEX_iconv_close(cd);
    Check(pieces == whole.out);
    Check(size - il == whole.consumed);
    Check((last == JEX_ICONV_EINVAL) == (whole.code == JEX_ICONV_EINVAL));
    Check(WellFormed(to, whole.out) || (size == 0 && HasMark(to)));

    /* The output decodes completely, to the characters the input decodes to
       when the target loses nothing. */
    if (!whole.out.empty()) {
        const Outcome back = OneShot("UTF-32LE", to, whole.out.data(), whole.out.size());
        Check(back.code < JEX_ICONV_EINVAL && back.consumed == whole.out.size());
        if (Lossless(to)) {
            Outcome direct = OneShot("UTF-32LE", from, data, size);
            if (std::strcmp(to, "UTF-8") == 0) {
                /* U+FFFE and U+FFFF are written to UTF-8 but read back from
                   it as U+FFFD. */
                for (size_t i = 0; i + 4 <= direct.out.size(); i += 4)
                    if (direct.out[i + 1] == 0xFF && direct.out[i] >= 0xFE && !direct.out[i + 2] &&
                        !direct.out[i + 3])
                        direct.out[i] = 0xFD;
            }
            const size_t skip = HasMark(to) ? 4 : 0; /* the mark decodes as U+FEFF */
            Check(back.out.size() == direct.out.size() + skip);
            Check(std::memcmp(back.out.data() + skip, direct.out.data(), direct.out.size()) == 0);
        }
    }

    /* The whole-string form: the same text, then four zero bytes. */
    char *s = JEX_iconv_string(to, from, reinterpret_cast<const char *>(data), size);
    Check(s != nullptr);
    Check(std::memcmp(s, whole.out.data(), whole.out.size()) == 0 || (size == 0));
    const size_t end = size == 0 ? 0 : whole.out.size();
    Check(std::memcmp(s + end, "\0\0\0\0", 4) == 0);
    std::free(s);

    /* The bounded UTF-8 copy never ends inside a sequence it was given whole. */
    std::vector<char> src(data, data + size);
    src.push_back('\0');
    const size_t dst_bytes = next_room();
    std::unique_ptr<char[]> dst(new char[dst_bytes]);
    const size_t n = JEX_utf8strlcpy(dst.get(), src.data(), dst_bytes);
    Check(n < dst_bytes && dst[n] == '\0' && std::memcmp(dst.get(), src.data(), n) == 0);
    return 0;
}
