#ifndef JEX_ENDIAN_H
#define JEX_ENDIAN_H

#include "JEX_types.h"

#endif /* JEX_ENDIAN_H */
