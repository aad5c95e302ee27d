#ifndef JEX_AUDIO_H
#define JEX_AUDIO_H

#include "JEX_types.h"

#endif /* JEX_AUDIO_H */
