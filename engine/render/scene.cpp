// The scene executor: reads one scene's commands in order, applies window,
// cursor and configuration commands, draws each render pass into its target
// (window, named render target or the screenshot texture), captures
// screenshots and paints the HD letterbox bars.
#include "render/render_internal.h"

#include "config/config.h"
#include "log/log.h"
#include "util/util.h"

#include <math.h>
#include <string.h>

namespace {

constexpr int white_size = 1280;

struct exec_state {
    struct render_context *ctx;
    struct threadstream *s;
    int catch_up, repeat;
    struct render_sizes sizes;
    float k;  // render scale
    int ready;  // a grid command was executed
    int dx, dy;  // offsets of the current target
    int draw;  // the current pass draws (not a catch-up window pass)
    int stopped;  // the scene ran out of data
    int resized;  // a window command changed the window
};

inline int32_t rd_int(struct exec_state *e)
{
    return threadstream_unpack_int(e->s);
}

inline float rd_float(struct exec_state *e)
{
    return threadstream_unpack_float(e->s);
}

inline const char *rd_string(struct exec_state *e)
{
    return threadstream_unpack_string(e->s, nullptr);
}

inline uint8_t clamp8(int32_t v)
{
    return (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
}

SDL_FRect map_rect(const struct exec_state *e, float x, float y, float w, float h)
{
    SDL_FRect r = {0, 0, 0, 0};
    if (!e->ready) {
        return r;
    }
    const struct render_context *ctx = e->ctx;
    const float k = e->k;
    r.x = k * (x + (float)ctx->current_origin_x + (w < 0 ? w : 0.0f)) + (float)e->dx;
    r.y = k * ((float)ctx->current_origin_top - y - (h > 0 ? h : 0.0f)) + (float)e->dy;
    r.w = k * SDL_fabsf(w);
    r.h = k * SDL_fabsf(h);
    return r;
}

SDL_FPoint map_point(const struct exec_state *e, float x, float y)
{
    SDL_FPoint p = {0, 0};
    if (!e->ready) {
        return p;
    }
    p.x = e->k * (x + (float)e->ctx->current_origin_x) + (float)e->dx;
    p.y = e->k * ((float)e->ctx->current_origin_top - y) + (float)e->dy;
    return p;
}

// Makes tex (null: the window) the current target, with the origin a pass of
// render size rw x rh starts from.
void set_target(struct exec_state *e, SDL_Texture *tex, int rw, int rh)
{
    struct render_context *ctx = e->ctx;
    if (tex == ctx->current_target) {
        return;
    }
    SDL_SetRenderTarget(ctx->renderer, tex);
    ctx->current_target = tex;
    if (SDL_AtomicGet(&ctx->centered_grid)) {
        ctx->current_origin_x = rw / 2;
        ctx->current_origin_top = rh / 2;
    } else {
        ctx->current_origin_x = SDL_AtomicGet(&ctx->grid_origin_x);
        ctx->current_origin_top = rh;
    }
}

void back_to_window(struct exec_state *e)
{
    struct render_context *ctx = e->ctx;
    if (!ctx->current_target) {
        return;
    }
    SDL_SetRenderTarget(ctx->renderer, nullptr);
    ctx->current_target = nullptr;
    ctx->current_origin_x = SDL_AtomicGet(&ctx->grid_origin_x);
    ctx->current_origin_top =
        SDL_AtomicGet(&ctx->centered_grid) ? e->sizes.logical_h / 2 : e->sizes.logical_h;
}

// ---- Primitives ----------------------------------------------------------------

void draw_rect(struct exec_state *e, int outline)
{
    const float x = rd_float(e), y = rd_float(e);
    rd_int(e);  // z
    const float w = rd_float(e), h = rd_float(e);
    const int32_t r = rd_int(e), g = rd_int(e), b = rd_int(e), a = rd_int(e);
    const int32_t blend = rd_int(e);
    const float anchor_x = rd_float(e), anchor_y = rd_float(e);
    if (!e->draw || e->s->error) {
        return;
    }
    SDL_FRect rect = map_rect(e, x, y, w, h);
    rect.x -= anchor_x * rect.w;
    rect.y += anchor_y * rect.h;
    SDL_Renderer *renderer = e->ctx->renderer;
    SDL_SetRenderDrawColor(renderer, clamp8(r), clamp8(g), clamp8(b), clamp8(a));
    SDL_SetRenderDrawBlendMode(renderer, render_blend_mode(blend));
    if (outline) {
        SDL_RenderDrawRectF(renderer, &rect);
    } else {
        SDL_RenderFillRectF(renderer, &rect);
    }
}

void draw_line(struct exec_state *e)
{
    const float x = rd_float(e), y = rd_float(e);
    rd_int(e);  // z
    const float x2 = rd_float(e), y2 = rd_float(e);
    const int32_t r = rd_int(e), g = rd_int(e), b = rd_int(e), a = rd_int(e);
    const int32_t blend = rd_int(e);
    if (!e->draw || e->s->error) {
        return;
    }
    const SDL_FPoint p = map_point(e, x, y), q = map_point(e, x2, y2);
    SDL_Renderer *renderer = e->ctx->renderer;
    SDL_SetRenderDrawColor(renderer, clamp8(r), clamp8(g), clamp8(b), clamp8(a));
    SDL_SetRenderDrawBlendMode(renderer, render_blend_mode(blend));
    SDL_RenderDrawLine(renderer, (int)p.x, (int)p.y, (int)q.x, (int)q.y);
}

float texture_factor_of(const struct texture_lookup *t, int texture_scale, float k)
{
    return t->target ? t->creation_scale : render_texture_factor(texture_scale, k);
}

SDL_ScaleMode scale_mode_of(int quality)
{
    return quality == 2 ? SDL_ScaleModeBest : quality == 1 ? SDL_ScaleModeLinear
                                                           : SDL_ScaleModeNearest;
}

void draw_sprite(struct exec_state *e)
{
    const char *path = rd_string(e);
    const float x = rd_float(e), y = rd_float(e);
    rd_int(e);  // z
    const float w = rd_float(e), h = rd_float(e);
    rd_int(e);
    rd_int(e);
    const float angle = rd_float(e);
    const int32_t r = rd_int(e), g = rd_int(e), b = rd_int(e), a = rd_int(e);
    const float tile_x = rd_float(e), tile_y = rd_float(e);
    const float tile_w = rd_float(e), tile_h = rd_float(e);
    const float source_x = rd_float(e), source_y = rd_float(e);
    const float source_w = rd_float(e), source_h = rd_float(e);
    const int32_t flip_h = rd_int(e), flip_v = rd_int(e);
    const float angle_anchor_x = rd_float(e), angle_anchor_y = rd_float(e);
    const int32_t blend = rd_int(e);
    const int32_t texture_scale = rd_int(e);
    const float anchor_x = rd_float(e), anchor_y = rd_float(e);
    const int32_t quality = rd_int(e);
    if (!e->draw || e->s->error) {
        return;
    }

    struct render_context *ctx = e->ctx;
    SDL_FRect dst = map_rect(e, x, y, w, h);
    struct texture_lookup t;
    lookup_texture(&t, ctx, path);
    if (!t.texture || t.w <= 0 || t.h <= 0) {
        return;
    }
    const float f = texture_factor_of(&t, texture_scale, e->k);
    if (quality != cvar_game_metadata_scale_quality) {
        SDL_SetTextureScaleMode(t.texture, scale_mode_of(quality));
    }
    const float tw = (float)t.w, th = (float)t.h;
    float sl, st, sw, sh;
    if (tile_x != 0.0f || tile_y != 0.0f || tile_w != -1.0f || tile_h != -1.0f) {
        sl = tile_x * f;
        st = tile_y * f;
        sw = tile_w < 0 ? tw : tile_w * f;
        sh = tile_h < 0 ? th : tile_h * f;
    } else {
        sl = source_x * f;
        sw = source_w < 0 ? tw : source_w * f;
        sh = source_h < 0 ? th : source_h * f;
        st = th - source_y * f - sh;
    }
    if (sl >= tw || st >= th || sw == 0.0f || sh == 0.0f || dst.w == 0.0f || dst.h == 0.0f) {
        return;
    }
    if (t.entry && !t.entry->warned && (st + sh > th || sl + sw > tw)) {
        t.entry->warned = 1;
        log_warn("Render",
                 "* WARNING: You are rendering passed the boundaries of the =%s=.\n"
                 "This will cause stretching of the sprite.\n"
                 "=%s='s ~w~ and ~h~ are: ~w: %d, h: %d~.\n"
                 "The ~rect~ you requested was: ~x: %f, y: %f, w: %f, h: %f]~.",
                 path, path, t.w, t.h, (double)sl, (double)st, (double)sw, (double)sh);
    }
    SDL_SetTextureColorMod(t.texture, clamp8(r), clamp8(g), clamp8(b));
    SDL_SetTextureAlphaMod(t.texture, clamp8(a));
    SDL_SetTextureBlendMode(t.texture, render_blend_mode(blend));

    dst.x -= anchor_x * dst.w;
    dst.y += anchor_y * dst.h;
    const SDL_FPoint centre = {angle_anchor_x * dst.w, (1.0f - angle_anchor_y) * dst.h};
    const SDL_Rect src = {(int)sl, (int)st, (int)sw, (int)sh};
    int flip = SDL_FLIP_NONE;
    if (flip_h == 1) {
        flip |= SDL_FLIP_HORIZONTAL;
    }
    if (flip_v == 1) {
        flip |= SDL_FLIP_VERTICAL;
    }
    SDL_RenderCopyExF(ctx->renderer, t.texture, &src, &dst, 360.0 - (double)angle, &centre,
                      (SDL_RendererFlip)flip);
}

void draw_triangle(struct exec_state *e)
{
    float px[3], py[3];
    for (int i = 0; i < 3; i++) {
        px[i] = rd_float(e);
        py[i] = rd_float(e);
        rd_int(e);  // z
    }
    int32_t c[3][4];
    for (int j = 0; j < 4; j++) {
        c[0][j] = rd_int(e);
    }
    const char *path = rd_string(e);
    float su[3], sv[3];
    for (int i = 0; i < 3; i++) {
        su[i] = rd_float(e);
        sv[i] = rd_float(e);
    }
    const int32_t blend = rd_int(e);
    const int32_t texture_scale = rd_int(e);
    for (int i = 1; i < 3; i++) {
        for (int j = 0; j < 4; j++) {
            c[i][j] = rd_int(e);
        }
    }
    if (!e->draw || e->s->error) {
        return;
    }
    struct render_context *ctx = e->ctx;
    struct texture_lookup t;
    lookup_texture(&t, ctx, path);
    if (!t.texture || t.w <= 0 || t.h <= 0) {
        return;
    }
    const float f = texture_factor_of(&t, texture_scale, e->k);
    SDL_Vertex v[3];
    for (int i = 0; i < 3; i++) {
        const SDL_FPoint p = map_point(e, px[i], py[i]);
        v[i].position = p;
        v[i].color = {clamp8(c[i][0]), clamp8(c[i][1]), clamp8(c[i][2]), clamp8(c[i][3])};
        v[i].tex_coord = {su[i] * f / (float)t.w, 1.0f - sv[i] * f / (float)t.h};
    }
    const SDL_BlendMode mode = render_blend_mode(blend);
    SDL_SetRenderDrawBlendMode(ctx->renderer, mode);
    SDL_Texture *tex = t.texture;
    if (tex == ctx->white_texture) {
        // Plain white adds nothing to the vertex colours, and some renderers
        // drop a textured triangle whose texture coordinates coincide.
        tex = nullptr;
    } else {
        SDL_SetTextureBlendMode(tex, mode);
        SDL_SetTextureColorMod(tex, 255, 255, 255);
        SDL_SetTextureAlphaMod(tex, 255);
    }
    SDL_RenderGeometry(ctx->renderer, tex, v, 3, nullptr, 0);
}

void draw_label(struct exec_state *e)
{
    const float x = rd_float(e), y = rd_float(e);
    rd_float(e);  // z
    const char *text = rd_string(e);
    const char *font_path = rd_string(e);
    const float size_enum = rd_float(e);
    const int32_t alignment = rd_int(e);
    const int32_t r = rd_int(e), g = rd_int(e), b = rd_int(e), a = rd_int(e);
    const int32_t valign = rd_int(e);
    const int32_t blend = rd_int(e);
    const float size_px = rd_float(e);
    const int32_t has_ax = rd_int(e);
    const float anchor_x = rd_float(e);
    const int32_t has_ay = rd_int(e);
    const float anchor_y = rd_float(e);
    if (!e->draw || e->s->error || !text || !*text) {
        return;
    }
    struct render_context *ctx = e->ctx;
    struct fontatlas *font = lookup_font(ctx, font_path);
    if (!font) {
        return;
    }
    const float S = size_px > 0.0f ? size_px : (float)((int)(2.0f * size_enum) + 22);
    float ax = 0.0f;
    if (has_ax) {
        ax = anchor_x;
    } else if (alignment == 1) {
        ax = 0.5f;
    } else if (alignment == 2) {
        ax = 1.0f;
    }
    float vy = 0.0f;
    if (has_ay) {
        vy = 1.0f - anchor_y;
    } else if (valign == 0) {
        vy = 1.0f;
    } else if (valign == 1) {
        vy = 0.5f;
    }
    const float k = e->k;
    const SDL_FPoint anchor = map_point(e, x, y);
    float W = 0.0f, H = 0.0f;
    if (ax != 0.0f) {
        fontatlas_calcstringrect(font, text, &W, &H, S);
    }

    // Glyphs are rasterised in real output pixels, so they stay sharp when the
    // platform scales the logical canvas.
    SDL_Renderer *renderer = ctx->renderer;
    float sx = 1.0f, sy = 1.0f;
    SDL_RenderGetScale(renderer, &sx, &sy);
    SDL_Rect vp;
    SDL_RenderGetViewport(renderer, &vp);
    int lw = 0, lh = 0;
    SDL_RenderGetLogicalSize(renderer, &lw, &lh);
    const int unscale = sx != 1.0f || sy != 1.0f || vp.x != 0 || vp.y != 0;
    if (unscale) {
        SDL_RenderSetLogicalSize(renderer, 0, 0);
        SDL_RenderSetScale(renderer, 1.0f, 1.0f);
        const SDL_Rect clip = {(int)((float)vp.x * sx), (int)((float)vp.y * sy),
                               (int)((float)vp.w * sx), (int)((float)vp.h * sy)};
        SDL_RenderSetClipRect(renderer, &clip);
    }
    const float S2 = S * sy * k;
    const float raw_scale = 1.0f / (fontatlas_get_raw_ascent(font) - fontatlas_get_raw_descent(font));
    const float scale2 = S2 * raw_scale;
    const float L =
        scale2 * (fontatlas_get_raw_ascent(font) - fontatlas_get_raw_descent(font) +
                  fontatlas_get_raw_line_gap(font));
    float pen = (anchor.x - ax * W * k + (float)vp.x) * sx;
    const float baseline =
        sy * (anchor.y + k * (float)(int)(S * raw_scale * fontatlas_get_raw_ascent(font)) +
              (float)vp.y) +
        (float)(int)(vy * (float)-(int)L);

    const SDL_BlendMode mode = render_blend_mode(blend);
    const int kerning = fontatlas_has_kerning(font);
    SDL_Texture *last_page = nullptr;
    uint32_t prev = 0;
    const char *cursor = text;
    for (;;) {
        const uint32_t cp = utf8codepoint(&cursor);
        if (cp == 0) {
            break;
        }
        if (cp == UTF8_BAD_CODEPOINT) {
            continue;
        }
        const struct fontatlas_glyph *glyph = fontatlas_getglyph(font, cp, S2);
        if (!glyph) {
            continue;  // not in the font: no ink, no advance, no kerning
        }
        if (kerning && prev) {
            pen += fontatlas_get_kerningadvance(font, prev, cp, scale2);
        }
        if (glyph->page && glyph->w > 0 && glyph->h > 0) {
            if (glyph->page != last_page) {
                SDL_SetTextureColorMod(glyph->page, clamp8(r), clamp8(g), clamp8(b));
                SDL_SetTextureAlphaMod(glyph->page, clamp8(a));
                SDL_SetTextureBlendMode(glyph->page, mode);
                last_page = glyph->page;
            }
            const SDL_Rect src = {glyph->x, glyph->y, glyph->w, glyph->h};
            const SDL_Rect dst = {(int)(pen + (float)glyph->x0), (int)(baseline + (float)glyph->y0),
                                  glyph->w, glyph->h};
            SDL_RenderCopy(renderer, glyph->page, &src, &dst);
        }
        pen += glyph->advance;
        prev = cp;
    }
    if (unscale) {
        SDL_RenderSetClipRect(renderer, nullptr);
        SDL_RenderSetLogicalSize(renderer, lw, lh);
        if (!lw && !lh) {
            SDL_RenderSetScale(renderer, sx, sy);
            SDL_RenderSetViewport(renderer, &vp);
        }
    }
}

// ---- Render passes -------------------------------------------------------------

// Draws records until prim_end_pass. Returns 0 when the scene ran out of data.
int draw_records(struct exec_state *e)
{
    for (;;) {
        if (threadstream_eos(e->s)) {
            return 0;
        }
        const int32_t kind = rd_int(e);
        switch (kind) {
        case prim_solid:
            draw_rect(e, 0);
            break;
        case prim_border:
            draw_rect(e, 1);
            break;
        case prim_sprite:
            draw_sprite(e);
            break;
        case prim_label:
            draw_label(e);
            break;
        case prim_line:
            draw_line(e);
            break;
        case prim_triangle:
            draw_triangle(e);
            break;
        case prim_end_pass:
            return !e->s->error;
        default:
            break;  // unknown words are skipped one at a time
        }
        if (e->s->error) {
            return 0;
        }
    }
}

SDL_Texture *screenshot_target(struct exec_state *e)
{
    struct render_context *ctx = e->ctx;
    const int ow = e->sizes.output_w, oh = e->sizes.output_h;
    if (ctx->screenshot_texture) {
        int w = 0, h = 0;
        SDL_QueryTexture(ctx->screenshot_texture, nullptr, nullptr, &w, &h);
        if (w == ow && h == oh) {
            return ctx->screenshot_texture;
        }
        if (ctx->current_target == ctx->screenshot_texture) {
            back_to_window(e);
        }
        SDL_DestroyTexture(ctx->screenshot_texture);
        ctx->screenshot_texture = nullptr;
        ctx->screenshot_pass_ran = 0;
    }
    if (ow <= 0 || oh <= 0) {
        return nullptr;
    }
    ctx->screenshot_texture = SDL_CreateTexture(ctx->renderer, SDL_PIXELFORMAT_ABGR8888,
                                                SDL_TEXTUREACCESS_TARGET, ow, oh);
    if (ctx->screenshot_texture) {
        SDL_SetTextureBlendMode(ctx->screenshot_texture, SDL_BLENDMODE_BLEND);
    }
    return ctx->screenshot_texture;
}

void do_passes(struct exec_state *e)
{
    struct render_context *ctx = e->ctx;
    const int32_t n = rd_int(e);
    const int32_t screenshot = rd_int(e);
    if (n < 1 || e->s->error) {
        return;
    }
    int screenshot_done = 0;
    for (int i = 0; i < n; i++) {
        const uint32_t pass_start = e->s->read_pos;
        ctx->current_origin_x = SDL_AtomicGet(&ctx->grid_origin_x);
        ctx->current_origin_top = SDL_AtomicGet(&ctx->grid_origin_y);
        const int32_t r = rd_int(e), g = rd_int(e), b = rd_int(e), a = rd_int(e);
        const char *target = rd_string(e);
        const int32_t rw = rd_int(e), rh = rd_int(e);
        rd_int(e);  // transient
        const int32_t clear = rd_int(e);
        if (e->s->error) {
            e->stopped = 1;
            return;
        }
        const int screenshot_pass = screenshot == 1 && i == n - 1 && !screenshot_done;
        SDL_Texture *tex = nullptr;
        int to_window = 0, have_target = 1;
        if (screenshot_pass) {
            tex = screenshot_target(e);
            if (!tex) {
                screenshot_done = 1;
                e->s->read_pos = pass_start;
                i--;
                continue;
            }
        } else if (target) {
            const int w = (int)(e->k * (float)rw), h = (int)(e->k * (float)rh);
            struct texture_entry *entry = render_target_lookup(ctx, target, w, h, e->k);
            tex = entry ? entry->texture : nullptr;
            have_target = tex != nullptr;
        } else {
            to_window = 1;
        }
        e->draw = have_target && !(e->catch_up && to_window);
        if (e->draw) {
            set_target(e, tex, rw, rh);
            e->dx = target && !screenshot_pass ? 0 : e->sizes.offset_x;
            e->dy = target && !screenshot_pass ? 0 : e->sizes.offset_y;
            if (to_window) {
                ctx->clear_r = (uint8_t)r;
                ctx->clear_g = (uint8_t)g;
                ctx->clear_b = (uint8_t)b;
                ctx->frame_uncleared = 0;
            }
            // The screenshot texture stands in for the window, so it is
            // cleared like the window.
            if (to_window || screenshot_pass || clear == 1) {
                SDL_SetRenderDrawColor(ctx->renderer, (uint8_t)r, (uint8_t)g, (uint8_t)b,
                                       (uint8_t)a);
                SDL_RenderClear(ctx->renderer);
            }
        }
        if (!draw_records(e)) {
            e->stopped = 1;
            break;
        }
        if (screenshot_pass) {
            ctx->screenshot_pass_ran = 1;
            screenshot_done = 1;
            e->s->read_pos = pass_start;
            i--;
        }
    }
    e->draw = 1;
    back_to_window(e);
    e->dx = e->sizes.offset_x;
    e->dy = e->sizes.offset_y;
}

// ---- Screenshots ---------------------------------------------------------------

void do_screenshot(struct exec_state *e)
{
    const char *path = rd_string(e);
    const float x = rd_float(e), y = rd_float(e), w = rd_float(e), h = rd_float(e);
    const int32_t tolerance = rd_int(e);
    const int32_t r = rd_int(e), g = rd_int(e), b = rd_int(e), a = rd_int(e);
    if (e->repeat || e->s->error || !path || !*path) {
        return;
    }
    struct render_context *ctx = e->ctx;
    const SDL_FRect area = map_rect(e, x, y, w, h);
    SDL_Texture *source = ctx->screenshot_pass_ran ? ctx->screenshot_texture : nullptr;
    int src_w = e->sizes.output_w, src_h = e->sizes.output_h;
    if (source) {
        SDL_QueryTexture(source, nullptr, nullptr, &src_w, &src_h);
    }
    // Game floats are unbounded: clip to the source before sizing anything.
    double left = floor((double)area.x), top = floor((double)area.y);
    double right = left + floor((double)area.w), bottom = top + floor((double)area.h);
    if (left < 0) {
        left = 0;
    }
    if (top < 0) {
        top = 0;
    }
    if (right > src_w) {
        right = src_w;
    }
    if (bottom > src_h) {
        bottom = src_h;
    }
    if (!(right > left) || !(bottom > top)) {
        return;
    }
    const SDL_Rect rect = {(int)left, (int)top, (int)(right - left), (int)(bottom - top)};
    const size_t bytes = (size_t)rect.w * (size_t)rect.h * 4;
    uint8_t *pixels = (uint8_t *)SDL_malloc(bytes);
    if (!pixels) {
        return;
    }
    if (ctx->current_target != source) {
        SDL_SetRenderTarget(ctx->renderer, source);
    }
    const int rc =
        SDL_RenderReadPixels(ctx->renderer, &rect, SDL_PIXELFORMAT_ABGR8888, pixels, rect.w * 4);
    SDL_SetRenderTarget(ctx->renderer, nullptr);
    ctx->current_target = nullptr;
    if (rc != 0) {
        SDL_free(pixels);
        return;
    }
    const uint8_t ka = clamp8(a);
    if (ka != 255) {
        const int kr = clamp8(r), kg = clamp8(g), kb = clamp8(b);
        for (size_t i = 0; i < bytes; i += 4) {
            if (SDL_abs(pixels[i] - kr) <= tolerance && SDL_abs(pixels[i + 1] - kg) <= tolerance &&
                SDL_abs(pixels[i + 2] - kb) <= tolerance) {
                pixels[i + 3] = ka;
            }
        }
    }
    render_write_screenshot(ctx, path, pixels, rect.w, rect.h);
    SDL_free(pixels);
}

// ---- Window commands -----------------------------------------------------------

void centre_window(SDL_Window *window)
{
    int display = SDL_GetWindowDisplayIndex(window);
    if (display < 0) {
        display = 0;
    }
    SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                          SDL_WINDOWPOS_CENTERED_DISPLAY(display));
}

float snap_window_scale(float s)
{
    static const float steps[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.25f, 1.5f,
                                  1.75f, 2.0f, 2.5f,  3.0f, 4.0f};
    float snapped = 0.1f;
    for (float step : steps) {
        if (s >= step) {
            snapped = step;
        }
    }
    return snapped;
}

void resized(struct exec_state *e)
{
    e->resized = 1;
    render_context_update_sizes(e->ctx);
    render_context_get_sizes(e->ctx, &e->sizes);
    e->k = e->sizes.render_scale;
    e->dx = e->sizes.offset_x;
    e->dy = e->sizes.offset_y;
}

void set_int_cvar_forced(const char *name, int value)
{
    char text[16];
    SDL_snprintf(text, sizeof(text), "%d", value);
    cvar_set_forced(name, text);
}

void do_upload(struct exec_state *e)
{
    const char *name = rd_string(e);
    const int32_t w = rd_int(e), h = rd_int(e);
    uint32_t length = 0;
    const void *pixels = threadstream_unpack_buffer(e->s, &length);
    struct render_context *ctx = e->ctx;
    if (e->repeat || e->s->error || !name || !*name || !pixels || w <= 0 || h <= 0 ||
        w > ctx->max_texture_w || h > ctx->max_texture_h) {
        return;
    }
    if ((uint64_t)w * (uint64_t)h * 4u != (uint64_t)length) {
        return;
    }
    struct texture_entry *entry = lookup_texture_no_fallback(ctx, name);
    if (!entry) {
        return;
    }
    if (entry->texture && !entry->target && entry->w == w && entry->h == h) {
        SDL_UpdateTexture(entry->texture, nullptr, pixels, w * 4);
        return;
    }
    texture_entry_set(ctx, entry, nullptr, 0, -1, -1, 0.0f);
    SDL_Texture *tex =
        SDL_CreateTexture(ctx->renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, w, h);
    if (!tex) {
        return;
    }
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);
    if (SDL_UpdateTexture(tex, nullptr, pixels, w * 4) != 0) {
        SDL_DestroyTexture(tex);
        return;
    }
    texture_entry_set(ctx, entry, tex, 0, w, h, 0.0f);
    entry->warned = 0;
}

// Returns 0 when the opcode ends the scene.
int run_command(struct exec_state *e, int32_t op)
{
    struct render_context *ctx = e->ctx;
    SDL_Window *window = ctx->window;
    const int skip = e->repeat;
    switch (op) {
    case cmd_nop:
        return 1;
    case cmd_screenshot:
        do_screenshot(e);
        return 1;
    case cmd_set_grid: {
        const float ox = rd_float(e), oy = rd_float(e);
        rd_int(e);
        if (skip || e->s->error) {
            return 1;
        }
        const int gx = (int)ox, gy = (int)oy;
        SDL_AtomicSet(&ctx->grid_origin_x, gx);
        SDL_AtomicSet(&ctx->grid_origin_y, gy);
        SDL_AtomicSet(&ctx->ready, 1);
        SDL_AtomicSet(&ctx->centered_grid, gy == (e->sizes.landscape ? 360 : 640));
        SDL_AtomicSet(&ctx->sizes_changed, 1);
        e->ready = 1;
        return 1;
    }
    case cmd_render_passes:
        do_passes(e);
        return 1;
    case cmd_unload_texture: {
        const char *path = rd_string(e);
        if (!skip && path && *path) {
            struct texture_entry *entry = lookup_texture_no_fallback(ctx, path);
            if (entry) {
                texture_entry_set(ctx, entry, nullptr, entry->target, -1, -1, 0.0f);
            }
        }
        return 1;
    }
    case cmd_show_cursor: {
        const int32_t on = rd_int(e);
        if (!skip) {
            SDL_ShowCursor(on ? SDL_ENABLE : SDL_DISABLE);
        }
        return 1;
    }
    case cmd_set_fullscreen: {
        const int32_t on = rd_int(e);
        if (!skip && window) {
            SDL_SetWindowFullscreen(window, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
            resized(e);
        }
        return 1;
    }
    case cmd_set_window_scale: {
        const float scale = rd_float(e);
        int32_t aw = rd_int(e), ah = rd_int(e);
        if (skip || !window || e->s->error) {
            return 1;
        }
        if (aw <= 0 || ah <= 0) {
            aw = 16;
            ah = 9;
        }
        const float snapped = snap_window_scale(scale);
        int w = (int)(snapped * 1280.0f);
        int h = (int)(snapped * (float)ah * (float)(1280 / aw));
        SDL_SetWindowSize(window, w < 1 ? 1 : w, h < 1 ? 1 : h);
        centre_window(window);
        resized(e);
        return 1;
    }
    case cmd_upload_pixels:
        do_upload(e);
        return 1;
    case cmd_open_url: {
        const char *url = rd_string(e);
        if (!skip && url && *url) {
            SDL_OpenURL(url);
        }
        return 1;
    }
    case cmd_set_cursor: {
        const char *path = rd_string(e);
        const int32_t hx = rd_int(e), hy = rd_int(e);
        if (!skip && !e->s->error) {
            SDL_SetCursor(path ? lookup_cursor(ctx, path, hx, hy) : SDL_GetDefaultCursor());
        }
        return 1;
    }
    case cmd_set_system_cursor: {
        const char *name = rd_string(e);
        if (skip || !name) {
            return 1;
        }
        int id = -1;
        if (SDL_strcmp(name, "arrow") == 0) {
            id = SDL_SYSTEM_CURSOR_ARROW;
        } else if (SDL_strcmp(name, "ibeam") == 0) {
            id = SDL_SYSTEM_CURSOR_IBEAM;
        } else if (SDL_strcmp(name, "wait") == 0) {
            id = SDL_SYSTEM_CURSOR_WAIT;
        } else if (SDL_strcmp(name, "hand") == 0) {
            id = SDL_SYSTEM_CURSOR_HAND;
        }
        if (id >= 0) {
            SDL_SetCursor(lookup_system_cursor(ctx, id));
        }
        return 1;
    }
    case cmd_set_mouse_grab: {
        const int32_t mode = rd_int(e);
        if (skip || !window) {
            return 1;
        }
        if (mode == 0 || mode == 1) {
            SDL_SetRelativeMouseMode(SDL_FALSE);
            SDL_SetWindowGrab(window, mode == 1 ? SDL_TRUE : SDL_FALSE);
        } else if (mode == 2) {
            SDL_SetWindowGrab(window, SDL_FALSE);
            SDL_SetRelativeMouseMode(SDL_TRUE);
        } else {
            log_limited(&ctx->mouse_grab_log_counter, "Engine", LOG_ERROR,
                        "App tried to set an invalid mouse grab value of %d, ignoring", mode);
        }
        return 1;
    }
    case cmd_set_window_title: {
        const char *title = rd_string(e);
        if (window && !e->s->error) {
            SDL_SetWindowTitle(window, title ? title : "");
        }
        return 1;
    }
    case cmd_accessibility: {
        const int32_t count = rd_int(e);
        for (int32_t i = 0; i < count && !e->s->error; i++) {
            for (int j = 0; j < 4; j++) {
                rd_string(e);
            }
            for (int j = 0; j < 4; j++) {
                rd_float(e);
            }
        }
        return 1;
    }
    case cmd_move_to_next_display: {
        if (skip || !window) {
            return 1;
        }
        const int count = SDL_GetNumVideoDisplays();
        int display = SDL_GetWindowDisplayIndex(window);
        display = count > 0 ? (display + 1) % count : 0;
        if (display < 0) {
            display = 0;
        }
        SDL_DisplayMode mode;
        int w = 0, h = 0;
        SDL_GetWindowSize(window, &w, &h);
        if (SDL_GetCurrentDisplayMode(display, &mode) == 0 && (w > mode.w || h > mode.h)) {
            SDL_SetWindowSize(window, mode.w, mode.h);
        }
        SDL_SetWindowPosition(window, SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                              SDL_WINDOWPOS_CENTERED_DISPLAY(display));
        resized(e);
        return 1;
    }
    case cmd_maximize_window:
        if (!skip && window) {
            SDL_MaximizeWindow(window);
            resized(e);
        }
        return 1;
    case cmd_toggle_orientation:
    case cmd_toggle_orientation_no_resize:
        if (!skip && window) {
            render_context_toggle_orientation(ctx);
            if (op == cmd_toggle_orientation) {
                SDL_SetWindowSize(window, ctx->base_w, ctx->base_h);
                centre_window(window);
            }
            resized(e);
        }
        return 1;
    case cmd_set_scale_quality: {
        const int32_t q = rd_int(e);
        if (!skip && window) {
            set_int_cvar_forced("game_metadata.scale_quality", q);
            e->resized = 1;
            SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, q == 2 ? "2" : q == 1 ? "1" : "0");
        }
        return 1;
    }
    case cmd_set_hd_max_scale: {
        const int32_t v = rd_int(e);
        if (!skip && window) {
            set_int_cvar_forced("game_metadata.hd_max_scale", v);
            resized(e);
        }
        return 1;
    }
    case cmd_toggle_hd_letterbox:
        if (!skip && window) {
            cvar_set_forced("game_metadata.hd_letterbox",
                            cvar_game_metadata_hd_letterbox ? "false" : "true");
            resized(e);
        }
        return 1;
    case cmd_set_window_size: {
        const int32_t w = rd_int(e), h = rd_int(e);
        if (!skip && window && !e->s->error) {
            SDL_SetWindowSize(window, w < 1 ? 1 : w, h < 1 ? 1 : h);
            centre_window(window);
            resized(e);
        }
        return 1;
    }
    case cmd_set_window_position: {
        const int32_t x = rd_int(e), y = rd_int(e);
        if (!skip && window && !e->s->error) {
            SDL_SetWindowPosition(window, x, y);
            resized(e);
        }
        return 1;
    }
    case cmd_raise_window:
        if (!skip && window) {
            SDL_RaiseWindow(window);
        }
        return 1;
    default:
        return 0;
    }
}

void letterbox_bars(struct exec_state *e)
{
    const struct render_sizes *z = &e->sizes;
    const float L = (float)z->offset_x, T = (float)z->offset_y;
    const float ow = (float)z->output_w, oh = (float)z->output_h;
    // Rounding may leave a gap between the bars and the canvas: widen the
    // bars on that axis by half of it.
    const float gap_x = (ow - (2.0f * L + e->k * (float)z->logical_w)) * 0.5f;
    const float gap_y = (oh - (2.0f * T + e->k * (float)z->logical_h)) * 0.5f;
    const float bl = L + (gap_x > 0 ? gap_x : 0), bt = T + (gap_y > 0 ? gap_y : 0);
    if (bl <= 0 && bt <= 0) {
        return;
    }
    const SDL_FRect bars[4] = {
        {0, 0, bl, oh},
        {0, oh - bt, ow, bt},
        {ow - bl, 0, bl, oh},
        {0, 0, ow, bt},
    };
    SDL_Renderer *renderer = e->ctx->renderer;
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderFillRectsF(renderer, bars, 4);
}

}  // namespace

SDL_BlendMode render_blend_mode(int blendmode_enum)
{
    switch (blendmode_enum) {
    case 0:
        return SDL_BLENDMODE_NONE;
    case 2:
        return SDL_BLENDMODE_ADD;
    case 3:
        return SDL_BLENDMODE_MOD;
    case 4:
        return SDL_BLENDMODE_MUL;
    default:
        return SDL_BLENDMODE_BLEND;
    }
}

float render_texture_factor(int texture_scale, float render_scale)
{
    switch (texture_scale) {
    case 100: return 1.0f;
    case 125: return 1.25f;
    case 150: return 1.5f;
    case 175: return 1.75f;
    case 200: return 2.0f;
    case 250: return 2.5f;
    case 300: return 3.0f;
    case 400: return 4.0f;
    default: return render_scale;
    }
}

int render_write_screenshot(struct render_context *ctx, const char *path, const uint8_t *rgba,
                            int w, int h)
{
    // Screenshots stay inside the game's folders: no absolute paths, no "..".
    if (!path || !*path || path[0] == '/' || path[0] == '\\') {
        return 0;
    }
    for (const char *p = path; *p;) {
        const char *end = p;
        while (*end && *end != '/' && *end != '\\') {
            end++;
        }
        if (end - p == 2 && p[0] == '.' && p[1] == '.') {
            return 0;
        }
        p = *end ? end + 1 : end;
    }
    size_t size = 0;
    uint8_t *png = encode_png(rgba, w, h, 0, 0, &size);
    if (!png) {
        return 0;
    }
    int ok;
    if (ctx->screenshot_directory) {
        ok = storefile_write_override(ctx->screenshot_directory, path, png, size);
    } else {
        ok = storefile(path, png, size);
    }
    SDL_free(png);
    return ok;
}

void execute_scene(struct render_context *ctx, struct threadstream *scene, int catch_up,
                   int repeat)
{
    if (!ctx || !scene) {
        return;
    }
    struct exec_state e;
    SDL_zero(e);
    e.ctx = ctx;
    e.s = scene;
    e.catch_up = catch_up;
    e.repeat = repeat;
    render_context_get_sizes(ctx, &e.sizes);
    e.k = e.sizes.render_scale;
    e.ready = SDL_AtomicGet(&ctx->ready);
    e.dx = e.sizes.offset_x;
    e.dy = e.sizes.offset_y;
    e.draw = 1;

    threadstream_unpack_int(scene);
    threadstream_unpack_int(scene);
    int finished = 1;
    while (!threadstream_eos(scene)) {
        const int32_t op = threadstream_unpack_int(scene);
        if (scene->error) {
            break;
        }
        if (!run_command(&e, op)) {
            finished = 0;
            break;
        }
        if (e.stopped) {
            break;
        }
    }
    if (ctx->current_target) {
        back_to_window(&e);
    }
    if (finished && cvar_game_metadata_hd_letterbox && !(catch_up)) {
        letterbox_bars(&e);
    }
    SDL_SetRenderDrawBlendMode(ctx->renderer, SDL_BLENDMODE_BLEND);
    if (e.resized) {
        SDL_AtomicSet(&ctx->resize_requested, 1);
    }
}

void draw_init(struct render_context *ctx, const char *screenshot_directory)
{
    if (!ctx) {
        return;
    }
    ctx->a11y_event_type = ctx->event_types[0];
    SDL_free(ctx->screenshot_directory);
    ctx->screenshot_directory = nullptr;
    if (screenshot_directory) {
        const size_t n = SDL_strlen(screenshot_directory) + 1;
        ctx->screenshot_directory = (char *)SDL_malloc(n);
        if (ctx->screenshot_directory) {
            SDL_memcpy(ctx->screenshot_directory, screenshot_directory, n);
        }
    }
    SDL_AtomicSet(&ctx->ready, 0);
}

void draw_a11y_begin(void) {}

void draw_a11y_queue(const char *text)
{
    (void)text;
}

void draw_a11y_end(void) {}

int draw_a11y_get_activation(void)
{
    return 0;
}

int draw_a11y_get_escape(void)
{
    return 0;
}

int draw_a11y_get_magic_tap(void)
{
    return 0;
}

int is_a11y_enabled(void)
{
    return 0;
}
