#ifndef JEX_SURFACE_H
#define JEX_SURFACE_H

#include "JEX_types.h"

#endif /* JEX_SURFACE_H */
