// Frame times of the scene executor: N moving sprites (half the white
// texture, half a 32x32 image, every fourth one rotated) and 20 labels, drawn
// and presented 200 times. Run with SDL_RENDER_DRIVER=software or opengl and
// a video driver (x11 under xvfb-run, or offscreen); prints one line per N.
//   render_bench <folder with font.ttf> [sprite counts...]
#include <SDL.h>
#include <physfs.h>
#include <stdio.h>
#include <stdlib.h>

#include "config/config.h"
#include "log/log.h"
#include "render/render.h"
#include "stream/stream.h"
#include "util/util.h"

static void pack_sprite(struct threadstream *s, const char *path, float x, float y, float angle)
{
    threadstream_pack_int(s, prim_sprite);
    threadstream_pack_string(s, path);
    const float head[] = {x, y};
    threadstream_pack_float(s, head[0]);
    threadstream_pack_float(s, head[1]);
    threadstream_pack_int(s, 0);
    threadstream_pack_float(s, 32);
    threadstream_pack_float(s, 32);
    threadstream_pack_int(s, 0);
    threadstream_pack_int(s, 0);
    threadstream_pack_float(s, angle);
    for (int i = 0; i < 4; i++) {
        threadstream_pack_int(s, 255);
    }
    const float rects[] = {0, 0, -1, -1, 0, 0, -1, -1};
    for (float v : rects) {
        threadstream_pack_float(s, v);
    }
    threadstream_pack_int(s, 0);
    threadstream_pack_int(s, 0);
    threadstream_pack_float(s, 0.5f);
    threadstream_pack_float(s, 0.5f);
    threadstream_pack_int(s, 1);
    threadstream_pack_int(s, 100);
    threadstream_pack_float(s, 0);
    threadstream_pack_float(s, 0);
    threadstream_pack_int(s, 0);
}

static void pack_label(struct threadstream *s, float x, float y, const char *text)
{
    threadstream_pack_int(s, prim_label);
    threadstream_pack_float(s, x);
    threadstream_pack_float(s, y);
    threadstream_pack_float(s, 0);
    threadstream_pack_string(s, text);
    threadstream_pack_string(s, nullptr);
    threadstream_pack_float(s, 2);
    threadstream_pack_int(s, 0);
    for (int i = 0; i < 4; i++) {
        threadstream_pack_int(s, 255);
    }
    threadstream_pack_int(s, 2);
    threadstream_pack_int(s, 1);
    threadstream_pack_float(s, -1);
    threadstream_pack_int(s, 0);
    threadstream_pack_float(s, 0);
    threadstream_pack_int(s, 0);
    threadstream_pack_float(s, 0);
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: render_bench <folder with font.ttf> [sprite counts...]\n");
        return 2;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0 || !log_init() || !threadstream_init() ||
        !register_renderer_cvars() || !register_metadata_cvars() || !PHYSFS_init(argv[0]) ||
        !PHYSFS_mount(argv[1], nullptr, 1)) {
        fprintf(stderr, "set-up failed: %s\n", SDL_GetError());
        return 1;
    }
    cvar_set("renderer.vsync", "false");
    struct render_context *ctx = render_context_new(0, 0);
    if (!ctx) {
        fprintf(stderr, "no render context: %s\n", SDL_GetError());
        return 1;
    }
    SDL_RendererInfo info;
    SDL_GetRendererInfo(ctx->renderer, &info);
    // A 32x32 image uploaded as pixels, so the bench needs no image file.
    static uint32_t pixels[32 * 32];
    for (int i = 0; i < 32 * 32; i++) {
        pixels[i] = 0xFF000000u | (uint32_t)(i * 2654435761u >> 8);
    }
    int counts[8] = {1000, 10000};
    int ncounts = 2;
    if (argc > 2) {
        ncounts = 0;
        for (int i = 2; i < argc && ncounts < 8; i++) {
            counts[ncounts++] = atoi(argv[i]);
        }
    }
    for (int c = 0; c < ncounts; c++) {
        const int n = counts[c];
        const int frames = 200;
        uint64_t total = 0, worst = 0;
        for (int f = 0; f < frames; f++) {
            struct threadstream *s = threadstream_allocate();
            renderstream_pack_scene_header(s);
            threadstream_pack_int(s, cmd_set_grid);
            threadstream_pack_float(s, 0);
            threadstream_pack_float(s, 720);
            threadstream_pack_int(s, 0);
            if (f == 0) {
                threadstream_pack_int(s, cmd_upload_pixels);
                threadstream_pack_string(s, "bench.png");
                threadstream_pack_int(s, 32);
                threadstream_pack_int(s, 32);
                threadstream_pack_buffer(s, pixels, sizeof(pixels));
            }
            threadstream_pack_int(s, cmd_render_passes);
            threadstream_pack_int(s, 1);
            threadstream_pack_int(s, 0);
            const int32_t header[] = {20, 20, 30, 255};
            for (int32_t v : header) {
                threadstream_pack_int(s, v);
            }
            threadstream_pack_string(s, nullptr);
            threadstream_pack_int(s, 1280);
            threadstream_pack_int(s, 720);
            threadstream_pack_int(s, 0);
            threadstream_pack_int(s, 1);
            for (int i = 0; i < n; i++) {
                const float x = (float)((i * 37 + f * 3) % 1248);
                const float y = (float)((i * 53 + f * 2) % 688);
                pack_sprite(s, (i & 1) ? "bench.png" : "pixel", x, y, (i & 3) == 3 ? (float)f : 0);
            }
            for (int i = 0; i < 20; i++) {
                pack_label(s, 20, 700 - 30 * i, "Score 12345 - a label of moderate length");
            }
            threadstream_pack_int(s, prim_end_pass);
            const uint64_t t0 = SDL_GetPerformanceCounter();
            ctx->frame_uncleared = 1;
            execute_scene(ctx, s, 0, 0);
            SDL_RenderPresent(ctx->renderer);
            const uint64_t dt = SDL_GetPerformanceCounter() - t0;
            total += dt;
            if (dt > worst) {
                worst = dt;
            }
            threadstream_free(s);
        }
        const double freq = (double)SDL_GetPerformanceFrequency();
        printf("%s renderer, %d sprites + 20 labels: %.2f ms per frame (worst %.2f ms)\n",
               info.name, n, 1000.0 * (double)total / frames / freq, 1000.0 * (double)worst / freq);
    }
    render_context_delete(ctx);
    PHYSFS_deinit();
    SDL_Quit();
    return 0;
}
