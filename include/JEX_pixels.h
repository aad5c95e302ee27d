#ifndef JEX_PIXELS_H
#define JEX_PIXELS_H

#include "JEX_types.h"

#endif /* JEX_PIXELS_H */
