/* Calls the video core makes into the renderer core. */
#ifndef JEX_RENDER_INTERNAL_H
#define JEX_RENDER_INTERNAL_H

#include "JEX_video.h"

/* Destroys the renderer attached to a window being destroyed, if any, so
   that no renderer outlives its window. */
void JEX_DestroyWindowRenderer(JEX_Window *window);

#endif /* JEX_RENDER_INTERNAL_H */
