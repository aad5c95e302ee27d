// Shaped windows: creation, the shape and mode a window keeps, and the two
// readings of a mask (a bitmap and a quad-tree) that drivers cut windows by.
// No state of its own: each window's shaper holds it, on the video thread.
#include "video/shape_internal.h"

#include "JEX_error.h"
#include "surface/blit_pixel.h"
#include "video/sysvideo.h"

#include <new>

namespace {

// Where a shaped window waits until its first shape is set.
constexpr int kOutOfSight = -1000;

JEX_WindowShaper *ShaperOf(const JEX_Window *window)
{
    return JEX_IsLiveWindow(JEX_GetVideoDevice(), window) ? window->shaper : nullptr;
}

bool KnownMode(const JEX_WindowShapeMode &mode)
{
    return mode.mode >= ShapeModeDefault && mode.mode <= ShapeModeColorKey;
}

// Classifies the pixels of a mask, which stays locked (decoded, for an RLE
// mask) while this lives.
class MaskReader {
public:
    MaskReader(JEX_WindowShapeMode mode, JEX_Surface *shape) : mode_(mode), shape_(shape)
    {
        if (JEX_MUSTLOCK(shape)) {
            locked_ = JEX_LockSurface(shape) == 0;
            ok_ = locked_;
        }
    }
    ~MaskReader()
    {
        if (locked_)
            JEX_UnlockSurface(shape_);
    }
    MaskReader(const MaskReader &) = delete;
    MaskReader &operator=(const MaskReader &) = delete;

    bool ok() const { return ok_ && (shape_->pixels || shape_->w <= 0 || shape_->h <= 0); }

    bool Opaque(int x, int y) const
    {
        const int bpp = shape_->format->bytes_per_pixel;
        const Uint8 *p = static_cast<const Uint8 *>(shape_->pixels) +
                         size_t(y) * size_t(shape_->pitch) + size_t(x) * size_t(bpp);
        const Uint32 pixel = (bpp >= 1 && bpp <= 4) ? jex::blit::LoadPixel(p, bpp) : 0;
        return JEX_ShapePixelOpaque(mode_, pixel, shape_->format);
    }

private:
    JEX_WindowShapeMode mode_;
    JEX_Surface *shape_;
    bool locked_ = false;
    bool ok_ = true;
};

// Sets the bit of every opaque pixel; pixel (x, y) has index
// y * row_pixels + x in the bit stream.
void FillBitmap(const MaskReader &mask, int w, int h, Uint8 *bitmap, unsigned ppb,
                size_t row_pixels)
{
    for (int y = 0; y < h; ++y) {
        const size_t base = size_t(y) * row_pixels;
        for (int x = 0; x < w; ++x) {
            if (!mask.Opaque(x, y))
                continue;
            const size_t i = base + size_t(x);
            bitmap[i / ppb] |= Uint8(1u << (8 - ppb + i % ppb));
        }
    }
}

int CheckBitmapArguments(JEX_Surface *shape, Uint8 *bitmap, Uint8 ppb)
{
    if (!shape || !shape->format || !bitmap) {
        JEX_SetError("Shape bitmap needs a mask and a bitmap");
        return -1;
    }
    if (ppb != 1 && ppb != 2 && ppb != 4 && ppb != 8) {
        JEX_SetError("Shape bitmap: %d pixels per byte (1, 2, 4 or 8 allowed)", int(ppb));
        return -1;
    }
    return 0;
}

int ComputeBitmap(JEX_WindowShapeMode mode, JEX_Surface *shape, Uint8 *bitmap, unsigned ppb,
                  size_t row_pixels)
{
    MaskReader mask(mode, shape);
    if (!mask.ok()) {
        JEX_SetError("Shape mask cannot be read");
        return -1;
    }
    FillBitmap(mask, shape->w, shape->h, bitmap, ppb, row_pixels);
    return 0;
}

// The rectangle's node; null when memory ran out (nothing is left behind).
JEX_ShapeTree *BuildNode(const MaskReader &mask, const JEX_Rect &r)
{
    auto *node = new (std::nothrow) JEX_ShapeTree{};
    if (!node)
        return nullptr;
    bool uniform = true, first = false;
    if (r.w > 0 && r.h > 0) {
        first = mask.Opaque(r.x, r.y);
        for (int y = r.y; y < r.y + r.h && uniform; ++y)
            for (int x = r.x; x < r.x + r.w && uniform; ++x)
                uniform = mask.Opaque(x, y) == first;
    }
    if (uniform) {
        node->kind = first ? OpaqueShape : TransparentShape;
        node->data.shape = r;
        return node;
    }
    // The right and lower halves take the odd column and row, so the four
    // children cover the rectangle exactly.
    node->kind = QuadShape;
    const int hw = r.w / 2, hh = r.h / 2;
    const JEX_Rect parts[4] = {{r.x, r.y, hw, hh},
                               {r.x + hw, r.y, r.w - hw, hh},
                               {r.x, r.y + hh, hw, r.h - hh},
                               {r.x + hw, r.y + hh, r.w - hw, r.h - hh}};
    JEX_QuadChildren &c = node->data.children;
    JEX_ShapeTree **slots[4] = {&c.upleft, &c.upright, &c.downleft, &c.downright};
    for (int i = 0; i < 4; ++i) {
        *slots[i] = BuildNode(mask, parts[i]);
        if (!*slots[i]) {
            JEX_FreeShapeTree(&node);
            return nullptr;
        }
    }
    return node;
}

}  // namespace

JEX_bool JEX_ShapePixelOpaque(JEX_WindowShapeMode mode, Uint32 pixel, const JEX_PixelFormat *format)
{
    Uint8 r = 0, g = 0, b = 0, a = 0;
    JEX_GetRGBA(pixel, format, &r, &g, &b, &a);
    const Uint8 cutoff = mode.parameters.binarizationCutoff;
    const JEX_Color &key = mode.parameters.colorKey;
    switch (mode.mode) {
    case ShapeModeDefault: return JEX_bool(a >= 1);
    case ShapeModeBinarizeAlpha: return JEX_bool(a >= cutoff);
    case ShapeModeReverseBinarizeAlpha: return JEX_bool(a <= cutoff);
    case ShapeModeColorKey: return JEX_bool(r != key.r || g != key.g || b != key.b);
    }
    return JEX_FALSE;
}

int JEX_CalculateShapeBitmap(JEX_WindowShapeMode mode, JEX_Surface *shape, Uint8 *bitmap, Uint8 ppb)
{
    if (CheckBitmapArguments(shape, bitmap, ppb) < 0)
        return -1;
    // Packed: rows run on without padding, w pixels apart.
    return ComputeBitmap(mode, shape, bitmap, ppb, size_t(shape->w > 0 ? shape->w : 0));
}

int JEX_CalculateShapeBitmapRows(JEX_WindowShapeMode mode, JEX_Surface *shape, Uint8 *bitmap,
                                 Uint8 ppb, size_t row_bytes)
{
    if (CheckBitmapArguments(shape, bitmap, ppb) < 0)
        return -1;
    const size_t w = size_t(shape->w > 0 ? shape->w : 0);
    if (row_bytes < (w + ppb - 1) / ppb) {
        JEX_SetError("Shape bitmap rows of %lu bytes cannot hold %d pixels",
                     static_cast<unsigned long>(row_bytes), shape->w);
        return -1;
    }
    return ComputeBitmap(mode, shape, bitmap, ppb, row_bytes * ppb);
}

JEX_ShapeTree *JEX_CalculateShapeTree(JEX_WindowShapeMode mode, JEX_Surface *shape)
{
    if (!shape || !shape->format) {
        JEX_SetError("Shape tree needs a mask");
        return nullptr;
    }
    MaskReader mask(mode, shape);
    if (!mask.ok()) {
        JEX_SetError("Shape mask cannot be read");
        return nullptr;
    }
    JEX_ShapeTree *tree = BuildNode(mask, JEX_Rect{0, 0, shape->w, shape->h});
    if (!tree)
        JEX_OutOfMemory();
    return tree;
}

void JEX_TraverseShapeTree(JEX_ShapeTree *tree, JEX_TraversalFunction function, void *closure)
{
    if (!tree || !function)
        return;
    if (tree->kind != QuadShape) {
        function(tree, closure);
        return;
    }
    JEX_QuadChildren &c = tree->data.children;
    JEX_TraverseShapeTree(c.upleft, function, closure);
    JEX_TraverseShapeTree(c.upright, function, closure);
    JEX_TraverseShapeTree(c.downleft, function, closure);
    JEX_TraverseShapeTree(c.downright, function, closure);
}

void JEX_FreeShapeTree(JEX_ShapeTree **shape_tree)
{
    if (!shape_tree || !*shape_tree)
        return;
    JEX_ShapeTree *tree = *shape_tree;
    if (tree->kind == QuadShape) {
        JEX_QuadChildren &c = tree->data.children;
        JEX_FreeShapeTree(&c.upleft);
        JEX_FreeShapeTree(&c.upright);
        JEX_FreeShapeTree(&c.downleft);
        JEX_FreeShapeTree(&c.downright);
    }
    delete tree;
    *shape_tree = nullptr;
}

JEX_bool JEX_WindowHasAShape(JEX_Window *window)
{
    const JEX_WindowShaper *shaper = ShaperOf(window);
    return JEX_bool(shaper && shaper->hasshape);
}

JEX_Window *JEX_CreateShapedWindow(const char *title, int x, int y, int w, int h, Uint32 flags)
{
    const Uint32 shaped_flags =
        (flags | JEX_WINDOW_BORDERLESS) & ~Uint32(JEX_WINDOW_FULLSCREEN | JEX_WINDOW_RESIZABLE);
    JEX_Window *window = JEX_CreateWindow(title, kOutOfSight, kOutOfSight, w, h, shaped_flags);
    if (!window)
        return nullptr;
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    JEX_WindowShaper *shaper = nullptr;
    if (device->CreateShaper)
        shaper = device->CreateShaper(device, window);
    else
        JEX_SetError("Shaped windows are not supported by the video driver");
    if (!shaper) {
        // The driver's reason outlives the clean-up.
        const JEX_ErrorRecord reason = *JEX_GetErrBuf();
        JEX_DestroyWindow(window);
        *JEX_GetErrBuf() = reason;
        return nullptr;
    }
    window->shaper = shaper;
    shaper->window = window;
    // Creation centres an undefined position; so does the first shape.
    shaper->userx = JEX_WINDOWPOS_ISUNDEFINED(x) ? JEX_WINDOWPOS_CENTERED_DISPLAY(x & 0xFFFF) : x;
    shaper->usery = JEX_WINDOWPOS_ISUNDEFINED(y) ? JEX_WINDOWPOS_CENTERED_DISPLAY(y & 0xFFFF) : y;
    shaper->position_pending = JEX_TRUE;
    shaper->mode.mode = ShapeModeDefault;
    shaper->mode.parameters.binarizationCutoff = 1;
    shaper->hasshape = JEX_FALSE;
    return window;
}

JEX_bool JEX_IsShapedWindow(const JEX_Window *window)
{
    return JEX_bool(ShaperOf(window) != nullptr);
}

int JEX_SetWindowShape(JEX_Window *window, JEX_Surface *shape, JEX_WindowShapeMode *shape_mode)
{
    JEX_WindowShaper *shaper = ShaperOf(window);
    if (!shaper) {
        JEX_SetError("Not a shaped window");
        return JEX_NONSHAPEABLE_WINDOW;
    }
    if (!shape || !shape->format) {
        JEX_SetError("Invalid shape");
        return JEX_INVALID_SHAPE_ARGUMENT;
    }
    const JEX_WindowShapeMode mode = shape_mode ? *shape_mode : shaper->mode;
    if (!KnownMode(mode)) {
        JEX_SetError("Unknown shape mode %d", int(mode.mode));
        return JEX_INVALID_SHAPE_ARGUMENT;
    }
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device->SetWindowShape) {
        JEX_SetError("Shaped windows are not supported by the video driver");
        return JEX_NONSHAPEABLE_WINDOW;
    }
    JEX_WindowShapeMode driver_mode = mode;
    const int result = device->SetWindowShape(device, shaper, shape, &driver_mode);
    if (result < 0)
        return result;
    shaper->mode = mode;
    shaper->hasshape = JEX_TRUE;
    if (shaper->position_pending) {
        shaper->position_pending = JEX_FALSE;
        const int x = shaper->userx, y = shaper->usery;
        shaper->userx = shaper->usery = 0;
        JEX_SetWindowPosition(window, x, y);
    }
    return result;
}

int JEX_GetShapedWindowMode(JEX_Window *window, JEX_WindowShapeMode *shape_mode)
{
    const JEX_WindowShaper *shaper = ShaperOf(window);
    if (!shaper) {
        JEX_SetError("Not a shaped window");
        return JEX_NONSHAPEABLE_WINDOW;
    }
    if (shape_mode) {
        *shape_mode = shaper->mode;
        return 0;
    }
    return shaper->hasshape ? 0 : JEX_WINDOW_LACKS_SHAPE;
}
