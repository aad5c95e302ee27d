#ifndef JEX_HINTS_H
#define JEX_HINTS_H

#include "JEX_types.h"

#endif /* JEX_HINTS_H */
