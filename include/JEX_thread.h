#ifndef JEX_THREAD_H
#define JEX_THREAD_H

#include "JEX_types.h"

#endif /* JEX_THREAD_H */
