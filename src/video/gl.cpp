// OpenGL through the video driver: attributes, loading of the GL library
// with its load count, entry points, extension tests and contexts. The
// driver's GL slots do the work; this file checks, counts and passes on.
#include "video/gl_internal.h"

#include "JEX_error.h"

#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// Standard OpenGL enumerants and entry-point types; the GL headers are not
// needed for these few.
constexpr unsigned kGlExtensions = 0x1F03;
constexpr unsigned kGlNoError = 0;
constexpr unsigned kGlInvalidEnum = 0x500;
constexpr unsigned kGlInvalidValue = 0x501;

using GetIntegervFn = void (*)(unsigned pname, int *params);
using GetErrorFn = unsigned (*)();
using GetStringFn = const unsigned char *(*)(unsigned name);

// Which GL context is current is the driver's to know; the library only
// numbers the moments when a call of its own may have changed it, per
// thread. Numbers come from one process-wide counter so that no two threads
// ever hold the same one; each thread reads and writes only its own.
struct CurrentSerials {
    std::atomic<Uint64> next{0};
};
CurrentSerials g_current_serials;
thread_local Uint64 t_current_serial = 0;

// How JEX_GL_GetAttribute answers for one attribute.
enum class Answer { Query, ColourSum, NonZero, Stored };

struct Attribute {
    int JEX_GLConfig::*field;
    int default_value;
    Answer answer;
    unsigned query;  // the glGetIntegerv enumerant for Answer::Query
};

// Indexed by attribute code.
constexpr std::array<Attribute, 19> kAttributes = {{
    {&JEX_GLConfig::red_size, 3, Answer::Query, 0x0D52},
    {&JEX_GLConfig::green_size, 3, Answer::Query, 0x0D53},
    {&JEX_GLConfig::blue_size, 2, Answer::Query, 0x0D54},
    {&JEX_GLConfig::alpha_size, 0, Answer::Query, 0x0D55},
    {&JEX_GLConfig::buffer_size, 0, Answer::ColourSum, 0},
    {&JEX_GLConfig::double_buffer, 1, Answer::Query, 0x0C32},
    {&JEX_GLConfig::depth_size, 16, Answer::Query, 0x0D56},
    {&JEX_GLConfig::stencil_size, 0, Answer::Query, 0x0D57},
    {&JEX_GLConfig::accum_red_size, 0, Answer::Query, 0x0D58},
    {&JEX_GLConfig::accum_green_size, 0, Answer::Query, 0x0D59},
    {&JEX_GLConfig::accum_blue_size, 0, Answer::Query, 0x0D5A},
    {&JEX_GLConfig::accum_alpha_size, 0, Answer::Query, 0x0D5B},
    {&JEX_GLConfig::stereo, 0, Answer::Query, 0x0C33},
    {&JEX_GLConfig::multisamplebuffers, 0, Answer::Query, 0x80A8},
    {&JEX_GLConfig::multisamplesamples, 0, Answer::Query, 0x80A9},
    {&JEX_GLConfig::accelerated, -1, Answer::NonZero, 0},
    {&JEX_GLConfig::retained_backing, 1, Answer::Stored, 0},
    {&JEX_GLConfig::major_version, 2, Answer::Stored, 0},
    {&JEX_GLConfig::minor_version, 1, Answer::Stored, 0},
}};

// Rows are indexed by the public attribute codes: a crossed row fails here.
constexpr bool RowIs(int code, int JEX_GLConfig::*field, int default_value, unsigned query)
{
    const Attribute &row = kAttributes[std::size_t(code)];
    return row.field == field && row.default_value == default_value && row.query == query;
}
static_assert(RowIs(JEX_GL_RED_SIZE, &JEX_GLConfig::red_size, 3, 0x0D52) &&
              RowIs(JEX_GL_GREEN_SIZE, &JEX_GLConfig::green_size, 3, 0x0D53) &&
              RowIs(JEX_GL_BLUE_SIZE, &JEX_GLConfig::blue_size, 2, 0x0D54) &&
              RowIs(JEX_GL_ALPHA_SIZE, &JEX_GLConfig::alpha_size, 0, 0x0D55) &&
              RowIs(JEX_GL_BUFFER_SIZE, &JEX_GLConfig::buffer_size, 0, 0) &&
              RowIs(JEX_GL_DOUBLEBUFFER, &JEX_GLConfig::double_buffer, 1, 0x0C32) &&
              RowIs(JEX_GL_DEPTH_SIZE, &JEX_GLConfig::depth_size, 16, 0x0D56) &&
              RowIs(JEX_GL_STENCIL_SIZE, &JEX_GLConfig::stencil_size, 0, 0x0D57) &&
              RowIs(JEX_GL_ACCUM_RED_SIZE, &JEX_GLConfig::accum_red_size, 0, 0x0D58) &&
              RowIs(JEX_GL_ACCUM_GREEN_SIZE, &JEX_GLConfig::accum_green_size, 0, 0x0D59) &&
              RowIs(JEX_GL_ACCUM_BLUE_SIZE, &JEX_GLConfig::accum_blue_size, 0, 0x0D5A) &&
              RowIs(JEX_GL_ACCUM_ALPHA_SIZE, &JEX_GLConfig::accum_alpha_size, 0, 0x0D5B) &&
              RowIs(JEX_GL_STEREO, &JEX_GLConfig::stereo, 0, 0x0C33) &&
              RowIs(JEX_GL_MULTISAMPLEBUFFERS, &JEX_GLConfig::multisamplebuffers, 0, 0x80A8) &&
              RowIs(JEX_GL_MULTISAMPLESAMPLES, &JEX_GLConfig::multisamplesamples, 0, 0x80A9) &&
              RowIs(JEX_GL_ACCELERATED_VISUAL, &JEX_GLConfig::accelerated, -1, 0) &&
              RowIs(JEX_GL_RETAINED_BACKING, &JEX_GLConfig::retained_backing, 1, 0) &&
              RowIs(JEX_GL_CONTEXT_MAJOR_VERSION, &JEX_GLConfig::major_version, 2, 0) &&
              RowIs(JEX_GL_CONTEXT_MINOR_VERSION, &JEX_GLConfig::minor_version, 1, 0));

const Attribute *FindAttribute(int code)
{
    if (code < 0 || code >= int(kAttributes.size())) {
        JEX_SetError("Unknown OpenGL attribute");
        return nullptr;
    }
    return &kAttributes[std::size_t(code)];
}

JEX_VideoDevice *DeviceOrError()
{
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device)
        JEX_SetError("Video subsystem has not been initialized");
    return device;
}

JEX_VideoDevice *GlWindowDevice(JEX_Window *window)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return nullptr;
    if (!JEX_IsLiveWindow(device, window)) {
        JEX_SetError("Invalid window");
        return nullptr;
    }
    if (!(window->flags & JEX_WINDOW_OPENGL)) {
        JEX_SetError("The specified window isn't an OpenGL window");
        return nullptr;
    }
    return device;
}

// The device when entry points can be looked up: the driver has the slot
// and the library is loaded.
JEX_VideoDevice *LoadedDevice()
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return nullptr;
    if (!device->GL_GetProcAddress) {
        JEX_SetError("No dynamic GL support in video driver");
        return nullptr;
    }
    if (device->gl_config.driver_loaded == 0) {
        JEX_SetError("No GL driver has been loaded");
        return nullptr;
    }
    return device;
}

template <typename Fn>
Fn lookup(JEX_VideoDevice *device, const char *name)
{
    return reinterpret_cast<Fn>(device->GL_GetProcAddress(device, name));
}

// The driver frees its GL state when it unloads; the pointer is cleared here
// as well, so nothing (context deletion in particular) can reach freed state
// through the device afterwards.
void UnloadThroughDriver(JEX_VideoDevice *device)
{
    if (device->GL_UnloadLibrary)
        device->GL_UnloadLibrary(device);
    device->gl_data = nullptr;
}

// True when `word` is one of the space-separated names of `list`. Only whole
// names count: a name that is a prefix, suffix or part of another name, or
// that runs straight into the next one, is not in the list.
bool ListHasWord(std::string_view list, std::string_view word)
{
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(' ', start);
        if (end == std::string_view::npos)
            end = list.size();
        if (list.substr(start, end - start) == word)
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

void JEX_GL_ResetConfig(JEX_GLConfig &gl)
{
    for (const Attribute &a : kAttributes)
        gl.*a.field = a.default_value;
    gl.driver_loaded = 0;
    gl.dll_handle = nullptr;
}

void JEX_GL_ReleaseLibrary(JEX_VideoDevice *device)
{
    if (device && device->gl_config.driver_loaded > 0) {
        device->gl_config.driver_loaded = 0;
        UnloadThroughDriver(device);
    }
}

extern "C" {

int JEX_GL_LoadLibrary(const char *path)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return -1;
    JEX_GLConfig &gl = device->gl_config;
    if (gl.driver_loaded > 0) {
        if (path && std::strcmp(path, gl.driver_path) != 0) {
            JEX_SetError("OpenGL library already loaded");
            return -1;
        }
        // Every user holds its own count, so the library stays loaded until
        // the last of them lets go.
        ++gl.driver_loaded;
        return 0;
    }
    if (!device->GL_LoadLibrary) {
        JEX_SetError("No dynamic GL support in video driver");
        return -1;
    }
    const int result = device->GL_LoadLibrary(device, path);
    if (result != 0)
        return result;
    ++gl.driver_loaded;
    return 0;
}

void JEX_GL_UnloadLibrary(void)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return;
    JEX_GLConfig &gl = device->gl_config;
    if (gl.driver_loaded > 0 && --gl.driver_loaded == 0)
        UnloadThroughDriver(device);
}

void *JEX_GL_GetProcAddress(const char *proc)
{
    JEX_VideoDevice *device = LoadedDevice();
    if (!device)
        return nullptr;
    if (!proc) {
        JEX_SetError("Parameter '%s' is invalid", "proc");
        return nullptr;
    }
    return device->GL_GetProcAddress(device, proc);
}

JEX_bool JEX_GL_ExtensionSupported(const char *extension)
{
    // Extension names never hold spaces; such a name could only match
    // across two names of the list.
    if (!extension || !*extension || std::strchr(extension, ' '))
        return JEX_FALSE;
    // Lets a user switch off an extension that misbehaves on their system.
    const char *veto = std::getenv(extension);
    if (veto && veto[0] == '0')
        return JEX_FALSE;
    JEX_VideoDevice *device = LoadedDevice();
    if (!device)
        return JEX_FALSE;
    const auto get_string = lookup<GetStringFn>(device, "glGetString");
    if (!get_string)
        return JEX_FALSE;
    const unsigned char *list = get_string(kGlExtensions);
    if (!list)
        return JEX_FALSE;
    return ListHasWord(reinterpret_cast<const char *>(list), extension) ? JEX_TRUE : JEX_FALSE;
}

int JEX_GL_SetAttribute(int attr, int value)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return -1;
    const Attribute *a = FindAttribute(attr);
    if (!a)
        return -1;
    device->gl_config.*a->field = value;
    return 0;
}

int JEX_GL_GetAttribute(int attr, int *value)
{
    JEX_VideoDevice *device = LoadedDevice();
    if (!device)
        return -1;
    if (!value) {
        JEX_SetError("Parameter '%s' is invalid", "value");
        return -1;
    }
    const auto get_integer = lookup<GetIntegervFn>(device, "glGetIntegerv");
    if (!get_integer) {
        JEX_SetError("Failed getting OpenGL %s entry point", "glGetIntegerv");
        return -1;
    }
    const auto get_error = lookup<GetErrorFn>(device, "glGetError");
    if (!get_error) {
        JEX_SetError("Failed getting OpenGL %s entry point", "glGetError");
        return -1;
    }
    *value = 0;
    const Attribute *a = FindAttribute(attr);
    if (!a)
        return -1;
    switch (a->answer) {
    case Answer::Stored: *value = device->gl_config.*a->field; return 0;
    case Answer::NonZero: *value = device->gl_config.*a->field != 0 ? 1 : 0; return 0;
    case Answer::ColourSum: {
        int sum = 0;
        for (unsigned query = 0x0D52; query <= 0x0D55; ++query) {
            int bits = 0;
            get_integer(query, &bits);
            sum += bits;
        }
        *value = sum;
        return 0;
    }
    case Answer::Query: break;
    }
    get_integer(a->query, value);
    const unsigned error = get_error();
    if (error == kGlNoError)
        return 0;
    if (error == kGlInvalidEnum)
        JEX_SetError("OpenGL error: GL_INVALID_ENUM");
    else if (error == kGlInvalidValue)
        JEX_SetError("OpenGL error: GL_INVALID_VALUE");
    else
        JEX_SetError("OpenGL error: %08X", error);
    return -1;
}

JEX_GLContext JEX_GL_CreateContext(JEX_Window *window)
{
    JEX_VideoDevice *device = GlWindowDevice(window);
    if (!device)
        return nullptr;
    if (!device->GL_CreateContext) {
        JEX_SetError("No OpenGL support in video driver");
        return nullptr;
    }
    // The drivers make a new context current on the creating thread.
    JEX_GLContext context = device->GL_CreateContext(device, window);
    JEX_GL_TouchCurrent();
    return context;
}

int JEX_GL_MakeCurrent(JEX_Window *window, JEX_GLContext context)
{
    JEX_VideoDevice *device = GlWindowDevice(window);
    if (!device)
        return -1;
    if (!device->GL_MakeCurrent) {
        JEX_Unsupported();
        return -1;
    }
    // No context means no window either: the driver unbinds.
    const int rc = device->GL_MakeCurrent(device, context ? window : nullptr, context);
    JEX_GL_TouchCurrent();
    return rc;
}

int JEX_GL_SetSwapInterval(int interval)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return -1;
    if (!device->GL_SetSwapInterval) {
        JEX_SetError("Setting the swap interval is not supported");
        return -1;
    }
    return device->GL_SetSwapInterval(device, interval);
}

int JEX_GL_GetSwapInterval(void)
{
    JEX_VideoDevice *device = DeviceOrError();
    if (!device)
        return -1;
    if (!device->GL_GetSwapInterval) {
        JEX_SetError("Getting the swap interval is not supported");
        return -1;
    }
    return device->GL_GetSwapInterval(device);
}

void JEX_GL_SwapWindow(JEX_Window *window)
{
    JEX_VideoDevice *device = GlWindowDevice(window);
    if (!device)
        return;
    if (!device->GL_SwapWindow) {
        JEX_Unsupported();
        return;
    }
    device->GL_SwapWindow(device, window);
}

void JEX_GL_DeleteContext(JEX_GLContext context)
{
    // Without the driver's GL state (no device, or the library is gone)
    // there is nothing left that could delete the context.
    JEX_VideoDevice *device = JEX_GetVideoDevice();
    if (!device || !device->gl_data || !context)
        return;
    if (device->GL_MakeCurrent)
        device->GL_MakeCurrent(device, nullptr, nullptr);
    if (device->GL_DeleteContext)
        device->GL_DeleteContext(device, context);
    JEX_GL_TouchCurrent();
}

}  // extern "C"

void JEX_GL_TouchCurrent()
{
    t_current_serial = g_current_serials.next.fetch_add(1, std::memory_order_relaxed) + 1;
}

Uint64 JEX_GL_CurrentSerial()
{
    return t_current_serial;
}
