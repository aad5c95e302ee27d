// The software YUV converter: every layout and target depth against an exact
// per-pixel reference and against libswscale, direct and resized paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "JEX_error.h"
#include "JEX_pixels.h"
#include "JEX_render.h"
#include "JEX_surface.h"
#include "render/yuv_sw.h"

namespace {

const Uint32 kFormats[] = {JEX_PIXELFORMAT_YV12, JEX_PIXELFORMAT_IYUV, JEX_PIXELFORMAT_YUY2,
                           JEX_PIXELFORMAT_UYVY, JEX_PIXELFORMAT_YVYU};
const Uint32 kTargets[] = {JEX_PIXELFORMAT_RGB565, JEX_PIXELFORMAT_RGB24, JEX_PIXELFORMAT_ARGB8888,
                           JEX_PIXELFORMAT_BGR888, JEX_PIXELFORMAT_RGBA8888};

// A random image kept as separate Y, Cb, Cr planes (chroma rounded up) and
// packed into the texture's layout with padded rows.
struct Image {
    int w, h, cw, ch, pitch;
    std::vector<Uint8> y, cb, cr, packed;
    int Y(int x, int r) const { return y[r * w + x]; }
    int Cb(int x, int r) const { return cb[(r / 2) * cw + x / 2]; }
    int Cr(int x, int r) const { return cr[(r / 2) * cw + x / 2]; }
};

Image MakeImage(Uint32 format, int w, int h)
{
    Image im{w, h, (w + 1) / 2, (h + 1) / 2, 0, {}, {}, {}, {}};
    Uint32 seed = Uint32(w * 131 + h);
    auto next = [&] { return Uint8((seed = seed * 1664525u + 1013904223u) >> 24); };
    std::generate_n(std::back_inserter(im.y), w * h, next);
    std::generate_n(std::back_inserter(im.cb), im.cw * im.ch, next);
    std::generate_n(std::back_inserter(im.cr), im.cw * im.ch, next);
    if (format == JEX_PIXELFORMAT_YV12 || format == JEX_PIXELFORMAT_IYUV) {
        im.pitch = w + 6;
        const int cp = (im.pitch + 1) / 2;
        im.packed.assign(size_t(im.pitch) * h + 2 * size_t(cp) * im.ch, 0xEE);
        Uint8 *first = &im.packed[size_t(im.pitch) * h], *second = first + cp * im.ch;
        const auto &u = format == JEX_PIXELFORMAT_IYUV ? im.cb : im.cr;
        const auto &v = format == JEX_PIXELFORMAT_IYUV ? im.cr : im.cb;
        for (int r = 0; r < h; ++r)
            std::memcpy(&im.packed[size_t(r) * im.pitch], &im.y[r * w], w);
        for (int r = 0; r < im.ch; ++r) {
            std::memcpy(first + r * cp, &u[r * im.cw], im.cw);
            std::memcpy(second + r * cp, &v[r * im.cw], im.cw);
        }
        return im;
    }
    // Byte offsets of Y0, Y1, Cb, Cr in a 4-byte group.
    static const int kYuy2[] = {0, 2, 1, 3}, kUyvy[] = {1, 3, 0, 2}, kYvyu[] = {0, 2, 3, 1};
    const int *o = format == JEX_PIXELFORMAT_YUY2   ? kYuy2
                   : format == JEX_PIXELFORMAT_UYVY ? kUyvy
                                                    : kYvyu;
    im.pitch = 4 * im.cw + 8;
    im.packed.assign(size_t(im.pitch) * h, 0xEE);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            Uint8 *g = &im.packed[size_t(r) * im.pitch + (x / 2) * 4];
            g[o[x & 1]] = Uint8(im.Y(x, r));
            g[o[2]] = Uint8(im.Cb(x, r));
            g[o[3]] = Uint8(im.Cr(x, r));
        }
    return im;
}

// The defined full-range conversion, each chroma term truncated toward zero.
Uint32 Reference(const JEX_PixelFormat *f, const Image &im, int x, int r)
{
    const int l = im.Y(x, r), cr = im.Cr(x, r) - 128, cb = im.Cb(x, r) - 128;
    auto c = [](int v) { return Uint8(std::clamp(v, 0, 255)); };
    return JEX_MapRGB(f, c(l + int(cr * 1.4013377926421404)),
                      c(l + int(cr * -0.7136038186157518) + int(cb * -0.34441087613293053)),
                      c(l + int(cb * 1.7734138972809665)));
}

Uint32 Load(const std::vector<Uint8> &buf, int pitch, int bpp, int x, int r)
{
    Uint32 v = 0;
    std::memcpy(&v, &buf[size_t(r) * pitch + size_t(x) * bpp], bpp);
    return v;
}

// Converts into a padded w x h buffer (padding must survive) and checks every
// pixel against the reference at the nearest source pixel of `src`.
void ExpectConverted(JEX_SW_YUVTexture *yuv, const Image &im, Uint32 target, JEX_Rect src, int w,
                     int h)
{
    const int bpp = JEX_BYTESPERPIXEL(target), pitch = w * bpp + 5;
    std::vector<Uint8> out(size_t(pitch) * h, 0xAB);
    JEX_Rect asked = src;
    ASSERT_EQ(JEX_SW_CopyYUVToRGB(yuv, &asked, target, w, h, out.data(), pitch), 0)
        << JEX_GetError();
    JEX_IntersectRect(&asked, std::vector<JEX_Rect>{{0, 0, im.w, im.h}}.data(), &src);
    JEX_PixelFormat *f = JEX_AllocFormat(target);
    for (int r = 0; r < h; ++r) {
        for (int x = 0; x < w; ++x) {
            const int sx = src.x + int((Uint64(x) * ((Uint64(src.w) << 16) / w)) >> 16);
            const int sy = src.y + int((Uint64(r) * ((Uint64(src.h) << 16) / h)) >> 16);
            ASSERT_EQ(Load(out, pitch, bpp, x, r), Reference(f, im, sx, sy))
                << target << " " << w << "x" << h << " at " << x << "," << r;
        }
        for (int k = w * bpp; k < pitch; ++k)
            ASSERT_EQ(out[size_t(r) * pitch + k], 0xAB) << "row padding written, row " << r;
    }
    JEX_FreeFormat(f);
}

TEST(YuvTexture, EveryLayoutAndTargetMatchesTheReferenceDirectAndResized)
{
    const int sizes[][2] = {{1, 1}, {7, 5}, {37, 9}};
    for (Uint32 format : kFormats)
        for (auto [w, h] : sizes) {
            SCOPED_TRACE(JEX_GetPixelFormatName(format));
            const Image im = MakeImage(format, w, h);
            JEX_SW_YUVTexture *yuv = JEX_SW_CreateYUVTexture(format, w, h);
            ASSERT_NE(yuv, nullptr);
            const JEX_Rect whole{0, 0, w, h};
            ASSERT_EQ(JEX_SW_UpdateYUVTexture(yuv, &whole, im.packed.data(), im.pitch), 0);
            // Alternating targets also rebuild the stretch surface each time.
            for (Uint32 target : kTargets) {
                ExpectConverted(yuv, im, target, whole, w, h);
                ExpectConverted(yuv, im, target, whole, 2 * w, 2 * h);
                ExpectConverted(yuv, im, target, whole, 3 * w / 2 + 1, 3 * h / 2 + 1);
                // A rectangle past the image is clipped, never read outside.
                ExpectConverted(yuv, im, target, {w / 2, 0, w + 4, h}, w + 4, h);
                ExpectConverted(yuv, im, target, {0, 0, w + 4, h + 1}, w + 4, h + 1);
            }
            JEX_SW_DestroyYUVTexture(yuv);
        }
}

TEST(YuvTexture, AgreesWithLibswscaleFullRange)
{
    const AVPixelFormat src_fmt[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUYV422,
                                     AV_PIX_FMT_UYVY422, AV_PIX_FMT_YVYU422};
    const AVPixelFormat dst_fmt[] = {AV_PIX_FMT_RGB565LE, AV_PIX_FMT_RGB24, AV_PIX_FMT_BGRA};
    const int w = 64, h = 22;  // whole SIMD blocks for libswscale
    for (int fi = 0; fi < 5; ++fi)
        for (int ti = 0; ti < 3; ++ti) {  // the depths libswscale writes alike
            const Image im = MakeImage(kFormats[fi], w, h);
            JEX_SW_YUVTexture *yuv = JEX_SW_CreateYUVTexture(kFormats[fi], w, h);
            const JEX_Rect whole{0, 0, w, h};
            ASSERT_EQ(JEX_SW_UpdateYUVTexture(yuv, &whole, im.packed.data(), im.pitch), 0);
            const int bpp = JEX_BYTESPERPIXEL(kTargets[ti]), pitch = w * bpp;
            std::vector<Uint8> ours(size_t(pitch) * h), theirs(ours.size());
            ASSERT_EQ(JEX_SW_CopyYUVToRGB(yuv, &whole, kTargets[ti], w, h, ours.data(), pitch), 0);
            SwsContext *ctx = sws_getContext(w, h, src_fmt[fi], w, h, dst_fmt[ti], SWS_POINT,
                                             nullptr, nullptr, nullptr);
            const int *co = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(ctx, co, 1, co, 1, 0, 1 << 16, 1 << 16);
            const Uint8 *in[3] = {fi < 2 ? im.y.data() : im.packed.data(), im.cb.data(),
                                  im.cr.data()};
            const int in_pitch[3] = {fi < 2 ? w : im.pitch, im.cw, im.cw};
            Uint8 *dst[1] = {theirs.data()};
            sws_scale(ctx, in, in_pitch, 0, h, dst, &pitch);
            sws_freeContext(ctx);
            JEX_PixelFormat *f = JEX_AllocFormat(kTargets[ti]);
            for (int r = 0; r < h; ++r)
                for (int x = 0; x < w; ++x) {
                    const Uint32 a = Load(ours, pitch, bpp, x, r),
                                 b = Load(theirs, pitch, bpp, x, r);
                    for (Uint32 m : {f->rmask, f->gmask, f->bmask}) {
                        const int s = __builtin_ctz(m);
                        ASSERT_LE(std::abs(int((a & m) >> s) - int((b & m) >> s)), 2)
                            << fi << " to " << ti << " at " << x << "," << r;
                    }
                }
            JEX_FreeFormat(f);
            JEX_SW_DestroyYUVTexture(yuv);
        }
}

TEST(YuvTexture, RefusesWhatItCannotHoldOrConvert)
{
    EXPECT_EQ(JEX_SW_CreateYUVTexture(JEX_PIXELFORMAT_RGB565, 4, 2), nullptr);
    EXPECT_STREQ(JEX_GetError(), "Unsupported YUV format");
    JEX_SW_YUVTexture *yuv = JEX_SW_CreateYUVTexture(JEX_PIXELFORMAT_YV12, 4, 2);
    std::vector<Uint8> buf(64);
    void *p = nullptr;
    int pitch = 0;
    const JEX_Rect part{0, 0, 3, 2}, inner{2, 0, 2, 2};
    EXPECT_EQ(JEX_SW_UpdateYUVTexture(yuv, &part, buf.data(), 4), -1);
    EXPECT_STREQ(JEX_GetError(), "YV12 and IYUV textures only support full surface updates");
    EXPECT_EQ(JEX_SW_LockYUVTexture(yuv, &inner, &p, &pitch), -1);
    EXPECT_STREQ(JEX_GetError(), "YV12 and IYUV textures only support full surface locks");
    for (Uint32 bad : {JEX_PIXELFORMAT_INDEX8, JEX_PIXELFORMAT_RGB332, JEX_PIXELFORMAT_ARGB2101010,
                       JEX_PIXELFORMAT_IYUV}) {
        EXPECT_EQ(JEX_SW_CopyYUVToRGB(yuv, &part, bad, 4, 2, buf.data(), 16), -1);
        EXPECT_STREQ(JEX_GetError(), "Unsupported YUV destination format");
    }
    JEX_SW_DestroyYUVTexture(yuv);
    // A packed texture takes any rectangle, at its place in the image.
    yuv = JEX_SW_CreateYUVTexture(JEX_PIXELFORMAT_YUY2, 4, 2);
    const Uint8 group[4] = {1, 2, 3, 4};
    const JEX_Rect one{2, 1, 2, 1}, whole{0, 0, 4, 2};
    ASSERT_EQ(JEX_SW_UpdateYUVTexture(yuv, &one, group, 4), 0);
    ASSERT_EQ(JEX_SW_LockYUVTexture(yuv, &whole, &p, &pitch), 0);
    EXPECT_EQ(pitch, 8);
    EXPECT_EQ(std::memcmp(static_cast<Uint8 *>(p) + 12, group, 4), 0);
    JEX_SW_DestroyYUVTexture(yuv);
}

TEST(YuvTexture, RendererUpdatesLocksAndDrawsYuvTextures)
{
    const int w = 7, h = 5;
    JEX_Surface *target = JEX_CreateRGBSurface(0, w, h, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    JEX_Renderer *r = JEX_CreateSoftwareRenderer(target);
    // The software renderer backs YUV textures with its first opaque format.
    JEX_PixelFormat *f = JEX_AllocFormat(JEX_PIXELFORMAT_RGB555);
    for (Uint32 format : {JEX_PIXELFORMAT_YV12, JEX_PIXELFORMAT_UYVY})
        for (int access : {JEX_TEXTUREACCESS_STATIC, JEX_TEXTUREACCESS_STREAMING}) {
            const Image im = MakeImage(format, w, h);
            JEX_Texture *t = JEX_CreateTexture(r, format, access, w, h);
            ASSERT_NE(t, nullptr) << JEX_GetError();
            JEX_SetTextureBlendMode(t, JEX_BLENDMODE_NONE);
            Uint8 *p = nullptr;
            int pitch = 0;
            const JEX_Rect inner{1, 0, 2, 2};
            const bool yv12 = format == JEX_PIXELFORMAT_YV12;
            if (access == JEX_TEXTUREACCESS_STREAMING && yv12) {
                EXPECT_EQ(JEX_LockTexture(t, &inner, (void **)&p, &pitch), -1);
                // A whole lock hands out the image: luma, then V and U.
                ASSERT_EQ(JEX_LockTexture(t, nullptr, (void **)&p, &pitch), 0);
                std::memcpy(p, im.y.data(), im.y.size());
                std::memcpy(p + w * h, im.cr.data(), im.cr.size());
                std::memcpy(p + w * h + im.cr.size(), im.cb.data(), im.cb.size());
                JEX_UnlockTexture(t);
            } else {
                ASSERT_EQ(JEX_UpdateTexture(t, nullptr, im.packed.data(), im.pitch), 0);
            }
            ASSERT_EQ(JEX_RenderCopy(r, t, nullptr, nullptr), 0) << JEX_GetError();
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    Uint8 c[3];
                    JEX_GetRGB(Reference(f, im, x, y), f, &c[0], &c[1], &c[2]);
                    ASSERT_EQ(static_cast<Uint32 *>(target->pixels)[y * target->pitch / 4 + x],
                              JEX_MapRGB(target->format, c[0], c[1], c[2]))
                        << JEX_GetPixelFormatName(format) << " access " << access;
                }
            JEX_DestroyTexture(t);
        }
    JEX_FreeFormat(f);
    JEX_DestroyRenderer(r);
    JEX_FreeSurface(target);
}

}  // namespace
