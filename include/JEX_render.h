#ifndef JEX_RENDER_H
#define JEX_RENDER_H

#include "JEX_types.h"

#endif /* JEX_RENDER_H */
