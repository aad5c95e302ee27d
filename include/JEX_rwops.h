#ifndef JEX_RWOPS_H
#define JEX_RWOPS_H

#include "JEX_types.h"

#endif /* JEX_RWOPS_H */
