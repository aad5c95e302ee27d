// The "opengl" row of the render driver table. Its renderer is not built
// yet: creation fails with a clear message and the choice moves on.
#include "render/sysrender.h"

#include "JEX_error.h"
#include "JEX_pixels.h"

namespace {

JEX_Renderer *GL_CreateRenderer(JEX_Window *, Uint32)
{
    JEX_SetError("OpenGL renderer not available");
    return nullptr;
}

}  // namespace

const JEX_RenderDriver GL_RenderDriver = {GL_CreateRenderer,
                                          {"opengl",
                                           JEX_RENDERER_ACCELERATED | JEX_RENDERER_PRESENTVSYNC,
                                           1,
                                           {JEX_PIXELFORMAT_ARGB8888},
                                           0,
                                           0}};
