// Shared by the packers only: the per-interpreter symbols and class handles,
// inline coercion (the same rules as stream_ruby.h, kept inline because every
// sprite coerces thirty values), and the in-place record writer.
// Thread: the thread that owns the interpreter.
#pragma once

#include "stream/pack.h"
#include "stream/stream.h"

#include <mruby.h>
#include <math.h>
#include <string.h>

struct RClass;

// Collections of a pass, in the order the walk visits them.
enum pack_collection {
    PACK_SOLIDS,
    PACK_STATIC_SOLIDS,
    PACK_SPRITES,
    PACK_STATIC_SPRITES,
    PACK_PRIMITIVES,
    PACK_STATIC_PRIMITIVES,
    PACK_LABELS,
    PACK_STATIC_LABELS,
    PACK_LINES,
    PACK_STATIC_LINES,
    PACK_BORDERS,
    PACK_STATIC_BORDERS,
    PACK_DEBUG,
    PACK_STATIC_DEBUG,
    PACK_RESERVED,
    PACK_STATIC_RESERVED,
    PACK_COLLECTION_COUNT
};

struct pack_symbols {
    mrb_sym attr[PACK_ATTR_COUNT];  // :x, :y ...
    mrb_sym ivar[PACK_ATTR_COUNT];  // :@x, :@y ...
    mrb_sym collection[PACK_COLLECTION_COUNT];
    mrb_sym draw_override, primitive_marker, as_hash, ivar_hash, to_s, respond_to_p;
    mrb_sym draw_sprite, draw_solid, draw_label, draw_line, draw_border, draw_primitive;
    mrb_sym sprite, label, line;  // primitive markers
    mrb_sym unhandled_exception, args, top_level;
    mrb_sym a11y_id, a11y_text, a11y_trait, a11y_notification_target;
};

#define PACK_SLOT_TABLE 256  // a power of two, over four times PACK_ATTR_COUNT

static inline uint32_t pack_slot_hash(mrb_sym sym)
{
    return ((uint32_t)sym * 2654435761u) >> 24;  // top 8 bits: 0 .. 255
}

struct pack_state {
    mrb_state *mrb;  // the interpreter pack_init last ran for
    struct pack_symbols sym;
    // Attribute slot by symbol id: open addressing over PACK_SLOT_TABLE
    // entries (a key of 0 is empty). Symbol ids are not dense (short names
    // are packed into the id itself), so a table indexed by id would span
    // hundreds of megabytes.
    mrb_sym slot_key[PACK_SLOT_TABLE];
    uint8_t slot_value[PACK_SLOT_TABLE];
    struct RClass *attr_sprite;
    struct RClass *open_entity;
    struct RClass *strict_entity;
    struct pack_settings settings;
    int32_t tier;
    struct pack_walk walk;  // receivers of the walk under way (nil outside it)
    uint32_t exceptions;  // handled since pack_init
    uint32_t frame_exceptions;  // handled since the last pack_begin_frame
};

extern struct pack_state g_pack;

// The scene being built, or null (none, or in error).
static inline struct threadstream *pack_scene(void)
{
    struct threadstream *s = g_pack.settings.scene_slot ? *g_pack.settings.scene_slot : nullptr;
    return s && !s->error ? s : nullptr;
}

// Slot of a Symbol key, or -1.
static inline int pack_slot(mrb_sym sym)
{
    for (uint32_t i = pack_slot_hash(sym);; i = (i + 1) & (PACK_SLOT_TABLE - 1)) {
        const mrb_sym key = g_pack.slot_key[i];
        if (key == sym) {
            return g_pack.slot_value[i];
        }
        if (key == 0) {
            return -1;
        }
    }
}

static inline int32_t pack_int(mrb_value v, int32_t fallback)
{
    if (mrb_integer_p(v)) {
        return (int32_t)(uint32_t)(uint64_t)mrb_integer(v);
    }
    if (mrb_float_p(v)) {
        const double d = mrb_float(v);
        if (isnan(d)) {
            return 0;
        }
        if (d >= 2147483647.0) {
            return INT32_MAX;
        }
        if (d <= -2147483648.0) {
            return INT32_MIN;
        }
        return (int32_t)d;
    }
    return fallback;
}

static inline float pack_float(mrb_value v, float fallback)
{
    if (mrb_integer_p(v)) {
        return (float)mrb_integer(v);
    }
    if (mrb_float_p(v)) {
        return (float)mrb_float(v);
    }
    return fallback;
}

// The alpha rule of solids, borders, labels, sprites and triangles: nil packs
// 255, a number packs its int value unless that is 0, anything else drops the
// primitive. Returns 0 to drop.
static inline int pack_alpha(mrb_value a, int32_t *out)
{
    if (mrb_nil_p(a)) {
        *out = 255;
        return 1;
    }
    if (!mrb_integer_p(a) && !mrb_float_p(a)) {
        return 0;
    }
    *out = pack_int(a, 0);
    return *out != 0;
}

// Bytes a buffer item of n bytes takes: length word, body, terminator, padding.
static inline size_t pack_buffer_size(size_t n)
{
    return 4 + ((n + 1 + 3) & ~(size_t)3);
}

// Writes a record in place after one growth check for its whole size.
struct pack_writer {
    uint8_t *p;
};

// Room for n more bytes; 0 when the stream cannot grow (error is set).
static inline int pack_writer_begin(struct pack_writer *w, struct threadstream *s, size_t n)
{
    if (!threadstream_claim_space(s, n)) {
        return 0;
    }
    w->p = s->data + s->length;
    return 1;
}

static inline void pack_writer_end(struct pack_writer *w, struct threadstream *s)
{
    s->length = (uint32_t)(w->p - s->data);
}

static inline void pack_put_int(struct pack_writer *w, int32_t v)
{
    memcpy(w->p, &v, 4);
    w->p += 4;
}

static inline void pack_put_float(struct pack_writer *w, float v)
{
    memcpy(w->p, &v, 4);
    w->p += 4;
}

// bytes null writes the absent marker.
static inline void pack_put_buffer(struct pack_writer *w, const char *bytes, size_t n)
{
    if (!bytes) {
        pack_put_int(w, -1);
        return;
    }
    const size_t total = pack_buffer_size(n);
    pack_put_int(w, (int32_t)n);
    if (n) {
        memcpy(w->p, bytes, n);
    }
    memset(w->p + n, 0, total - 4 - n);
    w->p += total - 4;
}

// Longest text a record carries; longer Strings are cut (a stream item holds
// at most INT32_MAX bytes anyway).
#define PACK_TEXT_MAX ((size_t)0x3fffffff)

// Handles an exception raised while packing one element: logs it once, clears
// it and hands it to the framework's handler.
void pack_handle_exception(mrb_state *mrb, mrb_value exc);
