// The drawing limit of SDL's renderer on this machine: N textured 32x32 quads
// moved, bounced and drawn every frame by plain C, with no interpreter and no
// scene stream, in a 1280x720 window with a 1280x720 logical size, batching on
// and vsync off, as the engine sets its renderer up. Single-threaded; the
// renderer comes from SDL_RENDER_DRIVER, the window from SDL_VIDEODRIVER.
//   bench_limit [--seconds S] [--call copy|ex] [--format argb|abgr] N...
// "copy" draws with SDL_RenderCopyF, the cheapest textured quad; "ex" with
// SDL_RenderCopyExF at angle 360 and the centre as anchor, the call the scene
// executor makes for an unrotated sprite. The texture is ARGB8888 (the
// window's own layout) or ABGR8888 (the byte order of decoded images).
// Prints one line per N:
//   limit <renderer> <call>-<format> <N> <frames> <mean ms> <median ms> <p99 ms> <fps>
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

struct quad {
    float x, y, dx, dy;
};

static int compare_double(const void *a, const void *b)
{
    const double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

static SDL_Texture *make_texture(SDL_Renderer *renderer, Uint32 format)
{
    // A 32x32 image with an opaque border and a translucent middle, so that
    // blending does real work as it does for a typical sprite.
    static uint32_t pixels[32 * 32];
    for (int y = 0; y < 32; y++) {
        for (int x = 0; x < 32; x++) {
            const int edge = x < 2 || y < 2 || x > 29 || y > 29;
            // 0x80FF8040 is orange at half alpha in ARGB; swap red and blue for ABGR.
            const uint32_t argb = edge ? 0xFFFFFFFFu : 0x80FF8040u;
            pixels[y * 32 + x] = format == SDL_PIXELFORMAT_ARGB8888
                                     ? argb
                                     : (argb & 0xFF00FF00u) | ((argb >> 16) & 0xFFu) |
                                           ((argb & 0xFFu) << 16);
        }
    }
    SDL_Texture *tex = SDL_CreateTexture(renderer, format, SDL_TEXTUREACCESS_STATIC, 32, 32);
    if (!tex) {
        return NULL;
    }
    SDL_UpdateTexture(tex, NULL, pixels, 32 * 4);
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);
    return tex;
}

static void run(SDL_Renderer *renderer, SDL_Texture *tex, const char *name, int use_ex,
                const char *format, int n, double seconds)
{
    struct quad *q = (struct quad *)malloc(sizeof(*q) * (size_t)(n > 0 ? n : 1));
    size_t cap = 4096, frames = 0;
    double *ms = (double *)malloc(sizeof(double) * cap);
    if (!q || !ms) {
        fprintf(stderr, "out of memory\n");
        exit(1);
    }
    unsigned seed = 12345;
    for (int i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        q[i].x = (float)(seed >> 8) / 16777216.0f * 1248.0f;
        seed = seed * 1103515245u + 12345u;
        q[i].y = (float)(seed >> 8) / 16777216.0f * 688.0f;
        q[i].dx = (float)(i % 7) - 3.0f + 0.5f;
        q[i].dy = (float)(i % 5) - 2.0f + 0.5f;
    }
    const SDL_Rect src = {0, 0, 32, 32};
    const SDL_FPoint centre = {16.0f, 16.0f};
    const double freq = (double)SDL_GetPerformanceFrequency();
    // A few frames of warm-up (at most about a third of a second), then at
    // least three measured frames and as many as fit in the given seconds.
    const Uint64 start = SDL_GetPerformanceCounter();
    Uint64 measuring_since = 0;
    for (int f = 0;; f++) {
        const Uint64 t0 = SDL_GetPerformanceCounter();
        if (!measuring_since && (f >= 10 || (double)(t0 - start) / freq > 0.3)) {
            measuring_since = t0;
        }
        if (measuring_since && (double)(t0 - measuring_since) / freq > seconds && frames >= 3) {
            break;
        }
        SDL_Event ev;
        while (SDL_PollEvent(&ev)) {
        }
        SDL_SetRenderDrawColor(renderer, 20, 20, 30, 255);
        SDL_RenderClear(renderer);
        for (int i = 0; i < n; i++) {
            struct quad *p = &q[i];
            p->x += p->dx;
            p->y += p->dy;
            if (p->x < 0 || p->x > 1248) {
                p->dx = -p->dx;
            }
            if (p->y < 0 || p->y > 688) {
                p->dy = -p->dy;
            }
            // The canvas's y grows upwards, the window's downwards.
            const SDL_FRect dst = {p->x, 720.0f - p->y - 32.0f, 32.0f, 32.0f};
            if (use_ex) {
                SDL_RenderCopyExF(renderer, tex, &src, &dst, 360.0, &centre, SDL_FLIP_NONE);
            } else {
                SDL_RenderCopyF(renderer, tex, &src, &dst);
            }
        }
        SDL_RenderPresent(renderer);
        const double dt = (double)(SDL_GetPerformanceCounter() - t0) * 1000.0 / freq;
        if (!measuring_since) {
            continue;
        }
        if (frames == cap) {
            cap *= 2;
            ms = (double *)realloc(ms, sizeof(double) * cap);
            if (!ms) {
                fprintf(stderr, "out of memory\n");
                exit(1);
            }
        }
        ms[frames++] = dt;
    }
    double sum = 0;
    for (size_t i = 0; i < frames; i++) {
        sum += ms[i];
    }
    qsort(ms, frames, sizeof(double), compare_double);
    const double mean = sum / (double)frames;
    const double median = ms[frames / 2];
    const double p99 = ms[(size_t)((double)(frames - 1) * 0.99)];
    printf("limit %s %s-%s %d %zu %.3f %.3f %.3f %.1f\n", name, use_ex ? "ex" : "copy", format,
           n, frames, mean, median, p99, 1000.0 / mean);
    fflush(stdout);
    free(ms);
    free(q);
}

int main(int argc, char **argv)
{
    double seconds = 2.0;
    int use_ex = 0;
    const char *format = "argb";
    int counts[32], ncounts = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = atof(argv[++i]);
        } else if (strcmp(argv[i], "--call") == 0 && i + 1 < argc) {
            use_ex = strcmp(argv[++i], "ex") == 0;
        } else if (strcmp(argv[i], "--format") == 0 && i + 1 < argc) {
            format = strcmp(argv[++i], "abgr") == 0 ? "abgr" : "argb";
        } else if (ncounts < 32) {
            counts[ncounts++] = atoi(argv[i]);
        }
    }
    if (ncounts == 0) {
        fprintf(stderr, "usage: bench_limit [--seconds S] [--call copy|ex] [--format argb|abgr] "
                        "N...\n");
        return 2;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "SDL_Init: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window *window = SDL_CreateWindow("bench_limit", SDL_WINDOWPOS_CENTERED,
                                          SDL_WINDOWPOS_CENTERED, 1280, 720, 0);
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    SDL_Renderer *renderer = window ? SDL_CreateRenderer(window, -1, 0) : NULL;
    if (!renderer) {
        fprintf(stderr, "no renderer: %s\n", SDL_GetError());
        return 1;
    }
    SDL_RenderSetLogicalSize(renderer, 1280, 720);
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    SDL_Texture *tex = make_texture(renderer, strcmp(format, "abgr") == 0
                                                  ? SDL_PIXELFORMAT_ABGR8888
                                                  : SDL_PIXELFORMAT_ARGB8888);
    if (!tex) {
        fprintf(stderr, "no texture: %s\n", SDL_GetError());
        return 1;
    }
    for (int i = 0; i < ncounts; i++) {
        run(renderer, tex, info.name, use_ex, format, counts[i], seconds);
    }
    SDL_DestroyTexture(tex);
    SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
