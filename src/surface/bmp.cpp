// Windows and OS/2 bitmap files, read from and written to streams.
//
// All integers in the file are little-endian, and so is this build: 16- and
// 32-bit pixels are used exactly as stored, 24-bit rows are kept as their
// blue, green, red bytes (BGR24).
#include "JEX_bmp.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "surface/pixels_internal.h"

namespace {

constexpr int kFileHeaderSize = 14;
constexpr Uint32 kOS2HeaderSize = 12;
constexpr Uint32 kWindowsHeaderSize = 40;     // the header written
constexpr Uint32 kMinWindowsHeaderSize = 16;  // through bits per pixel
constexpr Uint32 kHeaderFieldsUsed = 56;      // through the alpha mask
constexpr Uint32 kCompressionNone = 0;
constexpr Uint32 kCompressionBitFields = 3;
constexpr Uint32 kMaxPaletteEntries = 256;

// Offsets inside the Windows info header, counted from its size field.
enum : int {
    kHdrWidth = 4,
    kHdrHeight = 8,
    kHdrBitCount = 14,
    kHdrCompression = 16,
    kHdrColorsUsed = 32,
    kHdrRedMask = 40,
    kHdrGreenMask = 44,
    kHdrBlueMask = 48,
    kHdrAlphaMask = 52,
};

Uint16 GetLE16(const Uint8 *p)
{
    return static_cast<Uint16>(p[0] | (p[1] << 8));
}

Uint32 GetLE32(const Uint8 *p)
{
    return static_cast<Uint32>(p[0]) | (static_cast<Uint32>(p[1]) << 8) |
           (static_cast<Uint32>(p[2]) << 16) | (static_cast<Uint32>(p[3]) << 24);
}

Uint8 *PutLE16(Uint8 *p, Uint16 v)
{
    p[0] = static_cast<Uint8>(v);
    p[1] = static_cast<Uint8>(v >> 8);
    return p + 2;
}

Uint8 *PutLE32(Uint8 *p, Uint32 v)
{
    p[0] = static_cast<Uint8>(v);
    p[1] = static_cast<Uint8>(v >> 8);
    p[2] = static_cast<Uint8>(v >> 16);
    p[3] = static_cast<Uint8>(v >> 24);
    return p + 4;
}

// A stream may hand back fewer bytes than asked for without recording an
// error (memory streams at their end), so every read is checked by count.
bool ReadExact(JEX_RWops *rw, void *buf, size_t n)
{
    return n == 0 || rw->read(rw, buf, 1, n) == n;
}

bool WriteExact(JEX_RWops *rw, const void *buf, size_t n)
{
    return n == 0 || rw->write(rw, buf, 1, n) == n;
}

struct SurfaceDeleter {
    void operator()(JEX_Surface *surface) const { JEX_FreeSurface(surface); }
};
using SurfacePtr = std::unique_ptr<JEX_Surface, SurfaceDeleter>;

struct MasksOf {
    Uint32 r = 0, g = 0, b = 0, a = 0;
};

MasksOf FormatMasks(Uint32 format)
{
    MasksOf m;
    int bpp = 0;
    JEX_PixelFormatEnumToMasks(format, &bpp, &m.r, &m.g, &m.b, &m.a);
    return m;
}

// What the headers say, after validation.
struct BmpHeader {
    Uint32 data_offset = 0;
    Uint32 header_size = 0;
    bool os2 = false;    // OS/2 1.x: 3-byte palette entries, no bit fields
    bool os2v2 = false;  // OS/2 2.x: no bit fields
    int width = 0;
    int height = 0;
    bool top_down = false;
    int bpp = 0;
    Uint32 compression = 0;
    Uint32 colors_used = 0;
    MasksOf masks;
};

bool ReadHeaders(JEX_RWops *src, BmpHeader *h)
{
    Uint8 magic[2];
    if (!ReadExact(src, magic, sizeof magic)) {
        JEX_Error(JEX_ERR_READ);
        return false;
    }
    if (magic[0] != 'B' || magic[1] != 'M') {
        JEX_SetError("File is not a Windows BMP file");
        return false;
    }

    // The rest of the file header (size, two reserved fields, data offset)
    // and the info header's size field.
    Uint8 fh[16];
    if (!ReadExact(src, fh, sizeof fh)) {
        JEX_Error(JEX_ERR_READ);
        return false;
    }
    h->data_offset = GetLE32(fh + 8);
    h->header_size = GetLE32(fh + 12);

    Sint64 width = 0;
    Sint64 height = 0;
    if (h->header_size == kOS2HeaderSize) {
        Uint8 os2[8];
        if (!ReadExact(src, os2, sizeof os2)) {
            JEX_Error(JEX_ERR_READ);
            return false;
        }
        h->os2 = true;
        width = GetLE16(os2);
        height = GetLE16(os2 + 2);
        h->bpp = GetLE16(os2 + 6);
    } else {
        if (h->header_size < kMinWindowsHeaderSize) {
            JEX_SetError("Unsupported BMP header size %u", h->header_size);
            return false;
        }
        // Shorter headers (OS/2 2.x) leave the missing fields 0; longer ones
        // (V4, V5) carry fields past the masks that are not needed.
        Uint8 hdr[kHeaderFieldsUsed] = {};
        const Uint32 avail = std::min(h->header_size, kHeaderFieldsUsed);
        if (!ReadExact(src, hdr + 4, avail - 4)) {
            JEX_Error(JEX_ERR_READ);
            return false;
        }
        width = static_cast<Sint32>(GetLE32(hdr + kHdrWidth));
        height = static_cast<Sint32>(GetLE32(hdr + kHdrHeight));
        h->bpp = GetLE16(hdr + kHdrBitCount);
        h->compression = GetLE32(hdr + kHdrCompression);
        h->colors_used = GetLE32(hdr + kHdrColorsUsed);
        // V2 and later headers hold the masks inside; shorter ones are
        // followed by them when the pixels use bit fields.
        if (avail >= kHdrBlueMask + 4) {
            h->masks.r = GetLE32(hdr + kHdrRedMask);
            h->masks.g = GetLE32(hdr + kHdrGreenMask);
            h->masks.b = GetLE32(hdr + kHdrBlueMask);
        }
        if (avail >= kHdrAlphaMask + 4)
            h->masks.a = GetLE32(hdr + kHdrAlphaMask);
    }

    if (height < 0) {
        h->top_down = true;
        height = -height;  // -INT_MIN is fine in 64 bits and rejected below
    }
    if (width <= 0 || height <= 0 || width > INT_MAX || height > INT_MAX) {
        JEX_SetError("Invalid BMP image size %dx%d", static_cast<int>(width),
                     static_cast<int>(h->top_down ? -height : height));
        return false;
    }
    h->width = static_cast<int>(width);
    h->height = static_cast<int>(height);

    switch (h->bpp) {
    case 1:
    case 4:
    case 8:
    case 15:
    case 16:
    case 24:
    case 32: break;
    default: JEX_SetError("%d bpp BMP files not supported", h->bpp); return false;
    }
    // An OS/2 2.x header numbers its compressions differently: 3 is Huffman.
    h->os2v2 = h->header_size == 64;
    if ((h->compression != kCompressionNone && h->compression != kCompressionBitFields) ||
        (h->os2v2 && h->compression != kCompressionNone)) {
        JEX_SetError("Compressed BMP files not supported");
        return false;
    }
    return true;
}

// Fills h->masks with the masks of the pixel data, reading them from after
// the header when a short header is followed by bit fields.
bool DetermineMasks(JEX_RWops *src, BmpHeader *h)
{
    MasksOf fixed;
    switch (h->bpp) {
    case 15:
    case 16: fixed = FormatMasks(JEX_PIXELFORMAT_RGB555); break;
    case 24:
        // 24-bit pixels have no bit fields: always blue, green, red bytes.
        h->masks = FormatMasks(JEX_PIXELFORMAT_BGR24);
        return true;
    case 32: fixed = FormatMasks(JEX_PIXELFORMAT_ARGB8888); break;
    default: h->masks = MasksOf{}; return true;
    }

    // Only bit-field compression carries masks; plain RGB data is the fixed
    // layout even when the pixel data starts after a gap.
    const bool bitfields = !h->os2 && !h->os2v2 && h->compression == kCompressionBitFields;
    if (!bitfields) {
        h->masks = fixed;
        return true;
    }
    if (h->header_size < kHdrBlueMask + 4) {
        // Windows 3 header: the masks follow it. The stream is right after
        // the header, since the whole of it was read.
        Uint8 m[16];
        const Uint64 after = static_cast<Uint64>(kFileHeaderSize) + h->header_size;
        const bool has_alpha = h->bpp == 32 && h->data_offset >= after + 16;
        if (!ReadExact(src, m, has_alpha ? 16 : 12)) {
            JEX_Error(JEX_ERR_READ);
            return false;
        }
        h->masks.r = GetLE32(m);
        h->masks.g = GetLE32(m + 4);
        h->masks.b = GetLE32(m + 8);
        h->masks.a = has_alpha ? GetLE32(m + 12) : 0;
    }
    // Empty colour masks describe nothing: the file means the usual layout.
    if (h->masks.r == 0 && h->masks.g == 0 && h->masks.b == 0)
        h->masks = fixed;
    return true;
}

SurfacePtr LoadBody(JEX_RWops *src, int start)
{
    BmpHeader h;
    if (!ReadHeaders(src, &h) || !DetermineMasks(src, &h))
        return nullptr;

    const bool expand = h.bpp < 8;
    const bool indexed = h.bpp <= 8;
    Uint32 ncolors = 0;
    if (indexed) {
        const Uint32 max_colors = 1u << h.bpp;
        if (h.colors_used > max_colors) {
            JEX_SetError("BMP file has %u colours, more than %d bpp can use", h.colors_used, h.bpp);
            return nullptr;
        }
        ncolors = h.colors_used ? h.colors_used : max_colors;
    }

    // Everything the image needs must be in the stream before a surface of
    // the size the header claims is allocated.
    const int here = src->seek(src, 0, JEX_RW_SEEK_CUR);
    const int end = here < 0 ? -1 : src->seek(src, 0, JEX_RW_SEEK_END);
    if (end < 0 || src->seek(src, here, JEX_RW_SEEK_SET) != here) {
        JEX_Error(JEX_ERR_SEEK);
        return nullptr;
    }
    // 15-bit pixels are stored in 16 bits.
    const Uint64 bits = h.bpp == 15 ? 16 : static_cast<Uint64>(h.bpp);
    const Uint64 row_bytes = (static_cast<Uint64>(h.width) * bits + 7) / 8;
    const Uint64 stride = (row_bytes + 3) & ~static_cast<Uint64>(3);
    const Sint64 data_start = static_cast<Sint64>(start) + h.data_offset;
    const Sint64 avail = end - data_start;
    if (avail < 0 || static_cast<Uint64>(avail) < row_bytes ||
        (static_cast<Uint64>(avail) - row_bytes) / stride < static_cast<Uint64>(h.height - 1)) {
        JEX_Error(JEX_ERR_READ);
        return nullptr;
    }

    int depth = indexed ? 8 : h.bpp;
    // 16-bit pixels with 4-bit channels and no alpha are the 12-bit format.
    const MasksOf rgb444 = FormatMasks(JEX_PIXELFORMAT_RGB444);
    if (h.bpp == 16 && h.masks.r == rgb444.r && h.masks.g == rgb444.g && h.masks.b == rgb444.b &&
        h.masks.a == 0)
        depth = 12;
    SurfacePtr surface(JEX_CreateRGBSurface(0, h.width, h.height, depth, h.masks.r, h.masks.g,
                                            h.masks.b, h.masks.a));
    if (!surface)
        return nullptr;

    JEX_Palette *palette = surface->format->palette;
    if (palette) {
        // The palette follows the whole info header, whatever its size.
        const Sint64 pal_start = static_cast<Sint64>(start) + kFileHeaderSize + h.header_size;
        const int entry = h.os2 ? 3 : 4;
        Uint8 raw[kMaxPaletteEntries * 4];
        if (pal_start > end || src->seek(src, static_cast<int>(pal_start), JEX_RW_SEEK_SET) < 0) {
            JEX_Error(JEX_ERR_READ);
            return nullptr;
        }
        if (!ReadExact(src, raw, static_cast<size_t>(ncolors) * entry)) {
            JEX_Error(JEX_ERR_READ);
            return nullptr;
        }
        // The surface's palette has 256 entries; a file with fewer shrinks it.
        const int count = std::min(static_cast<int>(ncolors), palette->ncolors);
        for (int i = 0; i < count; ++i) {
            const Uint8 *e = raw + i * entry;
            palette->colors[i].b = e[0];
            palette->colors[i].g = e[1];
            palette->colors[i].r = e[2];
            palette->colors[i].a = h.os2 ? 255 : e[3];
        }
        palette->ncolors = count;
    }

    if (src->seek(src, static_cast<int>(data_start), JEX_RW_SEEK_SET) != data_start) {
        JEX_Error(JEX_ERR_SEEK);
        return nullptr;
    }

    // Rows are read straight into the surface; 1- and 4-bit rows are then
    // widened in place from the right, which never overwrites a packed byte
    // that is still to be read (pixel i comes from byte i*bpp/8 <= i).
    const size_t pad = static_cast<size_t>(stride - row_bytes);
    Uint8 scratch[4];
    auto *pixels = static_cast<Uint8 *>(surface->pixels);
    for (int y = 0; y < h.height; ++y) {
        const int row_index = h.top_down ? y : h.height - 1 - y;
        Uint8 *row = pixels + static_cast<size_t>(row_index) * surface->pitch;
        if (!ReadExact(src, row, static_cast<size_t>(row_bytes))) {
            if (expand)
                JEX_SetError("Error reading from BMP");
            else
                JEX_Error(JEX_ERR_READ);
            return nullptr;
        }
        if (expand) {
            const int per_byte = 8 / h.bpp;
            const unsigned mask = (1u << h.bpp) - 1;
            for (int i = h.width - 1; i >= 0; --i) {
                const int shift = 8 - h.bpp * (i % per_byte + 1);
                row[i] = static_cast<Uint8>((row[i / per_byte] >> shift) & mask);
            }
        }
        if (pad == 0)
            continue;
        if (y + 1 < h.height) {
            if (!ReadExact(src, scratch, pad)) {
                JEX_Error(JEX_ERR_READ);
                return nullptr;
            }
        } else {
            // Some writers leave out the last row's padding; the pixels are
            // complete without it.
            const int pos = src->seek(src, 0, JEX_RW_SEEK_CUR);
            if (pos >= 0)
                src->seek(src, static_cast<int>(std::min<Sint64>(pos + pad, end)), JEX_RW_SEEK_SET);
        }
    }
    return surface;
}

struct LockGuard {
    JEX_Surface *surface;
    explicit LockGuard(JEX_Surface *s) : surface(s) { JEX_LockSurface(surface); }
    ~LockGuard() { JEX_UnlockSurface(surface); }
    LockGuard(const LockGuard &) = delete;
    LockGuard &operator=(const LockGuard &) = delete;
};

int SaveBody(JEX_Surface *surface, JEX_RWops *dst)
{
    if (!dst) {
        // The usual caller passes the result of opening a file; keep the
        // reason the open failed rather than replacing it.
        if (!JEX_GetErrBuf()->error)
            JEX_SetError("JEX_SaveBMP_RW() passed a NULL stream");
        return -1;
    }
    if (!surface || !surface->format) {
        JEX_SetError("JEX_SaveBMP_RW() passed a NULL surface");
        return -1;
    }

    JEX_Surface *out = surface;
    SurfacePtr converted;
    const JEX_Palette *palette = surface->format->palette;
    if (palette) {
        if (surface->format->bits_per_pixel != 8) {
            JEX_SetError("%d bpp BMP files not supported", surface->format->bits_per_pixel);
            return -1;
        }
    } else if (surface->format->format != JEX_PIXELFORMAT_BGR24) {
        JEX_PixelFormat fmt;
        if (JEX_InitFormat(&fmt, JEX_PIXELFORMAT_BGR24) == 0)
            converted.reset(JEX_ConvertSurface(surface, &fmt, 0));
        if (!converted) {
            JEX_SetError("Couldn't convert image to %d bpp", 24);
            return -1;
        }
        out = converted.get();
    }

    LockGuard lock(out);
    const int start = dst->seek(dst, 0, JEX_RW_SEEK_CUR);
    if (start < 0) {
        JEX_Error(JEX_ERR_SEEK);
        return -1;
    }
    JEX_ClearError();

    const int w = out->w > 0 ? out->w : 0;
    const int h = out->h > 0 ? out->h : 0;
    const Uint64 row_len = static_cast<Uint64>(w) * out->format->bytes_per_pixel;
    const Uint64 stride = (row_len + 3) & ~static_cast<Uint64>(3);
    // An 8-bit file lists its colours; a count of 0 would mean 256 to a
    // reader, so an empty palette is written as 256 black entries.
    Uint32 count = 0;
    if (palette) {
        count = static_cast<Uint32>(std::clamp(palette->ncolors, 0, 256));
        if (count == 0)
            count = kMaxPaletteEntries;
    }
    const Uint64 data_offset = kFileHeaderSize + kWindowsHeaderSize + 4ull * count;
    const Uint64 image_size = stride * static_cast<Uint64>(h);
    const Uint64 file_size = data_offset + image_size;
    if (file_size > UINT32_MAX || (w > 0 && h > 0 && !out->pixels)) {
        JEX_SetError("Surface can't be saved as a BMP file");
        return -1;
    }

    // Sizes are known in advance, so the header is written complete.
    Uint8 header[kFileHeaderSize + kWindowsHeaderSize + 4 * kMaxPaletteEntries] = {};
    Uint8 *p = header;
    *p++ = 'B';
    *p++ = 'M';
    p = PutLE32(p, static_cast<Uint32>(file_size));
    p = PutLE16(p, 0);
    p = PutLE16(p, 0);
    p = PutLE32(p, static_cast<Uint32>(data_offset));
    p = PutLE32(p, kWindowsHeaderSize);
    p = PutLE32(p, static_cast<Uint32>(w));
    p = PutLE32(p, static_cast<Uint32>(h));
    p = PutLE16(p, 1);
    p = PutLE16(p, static_cast<Uint16>(out->format->bits_per_pixel));
    p = PutLE32(p, kCompressionNone);
    p = PutLE32(p, static_cast<Uint32>(image_size));
    p = PutLE32(p, 0);
    p = PutLE32(p, 0);
    p = PutLE32(p, count);
    p = PutLE32(p, 0);
    for (Uint32 i = 0; i < count; ++i) {
        if (static_cast<int>(i) < palette->ncolors) {
            const JEX_Color &c = palette->colors[i];
            p[0] = c.b;
            p[1] = c.g;
            p[2] = c.r;
            p[3] = c.a;
        }
        p += 4;
    }

    bool ok = WriteExact(dst, header, static_cast<size_t>(p - header));
    static constexpr Uint8 zeros[4] = {};
    const size_t pad = static_cast<size_t>(stride - row_len);
    const auto *pixels = static_cast<const Uint8 *>(out->pixels);
    for (int y = h - 1; ok && y >= 0 && row_len > 0; --y) {
        ok = WriteExact(dst, pixels + static_cast<size_t>(y) * out->pitch,
                        static_cast<size_t>(row_len)) &&
             WriteExact(dst, zeros, pad);
    }
    if (!ok) {
        JEX_Error(JEX_ERR_WRITE);
        dst->seek(dst, start, JEX_RW_SEEK_SET);
        return -1;
    }
    return 0;
}

}  // namespace

extern "C" {

JEX_Surface *JEX_LoadBMP_RW(JEX_RWops *src, int freesrc)
{
    if (!src)
        return nullptr;
    JEX_Surface *result = nullptr;
    const int start = src->seek(src, 0, JEX_RW_SEEK_CUR);
    if (start < 0) {
        JEX_Error(JEX_ERR_SEEK);
    } else {
        JEX_ClearError();
        SurfacePtr surface = LoadBody(src, start);
        if (!surface)
            src->seek(src, start, JEX_RW_SEEK_SET);
        result = surface.release();
    }
    if (freesrc)
        src->close(src);
    return result;
}

int JEX_SaveBMP_RW(JEX_Surface *surface, JEX_RWops *dst, int freedst)
{
    int result = SaveBody(surface, dst);
    if (dst && freedst && dst->close(dst) != 0) {
        // Closing flushes the file: data that never reached it is a failure.
        if (result == 0 && !JEX_GetErrBuf()->error)
            JEX_Error(JEX_ERR_WRITE);
        result = -1;
    }
    return result;
}

}  // extern "C"
