// Shaped windows on a private Xvfb: the bounding shape the server keeps, read back by a second
// client, equals the mask; resizes by others and by the library; a server without SHAPE.
#include "x11_test_util.h"
#include "JEX_shape.h"
#include <random>

using namespace x11test;

namespace {

using Surface = std::unique_ptr<JEX_Surface, decltype(&JEX_FreeSurface)>;
using Grid = std::vector<std::vector<bool>>;

class X11ShapeTest : public X11DriverTest {
protected:
    std::mt19937 rng{3};
    // Random opaque black and clear grey pixels (opaque only inside `within` when given); grey
    // is also the colour key of the masks without alpha.
    Surface Mask(int w, int h, Grid &grid, const Grid *within = nullptr, Uint32 amask = 0xFF000000u)
    {
        Surface s(JEX_CreateRGBSurface(0, w, h, 32, 0xFF0000, 0xFF00, 0xFF, amask),
                  JEX_FreeSurface);
        grid.assign(h, std::vector<bool>(w));
        for (int i = 0; i < w * h; ++i) {
            grid[i / w][i % w] = rng() % 3 && (!within || (*within)[i / w][i % w]);
            static_cast<Uint32 *>(s->pixels)[i] = grid[i / w][i % w] ? 0xFF000000u : 0x00808080u;
        }
        return s;
    }
    // The window's bounding shape and position as the peer reads them.
    std::pair<Grid, std::pair<int, int>> Seen(JEX_Window *window)
    {
        X11.XSync(Data()->display, False);
        int count = 0, ordering = 0, w = 0, h = 0;
        XRectangle *rects =
            X11.XShapeGetRectangles(peer_, XidOf(window), ShapeBounding, &count, &ordering);
        JEX_GetWindowSize(window, &w, &h);
        Grid grid(h, std::vector<bool>(w));
        for (const XRectangle &r : std::vector<XRectangle>(rects, rects + count))
            for (int i = 0; i < r.width * r.height; ++i)
                grid.at(r.y + i / r.width).at(r.x + i % r.width) = true;
        X11.XFree(rects);
        const XWindowAttributes a = Attributes(XidOf(window));
        return {grid, {a.x, a.y}};
    }
};

TEST_F(X11ShapeTest, BoundingShapeIsTheMaskAtEveryWidthAndAfterASmallerOne)
{
    for (int w : {1, 7, 8, 13}) {
        JEX_Window *window = JEX_CreateShapedWindow("shaped", 30, 40, w, 9, 0);
        Grid first, second;
        Surface mask = Mask(w, 9, first);
        ASSERT_EQ(JEX_SetWindowShape(window, mask.get(), nullptr), 0) << JEX_GetError();
        EXPECT_EQ(Seen(window), std::pair(first, std::pair(30, 40))) << "width " << w;
        mask = Mask(w, 9, second, &first);  // none of the first shape may stay
        ASSERT_EQ(JEX_SetWindowShape(window, mask.get(), nullptr), 0);
        EXPECT_EQ(Seen(window).first, second) << "width " << w;
        JEX_DestroyWindow(window);
    }
}

TEST_F(X11ShapeTest, AfterAResizeByAnotherClientOrTheLibraryShapesTakeTheNewSize)
{
    JEX_Window *window = JEX_CreateShapedWindow("shaped", JEX_WINDOWPOS_UNDEFINED, 40, 16, 8, 0);
    Grid grid;
    Surface mask = Mask(16, 8, grid);
    X11.XResizeWindow(peer_, XidOf(window), 37, 21);
    X11.XSync(peer_, False);
    int w = 0, h = 0;
    ASSERT_TRUE(PumpUntil([](const JEX_Event &) { return false; }, 3000,
                          [&] { return JEX_GetWindowSize(window, &w, &h), w == 37 && h == 21; }));
    EXPECT_EQ(JEX_SetWindowShape(window, mask.get(), nullptr), JEX_WINDOW_LACKS_SHAPE);
    mask = Mask(37, 21, grid);
    ASSERT_EQ(JEX_SetWindowShape(window, mask.get(), nullptr), 0);
    EXPECT_EQ(Seen(window).first, grid);

    JEX_SetWindowSize(window, 20, 9);  // out of sight until a shape of the new size comes
    EXPECT_EQ(Attributes(XidOf(window)).x, -1000);
    mask = Mask(20, 9, grid, nullptr, 0);  // without alpha: only the colour-key mode applies
    JEX_WindowShapeMode alpha{ShapeModeBinarizeAlpha, {1}}, key{ShapeModeColorKey, {}};
    key.parameters.colorKey = JEX_Color{0x80, 0x80, 0x80, 0};
    EXPECT_EQ(JEX_SetWindowShape(window, mask.get(), &alpha), JEX_INVALID_SHAPE_ARGUMENT);
    ASSERT_EQ(JEX_SetWindowShape(window, mask.get(), &key), 0);
    EXPECT_EQ(Seen(window), std::pair(grid, std::pair((1024 - 37) / 2, 40))) << "centred";
}

TEST_F(X11ShapeTest, ServerWithoutShapeRefusesShapedWindowsBeforeAnyRequest)
{
    // Xvfb cannot switch SHAPE off: the query answers as such a server would, and a shape
    // request, which that server would answer with an error, is counted.
    static int requests = 0;
    const JEX_X11_Symbols saved = X11;
    X11.XShapeQueryExtension = [](Display *, int *, int *) -> Bool { return False; };
    X11.XShapeCombineMask = [](Display *, Window, int, int, int, Pixmap, int) { ++requests; };
    JEX_Window *window = JEX_CreateShapedWindow("shaped", 0, 0, 8, 8, 0);
    X11 = saved;
    EXPECT_EQ(window, nullptr);
    EXPECT_STREQ(JEX_GetError(), "The X server has no SHAPE extension");
    EXPECT_EQ(std::pair(JEX_GetVideoDevice()->windows, requests), (std::pair<JEX_Window *, int>()));
}

}  // namespace
