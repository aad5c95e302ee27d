#ifndef JEX_TIMER_H
#define JEX_TIMER_H

#include "JEX_types.h"

#endif /* JEX_TIMER_H */
