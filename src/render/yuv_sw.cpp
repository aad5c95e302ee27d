// The software YUV state: image buffer per FOURCC layout, full-range BT.601
// conversion through lookup tables, and resizing through a same-format
// stretch.
#include "render/yuv_sw.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "JEX_surface.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The tables a converter reads: chroma contributions indexed by the chroma
// byte, channel-to-pixel tables indexed by -256..511 (clamping at the ends).
struct Tables {
    const int *cr_r, *cr_g, *cb_g, *cb_b;
    const Uint32 *r, *g, *b;
    // For 4-byte targets of whole-byte channels: what each byte of a pixel
    // holds in memory order (0 red, 1 green, 2 blue, 3 the constant `fill`).
    int order[4];
    Uint8 fill[4];
};

// Where one conversion reads: luma and chroma pointers with their row
// lengths in bytes (for packed layouts all three point into one plane).
struct Source {
    const Uint8 *lum, *cr, *cb;
    std::ptrdiff_t lum_pitch, chroma_pitch;
    int w, h;
};

using Converter = void (*)(const Tables &t, const Source &s, Uint8 *out, std::ptrdiff_t pitch);

inline Uint32 Pixel(const Tables &t, int lum, int r, int g, int b)
{
    return t.r[lum + r] | t.g[lum + g] | t.b[lum + b];
}

// 3-byte pixels go least significant byte first, as the surface layer keeps them.
template <int Bpp, int Scale>
inline void Put(Uint8 *row, int x, Uint32 v)
{
    for (int k = 0; k < Scale; ++k) {
        Uint8 *p = row + (std::ptrdiff_t(x) * Scale + k) * Bpp;
        if constexpr (Bpp == 2) {
            Uint16 h = Uint16(v);
            std::memcpy(p, &h, 2);
        } else if constexpr (Bpp == 3) {
            p[0] = Uint8(v);
            p[1] = Uint8(v >> 8);
            p[2] = Uint8(v >> 16);
        } else {
            std::memcpy(p, &v, 4);
        }
    }
}

// One output row from one luma row: each pair of pixels shares one chroma
// sample; an odd last pixel uses the chroma of its (half-filled) pair.
template <int Bpp, int Scale, int LumStep, int ChromaStep>
void ConvertLine(const Tables &t, const Uint8 *lum, const Uint8 *cr, const Uint8 *cb, int w,
                 Uint8 *out)
{
    constexpr int kSecond = LumStep / 2;
    const int pairs = w / 2;
    for (int i = 0; i < pairs; ++i) {
        const int crv = cr[i * ChromaStep], cbv = cb[i * ChromaStep];
        const int r = t.cr_r[crv], g = t.cr_g[crv] + t.cb_g[cbv], b = t.cb_b[cbv];
        Put<Bpp, Scale>(out, 2 * i, Pixel(t, lum[i * LumStep], r, g, b));
        Put<Bpp, Scale>(out, 2 * i + 1, Pixel(t, lum[i * LumStep + kSecond], r, g, b));
    }
    if (w & 1) {
        const int crv = cr[pairs * ChromaStep], cbv = cb[pairs * ChromaStep];
        Put<Bpp, Scale>(
            out, 2 * pairs,
            Pixel(t, lum[pairs * LumStep], t.cr_r[crv], t.cr_g[crv] + t.cb_g[cbv], t.cb_b[cbv]));
    }
}

// Planar sources: chroma rows serve two luma rows. Strides are in bytes, so
// 3-byte targets never drift.
template <int Bpp, int Scale>
void ConvertPlanar(const Tables &t, const Source &s, Uint8 *out, std::ptrdiff_t pitch)
{
    for (int y = 0; y < s.h; ++y) {
        Uint8 *o = out + std::ptrdiff_t(y) * Scale * pitch;
        const std::ptrdiff_t c = std::ptrdiff_t(y / 2) * s.chroma_pitch;
        ConvertLine<Bpp, Scale, 2, 1>(t, s.lum + y * s.lum_pitch, s.cr + c, s.cb + c, s.w, o);
        if constexpr (Scale == 2)
            std::memcpy(o + pitch, o, std::size_t(s.w) * 2 * Bpp);
    }
}

// Packed sources: 4-byte groups of two luma and one sample of each chroma.
template <int Bpp, int Scale>
void ConvertPacked(const Tables &t, const Source &s, Uint8 *out, std::ptrdiff_t pitch)
{
    for (int y = 0; y < s.h; ++y) {
        Uint8 *o = out + std::ptrdiff_t(y) * Scale * pitch;
        const std::ptrdiff_t row = std::ptrdiff_t(y) * s.lum_pitch;
        ConvertLine<Bpp, Scale, 4, 4>(t, s.lum + row, s.cr + row, s.cb + row, s.w, o);
        if constexpr (Scale == 2)
            std::memcpy(o + pitch, o, std::size_t(s.w) * 2 * Bpp);
    }
}

#if defined(__SSE2__)
// c x k truncated toward zero for 16-bit lanes c in -128..127, exactly as the
// tables hold it: (|c| x K) >> 15 with K = |k| x 2^15 rounded suitably, checked
// against the tables by the tests; then the sign of c x k.
template <int K, bool Negative>
inline __m128i ChromaTerm(__m128i sign, __m128i magnitude)
{
    const __m128i q = _mm_mulhi_epu16(_mm_slli_epi16(magnitude, 1), _mm_set1_epi16(Sint16(K)));
    const __m128i s = Negative ? _mm_xor_si128(sign, _mm_set1_epi16(-1)) : sign;
    return _mm_sub_epi16(_mm_xor_si128(q, s), s);
}

// Byte order of the output pixel: 0 read from Tables::order, 1 blue, green,
// red, fill (ARGB8888, XRGB8888), 2 red, green, blue, fill (ABGR8888, XBGR8888).
template <int Layout>
inline void StoreBytes(const Tables &t, const __m128i ch[3], const __m128i fill[4], Uint8 *out)
{
    __m128i b[4];
    if constexpr (Layout == 1)
        b[0] = ch[2], b[1] = ch[1], b[2] = ch[0], b[3] = fill[3];
    else if constexpr (Layout == 2)
        b[0] = ch[0], b[1] = ch[1], b[2] = ch[2], b[3] = fill[3];
    else
        for (int k = 0; k < 4; ++k)
            b[k] = t.order[k] < 3 ? ch[t.order[k]] : fill[k];
    const __m128i p01l = _mm_unpacklo_epi8(b[0], b[1]), p01h = _mm_unpackhi_epi8(b[0], b[1]);
    const __m128i p23l = _mm_unpacklo_epi8(b[2], b[3]), p23h = _mm_unpackhi_epi8(b[2], b[3]);
    auto *d = reinterpret_cast<__m128i *>(out);
    _mm_storeu_si128(d, _mm_unpacklo_epi16(p01l, p23l));
    _mm_storeu_si128(d + 1, _mm_unpackhi_epi16(p01l, p23l));
    _mm_storeu_si128(d + 2, _mm_unpacklo_epi16(p01h, p23h));
    _mm_storeu_si128(d + 3, _mm_unpackhi_epi16(p01h, p23h));
}

// Planar to 4-byte pixels of whole-byte channels, 16 columns of two rows at
// a time. The saturating pack clamps exactly as the table ends do, so the
// result equals the table path's.
template <int Layout>
void ConvertPlanarBytes(const Tables &t, const Source &s, Uint8 *out, std::ptrdiff_t pitch)
{
    const int blocks = s.w / 16;
    const __m128i zero = _mm_setzero_si128(), bias = _mm_set1_epi16(128);
    __m128i fill[4];
    for (int k = 0; k < 4; ++k)
        fill[k] = _mm_set1_epi8(char(t.fill[k]));
    for (int y = 0; y < s.h; y += 2) {
        const int rows = s.h - y >= 2 ? 2 : 1;
        const Uint8 *lum = s.lum + std::ptrdiff_t(y) * s.lum_pitch;
        const std::ptrdiff_t c = std::ptrdiff_t(y / 2) * s.chroma_pitch;
        const Uint8 *cr = s.cr + c, *cb = s.cb + c;
        Uint8 *o = out + std::ptrdiff_t(y) * pitch;
        for (int bx = 0; bx < blocks; ++bx) {
            const __m128i vcr = _mm_sub_epi16(
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(cr + bx * 8)),
                                  zero),
                bias);
            const __m128i vcb = _mm_sub_epi16(
                _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(cb + bx * 8)),
                                  zero),
                bias);
            const __m128i scr = _mm_srai_epi16(vcr, 15), scb = _mm_srai_epi16(vcb, 15);
            const __m128i mcr = _mm_sub_epi16(_mm_xor_si128(vcr, scr), scr);
            const __m128i mcb = _mm_sub_epi16(_mm_xor_si128(vcb, scb), scb);
            const __m128i vr = ChromaTerm<45919, false>(scr, mcr);
            const __m128i vg =
                _mm_add_epi16(ChromaTerm<23383, true>(scr, mcr), ChromaTerm<11284, true>(scb, mcb));
            const __m128i vb = ChromaTerm<58110, false>(scb, mcb);
            const __m128i terms[3][2] = {{_mm_unpacklo_epi16(vr, vr), _mm_unpackhi_epi16(vr, vr)},
                                         {_mm_unpacklo_epi16(vg, vg), _mm_unpackhi_epi16(vg, vg)},
                                         {_mm_unpacklo_epi16(vb, vb), _mm_unpackhi_epi16(vb, vb)}};
            for (int row = 0; row < rows; ++row) {
                const __m128i l = _mm_loadu_si128(
                    reinterpret_cast<const __m128i *>(lum + row * s.lum_pitch + bx * 16));
                const __m128i lo = _mm_unpacklo_epi8(l, zero), hi = _mm_unpackhi_epi8(l, zero);
                __m128i ch[3];
                for (int k = 0; k < 3; ++k)
                    ch[k] = _mm_packus_epi16(_mm_add_epi16(lo, terms[k][0]),
                                             _mm_add_epi16(hi, terms[k][1]));
                StoreBytes<Layout>(t, ch, fill, o + row * pitch + bx * 64);
            }
        }
        const int done = blocks * 16;
        if (done < s.w)
            for (int row = 0; row < rows; ++row)
                ConvertLine<4, 1, 2, 1>(t, lum + row * s.lum_pitch + done, cr + done / 2,
                                        cb + done / 2, s.w - done, o + row * pitch + done * 4);
    }
}
#endif

// [planar?][bytes per pixel - 2][scale - 1]
constexpr Converter kConverters[2][3][2] = {
    {{ConvertPacked<2, 1>, ConvertPacked<2, 2>},
     {ConvertPacked<3, 1>, ConvertPacked<3, 2>},
     {ConvertPacked<4, 1>, ConvertPacked<4, 2>}},
    {{ConvertPlanar<2, 1>, ConvertPlanar<2, 2>},
     {ConvertPlanar<3, 1>, ConvertPlanar<3, 2>},
     {ConvertPlanar<4, 1>, ConvertPlanar<4, 2>}},
};

bool IsPlanar(Uint32 format)
{
    return format == JEX_PIXELFORMAT_YV12 || format == JEX_PIXELFORMAT_IYUV;
}

bool IsPacked(Uint32 format)
{
    return format == JEX_PIXELFORMAT_YUY2 || format == JEX_PIXELFORMAT_UYVY ||
           format == JEX_PIXELFORMAT_YVYU;
}

bool IsWholeImage(const JEX_Rect &r, int w, int h)
{
    return r.x == 0 && r.y == 0 && r.w == w && r.h == h;
}

// Truncated toward zero, as the conversion is defined.
constexpr double kCrToR = 1.4013377926421404, kCrToG = -0.7136038186157518,
                 kCbToG = -0.34441087613293053, kCbToB = 1.7734138972809665;

}  // namespace

struct JEX_SW_YUVTexture {
    Uint32 format;
    Uint32 target_format;  // 0 until the first conversion
    int w, h;
    Uint8 *pixels;
    int *colortab;        // 4 x 256: Cr to red, Cr to green, Cb to green, Cb to blue
    Uint32 *rgb_2_pix;    // 3 x 768: red, green, blue
    Converter Display1X;  // for the source layout and target pixel size
    Converter Display2X;
    int target_bpp;  // bytes per target pixel
    int order[4];    // see Tables
    Uint8 fill[4];
    int pitches[3];
    Uint8 *planes[3];
    JEX_Surface *stretch;  // image size, target format; both rebuilt on target change
    JEX_Surface *display;  // wraps the caller's pixels
};

extern "C" {

JEX_SW_YUVTexture *JEX_SW_CreateYUVTexture(Uint32 format, int w, int h)
{
    if (!IsPlanar(format) && !IsPacked(format)) {
        JEX_SetError("Unsupported YUV format");
        return nullptr;
    }
    if (w < 1 || h < 1 || w > 16384 * 4 || h > 16384 * 4) {
        JEX_SetError("Invalid YUV texture size");
        return nullptr;
    }
    auto *yuv = static_cast<JEX_SW_YUVTexture *>(std::calloc(1, sizeof(JEX_SW_YUVTexture)));
    if (!yuv) {
        JEX_OutOfMemory();
        return nullptr;
    }
    yuv->format = format;
    yuv->w = w;
    yuv->h = h;
    // Odd sizes round the chroma up, so every pixel has its chroma sample.
    const std::size_t cw = std::size_t(w + 1) / 2, ch = std::size_t(h + 1) / 2;
    const std::size_t luma = std::size_t(w) * h;
    std::size_t bytes = luma * 2;
    if (IsPlanar(format))
        bytes = std::max(bytes, luma + 2 * cw * ch);
    else
        bytes = std::max(bytes, 4 * cw * h);
    yuv->pixels = static_cast<Uint8 *>(std::calloc(bytes, 1));
    yuv->colortab = static_cast<int *>(std::malloc(4 * 256 * sizeof(int)));
    yuv->rgb_2_pix = static_cast<Uint32 *>(std::malloc(3 * 768 * sizeof(Uint32)));
    if (!yuv->pixels || !yuv->colortab || !yuv->rgb_2_pix) {
        JEX_SW_DestroyYUVTexture(yuv);
        JEX_OutOfMemory();
        return nullptr;
    }
    for (int i = 0; i < 256; ++i) {
        const int c = i - 128;
        yuv->colortab[i] = int(c * kCrToR);
        yuv->colortab[256 + i] = int(c * kCrToG);
        yuv->colortab[512 + i] = int(c * kCbToG);
        yuv->colortab[768 + i] = int(c * kCbToB);
    }
    yuv->planes[0] = yuv->pixels;
    if (IsPlanar(format)) {
        yuv->pitches[0] = w;
        yuv->pitches[1] = yuv->pitches[2] = int(cw);
        yuv->planes[1] = yuv->pixels + luma;
        yuv->planes[2] = yuv->planes[1] + cw * ch;
    } else {
        yuv->pitches[0] = int(4 * cw);
    }
    return yuv;
}

int JEX_SW_QueryYUVTexturePixels(JEX_SW_YUVTexture *yuv, void **pixels, int *pitch)
{
    *pixels = yuv->planes[0];
    *pitch = yuv->pitches[0];
    return 0;
}

int JEX_SW_UpdateYUVTexture(JEX_SW_YUVTexture *yuv, const JEX_Rect *rect, const void *pixels,
                            int pitch)
{
    const auto *src = static_cast<const Uint8 *>(pixels);
    if (IsPlanar(yuv->format)) {
        if (!IsWholeImage(*rect, yuv->w, yuv->h)) {
            JEX_SetError("YV12 and IYUV textures only support full surface updates");
            return -1;
        }
        if (pitch < yuv->w) {
            JEX_SetError("Invalid pitch for a YUV update");
            return -1;
        }
        // Copied by rows so that padded rows come out right.
        const std::ptrdiff_t cpitch = (std::ptrdiff_t(pitch) + 1) / 2;
        const int ch = (yuv->h + 1) / 2;
        for (int y = 0; y < yuv->h; ++y)
            std::memcpy(yuv->planes[0] + std::ptrdiff_t(y) * yuv->pitches[0],
                        src + std::ptrdiff_t(y) * pitch, std::size_t(yuv->w));
        src += std::ptrdiff_t(yuv->h) * pitch;
        for (int plane = 1; plane <= 2; ++plane) {
            for (int y = 0; y < ch; ++y)
                std::memcpy(yuv->planes[plane] + std::ptrdiff_t(y) * yuv->pitches[plane],
                            src + y * cpitch, std::size_t(yuv->pitches[plane]));
            src += ch * cpitch;
        }
        return 0;
    }
    const JEX_Rect &r = *rect;
    if (r.x < 0 || r.y < 0 || r.w < 0 || r.h < 0 || r.w > yuv->w - r.x || r.h > yuv->h - r.y) {
        JEX_SetError("Update rectangle outside the YUV texture");
        return -1;
    }
    // At an odd width the last group holds one pixel and both chroma bytes.
    std::size_t row = std::size_t(r.w) * 2;
    if (r.w > 0 && r.x + r.w == yuv->w && (yuv->w & 1))
        row += 2;
    for (int y = 0; y < r.h; ++y)
        std::memcpy(yuv->planes[0] + std::ptrdiff_t(r.y + y) * yuv->pitches[0] + r.x * 2,
                    src + std::ptrdiff_t(y) * pitch, row);
    return 0;
}

int JEX_SW_LockYUVTexture(JEX_SW_YUVTexture *yuv, const JEX_Rect *rect, void **pixels, int *pitch)
{
    const JEX_Rect &r = *rect;
    if (IsPlanar(yuv->format) && !IsWholeImage(r, yuv->w, yuv->h)) {
        JEX_SetError("YV12 and IYUV textures only support full surface locks");
        return -1;
    }
    if (r.x < 0 || r.y < 0 || r.x >= yuv->w || r.y >= yuv->h) {
        JEX_SetError("Lock rectangle outside the YUV texture");
        return -1;
    }
    *pixels = yuv->planes[0] + std::ptrdiff_t(r.y) * yuv->pitches[0] + r.x * 2;
    *pitch = yuv->pitches[0];
    return 0;
}

void JEX_SW_UnlockYUVTexture(JEX_SW_YUVTexture *) {}

}  // extern "C"

namespace {

void DropSurfaces(JEX_SW_YUVTexture *yuv)
{
    JEX_FreeSurface(yuv->display);
    JEX_FreeSurface(yuv->stretch);
    yuv->display = yuv->stretch = nullptr;
}

int SetTarget(JEX_SW_YUVTexture *yuv, Uint32 target)
{
    int bpp = 0;
    Uint32 masks[4] = {};
    const int bytes = int(JEX_BYTESPERPIXEL(target));
    if (JEX_ISPIXELFORMAT_FOURCC(target) ||
        !JEX_PixelFormatEnumToMasks(target, &bpp, &masks[0], &masks[1], &masks[2], &masks[3]) ||
        bpp < 15 || bytes < 2 || bytes > 4 || std::popcount(masks[0]) > 8 ||
        std::popcount(masks[1]) > 8 || std::popcount(masks[2]) > 8) {
        JEX_SetError("Unsupported YUV destination format");
        return -1;
    }
    for (int c = 0; c < 3; ++c) {
        const int bits = std::popcount(masks[c]);
        const int shift = masks[c] ? std::countr_zero(masks[c]) : 0;
        Uint32 *tab = yuv->rgb_2_pix + c * 768;
        for (int i = 0; i < 256; ++i) {
            Uint32 v = (Uint32(i >> (8 - bits)) << shift) | masks[3];
            if (bytes == 2)
                v |= v << 16;
            tab[256 + i] = v;
        }
        for (int i = 0; i < 256; ++i) {
            tab[i] = tab[256];
            tab[512 + i] = tab[511];
        }
    }
    const int planar = IsPlanar(yuv->format) ? 1 : 0;
    yuv->Display1X = kConverters[planar][bytes - 2][0];
    yuv->Display2X = kConverters[planar][bytes - 2][1];
    // Whole-byte channels at byte positions (and an alpha byte or none).
    bool bytewise = bytes == 4;
    for (int k = 0; k < 4; ++k) {
        yuv->order[k] = 3;
        yuv->fill[k] = Uint8(masks[3] >> (8 * k));
    }
    for (int c = 0; c < 4 && bytewise; ++c) {
        if (c == 3 && masks[3] == 0)
            break;
        const int shift = masks[c] ? std::countr_zero(masks[c]) : 1;
        bytewise = shift % 8 == 0 && masks[c] == 0xFFu << shift;
        if (bytewise && c < 3)
            yuv->order[shift / 8] = c;
    }
#if defined(__SSE2__)
    if (bytewise && planar) {
        const int *o = yuv->order;
        yuv->Display1X = o[0] == 2 && o[1] == 1 && o[2] == 0 && o[3] == 3   ? ConvertPlanarBytes<1>
                         : o[0] == 0 && o[1] == 1 && o[2] == 2 && o[3] == 3 ? ConvertPlanarBytes<2>
                                                                            : ConvertPlanarBytes<0>;
    }
#endif
    yuv->target_bpp = bytes;
    yuv->target_format = target;
    // Both surfaces are in the old format and size: rebuilt on next use.
    DropSurfaces(yuv);
    return 0;
}

Source SourceOf(const JEX_SW_YUVTexture *yuv)
{
    Source s{};
    s.w = yuv->w;
    s.h = yuv->h;
    const Uint8 *p = yuv->planes[0];
    s.lum_pitch = s.chroma_pitch = yuv->pitches[0];
    switch (yuv->format) {
    case JEX_PIXELFORMAT_YV12:
    case JEX_PIXELFORMAT_IYUV: {
        const bool yv12 = yuv->format == JEX_PIXELFORMAT_YV12;
        s.lum = p;
        s.cr = yv12 ? yuv->planes[1] : yuv->planes[2];
        s.cb = yv12 ? yuv->planes[2] : yuv->planes[1];
        s.chroma_pitch = yuv->pitches[1];
        break;
    }
    case JEX_PIXELFORMAT_YUY2:
        s.lum = p;
        s.cr = p + 3;
        s.cb = p + 1;
        break;
    case JEX_PIXELFORMAT_UYVY:
        s.lum = p + 1;
        s.cr = p + 2;
        s.cb = p;
        break;
    default:  // YVYU
        s.lum = p;
        s.cr = p + 1;
        s.cb = p + 3;
        break;
    }
    return s;
}

Tables TablesOf(const JEX_SW_YUVTexture *yuv)
{
    const int *c = yuv->colortab;
    const Uint32 *p = yuv->rgb_2_pix;
    Tables t{c, c + 256, c + 512, c + 768, p + 256, p + 768 + 256, p + 1536 + 256, {}, {}};
    std::memcpy(t.order, yuv->order, sizeof t.order);
    std::memcpy(t.fill, yuv->fill, sizeof t.fill);
    return t;
}

JEX_Surface *SurfaceFor(Uint32 format, void *pixels, int w, int h, int pitch)
{
    int bpp = 0;
    Uint32 r = 0, g = 0, b = 0, a = 0;
    JEX_PixelFormatEnumToMasks(format, &bpp, &r, &g, &b, &a);
    if (pixels)
        return JEX_CreateRGBSurfaceFrom(pixels, w, h, bpp, pitch, r, g, b, a);
    return JEX_CreateRGBSurface(0, w, h, bpp, r, g, b, a);
}

}  // namespace

extern "C" {

int JEX_SW_CopyYUVToRGB(JEX_SW_YUVTexture *yuv, const JEX_Rect *srcrect, Uint32 target_format,
                        int w, int h, void *pixels, int pitch)
{
    if (yuv->target_format != target_format && SetTarget(yuv, target_format) < 0)
        return -1;
    if (w < 1 || h < 1 || pitch < 0 || std::ptrdiff_t(w) * yuv->target_bpp > pitch) {
        JEX_SetError("Invalid YUV conversion target");
        return -1;
    }
    const JEX_Rect image{0, 0, yuv->w, yuv->h};
    JEX_Rect src{};
    if (!JEX_IntersectRect(srcrect, &image, &src))
        return 0;
    const Tables t = TablesOf(yuv);
    const Source s = SourceOf(yuv);
    auto *out = static_cast<Uint8 *>(pixels);
    if (IsWholeImage(src, yuv->w, yuv->h)) {
        if (w == yuv->w && h == yuv->h) {
            yuv->Display1X(t, s, out, pitch);
            return 0;
        }
        if (w == 2 * yuv->w && h == 2 * yuv->h) {
            yuv->Display2X(t, s, out, pitch);
            return 0;
        }
    }
    JEX_Surface *d = yuv->display;
    if (d && (d->w != w || d->h != h || d->pitch != pitch)) {
        JEX_FreeSurface(d);
        d = yuv->display = nullptr;
    }
    if (!d) {
        d = yuv->display = SurfaceFor(target_format, pixels, w, h, pitch);
        if (!d)
            return -1;
    }
    d->pixels = pixels;
    if (!yuv->stretch) {
        yuv->stretch = SurfaceFor(target_format, nullptr, yuv->w, yuv->h, 0);
        if (!yuv->stretch)
            return -1;
    }
    yuv->Display1X(t, s, static_cast<Uint8 *>(yuv->stretch->pixels), yuv->stretch->pitch);
    return JEX_SoftStretch(yuv->stretch, &src, d, nullptr) < 0 ? -1 : 0;
}

void JEX_SW_DestroyYUVTexture(JEX_SW_YUVTexture *yuv)
{
    if (!yuv)
        return;
    DropSurfaces(yuv);
    std::free(yuv->pixels);
    std::free(yuv->colortab);
    std::free(yuv->rgb_2_pix);
    std::free(yuv);
}

}  // extern "C"
