#ifndef JEX_RECT_H
#define JEX_RECT_H

#include "JEX_types.h"

#endif /* JEX_RECT_H */
