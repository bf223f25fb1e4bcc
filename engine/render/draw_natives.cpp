// FFI::Draw natives: each method coerces its arguments (never validating them
// beyond what a record needs) and appends one record or command to the scene
// being built. No method holds an object with a destructor across mrb_* calls.
#include "render/draw_natives.h"
#include "stream/pack.h"

#include "render/render.h"
#include "stream/stream.h"
#include "stream/stream_ruby.h"

#include <mruby.h>
#include <mruby/array.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <string.h>

namespace {

struct draw_state {
    struct render_context *ctx;
    struct threadstream **scene_slot;
};

struct draw_state g_draw;

struct threadstream *scene(void)
{
    struct threadstream *s = g_draw.scene_slot ? *g_draw.scene_slot : nullptr;
    return s && !s->error ? s : nullptr;
}

// Argument i, or nil past the end.
mrb_value arg(const mrb_value *argv, mrb_int argc, mrb_int i)
{
    return i < argc ? argv[i] : mrb_nil_value();
}

void args(mrb_state *mrb, const mrb_value **argv, mrb_int *argc)
{
    mrb_get_args(mrb, "*", argv, argc);
}

int32_t to_int(mrb_value v, int32_t fallback = 0)
{
    return threadstream_ruby_to_int(v, fallback);
}

float to_float(mrb_value v, float fallback = 0.0f)
{
    return threadstream_ruby_to_float(v, fallback);
}

int is_number(mrb_value v)
{
    return mrb_integer_p(v) || mrb_float_p(v);
}

// The alpha rule: nil packs 255, a number that is 0 as an int drops the call,
// anything that is not a number drops it too. Returns 1 and the alpha to pack.
int alpha_of(mrb_value a, int32_t *out)
{
    if (mrb_nil_p(a)) {
        *out = 255;
        return 1;
    }
    if (!is_number(a)) {
        return 0;
    }
    *out = to_int(a);
    return *out != 0;
}

void pack_string_or_absent(struct threadstream *s, mrb_value v)
{
    threadstream_pack_ruby_string(s, v);  // non-Strings pack the absent marker
}

// A text argument declared as String raises the interpreter's type error.
void require_string(mrb_state *mrb, mrb_value v)
{
    if (!mrb_string_p(v)) {
        mrb_ensure_string_type(mrb, v);
    }
}

// ---- Drawing -------------------------------------------------------------------

// Solids and borders: x, y, w, h, r, g, b, a [, blendmode [, anchor_x, anchor_y]].
mrb_value pack_rect(mrb_state *mrb, int kind, int with_blend, int with_anchors)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    struct threadstream *s = scene();
    int32_t a = 0;
    if (!s || !alpha_of(arg(argv, argc, 7), &a)) {
        return mrb_nil_value();
    }
    threadstream_pack_int(s, kind);
    threadstream_pack_float(s, to_float(arg(argv, argc, 0)));
    threadstream_pack_float(s, to_float(arg(argv, argc, 1)));
    threadstream_pack_int(s, 0);
    threadstream_pack_float(s, to_float(arg(argv, argc, 2)));
    threadstream_pack_float(s, to_float(arg(argv, argc, 3)));
    for (int i = 4; i < 7; i++) {
        threadstream_pack_int(s, to_int(arg(argv, argc, i)));
    }
    threadstream_pack_int(s, a);
    threadstream_pack_int(s, with_blend ? to_int(arg(argv, argc, 8), 1) : 1);
    threadstream_pack_float(s, with_anchors ? to_float(arg(argv, argc, 9)) : 0.0f);
    threadstream_pack_float(s, with_anchors ? to_float(arg(argv, argc, 10)) : 0.0f);
    return mrb_nil_value();
}

mrb_value draw_m_draw_solid(mrb_state *mrb, mrb_value self)
{
    return pack_rect(mrb, prim_solid, 0, 0);
}

mrb_value draw_m_draw_solid_2(mrb_state *mrb, mrb_value self)
{
    return pack_rect(mrb, prim_solid, 1, 0);
}

mrb_value draw_m_draw_solid_3(mrb_state *mrb, mrb_value self)
{
    return pack_rect(mrb, prim_solid, 1, 1);
}

mrb_value draw_m_draw_border(mrb_state *mrb, mrb_value self)
{
    return pack_rect(mrb, prim_border, 0, 0);
}

mrb_value draw_m_draw_border_2(mrb_state *mrb, mrb_value self)
{
    return pack_rect(mrb, prim_border, 1, 0);
}

mrb_value draw_m_draw_border_3(mrb_state *mrb, mrb_value self)
{
    return pack_rect(mrb, prim_border, 1, 1);
}

// x, y, x2, y2, r, g, b, a [, blendmode]; a nil y2 ends the line at (x, y).
mrb_value pack_line(mrb_state *mrb, int with_blend)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    struct threadstream *s = scene();
    int32_t a = 0;
    if (!s || !alpha_of(arg(argv, argc, 7), &a)) {
        return mrb_nil_value();
    }
    const float x = to_float(arg(argv, argc, 0)), y = to_float(arg(argv, argc, 1));
    const mrb_value y2 = arg(argv, argc, 3);
    threadstream_pack_int(s, prim_line);
    threadstream_pack_float(s, x);
    threadstream_pack_float(s, y);
    threadstream_pack_int(s, 0);
    if (mrb_nil_p(y2)) {
        threadstream_pack_float(s, x);
        threadstream_pack_float(s, y);
    } else {
        threadstream_pack_float(s, to_float(arg(argv, argc, 2)));
        threadstream_pack_float(s, to_float(y2));
    }
    for (int i = 4; i < 7; i++) {
        threadstream_pack_int(s, to_int(arg(argv, argc, i)));
    }
    threadstream_pack_int(s, a);
    threadstream_pack_int(s, with_blend ? to_int(arg(argv, argc, 8), 1) : 1);
    return mrb_nil_value();
}

mrb_value draw_m_draw_line(mrb_state *mrb, mrb_value self)
{
    return pack_line(mrb, 0);
}

mrb_value draw_m_draw_line_2(mrb_state *mrb, mrb_value self)
{
    return pack_line(mrb, 1);
}

// x, y, text, size_enum, alignment_enum, r, g, b, a, font
// [, vertical_alignment [, blendmode [, size_px [, anchor_x, anchor_y]]]].
mrb_value pack_label(mrb_state *mrb, int level)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    const mrb_value text = arg(argv, argc, 2);
    require_string(mrb, text);
    struct threadstream *s = scene();
    int32_t a = 0;
    if (!s || !alpha_of(arg(argv, argc, 8), &a)) {
        return mrb_nil_value();
    }
    threadstream_pack_int(s, prim_label);
    threadstream_pack_float(s, to_float(arg(argv, argc, 0)));
    threadstream_pack_float(s, to_float(arg(argv, argc, 1)));
    threadstream_pack_float(s, 0.0f);
    threadstream_pack_ruby_string(s, text);
    pack_string_or_absent(s, arg(argv, argc, 9));
    threadstream_pack_float(s, to_float(arg(argv, argc, 3)));
    threadstream_pack_int(s, to_int(arg(argv, argc, 4)));
    for (int i = 5; i < 8; i++) {
        threadstream_pack_int(s, to_int(arg(argv, argc, i)));
    }
    threadstream_pack_int(s, a);
    threadstream_pack_int(s, level >= 2 ? to_int(arg(argv, argc, 10), 2) : 2);
    threadstream_pack_int(s, level >= 3 ? to_int(arg(argv, argc, 11), 1) : 1);
    threadstream_pack_float(s, level >= 4 ? to_float(arg(argv, argc, 12), -1.0f) : -1.0f);
    for (int i = 13; i < 15; i++) {
        const mrb_value anchor = level >= 5 ? arg(argv, argc, i) : mrb_nil_value();
        threadstream_pack_int(s, mrb_nil_p(anchor) ? 0 : 1);
        threadstream_pack_float(s, to_float(anchor));
    }
    return mrb_nil_value();
}

mrb_value draw_m_draw_label(mrb_state *mrb, mrb_value self)
{
    return pack_label(mrb, 1);
}

mrb_value draw_m_draw_label_2(mrb_state *mrb, mrb_value self)
{
    return pack_label(mrb, 2);
}

mrb_value draw_m_draw_label_3(mrb_state *mrb, mrb_value self)
{
    return pack_label(mrb, 3);
}

mrb_value draw_m_draw_label_4(mrb_state *mrb, mrb_value self)
{
    return pack_label(mrb, 4);
}

mrb_value draw_m_draw_label_5(mrb_state *mrb, mrb_value self)
{
    return pack_label(mrb, 5);
}

// x, y, x2, y2, x3, y3, r, g, b, a, path, source x/y of the three vertices,
// blendmode [, r2, g2, b2, a2, r3, g3, b3, a3].
mrb_value pack_triangle(mrb_state *mrb, int with_colours)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    struct threadstream *s = scene();
    int32_t a = 0;
    if (!s || !alpha_of(arg(argv, argc, 9), &a)) {
        return mrb_nil_value();
    }
    const mrb_value path = arg(argv, argc, 10);
    const int32_t colour_default = mrb_string_p(path) ? 255 : 0;
    int32_t c[3][4];
    for (int j = 0; j < 3; j++) {
        c[0][j] = to_int(arg(argv, argc, 6 + j), colour_default);
    }
    c[0][3] = a;
    // Each later vertex inherits what the one before it had.
    for (int v = 1; v < 3; v++) {
        for (int j = 0; j < 4; j++) {
            const mrb_value given =
                with_colours ? arg(argv, argc, 18 + (v - 1) * 4 + j) : mrb_nil_value();
            c[v][j] = to_int(given, c[v - 1][j]);
        }
    }
    threadstream_pack_int(s, prim_triangle);
    for (int v = 0; v < 3; v++) {
        threadstream_pack_float(s, to_float(arg(argv, argc, 2 * v)));
        threadstream_pack_float(s, to_float(arg(argv, argc, 2 * v + 1)));
        threadstream_pack_int(s, 0);
    }
    for (int j = 0; j < 4; j++) {
        threadstream_pack_int(s, c[0][j]);
    }
    threadstream_pack_ruby_string_or_default(s, path, "pixel");
    for (int i = 11; i < 17; i++) {
        threadstream_pack_float(s, to_float(arg(argv, argc, i)));
    }
    threadstream_pack_int(s, to_int(arg(argv, argc, 17), 1));
    threadstream_pack_int(s, 100);
    for (int v = 1; v < 3; v++) {
        for (int j = 0; j < 4; j++) {
            threadstream_pack_int(s, c[v][j]);
        }
    }
    return mrb_nil_value();
}

mrb_value draw_m_draw_triangle(mrb_state *mrb, mrb_value self)
{
    return pack_triangle(mrb, 0);
}

mrb_value draw_m_draw_triangle_2(mrb_state *mrb, mrb_value self)
{
    return pack_triangle(mrb, 1);
}

// path, x, y, w, h, angle (the colour-key tolerance), a, r, g, b, and twelve
// values that are accepted and ignored.
mrb_value draw_m_draw_screenshot(mrb_state *mrb, mrb_value self)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    const mrb_value path = arg(argv, argc, 0);
    require_string(mrb, path);
    struct threadstream *s = scene();
    if (!s) {
        return mrb_nil_value();
    }
    threadstream_pack_int(s, cmd_screenshot);
    threadstream_pack_ruby_string(s, path);
    for (int i = 1; i < 5; i++) {
        threadstream_pack_float(s, to_float(arg(argv, argc, i)));
    }
    threadstream_pack_int(s, to_int(arg(argv, argc, 5)));
    for (int i = 7; i < 10; i++) {
        threadstream_pack_int(s, to_int(arg(argv, argc, i)));
    }
    threadstream_pack_int(s, to_int(arg(argv, argc, 6)));
    return mrb_nil_value();
}

mrb_value hash_value(mrb_state *mrb, mrb_value hash, const char *key)
{
    return mrb_hash_get(mrb, hash, mrb_symbol_value(mrb_intern_cstr(mrb, key)));
}

mrb_value draw_m_draw_a11ys(mrb_state *mrb, mrb_value self)
{
    mrb_value list;
    mrb_get_args(mrb, "A", &list);
    struct threadstream *s = scene();
    if (!s) {
        return mrb_nil_value();
    }
    static const char *const texts[] = {"a11y_id", "a11y_text", "a11y_trait",
                                        "a11y_notification_target"};
    static const char *const numbers[] = {"x", "y", "w", "h"};
    const mrb_int n = RARRAY_LEN(list);
    threadstream_pack_int(s, cmd_accessibility);
    threadstream_pack_int(s, (int32_t)n);
    for (mrb_int i = 0; i < n; i++) {
        const int ai = mrb_gc_arena_save(mrb);
        const mrb_value e = mrb_ary_entry(list, i);
        const int is_hash = mrb_hash_p(e);
        for (const char *k : texts) {
            threadstream_pack_ruby_string(s, is_hash ? hash_value(mrb, e, k) : mrb_nil_value());
        }
        for (const char *k : numbers) {
            threadstream_pack_float(s, is_hash ? to_float(hash_value(mrb, e, k)) : 0.0f);
        }
        mrb_gc_arena_restore(mrb, ai);
    }
    return mrb_nil_value();
}

// ---- Window and texture commands ---------------------------------------------

mrb_value draw_m_set_grid(mrb_state *mrb, mrb_value self)
{
    mrb_float ox = 0, oy = 0;
    mrb_int unused = 0;
    mrb_get_args(mrb, "ffi", &ox, &oy, &unused);
    struct threadstream *s = scene();
    if (!s) {
        return mrb_nil_value();
    }
    threadstream_pack_int(s, cmd_set_grid);
    threadstream_pack_float(s, (float)ox);
    threadstream_pack_float(s, (float)oy);
    threadstream_pack_int(s, (int32_t)unused);
    struct render_context *ctx = g_draw.ctx;
    if (ctx) {
        struct render_sizes sizes;
        render_context_get_sizes(ctx, &sizes);
        const double standard =
            SDL_AtomicGet(&ctx->centered_grid) ? (sizes.landscape ? 640.0 : 360.0) : 0.0;
        if (SDL_fabs((double)ox - standard) > 0.01) {
            SDL_AtomicSet(&ctx->grid_moved_at_tick, SDL_AtomicGet(&ctx->global_tick_count));
        }
    }
    return mrb_nil_value();
}

// Commands whose payload is one optional string.
mrb_value pack_string_command(mrb_state *mrb, int op)
{
    mrb_value v = mrb_nil_value();
    mrb_get_args(mrb, "|o", &v);
    struct threadstream *s = scene();
    if (s) {
        threadstream_pack_int(s, op);
        pack_string_or_absent(s, v);
    }
    return mrb_nil_value();
}

mrb_value draw_m_unload_sprite(mrb_state *mrb, mrb_value self)
{
    return pack_string_command(mrb, cmd_unload_texture);
}

mrb_value draw_m_set_system_cursor(mrb_state *mrb, mrb_value self)
{
    return pack_string_command(mrb, cmd_set_system_cursor);
}

mrb_value draw_m_set_window_title(mrb_state *mrb, mrb_value self)
{
    return pack_string_command(mrb, cmd_set_window_title);
}

mrb_value draw_m_openurl(mrb_state *mrb, mrb_value self)
{
    return pack_string_command(mrb, cmd_open_url);
}

mrb_value draw_m_set_cursor(mrb_state *mrb, mrb_value self)
{
    mrb_value path = mrb_nil_value();
    mrb_int hx = 0, hy = 0;
    mrb_get_args(mrb, "o|ii", &path, &hx, &hy);
    struct threadstream *s = scene();
    if (s) {
        threadstream_pack_int(s, cmd_set_cursor);
        pack_string_or_absent(s, path);
        threadstream_pack_int(s, (int32_t)hx);
        threadstream_pack_int(s, (int32_t)hy);
    }
    return mrb_nil_value();
}

// Commands with one int (or boolean) payload.
mrb_value pack_int_command(mrb_state *mrb, int op, int boolean)
{
    mrb_value v = mrb_nil_value();
    mrb_get_args(mrb, "|o", &v);
    struct threadstream *s = scene();
    if (s) {
        threadstream_pack_int(s, op);
        threadstream_pack_int(s, boolean ? (mrb_test(v) ? 1 : 0) : to_int(v));
    }
    return mrb_nil_value();
}

mrb_value draw_m_toggle_cursor(mrb_state *mrb, mrb_value self)
{
    return pack_int_command(mrb, cmd_show_cursor, 1);
}

mrb_value draw_m_toggle_fullscreen(mrb_state *mrb, mrb_value self)
{
    return pack_int_command(mrb, cmd_set_fullscreen, 1);
}

mrb_value draw_m_set_mouse_grab(mrb_state *mrb, mrb_value self)
{
    return pack_int_command(mrb, cmd_set_mouse_grab, 0);
}

mrb_value draw_m_set_hd_max_scale(mrb_state *mrb, mrb_value self)
{
    return pack_int_command(mrb, cmd_set_hd_max_scale, 0);
}

mrb_value draw_m_set_scale_quality(mrb_state *mrb, mrb_value self)
{
    mrb_value v = mrb_nil_value();
    mrb_get_args(mrb, "|o", &v);
    int32_t q = 0;
    if (is_number(v)) {
        q = to_int(v);
        if (q < 0 || q > 2) {
            mrb_raise(mrb, E_ARGUMENT_ERROR, "Invalid scale quality. Must be 0, 1, or 2.");
        }
    }
    struct threadstream *s = scene();
    if (s) {
        threadstream_pack_int(s, cmd_set_scale_quality);
        threadstream_pack_int(s, q);
    }
    return mrb_nil_value();
}

// Commands without a payload.
mrb_value pack_bare_command(mrb_state *mrb, int op)
{
    struct threadstream *s = scene();
    if (s) {
        threadstream_pack_int(s, op);
    }
    return mrb_nil_value();
}

mrb_value draw_m_raise_window(mrb_state *mrb, mrb_value self)
{
    return pack_bare_command(mrb, cmd_raise_window);
}

mrb_value draw_m_move_window_to_next_display(mrb_state *mrb, mrb_value self)
{
    return pack_bare_command(mrb, cmd_move_to_next_display);
}

mrb_value draw_m_maximize_window(mrb_state *mrb, mrb_value self)
{
    return pack_bare_command(mrb, cmd_maximize_window);
}

mrb_value draw_m_toggle_orientation(mrb_state *mrb, mrb_value self)
{
    return pack_bare_command(mrb, cmd_toggle_orientation);
}

mrb_value draw_m_toggle_orientation_no_resize(mrb_state *mrb, mrb_value self)
{
    return pack_bare_command(mrb, cmd_toggle_orientation_no_resize);
}

mrb_value draw_m_toggle_hd_letterbox(mrb_state *mrb, mrb_value self)
{
    return pack_bare_command(mrb, cmd_toggle_hd_letterbox);
}

mrb_value draw_m_set_window_scale(mrb_state *mrb, mrb_value self)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    struct threadstream *s = scene();
    if (!s) {
        return mrb_nil_value();
    }
    const mrb_value scale = arg(argv, argc, 0);
    int32_t aw = to_int(arg(argv, argc, 1)), ah = to_int(arg(argv, argc, 2));
    threadstream_pack_int(s, cmd_set_window_scale);
    threadstream_pack_float(s, is_number(scale) ? to_float(scale) : 1.0f);
    threadstream_pack_int(s, aw ? aw : 16);
    threadstream_pack_int(s, ah ? ah : 9);
    return mrb_nil_value();
}

mrb_value draw_m_set_window_size(mrb_state *mrb, mrb_value self)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    struct threadstream *s = scene();
    if (s) {
        const int32_t h = to_int(arg(argv, argc, 1));
        threadstream_pack_int(s, cmd_set_window_size);
        threadstream_pack_int(s, to_int(arg(argv, argc, 0)));
        threadstream_pack_int(s, h ? h : 720);
    }
    return mrb_nil_value();
}

mrb_value draw_m_set_window_position(mrb_state *mrb, mrb_value self)
{
    const mrb_value *argv;
    mrb_int argc;
    args(mrb, &argv, &argc);
    struct threadstream *s = scene();
    if (s) {
        threadstream_pack_int(s, cmd_set_window_position);
        threadstream_pack_int(s, to_int(arg(argv, argc, 0)));
        threadstream_pack_int(s, to_int(arg(argv, argc, 1)));
    }
    return mrb_nil_value();
}

// name, w, h, pixels: one 0xAABBGGRR Integer per pixel, rows top first.
mrb_value draw_m_upload_pixel_array(mrb_state *mrb, mrb_value self)
{
    mrb_value name, pixels;
    mrb_int w = 0, h = 0;
    mrb_get_args(mrb, "oiiA", &name, &w, &h, &pixels);
    struct threadstream *s = scene();
    if (!s || w <= 0 || h <= 0) {
        return mrb_nil_value();
    }
    // Sizes from scripts are checked in 64 bits against the largest texture
    // before anything is allocated.
    const int32_t max_w = g_draw.ctx ? g_draw.ctx->max_texture_w : 2048;
    const int32_t max_h = g_draw.ctx ? g_draw.ctx->max_texture_h : 2048;
    if (w > max_w || h > max_h) {
        return mrb_nil_value();
    }
    const uint64_t count = (uint64_t)w * (uint64_t)h;
    uint32_t *buffer = (uint32_t *)SDL_calloc((size_t)count, 4);
    if (!buffer) {
        return mrb_nil_value();
    }
    const mrb_int n = RARRAY_LEN(pixels);
    const uint64_t used = (uint64_t)n < count ? (uint64_t)n : count;
    for (uint64_t i = 0; i < used; i++) {
        const uint32_t p = (uint32_t)to_int(mrb_ary_entry(pixels, (mrb_int)i));
        // Little-endian bytes: red first.
        uint8_t *b = (uint8_t *)&buffer[i];
        b[0] = (uint8_t)p;
        b[1] = (uint8_t)(p >> 8);
        b[2] = (uint8_t)(p >> 16);
        b[3] = (uint8_t)(p >> 24);
    }
    threadstream_pack_int(s, cmd_upload_pixels);
    pack_string_or_absent(s, name);
    threadstream_pack_int(s, (int32_t)w);
    threadstream_pack_int(s, (int32_t)h);
    threadstream_pack_buffer(s, buffer, (size_t)count * 4);
    SDL_free(buffer);
    return mrb_nil_value();
}

mrb_value push_event(uint32_t type)
{
    SDL_Event ev;
    SDL_zero(ev);
    ev.type = type;
    SDL_PushEvent(&ev);
    return mrb_nil_value();
}

mrb_value draw_m_simulate_render_targets_reset(mrb_state *mrb, mrb_value self)
{
    return push_event(SDL_RENDER_TARGETS_RESET);
}

mrb_value draw_m_simulate_render_device_reset(mrb_state *mrb, mrb_value self)
{
    return push_event(SDL_RENDER_DEVICE_RESET);
}

// Immediate sprites: each form takes the first n of the sprite's 26
// attributes in order (x, y, w, h, path; angle, a; r, g, b, the tile
// rectangle, both flips, the angle anchor, the source rectangle; blendmode;
// the anchor; scale quality); the attributes a form does not take keep their
// defaults.
mrb_value draw_sprite_values(mrb_state *mrb, int n)
{
    const mrb_value *argv = nullptr;
    mrb_int argc = 0;
    mrb_get_args(mrb, "*", &argv, &argc);
    threadstream_pack_sprite_values(mrb, argv, (int)(argc < n ? argc : n));
    return mrb_nil_value();
}

mrb_value draw_m_draw_sprite(mrb_state *mrb, mrb_value)
{
    return draw_sprite_values(mrb, 5);
}

mrb_value draw_m_draw_sprite_2(mrb_state *mrb, mrb_value)
{
    return draw_sprite_values(mrb, 7);
}

mrb_value draw_m_draw_sprite_3(mrb_state *mrb, mrb_value)
{
    return draw_sprite_values(mrb, 22);
}

mrb_value draw_m_draw_sprite_4(mrb_state *mrb, mrb_value)
{
    return draw_sprite_values(mrb, 23);
}

mrb_value draw_m_draw_sprite_5(mrb_state *mrb, mrb_value)
{
    return draw_sprite_values(mrb, 25);
}

mrb_value draw_m_draw_sprite_6(mrb_state *mrb, mrb_value)
{
    return draw_sprite_values(mrb, 26);
}

struct method {
    const char *name;
    mrb_func_t func;
    mrb_aspec aspec;
};

const method g_methods[] = {
    {"draw_solid", draw_m_draw_solid, MRB_ARGS_ANY()},
    {"draw_solid_2", draw_m_draw_solid_2, MRB_ARGS_ANY()},
    {"draw_solid_3", draw_m_draw_solid_3, MRB_ARGS_ANY()},
    {"draw_border", draw_m_draw_border, MRB_ARGS_ANY()},
    {"draw_border_2", draw_m_draw_border_2, MRB_ARGS_ANY()},
    {"draw_border_3", draw_m_draw_border_3, MRB_ARGS_ANY()},
    {"draw_line", draw_m_draw_line, MRB_ARGS_ANY()},
    {"draw_line_2", draw_m_draw_line_2, MRB_ARGS_ANY()},
    {"draw_sprite", draw_m_draw_sprite, MRB_ARGS_ANY()},
    {"draw_sprite_2", draw_m_draw_sprite_2, MRB_ARGS_ANY()},
    {"draw_sprite_3", draw_m_draw_sprite_3, MRB_ARGS_ANY()},
    {"draw_sprite_4", draw_m_draw_sprite_4, MRB_ARGS_ANY()},
    {"draw_sprite_5", draw_m_draw_sprite_5, MRB_ARGS_ANY()},
    {"draw_sprite_6", draw_m_draw_sprite_6, MRB_ARGS_ANY()},
    {"draw_label", draw_m_draw_label, MRB_ARGS_ANY()},
    {"draw_label_2", draw_m_draw_label_2, MRB_ARGS_ANY()},
    {"draw_label_3", draw_m_draw_label_3, MRB_ARGS_ANY()},
    {"draw_label_4", draw_m_draw_label_4, MRB_ARGS_ANY()},
    {"draw_label_5", draw_m_draw_label_5, MRB_ARGS_ANY()},
    {"draw_triangle", draw_m_draw_triangle, MRB_ARGS_ANY()},
    {"draw_triangle_2", draw_m_draw_triangle_2, MRB_ARGS_ANY()},
    {"draw_screenshot", draw_m_draw_screenshot, MRB_ARGS_ANY()},
    {"draw_a11ys", draw_m_draw_a11ys, MRB_ARGS_REQ(1)},
    {"set_grid", draw_m_set_grid, MRB_ARGS_REQ(3)},
    {"unload_sprite", draw_m_unload_sprite, MRB_ARGS_OPT(1)},
    {"set_cursor", draw_m_set_cursor, MRB_ARGS_ARG(1, 2)},
    {"set_system_cursor", draw_m_set_system_cursor, MRB_ARGS_OPT(1)},
    {"toggle_cursor", draw_m_toggle_cursor, MRB_ARGS_OPT(1)},
    {"raise_window", draw_m_raise_window, MRB_ARGS_NONE()},
    {"set_mouse_grab", draw_m_set_mouse_grab, MRB_ARGS_OPT(1)},
    {"toggle_fullscreen", draw_m_toggle_fullscreen, MRB_ARGS_OPT(1)},
    {"set_window_scale", draw_m_set_window_scale, MRB_ARGS_ANY()},
    {"set_window_size", draw_m_set_window_size, MRB_ARGS_ANY()},
    {"set_window_position", draw_m_set_window_position, MRB_ARGS_ANY()},
    {"set_window_title", draw_m_set_window_title, MRB_ARGS_OPT(1)},
    {"move_window_to_next_display", draw_m_move_window_to_next_display, MRB_ARGS_NONE()},
    {"maximize_window", draw_m_maximize_window, MRB_ARGS_NONE()},
    {"toggle_orientation", draw_m_toggle_orientation, MRB_ARGS_NONE()},
    {"toggle_orientation_no_resize", draw_m_toggle_orientation_no_resize, MRB_ARGS_NONE()},
    {"set_scale_quality", draw_m_set_scale_quality, MRB_ARGS_OPT(1)},
    {"set_hd_max_scale", draw_m_set_hd_max_scale, MRB_ARGS_OPT(1)},
    {"toggle_hd_letterbox", draw_m_toggle_hd_letterbox, MRB_ARGS_NONE()},
    {"upload_pixel_array", draw_m_upload_pixel_array, MRB_ARGS_REQ(4)},
    {"openurl", draw_m_openurl, MRB_ARGS_OPT(1)},
    {"simulate_render_targets_reset", draw_m_simulate_render_targets_reset, MRB_ARGS_NONE()},
    {"simulate_render_device_reset", draw_m_simulate_render_device_reset, MRB_ARGS_NONE()},
};

}  // namespace

int draw_natives_register(struct mrb_state *mrb, struct RClass *ffi_draw,
                          struct render_context *ctx, struct threadstream **scene_slot)
{
    g_draw.ctx = ctx;
    g_draw.scene_slot = scene_slot;
    render_set_scene_slot(ctx, scene_slot);
    for (const method &m : g_methods) {
        mrb_define_method(mrb, ffi_draw, m.name, m.func, m.aspec);
    }
    return 1;
}
