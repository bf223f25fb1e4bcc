// Creation, deletion and geometry of the render context.
#include "render/render.h"

#include "config/config.h"
#include "log/log.h"

#include <math.h>
#include <string.h>

namespace {

constexpr int fallback_size = 256;
constexpr int white_size = 1280;

SDL_Texture *create_fallback_texture(SDL_Renderer *renderer)
{
    SDL_Texture *tex = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888,
                                         SDL_TEXTUREACCESS_STATIC, fallback_size, fallback_size);
    if (!tex) {
        return nullptr;
    }
    uint32_t *pixels = (uint32_t *)SDL_malloc(fallback_size * fallback_size * 4);
    if (!pixels) {
        SDL_DestroyTexture(tex);
        return nullptr;
    }
    // ABGR8888 packs as R in the low byte on every endianness SDL supports.
    const uint32_t red = 0xFF0000FFu, black = 0xFF000000u, white = 0xFFFFFFFFu;
    for (int y = 0; y < fallback_size; y++) {
        for (int x = 0; x < fallback_size; x++) {
            uint32_t px;
            if (x == 0 || y == 0 || x == fallback_size - 1 || y == fallback_size - 1) {
                px = red;
            } else {
                int light = (y >> 4) & 1;
                if (((x + 15) / 16) % 2 == 1) {
                    light = !light;
                }
                px = light ? white : black;
            }
            pixels[y * fallback_size + x] = px;
        }
    }
    SDL_UpdateTexture(tex, nullptr, pixels, fallback_size * 4);
    SDL_free(pixels);
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);
    return tex;
}

SDL_Texture *create_white_texture(SDL_Renderer *renderer)
{
    SDL_Texture *tex = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888,
                                         SDL_TEXTUREACCESS_STATIC, white_size, white_size);
    if (!tex) {
        return nullptr;
    }
    // One row repeated: the upload walks rows with a zero pitch would be
    // invalid, so fill a full buffer once.
    uint32_t *pixels = (uint32_t *)SDL_malloc((size_t)white_size * white_size * 4);
    if (!pixels) {
        SDL_DestroyTexture(tex);
        return nullptr;
    }
    for (int i = 0; i < white_size * white_size; i++) {
        pixels[i] = 0xFFFFFFFFu;
    }
    SDL_UpdateTexture(tex, nullptr, pixels, white_size * 4);
    SDL_free(pixels);
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);
    return tex;
}

SDL_Renderer *create_renderer(SDL_Window *window)
{
    SDL_Renderer *renderer = nullptr;
    if (cvar_renderer_vsync) {
        renderer = SDL_CreateRenderer(window, -1,
                                      SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    }
    if (!renderer) {
        renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED);
    }
    if (!renderer) {
        renderer = SDL_CreateRenderer(window, -1, 0);
    }
    return renderer;
}

void set_sizes(struct render_context *ctx, const struct render_sizes *sizes)
{
    SDL_AtomicLock(&ctx->size_lock);
    ctx->sizes = *sizes;
    SDL_AtomicUnlock(&ctx->size_lock);
    SDL_AtomicSet(&ctx->sizes_changed, 1);
}

}  // namespace

void render_context_update_scale_quality(void)
{
    const char *quality = "0";
    if (cvar_game_metadata_scale_quality == 1) {
        quality = "1";
    } else if (cvar_game_metadata_scale_quality == 2) {
        quality = "2";
    }
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, quality);
}

void render_context_update_orientation(struct render_context *ctx)
{
    char *current = cvar_get_string_copy("game_metadata.orientation_current");
    char *on_startup = cvar_get_string_copy("game_metadata.orientation_on_startup");
    const int landscape = !(current && SDL_strcmp(current, "portrait") == 0);
    ctx->base_w = landscape ? 1280 : 720;
    ctx->base_h = landscape ? 720 : 1280;

    const char *hint = landscape ? "LandscapeRight,LandscapeLeft" : "Portrait";
    if (cvar_game_metadata_orientation_both) {
        hint = (on_startup && SDL_strcmp(on_startup, "portrait") == 0)
                   ? "Portrait,LandscapeRight,LandscapeLeft"
                   : "LandscapeRight,LandscapeLeft,Portrait";
    }
    SDL_SetHint(SDL_HINT_ORIENTATIONS, hint);
    SDL_free(current);
    SDL_free(on_startup);

    struct render_sizes sizes;
    render_context_get_sizes(ctx, &sizes);
    sizes.landscape = landscape;
    sizes.logical_w = ctx->base_w;
    sizes.logical_h = ctx->base_h;
    set_sizes(ctx, &sizes);
}

void render_context_update_sizes(struct render_context *ctx)
{
    struct render_sizes sizes;
    render_context_get_sizes(ctx, &sizes);
    sizes.logical_w = ctx->base_w;
    sizes.logical_h = ctx->base_h;
    // FIXME: the HD path (native output size, scale steps, texture tiers and
    // offsets) comes with the scene executor; without HD the platform renderer
    // scales and letterboxes the logical canvas itself.
    sizes.output_w = sizes.window_w = ctx->base_w;
    sizes.output_h = sizes.window_h = ctx->base_h;
    sizes.offset_x = sizes.offset_y = 0;
    sizes.texture_tier = 100;
    sizes.pixel_density = sizes.render_scale = sizes.raw_scale = 1.0f;
    if (ctx->renderer) {
        SDL_RenderSetLogicalSize(ctx->renderer, ctx->base_w, ctx->base_h);
    }
    set_sizes(ctx, &sizes);
}

void render_context_get_sizes(struct render_context *ctx, struct render_sizes *out)
{
    SDL_AtomicLock(&ctx->size_lock);
    *out = ctx->sizes;
    SDL_AtomicUnlock(&ctx->size_lock);
}

struct render_context *render_context_new(int development, int a11y)
{
    struct render_context *ctx = (struct render_context *)SDL_calloc(1, sizeof(*ctx));
    if (!ctx) {
        SDL_OutOfMemory();
        return nullptr;
    }
    SDL_AtomicSet(&ctx->tick_count, -1);
    SDL_AtomicSet(&ctx->global_tick_count, -1);
    ctx->scene_queue = threadstreamqueue_create();
    ctx->event_queue = threadstreamqueue_create();
    if (!ctx->scene_queue || !ctx->event_queue) {
        SDL_SetError("Couldn't create the scene and event queues");
        goto fail;
    }

    SDL_SetHint("SDL_ANDROID_TRAP_BACK_BUTTON", "1");
    SDL_SetHint("SDL_GAMECONTROLLER_USE_BUTTON_LABELS", "1");
    SDL_SetHint("SDL_IOS_HIDE_HOME_INDICATOR", "1");

    render_context_update_orientation(ctx);
    render_context_update_scale_quality();

    {
        const int hd_highdpi = cvar_game_metadata_hd && cvar_game_metadata_highdpi;
        Uint32 flags = SDL_WINDOW_HIDDEN;
        flags |= cvar_renderer_fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_RESIZABLE;
        if (cvar_renderer_borderless) {
            flags |= SDL_WINDOW_BORDERLESS;
        }
        if (hd_highdpi) {
            flags |= SDL_WINDOW_ALLOW_HIGHDPI;
        }

        int w = ctx->base_w, h = ctx->base_h;
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(0, &bounds) == 0) {
            const double aspect = (double)ctx->base_w / (double)ctx->base_h;
            if (w > bounds.w) {
                w = bounds.w;
                h = (int)(w / aspect);
            }
            if (h >= bounds.h) {
                h = bounds.h;
                w = (int)(h * aspect);
            }
        }

        SDL_SetHint("SDL_RENDER_LINE_METHOD", "3");
        char *title = cvar_get_string_copy("game_metadata.gametitle");
        ctx->window = SDL_CreateWindow(title ? title : "", SDL_WINDOWPOS_CENTERED_DISPLAY(0),
                                       SDL_WINDOWPOS_CENTERED_DISPLAY(0), w, h, flags);
        SDL_free(title);
        if (!ctx->window) {
            goto fail;
        }
        ctx->window_id = SDL_GetWindowID(ctx->window);
        int actual_w = 0, actual_h = 0;
        SDL_GetWindowSize(ctx->window, &actual_w, &actual_h);
        // FIXME: the window icon from game_metadata.icon needs the image loader.

        SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
        ctx->renderer = create_renderer(ctx->window);
        if (!ctx->renderer) {
            goto fail;
        }
        if (!cvar_renderer_start_headless) {
            SDL_ShowWindow(ctx->window);
        }
        SDL_SetRenderDrawColor(ctx->renderer, 0, 0, 0, 255);
        SDL_RenderClear(ctx->renderer);
        SDL_RenderPresent(ctx->renderer);

        SDL_RendererInfo info;
        SDL_zero(info);
        SDL_GetRendererInfo(ctx->renderer, &info);
        ctx->max_texture_w = info.max_texture_width ? info.max_texture_width : 2048;
        ctx->max_texture_h = info.max_texture_height ? info.max_texture_height : 2048;

        ctx->fallback_texture = create_fallback_texture(ctx->renderer);
        ctx->white_texture = create_white_texture(ctx->renderer);
        if (!ctx->fallback_texture || !ctx->white_texture) {
            goto fail;
        }
        // FIXME: the font map and the default "font.ttf" atlas come with the
        // font module; creation will fail without the font then.

        SDL_SetRenderDrawBlendMode(ctx->renderer, SDL_BLENDMODE_BLEND);
        ctx->keyboard_focus = 1;
        ctx->mouse_focus = 1;
        render_context_update_sizes(ctx);

        ctx->development = development;
        ctx->a11y = a11y;
        const Uint32 first_event = SDL_RegisterEvents(3);
        for (int i = 0; i < 3; i++) {
            ctx->event_types[i] = first_event == (Uint32)-1 ? 0 : first_event + i;
        }

        log_info("Render", "SDL video backend: %s", SDL_GetCurrentVideoDriver());
        log_info("Render", "SDL renderer backend: %s", info.name ? info.name : "(unknown)");
        log_info("Render", "Window size: %dx%d (requested %dx%d)", actual_w, actual_h, w, h);
        log_info("Render", "Fullscreen Desktop mode: %s", cvar_renderer_fullscreen ? "yes" : "no");
        log_info("Render", "HD: %s", cvar_game_metadata_hd ? "yes" : "no");
        log_info("Render", "HighDPI: %s", hd_highdpi ? "yes" : "no");
        log_info("Render", "Max texture size: %dx%d (system reported %dx%d)", ctx->max_texture_w,
                 ctx->max_texture_h, info.max_texture_width, info.max_texture_height);
        struct render_sizes sizes;
        render_context_get_sizes(ctx, &sizes);
        log_info("Render", "Logical render size: %dx%d", sizes.logical_w, sizes.logical_h);
        log_info("Render", "Native render size: %dx%d", sizes.output_w, sizes.output_h);
    }
    return ctx;

fail:
    render_context_delete(ctx);
    return nullptr;
}

void render_context_delete(struct render_context *ctx)
{
    if (!ctx) {
        return;
    }
    if (ctx->fallback_texture) {
        SDL_DestroyTexture(ctx->fallback_texture);
    }
    if (ctx->white_texture) {
        SDL_DestroyTexture(ctx->white_texture);
    }
    if (ctx->renderer) {
        SDL_DestroyRenderer(ctx->renderer);
    }
    if (ctx->window) {
        SDL_DestroyWindow(ctx->window);
    }
    renderstream_queue_scene(ctx->current_scene);
    threadstreamqueue_unref(ctx->scene_queue);
    threadstreamqueue_unref(ctx->event_queue);
    SDL_free(ctx);
}
