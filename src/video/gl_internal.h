// OpenGL support shared by the video core's files.
#ifndef JEX_GL_INTERNAL_H
#define JEX_GL_INTERNAL_H

#include "video/sysvideo.h"

// Releases every outstanding load of the GL library at once, through the
// driver, and forgets the driver's GL state. Used when the device goes away
// with loads the application never gave back.
void JEX_GL_ReleaseLibrary(JEX_VideoDevice *device);

// Puts the GL attributes and the library bookkeeping of a new device in
// their default state.
void JEX_GL_ResetConfig(JEX_GLConfig &gl);

#endif  // JEX_GL_INTERNAL_H
