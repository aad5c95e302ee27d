/* Windows and OS/2 bitmap files: loading into surfaces and saving from them,
   through streams. */
#ifndef JEX_BMP_H
#define JEX_BMP_H

#include "JEX_types.h"
#include "JEX_rwops.h"
#include "JEX_surface.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Reads an uncompressed BMP file (Windows 3, V4, V5 or OS/2 1.x header;
   1, 4, 8, 16, 24 or 32 bits per pixel) starting at the stream's current
   position. 1- and 4-bit images load as INDEX8 with their palette, 8-bit
   as INDEX8, 16-bit by their bit fields (RGB555 without them), 24-bit as
   BGR24 and 32-bit as ARGB8888 (or by their bit fields). Returns a new
   surface, or null with an error set and the stream back at its starting
   position; a null stream gives null without a message. When freesrc is
   non-zero the stream is closed before returning, whatever the outcome. */
JEX_API JEX_Surface *JEX_LoadBMP_RW(JEX_RWops *src, int freesrc);

/* Writes the surface as an uncompressed Windows BMP file at the stream's
   current position: 8-bit palette surfaces as 8-bit files, every other
   surface as a 24-bit file (converted when needed). Returns 0, or -1 with
   an error set. When freedst is non-zero the stream is closed before
   returning, and a failure to close it is a failure of the save. */
JEX_API int JEX_SaveBMP_RW(JEX_Surface *surface, JEX_RWops *dst, int freedst);

#define JEX_LoadBMP(file) JEX_LoadBMP_RW(JEX_RWFromFile(file, "rb"), 1)
#define JEX_SaveBMP(surface, file) JEX_SaveBMP_RW(surface, JEX_RWFromFile(file, "wb"), 1)

#ifdef __cplusplus
}
#endif

#endif /* JEX_BMP_H */
