// The records: each packer applies the defaults and the alpha rule, resolves
// the texture path and writes its whole record after one growth check, so a
// record is either complete or absent.
#include "stream/pack_internal.h"

#include <mruby/array.h>
#include <mruby/hash.h>
#include <mruby/string.h>

const int pack_triangle_order[PACK_TRIANGLE_ATTRS] = {
    PACK_X,         PACK_Y,         PACK_X2,        PACK_Y2,        PACK_X3,
    PACK_Y3,        PACK_R,         PACK_G,         PACK_B,         PACK_A,
    PACK_PATH,      PACK_SOURCE_X,  PACK_SOURCE_Y,  PACK_SOURCE_X2, PACK_SOURCE_Y2,
    PACK_SOURCE_X3, PACK_SOURCE_Y3, PACK_BLENDMODE_ENUM, PACK_R2,   PACK_G2,
    PACK_B2,        PACK_A2,        PACK_R3,        PACK_G3,        PACK_B3,
    PACK_A3,
};

namespace {

struct resolved_path {
    const char *bytes;
    size_t n;
    int32_t scale;
};

int tier_index(int32_t tier)
{
    switch (tier) {
    case 100:
        return 0;
    case 125:
        return 1;
    case 150:
        return 2;
    case 175:
        return 3;
    case 200:
        return 4;
    case 250:
        return 5;
    case 300:
        return 6;
    case 400:
        return 7;
    default:
        return -1;
    }
}

// A String (or its atlas variant for the tier), a Symbol's name, or "pixel".
resolved_path resolve_path(mrb_state *mrb, mrb_value path, const pack_atlas_value *atlas,
                           int32_t tier)
{
    if (mrb_string_p(path)) {
        const int level = tier_index(tier);
        if (atlas && atlas->found && level >= 0 && atlas->texture[level]) {
            return {atlas->texture[level], strlen(atlas->texture[level]),
                    atlas->scale_enum[level]};
        }
        size_t n = (size_t)RSTRING_LEN(path);
        return {RSTRING_PTR(path), n < PACK_TEXT_MAX ? n : PACK_TEXT_MAX, 100};
    }
    if (mrb_symbol_p(path)) {
        mrb_int n = 0;
        const char *name = mrb_sym_name_len(mrb, mrb_symbol(path), &n);
        if (name) {
            return {name, (size_t)n, 100};
        }
    }
    return {"pixel", 5, 100};
}

int32_t scale_quality(void)
{
    return g_pack.settings.scale_quality ? *g_pack.settings.scale_quality : 0;
}

// Text of a String value (cut at PACK_TEXT_MAX), or null for anything else.
const char *string_bytes(mrb_value v, size_t *n)
{
    if (!mrb_string_p(v)) {
        *n = 0;
        return nullptr;
    }
    const size_t len = (size_t)RSTRING_LEN(v);
    *n = len < PACK_TEXT_MAX ? len : PACK_TEXT_MAX;
    return RSTRING_PTR(v);
}

// Solids and borders share their layout.
void pack_rect(threadstream *s, int32_t kind, const mrb_value *v, int with_anchors)
{
    int32_t a;
    if (!s || s->error || !pack_alpha(v[PACK_A], &a)) {
        return;
    }
    pack_writer w;
    if (!pack_writer_begin(&w, s, 13 * 4)) {
        return;
    }
    pack_put_int(&w, kind);
    pack_put_float(&w, pack_float(v[PACK_X], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_Y], 0.0f));
    pack_put_int(&w, 0);
    pack_put_float(&w, pack_float(v[PACK_W], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_H], 0.0f));
    pack_put_int(&w, pack_int(v[PACK_R], 0));
    pack_put_int(&w, pack_int(v[PACK_G], 0));
    pack_put_int(&w, pack_int(v[PACK_B], 0));
    pack_put_int(&w, a);
    pack_put_int(&w, pack_int(v[PACK_BLENDMODE_ENUM], 1));
    pack_put_float(&w, with_anchors ? pack_float(v[PACK_ANCHOR_X], 0.0f) : 0.0f);
    pack_put_float(&w, with_anchors ? pack_float(v[PACK_ANCHOR_Y], 0.0f) : 0.0f);
    pack_writer_end(&w, s);
}

}  // namespace

void threadstream_pack_sprite(threadstream *s, const pack_atlas_value *atlas, int32_t tier,
                              mrb_state *mrb, const mrb_value *v)
{
    int32_t a;
    if (!s || s->error || !pack_alpha(v[PACK_A], &a)) {
        return;
    }
    const resolved_path path = resolve_path(mrb, v[PACK_PATH], atlas, tier);
    pack_writer w;
    if (!pack_writer_begin(&w, s, 30 * 4 + pack_buffer_size(path.n))) {
        return;
    }
    pack_put_int(&w, prim_sprite);
    pack_put_buffer(&w, path.bytes, path.n);
    pack_put_float(&w, pack_float(v[PACK_X], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_Y], 0.0f));
    pack_put_int(&w, 0);
    pack_put_float(&w, pack_float(v[PACK_W], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_H], 0.0f));
    pack_put_int(&w, 0);
    pack_put_int(&w, 0);
    pack_put_float(&w, pack_float(v[PACK_ANGLE], 0.0f));
    pack_put_int(&w, pack_int(v[PACK_R], 255));
    pack_put_int(&w, pack_int(v[PACK_G], 255));
    pack_put_int(&w, pack_int(v[PACK_B], 255));
    pack_put_int(&w, a);
    pack_put_float(&w, pack_float(v[PACK_TILE_X], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_TILE_Y], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_TILE_W], -1.0f));
    pack_put_float(&w, pack_float(v[PACK_TILE_H], -1.0f));
    pack_put_float(&w, pack_float(v[PACK_SOURCE_X], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_SOURCE_Y], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_SOURCE_W], -1.0f));
    pack_put_float(&w, pack_float(v[PACK_SOURCE_H], -1.0f));
    pack_put_int(&w, mrb_test(v[PACK_FLIP_HORIZONTALLY]) ? 1 : 0);
    pack_put_int(&w, mrb_test(v[PACK_FLIP_VERTICALLY]) ? 1 : 0);
    pack_put_float(&w, pack_float(v[PACK_ANGLE_ANCHOR_X], 0.5f));
    pack_put_float(&w, pack_float(v[PACK_ANGLE_ANCHOR_Y], 0.5f));
    pack_put_int(&w, pack_int(v[PACK_BLENDMODE_ENUM], 1));
    pack_put_int(&w, path.scale);
    pack_put_float(&w, pack_float(v[PACK_ANCHOR_X], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_ANCHOR_Y], 0.0f));
    pack_put_int(&w, pack_int(v[PACK_SCALE_QUALITY_ENUM], scale_quality()));
    pack_writer_end(&w, s);
}

void threadstream_pack_triangle(threadstream *s, const pack_atlas_value *atlas, int32_t tier,
                                mrb_state *mrb, const mrb_value *v)
{
    int32_t a;
    if (!s || s->error || !pack_alpha(v[PACK_A], &a)) {
        return;
    }
    // Each vertex's colour falls back on the one before it, then on 255.
    int32_t c[3][4];
    static const int first[4] = {PACK_R, PACK_G, PACK_B, PACK_A};
    static const int second[4] = {PACK_R2, PACK_G2, PACK_B2, PACK_A2};
    static const int third[4] = {PACK_R3, PACK_G3, PACK_B3, PACK_A3};
    for (int j = 0; j < 3; j++) {
        c[0][j] = pack_int(v[first[j]], 255);
    }
    c[0][3] = a;
    for (int j = 0; j < 4; j++) {
        c[1][j] = pack_int(v[second[j]], c[0][j]);
        c[2][j] = pack_int(v[third[j]], c[1][j]);
    }
    const resolved_path path = resolve_path(mrb, v[PACK_PATH], atlas, tier);
    pack_writer w;
    if (!pack_writer_begin(&w, s, 30 * 4 + pack_buffer_size(path.n))) {
        return;
    }
    pack_put_int(&w, prim_triangle);
    static const int points[6] = {PACK_X, PACK_Y, PACK_X2, PACK_Y2, PACK_X3, PACK_Y3};
    for (int p = 0; p < 3; p++) {
        pack_put_float(&w, pack_float(v[points[2 * p]], 0.0f));
        pack_put_float(&w, pack_float(v[points[2 * p + 1]], 0.0f));
        pack_put_int(&w, 0);
    }
    for (int j = 0; j < 4; j++) {
        pack_put_int(&w, c[0][j]);
    }
    pack_put_buffer(&w, path.bytes, path.n);
    static const int sources[6] = {PACK_SOURCE_X,  PACK_SOURCE_Y,  PACK_SOURCE_X2,
                                   PACK_SOURCE_Y2, PACK_SOURCE_X3, PACK_SOURCE_Y3};
    for (int i = 0; i < 6; i++) {
        pack_put_float(&w, pack_float(v[sources[i]], 0.0f));
    }
    pack_put_int(&w, pack_int(v[PACK_BLENDMODE_ENUM], 1));
    pack_put_int(&w, path.scale);
    for (int p = 1; p < 3; p++) {
        for (int j = 0; j < 4; j++) {
            pack_put_int(&w, c[p][j]);
        }
    }
    pack_writer_end(&w, s);
}

void thread_stream_pack_label(threadstream *s, mrb_state *mrb, const mrb_value *v)
{
    (void)mrb;
    int32_t a;
    if (!s || s->error || !pack_alpha(v[PACK_A], &a)) {
        return;
    }
    size_t text_n, font_n;
    const char *text = string_bytes(v[PACK_TEXT], &text_n);
    const char *font = string_bytes(v[PACK_FONT], &font_n);
    const size_t size = 17 * 4 + (text ? pack_buffer_size(text_n) : 4) +
                        (font ? pack_buffer_size(font_n) : 4);
    pack_writer w;
    if (!pack_writer_begin(&w, s, size)) {
        return;
    }
    pack_put_int(&w, prim_label);
    pack_put_float(&w, pack_float(v[PACK_X], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_Y], 0.0f));
    pack_put_float(&w, pack_float(v[PACK_Z], 0.0f));
    pack_put_buffer(&w, text, text_n);
    pack_put_buffer(&w, font, font_n);
    pack_put_float(&w, pack_float(v[PACK_SIZE_ENUM], 0.0f));
    pack_put_int(&w, pack_int(v[PACK_ALIGNMENT_ENUM], 0));
    pack_put_int(&w, pack_int(v[PACK_R], 0));
    pack_put_int(&w, pack_int(v[PACK_G], 0));
    pack_put_int(&w, pack_int(v[PACK_B], 0));
    pack_put_int(&w, a);
    pack_put_int(&w, pack_int(v[PACK_VERTICAL_ALIGNMENT_ENUM], 2));
    pack_put_int(&w, pack_int(v[PACK_BLENDMODE_ENUM], 1));
    pack_put_float(&w, pack_float(v[PACK_SIZE_PX], -1.0f));
    // The presence flags let the executor tell an anchor of 0 from none.
    pack_put_int(&w, mrb_nil_p(v[PACK_ANCHOR_X]) ? 0 : 1);
    pack_put_float(&w, pack_float(v[PACK_ANCHOR_X], 0.0f));
    pack_put_int(&w, mrb_nil_p(v[PACK_ANCHOR_Y]) ? 0 : 1);
    pack_put_float(&w, pack_float(v[PACK_ANCHOR_Y], 0.0f));
    pack_writer_end(&w, s);
}

void threadstream_pack_line(threadstream *s, mrb_state *mrb, const mrb_value *v)
{
    (void)mrb;
    if (!s || s->error) {
        return;
    }
    const float x = pack_float(v[PACK_X], 0.0f);
    const float y = pack_float(v[PACK_Y], 0.0f);
    float x2, y2;
    if (mrb_nil_p(v[PACK_Y2])) {
        // Without y2 the end point comes from the size, whatever x2 holds.
        x2 = x + pack_float(v[PACK_W], 0.0f);
        y2 = y + pack_float(v[PACK_H], 0.0f);
    } else {
        x2 = pack_float(v[PACK_X2], 0.0f);
        y2 = pack_float(v[PACK_Y2], 0.0f);
    }
    pack_writer w;
    if (!pack_writer_begin(&w, s, 11 * 4)) {
        return;
    }
    pack_put_int(&w, prim_line);
    pack_put_float(&w, x);
    pack_put_float(&w, y);
    pack_put_int(&w, 0);
    pack_put_float(&w, x2);
    pack_put_float(&w, y2);
    pack_put_int(&w, pack_int(v[PACK_R], 0));
    pack_put_int(&w, pack_int(v[PACK_G], 0));
    pack_put_int(&w, pack_int(v[PACK_B], 0));
    // Lines have no alpha rule: a line of alpha 0 is still packed.
    pack_put_int(&w, pack_int(v[PACK_A], 255));
    pack_put_int(&w, pack_int(v[PACK_BLENDMODE_ENUM], 1));
    pack_writer_end(&w, s);
}

void threadstream_pack_rect_values(threadstream *s, int32_t kind, const mrb_value *v)
{
    pack_rect(s, kind, v, 1);
}

void threadstream_pack_border(threadstream *s, mrb_state *mrb, const mrb_value *v)
{
    (void)mrb;
    pack_rect(s, prim_border, v, 0);
}

void threadstream_pack_solid(threadstream *s, mrb_state *mrb, const mrb_value *v)
{
    (void)mrb;
    pack_rect(s, prim_solid, v, 1);
}

void pack_solid_rect(threadstream *s, float x, float y, float w, float h, int32_t r, int32_t g,
                     int32_t b, int32_t a)
{
    if (!s || s->error || a == 0) {
        return;
    }
    pack_writer wr;
    if (!pack_writer_begin(&wr, s, 13 * 4)) {
        return;
    }
    pack_put_int(&wr, prim_solid);
    pack_put_float(&wr, x);
    pack_put_float(&wr, y);
    pack_put_int(&wr, 0);
    pack_put_float(&wr, w);
    pack_put_float(&wr, h);
    pack_put_int(&wr, r);
    pack_put_int(&wr, g);
    pack_put_int(&wr, b);
    pack_put_int(&wr, a);
    pack_put_int(&wr, 1);
    pack_put_float(&wr, 0.0f);
    pack_put_float(&wr, 0.0f);
    pack_writer_end(&wr, s);
}

void threadstream_pack_a11ys(threadstream *s, mrb_state *mrb, mrb_value list)
{
    if (!s || s->error) {
        return;
    }
    const mrb_int n = mrb_array_p(list) ? RARRAY_LEN(list) : 0;
    threadstream_pack_int(s, cmd_accessibility);
    threadstream_pack_int(s, (int32_t)n);
    const mrb_sym keys[8] = {g_pack.sym.a11y_id,
                             g_pack.sym.a11y_text,
                             g_pack.sym.a11y_trait,
                             g_pack.sym.a11y_notification_target,
                             g_pack.sym.attr[PACK_X],
                             g_pack.sym.attr[PACK_Y],
                             g_pack.sym.attr[PACK_W],
                             g_pack.sym.attr[PACK_H]};
    // Every element gets a record, so the count always matches what follows.
    for (mrb_int i = 0; i < n && i < RARRAY_LEN(list); i++) {
        const mrb_value e = RARRAY_PTR(list)[i];
        const int is_hash = mrb_hash_p(e);
        mrb_value v[8];
        for (int k = 0; k < 8; k++) {
            // fetch, not get: a default proc would run script code.
            v[k] = is_hash ? mrb_hash_fetch(mrb, e, mrb_symbol_value(keys[k]), mrb_nil_value())
                           : mrb_nil_value();
        }
        for (int k = 0; k < 4; k++) {
            size_t len;
            const char *bytes = string_bytes(v[k], &len);
            threadstream_pack_buffer(s, bytes, len);
        }
        for (int k = 4; k < 8; k++) {
            threadstream_pack_float(s, pack_float(v[k], 0.0f));
        }
    }
}
