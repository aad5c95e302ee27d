#ifndef JEX_BMP_H
#define JEX_BMP_H

#include "JEX_types.h"

#endif /* JEX_BMP_H */
