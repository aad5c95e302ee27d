#ifndef JEX_BLENDMODE_H
#define JEX_BLENDMODE_H

#include "JEX_types.h"

#endif /* JEX_BLENDMODE_H */
