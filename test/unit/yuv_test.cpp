// The software YUV converter: every layout and target depth against libswscale; resized and
// clipped paths and odd sizes against the large image.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
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

// A random image kept as separate Y, Cb, Cr planes (chroma rounded up) and packed into the
// texture's layout with padded rows. Sample values depend on the position only, so a smaller
// image is the top-left corner of a larger one.
struct Image {
    int w, h, cw, ch, pitch;
    std::vector<Uint8> y, cb, cr, packed;
};

Image MakeImage(Uint32 format, int w, int h)
{
    Image im{w, h, (w + 1) / 2, (h + 1) / 2, 0, {}, {}, {}, {}};
    const auto at = [](Uint32 k, int x, int r) {
        return Uint8((Uint32(x * 7919 + r * 104729) + k * 15485863u) * 2654435761u >> 24);
    };
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) {
            im.y.push_back(at(0, x, r));
            if (r < im.ch && x < im.cw)
                im.cb.push_back(at(1, x, r)), im.cr.push_back(at(2, x, r));
        }
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
            g[o[x & 1]] = im.y[r * w + x];
            g[o[2]] = im.cb[(r / 2) * im.cw + x / 2];
            g[o[3]] = im.cr[(r / 2) * im.cw + x / 2];
        }
    return im;
}

Uint32 Load(const std::vector<Uint8> &buf, int pitch, int bpp, int x, int r)
{
    Uint32 v = 0;
    std::memcpy(&v, &buf[size_t(r) * pitch + size_t(x) * bpp], bpp);
    return v;
}

JEX_SW_YUVTexture *Texture(Uint32 format, const Image &im)
{
    JEX_SW_YUVTexture *yuv = JEX_SW_CreateYUVTexture(format, im.w, im.h);
    const JEX_Rect whole{0, 0, im.w, im.h};
    EXPECT_EQ(JEX_SW_UpdateYUVTexture(yuv, &whole, im.packed.data(), im.pitch), 0);
    return yuv;
}

// Converts `src` into a w x h buffer of `pitch` (padding must survive).
std::vector<Uint8> Convert(JEX_SW_YUVTexture *yuv, Uint32 target, JEX_Rect src, int w, int h,
                           int pitch)
{
    std::vector<Uint8> out(size_t(pitch) * h, 0xAB);
    EXPECT_EQ(JEX_SW_CopyYUVToRGB(yuv, &src, target, w, h, out.data(), pitch), 0) << JEX_GetError();
    for (int r = 0; r < h; ++r)
        for (int k = w * JEX_BYTESPERPIXEL(target); k < pitch; ++k)
            EXPECT_EQ(out[size_t(r) * pitch + k], 0xAB) << "row padding written, row " << r;
    return out;
}

// Every layout to every target against libswscale on a large image (whole blocks of its vector
// code). Small images convert as its corner, whole, resized, and clipped where the rectangle
// reaches past them: each pixel from the nearest source pixel. Alternating targets also rebuild
// the stretch surface each time.
TEST(YuvTexture, AgreesWithLibswscaleAndSmallResizedAndClippedFollow)
{
    const int kW = 64, kH = 22, sizes[][2] = {{1, 1}, {7, 5}, {37, 9}};
    const AVPixelFormat src_fmt[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUYV422,
                                     AV_PIX_FMT_UYVY422, AV_PIX_FMT_YVYU422};
    const AVPixelFormat dst_fmt[] = {AV_PIX_FMT_RGB565LE, AV_PIX_FMT_RGB24, AV_PIX_FMT_BGRA,
                                     AV_PIX_FMT_RGB0, AV_PIX_FMT_ABGR};
    for (int fi = 0; fi < 5; ++fi) {
        const Image im = MakeImage(kFormats[fi], kW, kH);
        JEX_SW_YUVTexture *big = Texture(kFormats[fi], im), *small[3];
        for (int i = 0; i < 3; ++i)
            small[i] = Texture(kFormats[fi], MakeImage(kFormats[fi], sizes[i][0], sizes[i][1]));
        for (int ti = 0; ti < 5; ++ti) {
            SCOPED_TRACE(std::to_string(fi) + " to " + std::to_string(ti));
            const int bpp = JEX_BYTESPERPIXEL(kTargets[ti]), pitch = kW * bpp;
            const auto ours = Convert(big, kTargets[ti], {0, 0, kW, kH}, kW, kH, pitch);
            std::vector<Uint8> theirs(ours.size());
            SwsContext *ctx = sws_getContext(kW, kH, src_fmt[fi], kW, kH, dst_fmt[ti], SWS_POINT,
                                             nullptr, nullptr, nullptr);
            const int *co = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(ctx, co, 1, co, 1, 0, 1 << 16, 1 << 16);
            const Uint8 *in[3] = {fi < 2 ? im.y.data() : im.packed.data(), im.cb.data(),
                                  im.cr.data()};
            const int in_pitch[3] = {fi < 2 ? kW : im.pitch, im.cw, im.cw};
            Uint8 *dst[1] = {theirs.data()};
            sws_scale(ctx, in, in_pitch, 0, kH, dst, &pitch);
            sws_freeContext(ctx);
            JEX_PixelFormat *f = JEX_AllocFormat(kTargets[ti]);
            for (int r = 0; r < kH; ++r)
                for (int x = 0; x < kW; ++x)
                    for (Uint32 m : {f->rmask, f->gmask, f->bmask}) {
                        const int s = __builtin_ctz(m),
                                  a = int((Load(ours, pitch, bpp, x, r) & m) >> s),
                                  b = int((Load(theirs, pitch, bpp, x, r) & m) >> s);
                        ASSERT_LE(std::abs(a - b), 2) << "at " << x << "," << r;
                    }
            JEX_FreeFormat(f);
            for (int i = 0; i < 3; ++i) {
                const int w = sizes[i][0], h = sizes[i][1];
                for (auto [src, ow, oh] : {std::tuple{JEX_Rect{0, 0, w, h}, w, h},
                                           {JEX_Rect{0, 0, w, h}, 2 * w, 2 * h},
                                           {JEX_Rect{0, 0, w, h}, 3 * w / 2 + 1, 3 * h / 2 + 1},
                                           {JEX_Rect{w / 2, 0, w + 4, h}, w + 4, h},
                                           {JEX_Rect{0, 0, w + 4, h + 1}, w + 4, h + 1}}) {
                    const auto out = Convert(small[i], kTargets[ti], src, ow, oh, ow * bpp + 5);
                    const JEX_Rect image{0, 0, w, h};
                    JEX_Rect c;
                    JEX_IntersectRect(&src, &image, &c);
                    for (int r = 0; r < oh; ++r)
                        for (int x = 0; x < ow; ++x) {
                            const int sx =
                                          c.x + int((Uint64(x) * ((Uint64(c.w) << 16) / ow)) >> 16),
                                      sy =
                                          c.y + int((Uint64(r) * ((Uint64(c.h) << 16) / oh)) >> 16);
                            ASSERT_EQ(Load(out, ow * bpp + 5, bpp, x, r),
                                      Load(ours, pitch, bpp, sx, sy))
                                << ow << "x" << oh << " from " << w << "x" << h << " at " << x
                                << "," << r;
                        }
                }
            }
        }
        for (JEX_SW_YUVTexture *t : {big, small[0], small[1], small[2]})
            JEX_SW_DestroyYUVTexture(t);
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
            JEX_SW_YUVTexture *yuv = Texture(format, im);
            const auto direct = Convert(yuv, JEX_PIXELFORMAT_RGB555, {0, 0, w, h}, w, h, 2 * w);
            JEX_SW_DestroyYUVTexture(yuv);
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
                    JEX_GetRGB(Load(direct, 2 * w, 2, x, y), f, &c[0], &c[1], &c[2]);
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
