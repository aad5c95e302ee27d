/* Processor information: count, cache line size, RAM and the vector
   instruction sets the processor offers. Every answer is computed on first
   use and then served from a cache. */
#ifndef JEX_CPUINFO_H
#define JEX_CPUINFO_H

#include "JEX_types.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Number of processors, at least 1. */
JEX_API int JEX_GetCPUCount(void);

/* Cache line size in bytes (128 when the vendor is not recognised). */
JEX_API int JEX_GetCPUCacheLineSize(void);

/* Installed memory in megabytes, 0 when the system cannot tell. */
JEX_API int JEX_GetSystemRAM(void);

/* Each answers JEX_TRUE when the processor (and, for AVX and AVX2, the
   operating system, which must save the wide registers) supports it. */
JEX_API JEX_bool JEX_HasRDTSC(void);
JEX_API JEX_bool JEX_HasAltiVec(void);
JEX_API JEX_bool JEX_HasMMX(void);
JEX_API JEX_bool JEX_Has3DNow(void);
JEX_API JEX_bool JEX_HasSSE(void);
JEX_API JEX_bool JEX_HasSSE2(void);
JEX_API JEX_bool JEX_HasSSE3(void);
JEX_API JEX_bool JEX_HasSSE41(void);
JEX_API JEX_bool JEX_HasSSE42(void);
JEX_API JEX_bool JEX_HasAVX(void);
JEX_API JEX_bool JEX_HasAVX2(void);

#ifdef __cplusplus
}
#endif

#endif /* JEX_CPUINFO_H */
