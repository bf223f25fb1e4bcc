// Creation, deletion and geometry of the render context.
#include "render/render.h"
#include "render/render_internal.h"

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

// The one controller mapping the engine carries itself.
const char builtin_controller_mapping[] =
    "05000000ac05000001000000ff876d01,Pro Controller,platform:Mac OS X,a:b0,b:b1,x:b2,y:b3,"
    "leftx:a0,lefty:a1,leftstick:b6,rightx:a3,righty:a4,rightstick:b7,leftshoulder:b4,"
    "lefttrigger:+a2,rightshoulder:b5,righttrigger:+a5,dpup:h0.1,dpright:h0.2,dpdown:h0.4,"
    "dpleft:h0.8,back:b8,guide:b9,start:h0.6";

void set_window_icon(SDL_Window *window)
{
    const char *icon = cvar_game_metadata_icon;
    if (!icon || !*icon) {
        return;
    }
    int w = 0, h = 0;
    uint8_t *pixels = load_image(icon, &w, &h);
    if (!pixels) {
        return;  // an icon that cannot be loaded is ignored
    }
    SDL_Surface *surface =
        SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, 32, w * 4, SDL_PIXELFORMAT_ABGR8888);
    if (surface) {
        SDL_SetWindowIcon(window, surface);
        SDL_FreeSurface(surface);
    }
    free_image(pixels);
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

void render_context_toggle_orientation(struct render_context *ctx)
{
    struct render_sizes sizes;
    render_context_get_sizes(ctx, &sizes);
    cvar_set_forced("game_metadata.orientation_current", sizes.landscape ? "portrait" : "landscape");
    render_context_update_orientation(ctx);
}

float render_snap_scale(float s)
{
    static const float steps[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.25f, 1.5f, 1.75f, 2.0f, 2.25f,
                                  2.5f,  3.0f, 3.5f,  4.0f, 4.25f, 4.5f, 4.75f, 5.0f};
    float snapped = 0.1f;
    for (float step : steps) {
        if (s >= step) {
            snapped = step;
        }
    }
    return snapped;
}

int render_texture_tier(float k)
{
    if (k < 1.25f) {
        return 100;
    }
    if (k < 1.5f) {
        return 125;
    }
    if (k < 1.75f) {
        return 150;
    }
    if (k < 2.0f) {
        return 175;
    }
    if (k < 2.5f) {
        return 200;
    }
    if (k < 3.0f) {
        return 250;
    }
    if (k < 4.0f) {
        return 300;
    }
    return 400;
}

void render_compute_hd_sizes(int ww, int wh, int ow, int oh, int lw, int lh, int hd_max_scale,
                             struct render_sizes *out)
{
    const float sx = (float)ow / (float)lw;
    const float sy = (float)oh / (float)lh;
    const float s = sx < sy ? sx : sy;
    float k = s;
    if (hd_max_scale >= 1) {
        k = render_snap_scale(s);
        float cap = 0.0f;
        switch (hd_max_scale) {
        case 100: cap = 1.0f; break;
        case 125: cap = 1.25f; break;
        case 150: cap = 1.5f; break;
        case 175: cap = 1.75f; break;
        case 200: cap = 2.0f; break;
        case 250: cap = 2.5f; break;
        case 300: cap = 3.0f; break;
        case 400: cap = 4.0f; break;
        default: break;
        }
        if (cap > 0.0f && k > cap) {
            k = cap;
        }
    }
    out->logical_w = lw;
    out->logical_h = lh;
    out->window_w = ww;
    out->window_h = wh;
    out->output_w = ow;
    out->output_h = oh;
    out->raw_scale = s;
    out->render_scale = k;
    out->pixel_density = ww > 0 ? (float)ow / (float)ww : 1.0f;
    out->texture_tier = render_texture_tier(k);
    out->offset_x = (int32_t)(((float)ow - k * (float)lw) * 0.5f);
    out->offset_y = (int32_t)(((float)oh - k * (float)lh) * 0.5f);
}

void render_context_update_sizes(struct render_context *ctx)
{
    struct render_sizes sizes;
    render_context_get_sizes(ctx, &sizes);
    if (cvar_game_metadata_hd && ctx->window && ctx->renderer) {
        int ww = 0, wh = 0, ow = 0, oh = 0;
        SDL_GetWindowSize(ctx->window, &ww, &wh);
        if (SDL_GetRendererOutputSize(ctx->renderer, &ow, &oh) != 0 || ow <= 0 || oh <= 0) {
            ow = ww;
            oh = wh;
        }
        if (ow <= 0 || oh <= 0) {
            ow = ctx->base_w;
            oh = ctx->base_h;
        }
        const int32_t landscape = sizes.landscape;
        render_compute_hd_sizes(ww, wh, ow, oh, ctx->base_w, ctx->base_h,
                                cvar_game_metadata_hd_max_scale, &sizes);
        sizes.landscape = landscape;
        SDL_RenderSetLogicalSize(ctx->renderer, ow, oh);
    } else {
        sizes.logical_w = ctx->base_w;
        sizes.logical_h = ctx->base_h;
        sizes.output_w = sizes.window_w = ctx->base_w;
        sizes.output_h = sizes.window_h = ctx->base_h;
        sizes.offset_x = sizes.offset_y = 0;
        sizes.texture_tier = 100;
        sizes.pixel_density = sizes.render_scale = sizes.raw_scale = 1.0f;
        if (ctx->renderer) {
            SDL_RenderSetLogicalSize(ctx->renderer, ctx->base_w, ctx->base_h);
        }
    }
    set_sizes(ctx, &sizes);
}

void render_context_get_sizes(struct render_context *ctx, struct render_sizes *out)
{
    SDL_AtomicLock(&ctx->size_lock);
    *out = ctx->sizes;
    SDL_AtomicUnlock(&ctx->size_lock);
}

void render_context_recover_render_targets(struct render_context *ctx)
{
    if (!ctx) {
        return;
    }
    if (ctx->current_target) {
        SDL_SetRenderTarget(ctx->renderer, nullptr);
        ctx->current_target = nullptr;
    }
    if (ctx->screenshot_texture) {
        SDL_DestroyTexture(ctx->screenshot_texture);
        ctx->screenshot_texture = nullptr;
        ctx->screenshot_pass_ran = 0;
    }
    if (!ctx->textures) {
        return;
    }
    for (struct texture_entry *head : ctx->textures->buckets) {
        for (struct texture_entry *e = head; e; e = e->next) {
            if (e->target && e->texture) {
                texture_entry_set(ctx, e, nullptr, 1, -1, -1, e->creation_scale);
            }
        }
    }
}

void render_context_recover_textures(struct render_context *ctx)
{
    if (!ctx) {
        return;
    }
    if (ctx->fallback_texture) {
        SDL_DestroyTexture(ctx->fallback_texture);
    }
    ctx->fallback_texture = create_fallback_texture(ctx->renderer);
    if (!ctx->fallback_texture) {
        log_error("Render", "Failed to recreate the checkerboard fallback texture!");
    }
    // The white texture is a file-less built-in like the checkerboard: a
    // device reset loses it too.
    if (ctx->white_texture) {
        SDL_DestroyTexture(ctx->white_texture);
    }
    ctx->white_texture = create_white_texture(ctx->renderer);
    if (!ctx->white_texture) {
        log_error("Render", "Failed to recreate the white texture!");
    }

    SDL_LockMutex(ctx->font_lock);
    font_map_delete(ctx->fonts);
    fontatlas_delete(ctx->default_font);
    ctx->default_font = fontatlas_new(ctx->renderer, "font.ttf");
    if (!ctx->default_font) {
        log_error("Render", "Failed to recreate the fallback font!");
    }
    ctx->fonts = font_map_allocate();
    if (!ctx->fonts) {
        log_error("Render", "Failed to recreate the font cache!");
    }
    SDL_UnlockMutex(ctx->font_lock);

    if (ctx->textures) {
        for (struct texture_entry *head : ctx->textures->buckets) {
            for (struct texture_entry *e = head; e; e = e->next) {
                if (!e->target && e->texture) {
                    texture_entry_set(ctx, e, nullptr, 0, -1, -1, 0.0f);
                }
            }
        }
    }
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
    SDL_AtomicSet(&ctx->grid_moved_at_tick, -1);
    ctx->scene_queue = threadstreamqueue_create();
    ctx->event_queue = threadstreamqueue_create();
    ctx->texture_lock = SDL_CreateMutex();
    ctx->font_lock = SDL_CreateMutex();
    if (!ctx->scene_queue || !ctx->event_queue) {
        SDL_SetError("Couldn't create the scene and event queues");
        goto fail;
    }
    if (!ctx->texture_lock || !ctx->font_lock) {
        goto fail;
    }

    SDL_SetHint("SDL_ANDROID_TRAP_BACK_BUTTON", "1");
    SDL_SetHint("SDL_GAMECONTROLLER_USE_BUTTON_LABELS", "1");
    SDL_SetHint("SDL_IOS_HIDE_HOME_INDICATOR", "1");

    render_context_update_orientation(ctx);
    {
        struct render_sizes sizes;
        render_context_get_sizes(ctx, &sizes);
        sizes.texture_tier = 100;
        set_sizes(ctx, &sizes);
    }
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
        set_window_icon(ctx->window);

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
        if (!ctx->fallback_texture) {
            goto fail;
        }
        // Without the white texture every solid and "pixel" sprite would be
        // silently invisible: that is a creation failure too.
        ctx->white_texture = create_white_texture(ctx->renderer);
        if (!ctx->white_texture) {
            goto fail;
        }
        ctx->textures = texture_map_allocate();
        ctx->cursors = cursor_map_allocate();
        ctx->fonts = font_map_allocate();
        if (!ctx->textures || !ctx->cursors || !ctx->fonts) {
            SDL_OutOfMemory();
            goto fail;
        }
        ctx->default_font = fontatlas_new(ctx->renderer, "font.ttf");
        if (!ctx->default_font) {
            goto fail;
        }

        SDL_SetRenderDrawBlendMode(ctx->renderer, SDL_BLENDMODE_BLEND);
        ctx->keyboard_focus = 1;
        ctx->mouse_focus = 1;
        render_context_update_sizes(ctx);

        SDL_GameControllerAddMapping(builtin_controller_mapping);

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
    {
        // Deletion may reset SDL's error text; keep the reason for the caller.
        char reason[256];
        SDL_strlcpy(reason, SDL_GetError(), sizeof(reason));
        render_context_delete(ctx);
        SDL_SetError("%s", reason);
    }
    return nullptr;
}

void render_context_delete(struct render_context *ctx)
{
    if (!ctx) {
        return;
    }
    if (ctx->renderer && ctx->current_target) {
        SDL_SetRenderTarget(ctx->renderer, nullptr);
    }
    font_map_delete(ctx->fonts);
    texture_map_delete(ctx->textures);
    cursor_map_delete(ctx->cursors);
    fontatlas_delete(ctx->default_font);
    if (ctx->fallback_texture) {
        SDL_DestroyTexture(ctx->fallback_texture);
    }
    if (ctx->screenshot_texture) {
        SDL_DestroyTexture(ctx->screenshot_texture);
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
    if (ctx->texture_lock) {
        SDL_DestroyMutex(ctx->texture_lock);
    }
    if (ctx->font_lock) {
        SDL_DestroyMutex(ctx->font_lock);
    }
    SDL_free(ctx->screenshot_directory);
    SDL_free(ctx);
}
