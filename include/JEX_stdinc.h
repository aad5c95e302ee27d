#ifndef JEX_STDINC_H
#define JEX_STDINC_H

#include "JEX_types.h"

#endif /* JEX_STDINC_H */
