#ifndef JEX_VIDEO_H
#define JEX_VIDEO_H

#include "JEX_types.h"

#endif /* JEX_VIDEO_H */
