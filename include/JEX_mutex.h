#ifndef JEX_MUTEX_H
#define JEX_MUTEX_H

#include "JEX_types.h"

#endif /* JEX_MUTEX_H */
