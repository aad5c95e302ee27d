/* The test harness shared by the library's test programs: one state record
   that says how to bring the library up, and the command-line options that
   fill it. */
#ifndef JEX_TEST_COMMON_H
#define JEX_TEST_COMMON_H

#include "JEX.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What start-up and the event logger report on standard error. */
#define INFO_VIDEO 0x01
#define INFO_MODES 0x02
#define INFO_RENDER 0x04
#define INFO_EVENT 0x08
#define INFO_AUDIO 0x10

/* Renderer flag set by "--vsync"; GL programs use it for their swap interval. */
#define COMMON_RENDER_PRESENTVSYNC 0x00000004

typedef struct CommonState {
    char **argv;
    Uint32 init_flags; /* JEX_INIT_VIDEO and/or JEX_INIT_AUDIO */
    Uint32 info_flags; /* INFO_* */

    /* Video */
    const char *video_driver; /* borrowed; null: the library's choice */
    int display_index;
    const char *window_title; /* borrowed */
    const char *window_icon;  /* borrowed; BMP path or null */
    Uint32 window_flags;
    int window_x;
    int window_y;
    int window_w;
    int window_h;
    int depth;
    int refresh_rate;
    int num_windows;
    JEX_Window **windows; /* owned, num_windows entries after start-up */

    /* Renderer */
    const char *render_driver; /* borrowed; null: first suitable */
    Uint32 render_flags;       /* JEX_RENDERER_* (COMMON_RENDER_PRESENTVSYNC) */
    int no_renderer;
    JEX_Renderer **renderers; /* owned, num_windows entries after start-up, null
                                 where no renderer was made */

    /* Audio */
    const char *audio_driver; /* borrowed */
    JEX_AudioSpec audio_spec;

    /* GL attributes */
    int gl_red_size;
    int gl_green_size;
    int gl_blue_size;
    int gl_alpha_size;
    int gl_buffer_size;
    int gl_depth_size;
    int gl_stencil_size;
    int gl_double_buffer;
    int gl_accum_red_size;
    int gl_accum_green_size;
    int gl_accum_blue_size;
    int gl_accum_alpha_size;
    int gl_stereo;
    int gl_multisample_buffers;
    int gl_multisample_samples;
    int gl_retained_backing;
    int gl_accelerated;   /* negative: leave the attribute alone */
    int gl_major_version; /* 0: leave both version attributes alone */
    int gl_minor_version;
} CommonState;

/* A new state with the defaults, or null (out of memory recorded). The
   record is zero-filled heap memory released with free(). */
CommonState *CommonCreateState(char **argv, Uint32 flags);

/* Examines argv[index] (and the element after it for options with a value).
   Returns the number of arguments consumed (1 or 2), 0 when the argument is
   not a harness option, or -1 when its value is missing or invalid or help
   was asked for; on -1 the state is left as it was. The "--position" and
   "--geometry" values are split in place in argv. */
int CommonArg(CommonState *state, int index);

/* The usage text for the options that serve the state's subsystems. */
const char *CommonUsage(CommonState *state);

/* Prints a renderer-info record on standard error. */
void PrintRenderer(const JEX_RendererInfo *info);

/* Starts what the state asks for: video, the GL attributes, the windows
   (shown, with title, icon and full-screen mode) and a renderer for each
   window that is not drawn with OpenGL or when a render driver is named.
   Returns 1, or 0 after
   printing why; whatever was made stays in the state for CommonQuit. */
int CommonInit(CommonState *state);

/* Releases what CommonInit made, stops video and frees the state. */
void CommonQuit(CommonState *state);

/* Logs the event on standard error when INFO_EVENT is on and acts on the
   harness hot keys; sets *done to 1 on a quit request or Escape. A window
   closed here is destroyed and its entries in windows and renderers become
   null, so callers skip null entries. */
void CommonEvent(CommonState *state, JEX_Event *event, int *done);

#ifdef __cplusplus
}
#endif

#endif /* JEX_TEST_COMMON_H */
