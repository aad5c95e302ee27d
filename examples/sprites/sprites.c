/* A few hundred sprites bouncing around a window, drawn with a renderer.
   Options: --renderer software|opengl (default: the first that works),
   --sprites N (default 300). Escape or closing the window quits; the frame
   rate is printed on exit. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "JEX.h"

#define WINDOW_W 640
#define WINDOW_H 480
#define SPRITE_SIZE 32
#define MAX_SPRITES 10000

typedef struct {
    JEX_Rect place;
    int dx, dy;
} Sprite;

/* A disc with a soft edge, coloured by position, drawn into a surface. */
static JEX_Surface *MakeSpriteImage(void)
{
    JEX_Surface *image = JEX_CreateRGBSurface(0, SPRITE_SIZE, SPRITE_SIZE, 32, 0x00FF0000,
                                              0x0000FF00, 0x000000FF, 0xFF000000);
    if (!image)
        return NULL;
    for (int y = 0; y < SPRITE_SIZE; ++y) {
        Uint32 *row = (Uint32 *)((Uint8 *)image->pixels + y * image->pitch);
        for (int x = 0; x < SPRITE_SIZE; ++x) {
            /* Squared distances from the centre, in quarter pixels. */
            const int dx = 2 * x - (SPRITE_SIZE - 1), dy = 2 * y - (SPRITE_SIZE - 1);
            const int d2 = dx * dx + dy * dy;
            const int outer = SPRITE_SIZE * SPRITE_SIZE,
                      inner = (SPRITE_SIZE - 8) * (SPRITE_SIZE - 8);
            const Uint32 a = d2 < inner   ? 255
                             : d2 < outer ? (Uint32)(255 * (outer - d2) / (outer - inner))
                                          : 0;
            row[x] = a << 24 | (Uint32)(255 - x * 6) << 16 | (Uint32)(y * 6) << 8 | 0xC0;
        }
    }
    return image;
}

static int FindRenderDriver(const char *name)
{
    for (int i = 0; i < JEX_GetNumRenderDrivers(); ++i) {
        JEX_RendererInfo info;
        if (JEX_GetRenderDriverInfo(i, &info) == 0 && strcmp(info.name, name) == 0)
            return i;
    }
    return -1;
}

int main(int argc, char **argv)
{
    const char *driver = NULL;
    int count = 300;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--renderer") == 0 && i + 1 < argc) {
            driver = argv[++i];
        } else if (strcmp(argv[i], "--sprites") == 0 && i + 1 < argc) {
            count = atoi(argv[++i]);
        } else {
            fprintf(stderr, "Usage: %s [--renderer software|opengl] [--sprites N]\n", argv[0]);
            return 1;
        }
    }
    if (count < 1 || count > MAX_SPRITES) {
        fprintf(stderr, "--sprites must be between 1 and %d\n", MAX_SPRITES);
        return 1;
    }
    int index = -1;
    if (driver) {
        index = FindRenderDriver(driver);
        if (index < 0) {
            fprintf(stderr, "Couldn't find render driver named %s\n", driver);
            return 1;
        }
        /* Told before video starts, so that window surfaces come straight
           from the video driver when the software renderer draws. */
        JEX_SetHint(JEX_HINT_RENDER_DRIVER, driver);
    }

    if (JEX_VideoInit(NULL) < 0) {
        fprintf(stderr, "Couldn't start video: %s\n", JEX_GetError());
        return 2;
    }
    JEX_Window *window =
        JEX_CreateWindow("JEX sprites", JEX_WINDOWPOS_CENTERED, JEX_WINDOWPOS_CENTERED, WINDOW_W,
                         WINDOW_H, JEX_WINDOW_SHOWN);
    JEX_Renderer *renderer = window ? JEX_CreateRenderer(window, index, 0) : NULL;
    JEX_Surface *image = MakeSpriteImage();
    JEX_Texture *texture = renderer && image ? JEX_CreateTextureFromSurface(renderer, image) : NULL;
    Sprite *sprites = calloc((size_t)count, sizeof(Sprite));
    if (!texture || !sprites) {
        fprintf(stderr, "Couldn't set up: %s\n", JEX_GetError());
        free(sprites);
        JEX_FreeSurface(image);
        JEX_VideoQuit(); /* takes the window and its renderer with it */
        return 2;
    }
    JEX_FreeSurface(image);
    JEX_SetTextureBlendMode(texture, JEX_BLENDMODE_BLEND);

    srand(1);
    for (int i = 0; i < count; ++i) {
        sprites[i].place = (JEX_Rect){rand() % (WINDOW_W - SPRITE_SIZE),
                                      rand() % (WINDOW_H - SPRITE_SIZE), SPRITE_SIZE, SPRITE_SIZE};
        do {
            sprites[i].dx = rand() % 5 - 2;
            sprites[i].dy = rand() % 5 - 2;
        } while (sprites[i].dx == 0 && sprites[i].dy == 0);
    }

    Uint32 frames = 0;
    const Uint32 then = JEX_GetTicks();
    int done = 0;
    while (!done) {
        JEX_Event event;
        while (JEX_PollEvent(&event))
            if (event.type == JEX_QUIT ||
                (event.type == JEX_KEYDOWN && event.key.keyinfo.keycode == JEXK_ESCAPE) ||
                (event.type == JEX_WINDOWEVENT && event.window.event == JEX_WINDOWEVENT_CLOSE))
                done = 1;
        JEX_Rect viewport;
        JEX_RenderGetViewport(renderer, &viewport);
        for (int i = 0; i < count; ++i) {
            JEX_Rect *p = &sprites[i].place;
            p->x += sprites[i].dx;
            p->y += sprites[i].dy;
            if (p->x < 0 || p->x + SPRITE_SIZE > viewport.w) {
                sprites[i].dx = -sprites[i].dx;
                p->x += 2 * sprites[i].dx;
            }
            if (p->y < 0 || p->y + SPRITE_SIZE > viewport.h) {
                sprites[i].dy = -sprites[i].dy;
                p->y += 2 * sprites[i].dy;
            }
        }
        JEX_SetRenderDrawColor(renderer, 0x20, 0x20, 0x30, 255);
        JEX_RenderClear(renderer);
        for (int i = 0; i < count; ++i)
            JEX_RenderCopy(renderer, texture, NULL, &sprites[i].place);
        JEX_RenderPresent(renderer);
        ++frames;
    }

    const Uint32 now = JEX_GetTicks();
    if (now > then)
        printf("%2.2f frames per second\n", ((double)frames * 1000) / (double)(now - then));
    free(sprites);
    JEX_DestroyRenderer(renderer);
    JEX_VideoQuit();
    return 0;
}
