// The OpenGL renderer: fixed-function GL 1.x drawing into the GL context of
// the renderer's window, with small GLSL programs for solid and textured
// drawing where the GL offers them. Pixel units, origin at the top left.
//
// GL is reached only through JEX_GL_GetProcAddress; the few enumerants
// needed are spelled out below so that no GL header is required.
#include "render/sysrender.h"
#include "video/sysvideo.h"

#include "JEX_error.h"
#include "JEX_hints.h"
#include "JEX_log.h"
#include "JEX_pixels.h"
#include "JEX_surface.h"
#include "JEX_video.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <strings.h>

namespace {

using GLenum = unsigned;
using GLuint = unsigned;
using GLint = int;
using GLsizei = int;
using GLfloat = float;
using GLdouble = double;
using GLhandleARB = unsigned;
using GLcharARB = char;

constexpr GLenum kPoints = 0x0000;
constexpr GLenum kLineLoop = 0x0002;
constexpr GLenum kLineStrip = 0x0003;
constexpr GLenum kTriangleStrip = 0x0005;
constexpr GLenum kDepthTest = 0x0B71;
constexpr GLenum kCullFace = 0x0B44;
constexpr GLenum kBlend = 0x0BE2;
constexpr GLenum kModelView = 0x1700;
constexpr GLenum kProjection = 0x1701;
constexpr GLenum kZero = 0;
constexpr GLenum kOne = 1;
constexpr GLenum kSrcColor = 0x0300;
constexpr GLenum kSrcAlpha = 0x0302;
constexpr GLenum kOneMinusSrcAlpha = 0x0303;
constexpr GLenum kTextureEnv = 0x2300;
constexpr GLenum kTextureEnvMode = 0x2200;
constexpr GLenum kModulate = 0x2100;
constexpr GLenum kColorBufferBit = 0x4000;
constexpr GLenum kMaxTextureSize = 0x0D33;
constexpr GLenum kTexture2D = 0x0DE1;
constexpr GLenum kTextureRectangle = 0x84F5;
constexpr GLenum kRGBA8 = 0x8058;
constexpr GLenum kBGRA = 0x80E1;
constexpr GLenum kUnsignedInt8888Rev = 0x8367;
constexpr GLenum kNearest = 0x2600;
constexpr GLenum kLinear = 0x2601;
constexpr GLenum kTextureMagFilter = 0x2800;
constexpr GLenum kTextureMinFilter = 0x2801;
constexpr GLenum kTextureWrapS = 0x2802;
constexpr GLenum kTextureWrapT = 0x2803;
constexpr GLenum kClampToEdge = 0x812F;
constexpr GLenum kUnpackRowLength = 0x0CF2;
constexpr GLenum kUnpackAlignment = 0x0CF5;
constexpr GLenum kPackRowLength = 0x0D02;
constexpr GLenum kPackAlignment = 0x0D05;
// Apple's texture range and client storage: only where advertised.
constexpr GLenum kTextureStorageHintApple = 0x85BC;
constexpr GLenum kStorageCachedApple = 0x85BE;
constexpr GLenum kStorageSharedApple = 0x85BF;
constexpr GLenum kUnpackClientStorageApple = 0x85B2;
constexpr GLenum kVertexShader = 0x8B31;
constexpr GLenum kFragmentShader = 0x8B30;
constexpr GLenum kCompileStatus = 0x8B81;
constexpr GLenum kInfoLogLength = 0x8B84;
constexpr GLenum kLuminance = 0x1909;
constexpr GLenum kUnsignedByte = 0x1401;
constexpr GLenum kTextureUnit0 = 0x84C0;
constexpr GLenum kTextureUnit1 = 0x84C1;
constexpr GLenum kTextureUnit2 = 0x84C2;
constexpr GLenum kMaxTextureUnits = 0x84E2;

enum class Shader { None = 0, Solid = 1, Rgb = 2, Yuv = 3 };
constexpr int kShaderKinds = 4;

// GLSL 1.10 with the built-in matrices; the textured fragment stage is
// turned to rectangle textures by the prefix below where they are used.
struct ShaderSource {
    const char *vertex;
    const char *fragment;
};
// The vertex stage of both textured programs.
constexpr const char *kTexturedVertex =
    "varying vec4 v_color;\n"
    "varying vec2 v_texCoord;\n"
    "void main()\n"
    "{\n"
    "    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
    "    v_color = gl_Color;\n"
    "    v_texCoord = vec2(gl_MultiTexCoord0);\n"
    "}\n";
constexpr std::array<ShaderSource, kShaderKinds> kShaderSource = {{
    {nullptr, nullptr},
    {"varying vec4 v_color;\n"
     "void main()\n"
     "{\n"
     "    gl_Position = gl_ModelViewProjectionMatrix * gl_Vertex;\n"
     "    v_color = gl_Color;\n"
     "}\n",
     "varying vec4 v_color;\n"
     "void main()\n"
     "{\n"
     "    gl_FragColor = v_color;\n"
     "}\n"},
    {kTexturedVertex, "varying vec4 v_color;\n"
                      "varying vec2 v_texCoord;\n"
                      "uniform sampler2D tex0;\n"
                      "void main()\n"
                      "{\n"
                      "    gl_FragColor = texture2D(tex0, v_texCoord) * v_color;\n"
                      "}\n"},
    // BT.601 with limited (MPEG) range: luma 16..235, chroma 16..240.
    // chroma_scale turns luma coordinates into chroma ones: a half for
    // rectangle textures, which count in texels; 1 for power-of-two
    // textures, whose chroma storage is exactly half the luma's.
    {kTexturedVertex, "varying vec4 v_color;\n"
                      "varying vec2 v_texCoord;\n"
                      "uniform sampler2D tex0;\n"
                      "uniform sampler2D tex1;\n"
                      "uniform sampler2D tex2;\n"
                      "uniform float chroma_scale;\n"
                      "void main()\n"
                      "{\n"
                      "    vec2 c = v_texCoord * chroma_scale;\n"
                      "    vec3 yuv = vec3(texture2D(tex0, v_texCoord).r, texture2D(tex1, c).r,\n"
                      "                    texture2D(tex2, c).r);\n"
                      "    yuv -= vec3(16.0 / 255.0, 128.0 / 255.0, 128.0 / 255.0);\n"
                      "    vec3 rgb = vec3(dot(yuv, vec3(1.1644, 0.0, 1.5960)),\n"
                      "                    dot(yuv, vec3(1.1644, -0.3918, -0.8130)),\n"
                      "                    dot(yuv, vec3(1.1644, 2.0172, 0.0)));\n"
                      "    gl_FragColor = vec4(rgb, 1.0) * v_color;\n"
                      "}\n"},
}};
constexpr const char *kRectanglePrefix =
    "#define sampler2D sampler2DRect\n#define texture2D texture2DRect\n";

struct GL_ShaderContext {
    unsigned (*glGetError)();
    void (*glAttachObjectARB)(GLhandleARB, GLhandleARB);
    void (*glCompileShaderARB)(GLhandleARB);
    GLhandleARB (*glCreateProgramObjectARB)();
    GLhandleARB (*glCreateShaderObjectARB)(GLenum);
    void (*glDeleteObjectARB)(GLhandleARB);
    void (*glGetInfoLogARB)(GLhandleARB, GLsizei, GLsizei *, GLcharARB *);
    void (*glGetObjectParameterivARB)(GLhandleARB, GLenum, GLint *);
    GLint (*glGetUniformLocationARB)(GLhandleARB, const GLcharARB *);
    void (*glLinkProgramARB)(GLhandleARB);
    void (*glShaderSourceARB)(GLhandleARB, GLsizei, const GLcharARB **, const GLint *);
    void (*glUniform1iARB)(GLint, GLint);
    void (*glUniform1fARB)(GLint, GLfloat);
    void (*glUseProgramObjectARB)(GLhandleARB);
    bool texture_rectangle_supported;
    struct Program {
        GLhandleARB program, vert_shader, frag_shader;
    };
    std::array<Program, kShaderKinds> programs;
};

// The renderer's driverdata. The caches mirror state of this renderer's own
// context, which nobody else draws with.
struct GL_RenderData {
    JEX_GLContext context;
    bool texture_rectangle_supported;
    bool texture_range_supported;
    bool client_storage_supported;
    Shader current_shader;
    // Empty until the first colour is set: GL's own starting colour is
    // white, not the renderer's default draw colour.
    std::optional<Uint32> current_color;
    int current_blendmode;
    // Viewport and projection are re-applied at the next activation.
    bool viewport_dirty;
    // This thread's make-current number when the context was last made
    // current here (JEX_GL_CurrentSerial); 0: never.
    Uint64 activation_serial;

    void (*glBegin)(GLenum);
    void (*glBindTexture)(GLenum, GLuint);
    void (*glBlendFunc)(GLenum, GLenum);
    void (*glClear)(unsigned);
    void (*glClearColor)(GLfloat, GLfloat, GLfloat, GLfloat);
    void (*glColor4f)(GLfloat, GLfloat, GLfloat, GLfloat);
    void (*glDeleteTextures)(GLsizei, const GLuint *);
    void (*glDisable)(GLenum);
    void (*glEnable)(GLenum);
    void (*glEnd)();
    void (*glGenTextures)(GLsizei, GLuint *);
    unsigned (*glGetError)();
    void (*glGetIntegerv)(GLenum, GLint *);
    void (*glLoadIdentity)();
    void (*glMatrixMode)(GLenum);
    void (*glOrtho)(GLdouble, GLdouble, GLdouble, GLdouble, GLdouble, GLdouble);
    void (*glPixelStorei)(GLenum, GLint);
    void (*glReadPixels)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void *);
    void (*glRecti)(GLint, GLint, GLint, GLint);
    void (*glTexCoord2f)(GLfloat, GLfloat);
    void (*glTexEnvf)(GLenum, GLenum, GLfloat);
    void (*glTexImage2D)(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum,
                         const void *);
    void (*glTexParameteri)(GLenum, GLenum, GLint);
    void (*glTexSubImage2D)(GLenum, GLint, GLint, GLint, GLsizei, GLsizei, GLenum, GLenum,
                            const void *);
    void (*glVertex2f)(GLfloat, GLfloat);
    void (*glViewport)(GLint, GLint, GLsizei, GLsizei);

    void (*glActiveTextureARB)(GLenum);
    GLint num_texture_units;  // 0 without GL_ARB_multitexture
    GL_ShaderContext *shaders;
};

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};

struct GL_TextureData {
    GLuint texture;
    GLenum type;
    GLfloat texw, texh;  // texture coordinates of the image's right and bottom edges
    GLenum format, formattype;
    std::unique_ptr<Uint8, FreeDeleter> pixels;  // memory copy of a streaming texture
    int pitch;
    JEX_Rect locked_rect;
    // YV12 and IYUV: luma in `texture`, the chroma planes beside it.
    bool yuv;
    GLuint utexture, vtexture;
};

bool IsPlanarYUV(Uint32 format)
{
    return format == JEX_PIXELFORMAT_YV12 || format == JEX_PIXELFORMAT_IYUV;
}

GL_RenderData *Data(JEX_Renderer *renderer)
{
    return static_cast<GL_RenderData *>(renderer->driverdata);
}

template <typename Fn>
bool LoadEntry(Fn &fn, const char *name)
{
    fn = reinterpret_cast<Fn>(JEX_GL_GetProcAddress(name));
    return fn != nullptr;
}

// Looks up every entry point the renderer calls; names the first missing one.
bool LoadFunctions(GL_RenderData &d)
{
    const char *missing = nullptr;
    auto load = [&missing](auto &fn, const char *name) {
        if (!missing && !LoadEntry(fn, name))
            missing = name;
    };
    load(d.glBegin, "glBegin");
    load(d.glBindTexture, "glBindTexture");
    load(d.glBlendFunc, "glBlendFunc");
    load(d.glClear, "glClear");
    load(d.glClearColor, "glClearColor");
    load(d.glColor4f, "glColor4f");
    load(d.glDeleteTextures, "glDeleteTextures");
    load(d.glDisable, "glDisable");
    load(d.glEnable, "glEnable");
    load(d.glEnd, "glEnd");
    load(d.glGenTextures, "glGenTextures");
    load(d.glGetError, "glGetError");
    load(d.glGetIntegerv, "glGetIntegerv");
    load(d.glLoadIdentity, "glLoadIdentity");
    load(d.glMatrixMode, "glMatrixMode");
    load(d.glOrtho, "glOrtho");
    load(d.glPixelStorei, "glPixelStorei");
    load(d.glReadPixels, "glReadPixels");
    load(d.glRecti, "glRecti");
    load(d.glTexCoord2f, "glTexCoord2f");
    load(d.glTexEnvf, "glTexEnvf");
    load(d.glTexImage2D, "glTexImage2D");
    load(d.glTexParameteri, "glTexParameteri");
    load(d.glTexSubImage2D, "glTexSubImage2D");
    load(d.glVertex2f, "glVertex2f");
    load(d.glViewport, "glViewport");
    if (missing) {
        const std::string reason = JEX_GetError();
        JEX_SetError("Couldn't load GL function %s: %s\n", missing, reason.c_str());
        return false;
    }
    return true;
}

const char *GLErrorName(unsigned error)
{
    switch (error) {
    case 0x0500: return "GL_INVALID_ENUM";
    case 0x0501: return "GL_INVALID_VALUE";
    case 0x0502: return "GL_INVALID_OPERATION";
    case 0x0503: return "GL_STACK_OVERFLOW";
    case 0x0504: return "GL_STACK_UNDERFLOW";
    case 0x0505: return "GL_OUT_OF_MEMORY";
    case 0x8031: return "GL_TABLE_TOO_LARGE";
    default: return "UNKNOWN";
    }
}

// Forgets errors raised before the operation that is about to be checked.
// Bounded: a lost context may report the same error for ever.
template <typename GetError>
void ClearErrors(GetError get_error)
{
    for (int i = 0; i < 16 && get_error() != 0; ++i) {
    }
}

bool RectangleTexturesSupported()
{
    return JEX_GL_ExtensionSupported("GL_ARB_texture_rectangle") ||
           JEX_GL_ExtensionSupported("GL_EXT_texture_rectangle");
}

// ---------------------------------------------------------------- shaders

bool CompileShader(GL_ShaderContext &ctx, GLhandleARB shader, const char *prefix,
                   const char *source)
{
    const GLcharARB *sources[2] = {prefix, source};
    ctx.glShaderSourceARB(shader, 2, sources, nullptr);
    ctx.glCompileShaderARB(shader);
    GLint status = 0;
    ctx.glGetObjectParameterivARB(shader, kCompileStatus, &status);
    if (status)
        return true;
    GLint length = 0;
    ctx.glGetObjectParameterivARB(shader, kInfoLogLength, &length);
    std::string log;
    if (length > 0) {
        try {
            log.resize(std::size_t(length));
            ctx.glGetInfoLogARB(shader, length, nullptr, log.data());
            log.resize(std::strlen(log.c_str()));
        } catch (const std::bad_alloc &) {
            log.clear();
        }
    }
    JEX_LogError(JEX_LOG_CATEGORY_RENDER, "Failed to compile shader:\n%s%s\n%s", prefix, source,
                 log.c_str());
    return false;
}

void DeleteShaderObjects(GL_ShaderContext &ctx)
{
    for (GL_ShaderContext::Program &p : ctx.programs) {
        if (p.vert_shader)
            ctx.glDeleteObjectARB(p.vert_shader);
        if (p.frag_shader)
            ctx.glDeleteObjectARB(p.frag_shader);
        if (p.program)
            ctx.glDeleteObjectARB(p.program);
        p = {};
    }
}

bool LoadShaderFunctions(GL_ShaderContext &c)
{
    return LoadEntry(c.glGetError, "glGetError") &&
           LoadEntry(c.glAttachObjectARB, "glAttachObjectARB") &&
           LoadEntry(c.glCompileShaderARB, "glCompileShaderARB") &&
           LoadEntry(c.glCreateProgramObjectARB, "glCreateProgramObjectARB") &&
           LoadEntry(c.glCreateShaderObjectARB, "glCreateShaderObjectARB") &&
           LoadEntry(c.glDeleteObjectARB, "glDeleteObjectARB") &&
           LoadEntry(c.glGetInfoLogARB, "glGetInfoLogARB") &&
           LoadEntry(c.glGetObjectParameterivARB, "glGetObjectParameterivARB") &&
           LoadEntry(c.glGetUniformLocationARB, "glGetUniformLocationARB") &&
           LoadEntry(c.glLinkProgramARB, "glLinkProgramARB") &&
           LoadEntry(c.glShaderSourceARB, "glShaderSourceARB") &&
           LoadEntry(c.glUniform1iARB, "glUniform1iARB") &&
           LoadEntry(c.glUniform1fARB, "glUniform1fARB") &&
           LoadEntry(c.glUseProgramObjectARB, "glUseProgramObjectARB");
}

// The programs for solid and textured drawing in the current context, or
// null (no message) when the GL lacks shader support or a program fails:
// the renderer then draws with the fixed-function pipeline.
GL_ShaderContext *GL_CreateShaderContext()
{
    std::unique_ptr<GL_ShaderContext> ctx(new (std::nothrow) GL_ShaderContext{});
    if (!ctx)
        return nullptr;
    ctx->texture_rectangle_supported = RectangleTexturesSupported();
    // The error a failed lookup leaves behind is no failure of the renderer.
    const std::string saved_error = JEX_GetError();
    const bool supported = JEX_GL_ExtensionSupported("GL_ARB_shader_objects") &&
                           JEX_GL_ExtensionSupported("GL_ARB_shading_language_100") &&
                           JEX_GL_ExtensionSupported("GL_ARB_vertex_shader") &&
                           JEX_GL_ExtensionSupported("GL_ARB_fragment_shader") &&
                           LoadShaderFunctions(*ctx);
    if (!supported) {
        JEX_SetError("%s", saved_error.c_str());
        return nullptr;
    }
    GL_ShaderContext &c = *ctx;
    ClearErrors(c.glGetError);
    for (int kind = 1; kind < kShaderKinds; ++kind) {
        GL_ShaderContext::Program &p = c.programs[std::size_t(kind)];
        const ShaderSource &source = kShaderSource[std::size_t(kind)];
        p.program = c.glCreateProgramObjectARB();
        p.vert_shader = c.glCreateShaderObjectARB(kVertexShader);
        bool ok = CompileShader(c, p.vert_shader, "", source.vertex);
        p.frag_shader = c.glCreateShaderObjectARB(kFragmentShader);
        ok = ok &&
             CompileShader(c, p.frag_shader, c.texture_rectangle_supported ? kRectanglePrefix : "",
                           source.fragment);
        if (!ok) {
            DeleteShaderObjects(c);
            return nullptr;
        }
        c.glAttachObjectARB(p.program, p.vert_shader);
        c.glAttachObjectARB(p.program, p.frag_shader);
        c.glLinkProgramARB(p.program);
        c.glUseProgramObjectARB(p.program);
        for (int unit = 0; unit < 4; ++unit) {
            const std::string name = "tex" + std::to_string(unit);
            const GLint location = c.glGetUniformLocationARB(p.program, name.c_str());
            if (location >= 0)
                c.glUniform1iARB(location, unit);
        }
        const GLint scale = c.glGetUniformLocationARB(p.program, "chroma_scale");
        if (scale >= 0)
            c.glUniform1fARB(scale, c.texture_rectangle_supported ? 0.5f : 1.0f);
        c.glUseProgramObjectARB(0);
    }
    if (c.glGetError() != 0) {
        DeleteShaderObjects(c);
        return nullptr;
    }
    return ctx.release();
}

void GL_DestroyShaderContext(GL_ShaderContext *ctx)
{
    DeleteShaderObjects(*ctx);
    delete ctx;
}

void GL_SelectShader(GL_RenderData &data, Shader kind)
{
    if (!data.shaders || data.current_shader == kind)
        return;
    data.shaders->glUseProgramObjectARB(data.shaders->programs[std::size_t(kind)].program);
    data.current_shader = kind;
}

// ---------------------------------------------------------------- state

void ApplyViewport(JEX_Renderer *renderer)
{
    GL_RenderData &d = *Data(renderer);
    const JEX_Rect &vp = renderer->viewport;
    int window_h = 0;
    JEX_GetWindowSize(renderer->window, nullptr, &window_h);
    // GL counts rows from the bottom of the window.
    d.glViewport(vp.x, window_h - vp.y - vp.h, vp.w, vp.h);
    d.glMatrixMode(kProjection);
    d.glLoadIdentity();
    d.glOrtho(0.0, GLdouble(vp.w), GLdouble(vp.h), 0.0, 0.0, 1.0);
    d.glMatrixMode(kModelView);
    d.viewport_dirty = false;
}

// Makes this renderer's context current on the calling thread. Nothing is
// asked of the driver while no make-current of the library has happened on
// this thread since this renderer's own; after one (an application's own
// JEX_GL_MakeCurrent, another renderer's, another thread) the driver
// compares with the context actually current and binds ours again, so a
// foreign context is never drawn into. Asking the driver for every drawing
// call costs system calls in the GL dispatch layer.
int GL_ActivateRenderer(JEX_Renderer *renderer)
{
    GL_RenderData &d = *Data(renderer);
    const Uint64 serial = JEX_GL_CurrentSerial();
    if (serial == 0 || serial != d.activation_serial) {
        if (JEX_GL_MakeCurrent(renderer->window, d.context) < 0)
            return -1;
        d.activation_serial = JEX_GL_CurrentSerial();
    }
    if (d.viewport_dirty)
        ApplyViewport(renderer);
    return 0;
}

void GL_SetColor(GL_RenderData &d, Uint8 r, Uint8 g, Uint8 b, Uint8 a)
{
    const Uint32 packed = Uint32(a) << 24 | Uint32(r) << 16 | Uint32(g) << 8 | b;
    if (d.current_color == packed)
        return;
    const GLfloat inv = 1.0f / 255.0f;
    d.glColor4f(r * inv, g * inv, b * inv, a * inv);
    d.current_color = packed;
}

// The texture environment stays "modulate" for every mode (set at
// creation): colour and alpha modulation apply without blending too.
void GL_SetBlendMode(GL_RenderData &d, int mode)
{
    if (mode == d.current_blendmode)
        return;
    switch (mode) {
    case JEX_BLENDMODE_NONE: d.glDisable(kBlend); break;
    case JEX_BLENDMODE_BLEND:
        d.glEnable(kBlend);
        d.glBlendFunc(kSrcAlpha, kOneMinusSrcAlpha);
        break;
    case JEX_BLENDMODE_ADD:
        d.glEnable(kBlend);
        d.glBlendFunc(kSrcAlpha, kOne);
        break;
    case JEX_BLENDMODE_MOD:
        d.glEnable(kBlend);
        d.glBlendFunc(kZero, kSrcColor);
        break;
    default: break;
    }
    d.current_blendmode = mode;
}

int GL_SetDrawingState(JEX_Renderer *renderer)
{
    if (GL_ActivateRenderer(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    GL_SetColor(d, renderer->r, renderer->g, renderer->b, renderer->a);
    GL_SetBlendMode(d, renderer->blendMode);
    GL_SelectShader(d, Shader::Solid);
    return 0;
}

// ---------------------------------------------------------------- slots

void GL_WindowEvent(JEX_Renderer *renderer, const JEX_WindowEvent *event)
{
    if (event->event == JEX_WINDOWEVENT_SIZE_CHANGED)
        Data(renderer)->viewport_dirty = true;
}

int GL_UpdateViewport(JEX_Renderer *renderer)
{
    Data(renderer)->viewport_dirty = true;
    return GL_ActivateRenderer(renderer);
}

bool InsideTexture(const JEX_Texture *texture, const JEX_Rect *rect)
{
    return rect->x >= 0 && rect->y >= 0 && rect->w >= 0 && rect->h >= 0 &&
           rect->x <= texture->w - rect->w && rect->y <= texture->h - rect->h;
}

// Size of a YV12/IYUV chroma plane: odd sizes round up, so the last column
// and row of the image have chroma too.
int ChromaSize(int size)
{
    return size / 2 + size % 2;
}

// Binds a texture and sets its filter and edge clamping.
void BindAndSetUp(GL_RenderData &d, GLenum type, GLuint name, GLint filter)
{
    d.glBindTexture(type, name);
    d.glTexParameteri(type, kTextureMinFilter, filter);
    d.glTexParameteri(type, kTextureMagFilter, filter);
    d.glTexParameteri(type, kTextureWrapS, kClampToEdge);
    d.glTexParameteri(type, kTextureWrapT, kClampToEdge);
}

void DeleteTextures(GL_RenderData &d, const GL_TextureData &data)
{
    for (const GLuint name : {data.texture, data.utexture, data.vtexture})
        if (name)
            d.glDeleteTextures(1, &name);
}

int GL_CreateTexture(JEX_Renderer *renderer, JEX_Texture *texture)
{
    if (GL_ActivateRenderer(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    const bool yuv = IsPlanarYUV(texture->format);
    // Planar YUV needs the YUV program and three texture units.
    if (texture->format != JEX_PIXELFORMAT_ARGB8888 &&
        !(yuv && d.shaders && d.num_texture_units > 2)) {
        JEX_SetError("Texture format %s not supported by OpenGL",
                     JEX_GetPixelFormatName(texture->format));
        return -1;
    }
    const int max_w = renderer->info.max_texture_width;
    const int max_h = renderer->info.max_texture_height;
    if ((max_w > 0 && texture->w > max_w) || (max_h > 0 && texture->h > max_h)) {
        JEX_SetError("Texture of %dx%d is larger than OpenGL's %dx%d", texture->w, texture->h,
                     max_w, max_h);
        return -1;
    }
    std::unique_ptr<GL_TextureData> data(new (std::nothrow) GL_TextureData{});
    if (!data) {
        JEX_OutOfMemory();
        return -1;
    }
    data->yuv = yuv;
    data->format = yuv ? kLuminance : kBGRA;
    data->formattype = yuv ? kUnsignedByte : kUnsignedInt8888Rev;
    const GLint internal_format = yuv ? GLint(kLuminance) : GLint(kRGBA8);
    const bool streaming = texture->access == JEX_TEXTUREACCESS_STREAMING;
    if (streaming) {
        // YUV: the luma plane, then two chroma planes of rows half as long.
        const std::size_t w = std::size_t(texture->w), h = std::size_t(texture->h);
        const std::size_t size = yuv ? w * h + 2 * std::size_t(ChromaSize(texture->w)) *
                                                   std::size_t(ChromaSize(texture->h))
                                     : w * 4 * h;
        data->pitch = yuv ? texture->w : texture->w * 4;
        data->pixels.reset(static_cast<Uint8 *>(std::calloc(size, 1)));
        if (!data->pixels) {
            JEX_OutOfMemory();
            return -1;
        }
    }

    ClearErrors(d.glGetError);
    d.glGenTextures(1, &data->texture);
    int storage_w = texture->w, storage_h = texture->h;
    int chroma_w = ChromaSize(texture->w), chroma_h = ChromaSize(texture->h);
    if (d.texture_rectangle_supported) {
        data->type = kTextureRectangle;
        data->texw = GLfloat(texture->w);
        data->texh = GLfloat(texture->h);
    } else {
        data->type = kTexture2D;
        for (storage_w = 1; storage_w < texture->w;)
            storage_w *= 2;
        for (storage_h = 1; storage_h < texture->h;)
            storage_h *= 2;
        data->texw = GLfloat(texture->w) / GLfloat(storage_w);
        data->texh = GLfloat(texture->h) / GLfloat(storage_h);
        // Exactly half the luma storage, so that chroma is sampled at the
        // luma's normalised coordinates.
        chroma_w = std::max(1, storage_w / 2);
        chroma_h = std::max(1, storage_h / 2);
    }
    const char *quality = JEX_GetHint(JEX_HINT_RENDER_SCALE_QUALITY);
    const GLint filter =
        !quality || quality[0] == '0' || strcasecmp(quality, "nearest") == 0 ? kNearest : kLinear;
    d.glEnable(data->type);
    BindAndSetUp(d, data->type, data->texture, filter);
    if (d.texture_range_supported)
        d.glTexParameteri(data->type, kTextureStorageHintApple,
                          streaming ? kStorageSharedApple : kStorageCachedApple);
    if (!yuv && streaming && d.client_storage_supported && texture->w % 8 == 0) {
        d.glPixelStorei(kUnpackClientStorageApple, 1);
        d.glPixelStorei(kUnpackAlignment, 1);
        d.glPixelStorei(kUnpackRowLength, data->pitch / 4);
        d.glTexImage2D(data->type, 0, kRGBA8, storage_w, storage_h, 0, data->format,
                       data->formattype, data->pixels.get());
        d.glPixelStorei(kUnpackClientStorageApple, 0);
    } else {
        d.glTexImage2D(data->type, 0, internal_format, storage_w, storage_h, 0, data->format,
                       data->formattype, nullptr);
    }
    if (yuv) {
        d.glGenTextures(1, &data->utexture);
        d.glGenTextures(1, &data->vtexture);
        for (const GLuint plane : {data->utexture, data->vtexture}) {
            BindAndSetUp(d, data->type, plane, filter);
            d.glTexImage2D(data->type, 0, internal_format, chroma_w, chroma_h, 0, data->format,
                           data->formattype, nullptr);
        }
    }
    d.glDisable(data->type);
    if (const unsigned error = d.glGetError(); error != 0) {
        DeleteTextures(d, *data);
        JEX_SetError("%s: %s", "glTexImage2D()", GLErrorName(error));
        return -1;
    }
    texture->driverdata = data.release();
    return 0;
}

bool IsWholeTexture(const JEX_Texture *texture, const JEX_Rect *rect)
{
    return rect->x == 0 && rect->y == 0 && rect->w == texture->w && rect->h == texture->h;
}

void Upload(GL_RenderData &d, GLenum type, GLuint name, const GL_TextureData &data,
            const JEX_Rect &rect, const void *pixels, int row_length)
{
    d.glBindTexture(type, name);
    d.glPixelStorei(kUnpackRowLength, row_length);
    d.glTexSubImage2D(type, 0, rect.x, rect.y, rect.w, rect.h, data.format, data.formattype,
                      pixels);
}

// A rectangle to update or lock lies inside the texture (the memory copy
// ends where the texture does). YV12 and IYUV take only the whole image:
// where a part of the planes would start in a buffer has no one answer, and
// unlocking uploads from the address handed out.
bool RectUsable(const JEX_Texture *texture, const GL_TextureData &data, const JEX_Rect *rect,
                const char *what)
{
    if (!InsideTexture(texture, rect)) {
        JEX_SetError("Rectangle %d,%d %dx%d lies outside the %dx%d texture", rect->x, rect->y,
                     rect->w, rect->h, texture->w, texture->h);
        return false;
    }
    if (data.yuv && !IsWholeTexture(texture, rect)) {
        JEX_SetError("YV12 and IYUV textures only support full surface %s", what);
        return false;
    }
    return true;
}

int GL_UpdateTexture(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *rect,
                     const void *pixels, int pitch)
{
    auto &data = *static_cast<GL_TextureData *>(texture->driverdata);
    if (!RectUsable(texture, data, rect, "updates"))
        return -1;
    if (data.yuv && pitch < texture->w) {
        JEX_SetError("Invalid pitch for a YUV update");
        return -1;
    }
    if (GL_ActivateRenderer(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    ClearErrors(d.glGetError);
    d.glEnable(data.type);
    d.glPixelStorei(kUnpackAlignment, 1);
    Upload(d, data.type, data.texture, data, *rect, pixels, data.yuv ? pitch : pitch / 4);
    if (data.yuv) {
        // Behind the luma plane: the two chroma planes, rows of half the
        // pitch; YV12 holds V first, IYUV U first.
        const int chroma_pitch = ChromaSize(pitch);
        const JEX_Rect chroma = {0, 0, ChromaSize(texture->w), ChromaSize(texture->h)};
        const auto *first =
            static_cast<const Uint8 *>(pixels) + std::size_t(texture->h) * std::size_t(pitch);
        const Uint8 *second = first + std::size_t(chroma.h) * std::size_t(chroma_pitch);
        const bool yv12 = texture->format == JEX_PIXELFORMAT_YV12;
        Upload(d, data.type, yv12 ? data.vtexture : data.utexture, data, chroma, first,
               chroma_pitch);
        Upload(d, data.type, yv12 ? data.utexture : data.vtexture, data, chroma, second,
               chroma_pitch);
    }
    d.glDisable(data.type);
    if (const unsigned error = d.glGetError(); error != 0) {
        JEX_SetError("%s: %s", "glTexSubImage2D()", GLErrorName(error));
        return -1;
    }
    return 0;
}

int GL_LockTexture(JEX_Renderer *, JEX_Texture *texture, const JEX_Rect *rect, void **pixels,
                   int *pitch)
{
    auto &data = *static_cast<GL_TextureData *>(texture->driverdata);
    if (!RectUsable(texture, data, rect, "locks"))
        return -1;
    data.locked_rect = *rect;
    *pixels = data.pixels.get() + std::size_t(rect->y) * std::size_t(data.pitch) +
              std::size_t(rect->x) * 4;
    *pitch = data.pitch;
    return 0;
}

void GL_UnlockTexture(JEX_Renderer *renderer, JEX_Texture *texture)
{
    auto &data = *static_cast<GL_TextureData *>(texture->driverdata);
    const JEX_Rect &r = data.locked_rect;
    const Uint8 *start =
        data.pixels.get() + std::size_t(r.y) * std::size_t(data.pitch) + std::size_t(r.x) * 4;
    GL_UpdateTexture(renderer, texture, &r, start, data.pitch);
}

int GL_RenderClear(JEX_Renderer *renderer)
{
    if (GL_ActivateRenderer(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    const GLfloat inv = 1.0f / 255.0f;
    d.glClearColor(renderer->r * inv, renderer->g * inv, renderer->b * inv, renderer->a * inv);
    d.glClear(kColorBufferBit);
    return 0;
}

// Vertices sit on pixel centres.
void Vertex(GL_RenderData &d, const JEX_Point &p)
{
    d.glVertex2f(GLfloat(p.x) + 0.5f, GLfloat(p.y) + 0.5f);
}

// One GL primitive through the given points.
void Primitive(GL_RenderData &d, GLenum mode, const JEX_Point *points, int count)
{
    d.glBegin(mode);
    for (int i = 0; i < count; ++i)
        Vertex(d, points[i]);
    d.glEnd();
}

int GL_RenderDrawPoints(JEX_Renderer *renderer, const JEX_Point *points, int count)
{
    if (GL_SetDrawingState(renderer) < 0)
        return -1;
    Primitive(*Data(renderer), kPoints, points, count);
    return 0;
}

int GL_RenderDrawLines(JEX_Renderer *renderer, const JEX_Point *points, int count)
{
    if (GL_SetDrawingState(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    const JEX_Point &first = points[0], &last = points[count - 1];
    if (count > 2 && first.x == last.x && first.y == last.y) {
        Primitive(d, kLineLoop, points, count - 1);
    } else {
        // A strip leaves out its last pixel; one point puts it in.
        Primitive(d, kLineStrip, points, count);
        Primitive(d, kPoints, &last, 1);
    }
    return 0;
}

int GL_RenderFillRects(JEX_Renderer *renderer, const JEX_Rect *rects, int count)
{
    if (GL_SetDrawingState(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    for (int i = 0; i < count; ++i) {
        const JEX_Rect &r = rects[i];
        d.glRecti(r.x, r.y, r.x + r.w, r.y + r.h);
    }
    return 0;
}

int GL_RenderCopy(JEX_Renderer *renderer, JEX_Texture *texture, const JEX_Rect *src,
                  const JEX_Rect *dst)
{
    if (GL_ActivateRenderer(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    auto &data = *static_cast<GL_TextureData *>(texture->driverdata);
    // The programs sample whatever is bound; only fixed-function drawing
    // needs the target enabled, and toggling it costs a state validation
    // per copy in Mesa.
    if (!d.shaders)
        d.glEnable(data.type);
    if (data.yuv) {
        // The YUV program reads U from unit 1 and V from unit 2.
        d.glActiveTextureARB(kTextureUnit2);
        d.glBindTexture(data.type, data.vtexture);
        d.glActiveTextureARB(kTextureUnit1);
        d.glBindTexture(data.type, data.utexture);
        d.glActiveTextureARB(kTextureUnit0);
    }
    d.glBindTexture(data.type, data.texture);
    // Unmodulated textures carry 255 in every channel: plain white.
    GL_SetColor(d, texture->r, texture->g, texture->b, texture->a);
    GL_SetBlendMode(d, texture->blendMode);
    GL_SelectShader(d, data.yuv ? Shader::Yuv : Shader::Rgb);

    const GLfloat minu = GLfloat(src->x) / GLfloat(texture->w) * data.texw;
    const GLfloat maxu = GLfloat(src->x + src->w) / GLfloat(texture->w) * data.texw;
    const GLfloat minv = GLfloat(src->y) / GLfloat(texture->h) * data.texh;
    const GLfloat maxv = GLfloat(src->y + src->h) / GLfloat(texture->h) * data.texh;
    const auto minx = GLfloat(dst->x), maxx = GLfloat(dst->x + dst->w);
    const auto miny = GLfloat(dst->y), maxy = GLfloat(dst->y + dst->h);
    d.glBegin(kTriangleStrip);
    d.glTexCoord2f(minu, minv);
    d.glVertex2f(minx, miny);
    d.glTexCoord2f(maxu, minv);
    d.glVertex2f(maxx, miny);
    d.glTexCoord2f(minu, maxv);
    d.glVertex2f(minx, maxy);
    d.glTexCoord2f(maxu, maxv);
    d.glVertex2f(maxx, maxy);
    d.glEnd();
    if (!d.shaders)
        d.glDisable(data.type);
    return 0;
}

int GL_RenderReadPixels(JEX_Renderer *renderer, const JEX_Rect *rect, Uint32 format, void *pixels,
                        int pitch)
{
    if (GL_ActivateRenderer(renderer) < 0)
        return -1;
    GL_RenderData &d = *Data(renderer);
    const std::size_t row = std::size_t(rect->w) * 4;
    std::unique_ptr<Uint8, FreeDeleter> buffer(
        static_cast<Uint8 *>(std::malloc(row * std::size_t(rect->h))));
    if (!buffer) {
        JEX_OutOfMemory();
        return -1;
    }
    int window_h = 0;
    JEX_GetWindowSize(renderer->window, nullptr, &window_h);
    d.glPixelStorei(kPackAlignment, 1);
    d.glPixelStorei(kPackRowLength, rect->w);
    d.glReadPixels(rect->x, window_h - rect->y - rect->h, rect->w, rect->h, kBGRA,
                   kUnsignedInt8888Rev, buffer.get());
    // GL rows run bottom-up.
    Uint8 *p = buffer.get();
    for (int i = 0; i < rect->h / 2; ++i)
        std::swap_ranges(p + std::size_t(i) * row, p + std::size_t(i + 1) * row,
                         p + std::size_t(rect->h - 1 - i) * row);
    if (JEX_ConvertPixels(rect->w, rect->h, JEX_PIXELFORMAT_ARGB8888, buffer.get(), int(row),
                          format, pixels, pitch) < 0)
        return -1;
    return 0;
}

void GL_RenderPresent(JEX_Renderer *renderer)
{
    if (GL_ActivateRenderer(renderer) < 0)
        return;
    JEX_GL_SwapWindow(renderer->window);
}

void GL_DestroyTexture(JEX_Renderer *renderer, JEX_Texture *texture)
{
    auto *data = static_cast<GL_TextureData *>(texture->driverdata);
    if (!data)
        return;
    if (GL_ActivateRenderer(renderer) == 0)
        DeleteTextures(*Data(renderer), *data);
    delete data;
    texture->driverdata = nullptr;
}

void FreeRenderer(JEX_Renderer *renderer)
{
    GL_RenderData *d = Data(renderer);
    if (d && d->context) {
        // The programs belong to the context: released while it is current.
        if (d->shaders && JEX_GL_MakeCurrent(renderer->window, d->context) == 0)
            GL_DestroyShaderContext(d->shaders);
        else
            delete d->shaders;
        JEX_GL_DeleteContext(d->context);
    }
    delete d;
    delete renderer;
}

void GL_DestroyRenderer(JEX_Renderer *renderer)
{
    FreeRenderer(renderer);
}

JEX_Renderer *GL_CreateRenderer(JEX_Window *window, Uint32 flags)
{
    if (!(JEX_GetWindowFlags(window) & JEX_WINDOW_OPENGL) &&
        JEX_RecreateWindow(window, JEX_GetWindowFlags(window) | JEX_WINDOW_OPENGL) < 0)
        return nullptr;

    auto *renderer = new (std::nothrow) JEX_Renderer{};
    auto *data = renderer ? new (std::nothrow) GL_RenderData{} : nullptr;
    if (!data) {
        delete renderer;
        JEX_OutOfMemory();
        return nullptr;
    }
    std::unique_ptr<JEX_Renderer, void (*)(JEX_Renderer *)> guard(renderer, FreeRenderer);
    renderer->WindowEvent = GL_WindowEvent;
    renderer->CreateTexture = GL_CreateTexture;
    renderer->UpdateTexture = GL_UpdateTexture;
    renderer->LockTexture = GL_LockTexture;
    renderer->UnlockTexture = GL_UnlockTexture;
    renderer->UpdateViewport = GL_UpdateViewport;
    renderer->RenderClear = GL_RenderClear;
    renderer->RenderDrawPoints = GL_RenderDrawPoints;
    renderer->RenderDrawLines = GL_RenderDrawLines;
    renderer->RenderFillRects = GL_RenderFillRects;
    renderer->RenderCopy = GL_RenderCopy;
    renderer->RenderReadPixels = GL_RenderReadPixels;
    renderer->RenderPresent = GL_RenderPresent;
    renderer->DestroyTexture = GL_DestroyTexture;
    renderer->DestroyRenderer = GL_DestroyRenderer;
    renderer->info = GL_RenderDriver.info;
    renderer->info.flags = JEX_RENDERER_ACCELERATED;
    renderer->window = window;
    renderer->driverdata = data;
    data->current_blendmode = -1;
    data->viewport_dirty = true;

    data->context = JEX_GL_CreateContext(window);
    if (!data->context || JEX_GL_MakeCurrent(window, data->context) < 0 || !LoadFunctions(*data))
        return nullptr;

    JEX_GL_SetSwapInterval((flags & JEX_RENDERER_PRESENTVSYNC) ? 1 : 0);
    if (JEX_GL_GetSwapInterval() > 0)
        renderer->info.flags |= JEX_RENDERER_PRESENTVSYNC;

    GLint max_size = 0;
    data->glGetIntegerv(kMaxTextureSize, &max_size);
    renderer->info.max_texture_width = renderer->info.max_texture_height = max_size;

    data->texture_rectangle_supported = RectangleTexturesSupported();
    data->texture_range_supported = JEX_GL_ExtensionSupported("GL_APPLE_texture_range");
    data->client_storage_supported = JEX_GL_ExtensionSupported("GL_APPLE_client_storage");
    if (JEX_GL_ExtensionSupported("GL_ARB_multitexture") &&
        LoadEntry(data->glActiveTextureARB, "glActiveTextureARB"))
        data->glGetIntegerv(kMaxTextureUnits, &data->num_texture_units);

    const char *hint = JEX_GetHint(JEX_HINT_RENDER_OPENGL_SHADERS);
    if (!hint || hint[0] != '0')
        data->shaders = GL_CreateShaderContext();
    JEX_LogInfo(JEX_LOG_CATEGORY_RENDER, "OpenGL shaders: %s",
                data->shaders ? "ENABLED" : "DISABLED");
    if (data->shaders && data->num_texture_units > 2) {
        JEX_RendererInfo &info = renderer->info;
        info.texture_formats[info.num_texture_formats++] = JEX_PIXELFORMAT_YV12;
        info.texture_formats[info.num_texture_formats++] = JEX_PIXELFORMAT_IYUV;
    }

    data->glDisable(kDepthTest);
    data->glDisable(kCullFace);
    data->glTexEnvf(kTextureEnv, kTextureEnvMode, GLfloat(kModulate));
    data->glMatrixMode(kModelView);
    data->glLoadIdentity();
    return guard.release();
}

}  // namespace

extern "C" {

const JEX_RenderDriver GL_RenderDriver = {
    GL_CreateRenderer,
    {"opengl",
     JEX_RENDERER_ACCELERATED | JEX_RENDERER_PRESENTVSYNC,
     1,
     {JEX_PIXELFORMAT_ARGB8888},
     0,
     0},
};

}  // extern "C"
