/* Shaped windows as drivers see them: the shaper record a driver makes for
   each shaped window, and two readings of a mask, a packed bitmap and a
   quad-tree of uniform rectangles. */
#ifndef JEX_SHAPE_INTERNAL_H
#define JEX_SHAPE_INTERNAL_H

#include "JEX_shape.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Made by the driver's CreateShaper, held in the window's shaper field and
   freed by the driver when the window is destroyed. */
typedef struct JEX_WindowShaper {
    JEX_Window *window;
    /* The position the window goes to once a shape is set, valid while
       position_pending is set (the window waits out of sight until then). */
    int userx, usery;
    JEX_WindowShapeMode mode;
    JEX_bool hasshape;
    JEX_bool position_pending;
    void *driverdata;
} JEX_WindowShaper;

typedef enum { QuadShape = 0, TransparentShape = 1, OpaqueShape = 2 } ShapeKind;

typedef struct JEX_ShapeTree JEX_ShapeTree;

typedef struct JEX_QuadChildren {
    JEX_ShapeTree *upleft;
    JEX_ShapeTree *upright;
    JEX_ShapeTree *downleft;
    JEX_ShapeTree *downright;
} JEX_QuadChildren;

/* A QuadShape node splits its rectangle into four children that cover it
   exactly (the right and lower halves take an odd column or row); the two
   leaf kinds are uniform over their rectangle, which may be empty. */
struct JEX_ShapeTree {
    ShapeKind kind;
    union {
        JEX_QuadChildren children;
        JEX_Rect shape;
    } data;
};

typedef void (*JEX_TraversalFunction)(JEX_ShapeTree *leaf, void *closure);

/* Whether the mask pixel value (in the mask's format) is opaque. */
JEX_bool JEX_ShapePixelOpaque(JEX_WindowShapeMode mode, Uint32 pixel,
                              const JEX_PixelFormat *format);

/* Sets one bit per opaque pixel in bitmap, which the caller has zeroed:
   pixel i = x + y * shape->w goes to byte i / ppb, bit 8 - ppb + i % ppb
   (bit 0 least significant). ppb must be 1, 2, 4 or 8. 0, or -1 with an
   error for a bad argument. */
int JEX_CalculateShapeBitmap(JEX_WindowShapeMode mode, JEX_Surface *shape, Uint8 *bitmap,
                             Uint8 ppb);

/* The same with rows of row_bytes bytes each, as X bitmaps are laid out:
   pixel (x, y) goes to byte y * row_bytes + x / ppb. row_bytes must hold a
   row (at least (shape->w + ppb - 1) / ppb). */
int JEX_CalculateShapeBitmapRows(JEX_WindowShapeMode mode, JEX_Surface *shape, Uint8 *bitmap,
                                 Uint8 ppb, size_t row_bytes);

/* The quad-tree of the whole mask; null (with an error) for a null mask or
   when memory runs out. */
JEX_ShapeTree *JEX_CalculateShapeTree(JEX_WindowShapeMode mode, JEX_Surface *shape);

/* Calls function for every leaf, upper-left, upper-right, lower-left,
   lower-right first. */
void JEX_TraverseShapeTree(JEX_ShapeTree *tree, JEX_TraversalFunction function, void *closure);

/* Frees the tree and sets *shape_tree to null. */
void JEX_FreeShapeTree(JEX_ShapeTree **shape_tree);

/* The window's shaper's hasshape; false for a null window or one without a
   shaper. */
JEX_bool JEX_WindowHasAShape(JEX_Window *window);

#ifdef __cplusplus
}
#endif

#endif /* JEX_SHAPE_INTERNAL_H */
