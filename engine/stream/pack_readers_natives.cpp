// The readers: the Hash, object, instance-variable and entity forms of every
// primitive, the element dispatch of each collection, the walk of a render
// pass, and FFI::Draw#draw_sprite_hash.
//
// A Hash is read in one pass over its entries through a symbol-to-slot table,
// without calling script code or allocating. Everything else may call script
// methods, so the walk runs each such element under protection with its own
// GC arena: a raise skips that element only.
#include "stream/pack_internal.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/class.h>
#include <mruby/error.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <mruby/variable.h>

struct pack_state g_pack;

namespace {

const char *const attr_names[PACK_ATTR_COUNT] = {
    "x",
    "y",
    "w",
    "h",
    "path",
    "angle",
    "a",
    "r",
    "g",
    "b",
    "tile_x",
    "tile_y",
    "tile_w",
    "tile_h",
    "flip_horizontally",
    "flip_vertically",
    "angle_anchor_x",
    "angle_anchor_y",
    "source_x",
    "source_y",
    "source_w",
    "source_h",
    "blendmode_enum",
    "anchor_x",
    "anchor_y",
    "scale_quality_enum",
    "x2",
    "y2",
    "x3",
    "y3",
    "source_x2",
    "source_y2",
    "source_x3",
    "source_y3",
    "r2",
    "g2",
    "b2",
    "a2",
    "r3",
    "g3",
    "b3",
    "a3",
    "z",
    "text",
    "font",
    "size_enum",
    "size_px",
    "alignment_enum",
    "vertical_alignment_enum",
};

const char *const collection_names[PACK_COLLECTION_COUNT] = {
    "solids",  "static_solids",  "sprites", "static_sprites", "primitives", "static_primitives",
    "labels",  "static_labels",  "lines",   "static_lines",   "borders",    "static_borders",
    "debug",   "static_debug",   "reserved", "static_reserved",
};

// Label attributes after x and y, in the order the object form calls them
// (z is asked only of objects that answer it).
const int label_order[] = {PACK_TEXT,
                           PACK_FONT,
                           PACK_SIZE_ENUM,
                           PACK_ALIGNMENT_ENUM,
                           PACK_R,
                           PACK_G,
                           PACK_B,
                           PACK_A,
                           PACK_VERTICAL_ALIGNMENT_ENUM,
                           PACK_BLENDMODE_ENUM,
                           PACK_SIZE_PX,
                           PACK_ANCHOR_X,
                           PACK_ANCHOR_Y};
// Sprite readers after w, h, path, x and y, in list order.
const int sprite_rest[] = {PACK_ANGLE,          PACK_A,
                           PACK_R,              PACK_G,
                           PACK_B,              PACK_TILE_X,
                           PACK_TILE_Y,         PACK_TILE_W,
                           PACK_TILE_H,         PACK_FLIP_HORIZONTALLY,
                           PACK_FLIP_VERTICALLY, PACK_ANGLE_ANCHOR_X,
                           PACK_ANGLE_ANCHOR_Y, PACK_SOURCE_X,
                           PACK_SOURCE_Y,       PACK_SOURCE_W,
                           PACK_SOURCE_H,       PACK_BLENDMODE_ENUM,
                           PACK_ANCHOR_X,       PACK_ANCHOR_Y,
                           PACK_SCALE_QUALITY_ENUM};
// Triangle readers after w, h, path, x and y, in list order.
const int triangle_rest[] = {PACK_X2,        PACK_Y2,        PACK_X3,        PACK_Y3,
                             PACK_R,         PACK_G,         PACK_B,         PACK_A,
                             PACK_SOURCE_X,  PACK_SOURCE_Y,  PACK_SOURCE_X2, PACK_SOURCE_Y2,
                             PACK_SOURCE_X3, PACK_SOURCE_Y3, PACK_BLENDMODE_ENUM,
                             PACK_R2,        PACK_G2,        PACK_B2,        PACK_A2,
                             PACK_R3,        PACK_G3,        PACK_B3,        PACK_A3};
const int line_order[] = {PACK_X, PACK_Y, PACK_W, PACK_H, PACK_X2, PACK_Y2,
                          PACK_R, PACK_G, PACK_B, PACK_A, PACK_BLENDMODE_ENUM};
const int border_order[] = {PACK_X, PACK_Y, PACK_W, PACK_H, PACK_R,
                            PACK_G, PACK_B, PACK_A, PACK_BLENDMODE_ENUM};

#define COUNT_OF(a) ((int)(sizeof(a) / sizeof((a)[0])))

mrb_sym intern(mrb_state *mrb, const char *name)
{
    return mrb_intern_static(mrb, name, strlen(name));
}

// The class or module constant name under outer, or null when it is missing
// or is something else.
RClass *find_module(mrb_state *mrb, RClass *outer, const char *name)
{
    if (!outer) {
        return nullptr;
    }
    const mrb_sym sym = intern(mrb, name);
    if (!mrb_const_defined_at(mrb, mrb_obj_value(outer), sym)) {
        return nullptr;
    }
    const mrb_value v = mrb_const_get(mrb, mrb_obj_value(outer), sym);
    if (mrb_type(v) != MRB_TT_CLASS && mrb_type(v) != MRB_TT_MODULE) {
        return nullptr;
    }
    return mrb_class_ptr(v);
}

void fill_nil(mrb_value *v)
{
    for (int i = 0; i < PACK_ATTR_COUNT; i++) {
        v[i] = mrb_nil_value();
    }
}

int scan_entry(mrb_state *, mrb_value key, mrb_value val, void *data)
{
    if (mrb_symbol_p(key)) {
        const int slot = pack_slot(mrb_symbol(key));
        if (slot >= 0) {
            static_cast<mrb_value *>(data)[slot] = val;
        }
    }
    return 0;
}

// One pass over the Hash: Symbol keys naming an attribute fill their slot,
// every other key is ignored. No script code runs (no default procs either).
void scan_hash(mrb_state *mrb, mrb_value hash, mrb_value *v)
{
    fill_nil(v);
    mrb_hash_foreach(mrb, mrb_hash_ptr(hash), scan_entry, v);
}

int class_defines(mrb_state *mrb, mrb_value obj, mrb_sym name)
{
    return mrb_obj_respond_to(mrb, mrb_class(mrb, obj), name);
}

int is_a(mrb_state *mrb, mrb_value obj, RClass *c)
{
    return c && !mrb_immediate_p(obj) && mrb_obj_is_kind_of(mrb, obj, c);
}

mrb_value call0(mrb_state *mrb, mrb_value recv, mrb_sym name)
{
    return mrb_funcall_argv(mrb, recv, name, 0, nullptr);
}

mrb_value call1(mrb_state *mrb, mrb_value recv, mrb_sym name, mrb_value arg)
{
    return mrb_funcall_argv(mrb, recv, name, 1, &arg);
}

void draw_override(mrb_state *mrb, mrb_value obj)
{
    call1(mrb, obj, g_pack.sym.draw_override, g_pack.walk.draw);
}

// Packs a triangle or a sprite from filled slots.
void pack_sprite_values(mrb_state *mrb, threadstream *s, const mrb_value *v, int triangle)
{
    if (mrb->exc) {
        // An attribute reader raised and left its exception; the caller
        // reports it, and this element draws nothing.
        return;
    }
    pack_atlas_value atlas;
    const pack_atlas_value *found = nullptr;
    const mrb_value path = v[PACK_PATH];
    if (mrb_string_p(path) && g_pack.settings.atlas_lookup) {
        atlas.found = 0;
        g_pack.settings.atlas_lookup(&atlas, RSTRING_PTR(path), (size_t)RSTRING_LEN(path));
        found = atlas.found ? &atlas : nullptr;
    }
    if (triangle) {
        threadstream_pack_triangle(s, found, g_pack.tier, mrb, v);
    } else {
        threadstream_pack_sprite(s, found, g_pack.tier, mrb, v);
    }
}

// Label text: a String as it is, anything else through its to_s; a to_s
// that does not give a String packs the absent marker.
void label_text(mrb_state *mrb, mrb_value *v)
{
    if (!mrb_string_p(v[PACK_TEXT])) {
        const mrb_value text = call0(mrb, v[PACK_TEXT], g_pack.sym.to_s);
        v[PACK_TEXT] = mrb_string_p(text) ? text : mrb_nil_value();
    }
}

void call_into(mrb_state *mrb, mrb_value obj, const int *order, int n, mrb_value *v)
{
    for (int i = 0; i < n && !mrb->exc; i++) {
        v[order[i]] = call0(mrb, obj, g_pack.sym.attr[order[i]]);
    }
}

// ---- Element dispatch ------------------------------------------------------------

void pack_sprite_element(mrb_state *mrb, mrb_value e)
{
    if (mrb_nil_p(e)) {
        return;
    }
    if (mrb_hash_p(e)) {
        threadstream_pack_sprite_hash(mrb, e);
    } else if (is_a(mrb, e, g_pack.open_entity)) {
        const mrb_value hash = mrb_iv_get(mrb, e, g_pack.sym.ivar_hash);
        if (mrb_hash_p(hash)) {
            threadstream_pack_sprite_hash(mrb, hash);
        }
    } else if (is_a(mrb, e, g_pack.attr_sprite)) {
        threadstream_pack_sprite_attr_sprite(mrb, e);
    } else if (is_a(mrb, e, g_pack.strict_entity)) {
        threadstream_pack_sprite_strict_entity(mrb, e);
    } else if (mrb_array_p(e)) {
        call1(mrb, g_pack.walk.runtime, g_pack.sym.draw_sprite, e);
    } else {
        threadstream_pack_sprite_object(mrb, e);
    }
}

// Labels and lines dispatch alike; kind picks the packers and the fallback.
void pack_text_or_line_element(mrb_state *mrb, mrb_value e, int label)
{
    if (mrb_nil_p(e)) {
        return;
    }
    if (mrb_hash_p(e)) {
        label ? threadstream_pack_label_hash(mrb, e) : threadstream_pack_line_hash(mrb, e);
    } else if (is_a(mrb, e, g_pack.open_entity)) {
        const mrb_value hash = call0(mrb, e, g_pack.sym.as_hash);
        if (mrb_hash_p(hash)) {
            label ? threadstream_pack_label_hash(mrb, hash) : threadstream_pack_line_hash(mrb, hash);
        }
    } else if (mrb_array_p(e)) {
        call1(mrb, g_pack.walk.runtime, label ? g_pack.sym.draw_label : g_pack.sym.draw_line, e);
    } else {
        label ? threadstream_pack_label_object(mrb, e) : threadstream_pack_line_object(mrb, e);
    }
}

void pack_primitive_element(mrb_state *mrb, mrb_value e)
{
    if (mrb_nil_p(e)) {
        return;
    }
    if (mrb_hash_p(e)) {
        const mrb_value marker = call0(mrb, e, g_pack.sym.primitive_marker);
        const mrb_sym m = mrb_symbol_p(marker) ? mrb_symbol(marker) : 0;
        if (m && m == g_pack.sym.sprite) {
            pack_sprite_element(mrb, e);
        } else if (m && m == g_pack.sym.label) {
            pack_text_or_line_element(mrb, e, 1);
        } else if (m && m == g_pack.sym.line) {
            pack_text_or_line_element(mrb, e, 0);
        } else {
            call1(mrb, g_pack.walk.runtime, g_pack.sym.draw_primitive, e);
        }
    } else if (class_defines(mrb, e, g_pack.sym.draw_override)) {
        draw_override(mrb, e);
    } else {
        call1(mrb, g_pack.walk.runtime, g_pack.sym.draw_primitive, e);
    }
}

// Plain Hash solids and borders with a size are packed here, with the record
// the runtime's draw_solid / draw_border write for them through
// FFI::Draw#draw_solid_3 / #draw_border_3, without a call into script code.
// Anything else (objects, Hashes that are marked, subclassed or have a
// default, Hashes without w or h, which draw triangles) goes to the runtime.
int pack_plain_rect_hash(mrb_state *mrb, mrb_value e, int32_t kind)
{
    if (!mrb_hash_p(e) || mrb_basic_ptr(e)->c != mrb->hash_class || MRB_RHASH_DEFAULT_P(e)) {
        return 0;
    }
    mrb_value v[PACK_ATTR_COUNT];
    scan_hash(mrb, e, v);
    if (!mrb_test(v[PACK_W]) || !mrb_test(v[PACK_H])) {
        return 0;
    }
    threadstream *s = pack_scene();
    if (s) {
        threadstream_pack_rect_values(s, kind, v);
    }
    return 1;
}

struct element_request {
    int collection;
    mrb_value element;
};

mrb_value element_body(mrb_state *mrb, void *ud)
{
    const element_request *r = static_cast<const element_request *>(ud);
    const mrb_value e = r->element;
    switch (r->collection) {
    case PACK_SOLIDS:
    case PACK_STATIC_SOLIDS:
        if (!pack_plain_rect_hash(mrb, e, prim_solid)) {
            call1(mrb, g_pack.walk.runtime, g_pack.sym.draw_solid, e);
        }
        break;
    case PACK_SPRITES:
    case PACK_STATIC_SPRITES:
        pack_sprite_element(mrb, e);
        break;
    case PACK_PRIMITIVES:
    case PACK_STATIC_PRIMITIVES:
        pack_primitive_element(mrb, e);
        break;
    case PACK_LABELS:
    case PACK_STATIC_LABELS:
        pack_text_or_line_element(mrb, e, 1);
        break;
    case PACK_LINES:
    case PACK_STATIC_LINES:
        pack_text_or_line_element(mrb, e, 0);
        break;
    case PACK_BORDERS:
    case PACK_STATIC_BORDERS:
        if (!pack_plain_rect_hash(mrb, e, prim_border)) {
            call1(mrb, g_pack.walk.runtime, g_pack.sym.draw_border, e);
        }
        break;
    default:  // debug and reserved
        call1(mrb, g_pack.walk.runtime, g_pack.sym.draw_primitive, e);
        break;
    }
    if (mrb->exc) {
        // Left pending by a call made outside the VM's own protection.
        struct RObject *exc = mrb->exc;
        mrb->exc = nullptr;
        mrb_exc_raise(mrb, mrb_obj_value(exc));
    }
    return mrb_nil_value();
}

struct collection_request {
    mrb_value pass;
    mrb_sym name;
};

mrb_value collection_body(mrb_state *mrb, void *ud)
{
    const collection_request *r = static_cast<const collection_request *>(ud);
    return call0(mrb, r->pass, r->name);
}

// Runs body under protection; an exception it raised or left is handled.
mrb_value protect(mrb_state *mrb, mrb_value (*body)(mrb_state *, void *), void *ud, int *failed)
{
    mrb_bool error = FALSE;
    mrb_value result = mrb_protect_error(mrb, body, ud, &error);
    if (!error && mrb->exc) {
        result = mrb_obj_value(mrb->exc);
        error = TRUE;
    }
    mrb->exc = nullptr;
    if (error) {
        pack_handle_exception(mrb, result);
        *failed = 1;
        return mrb_nil_value();
    }
    *failed = 0;
    return result;
}

mrb_value describe_body(mrb_state *mrb, void *ud)
{
    return mrb_obj_as_string(mrb, *static_cast<mrb_value *>(ud));
}

struct handler_request {
    mrb_value exc;
};

// The framework's exception path: the game's own unhandled_exception(args, e)
// on the top-level object when it has one, else the runtime's.
mrb_value handler_body(mrb_state *mrb, void *ud)
{
    const mrb_value exc = static_cast<handler_request *>(ud)->exc;
    const mrb_value runtime = g_pack.walk.runtime;
    const mrb_value top = mrb_gv_get(mrb, g_pack.sym.top_level);
    if (!mrb_nil_p(top) && mrb_respond_to(mrb, top, g_pack.sym.unhandled_exception) &&
        !mrb_nil_p(runtime) && mrb_respond_to(mrb, runtime, g_pack.sym.args)) {
        mrb_value argv[2] = {call0(mrb, runtime, g_pack.sym.args), exc};
        mrb_funcall_argv(mrb, top, g_pack.sym.unhandled_exception, 2, argv);
    } else if (!mrb_nil_p(runtime) && mrb_respond_to(mrb, runtime, g_pack.sym.unhandled_exception)) {
        call1(mrb, runtime, g_pack.sym.unhandled_exception, exc);
    }
    return mrb_nil_value();
}

}  // namespace

// ---- Exceptions --------------------------------------------------------------------

void pack_handle_exception(mrb_state *mrb, mrb_value exc)
{
    mrb->exc = nullptr;
    g_pack.exceptions++;
    if (g_pack.frame_exceptions++ > 0) {
        // One report per frame: a bad object in a static array would
        // otherwise repeat it for every element every tick.
        return;
    }
    const int ai = mrb_gc_arena_save(mrb);
    mrb_bool error = FALSE;
    mrb_value text = mrb_protect_error(mrb, describe_body, &exc, &error);
    mrb->exc = nullptr;
    SDL_Log("Ruby exception: %s\n",
            !error && mrb_string_p(text) ? mrb_string_value_cstr(mrb, &text) : "(unprintable)");
    handler_request r{exc};
    mrb_protect_error(mrb, handler_body, &r, &error);
    if (error || mrb->exc) {
        SDL_Log("Ruby exception: the exception handler raised too\n");
    }
    mrb->exc = nullptr;
    mrb_gc_arena_restore(mrb, ai);
}

uint32_t pack_exception_count(void)
{
    return g_pack.exceptions;
}

// ---- Set-up --------------------------------------------------------------------------

namespace {

mrb_value draw_m_draw_sprite_hash(mrb_state *mrb, mrb_value self)
{
    mrb_value hash;
    mrb_get_args(mrb, "o", &hash);
    if (mrb_hash_p(hash)) {
        threadstream_pack_sprite_hash(mrb, hash);
    }
    return mrb_nil_value();
}

}  // namespace

int pack_init(mrb_state *mrb, const struct pack_settings *settings)
{
    g_pack = pack_state{};
    g_pack.mrb = mrb;
    g_pack.tier = 100;
    g_pack.walk.runtime = mrb_nil_value();
    g_pack.walk.draw = mrb_nil_value();
    if (settings) {
        g_pack.settings = *settings;
    }
    pack_symbols &s = g_pack.sym;
    char ivar[64];
    for (int i = 0; i < PACK_ATTR_COUNT; i++) {
        s.attr[i] = intern(mrb, attr_names[i]);
        SDL_snprintf(ivar, sizeof(ivar), "@%s", attr_names[i]);
        s.ivar[i] = mrb_intern_cstr(mrb, ivar);
    }
    for (int i = 0; i < PACK_COLLECTION_COUNT; i++) {
        s.collection[i] = intern(mrb, collection_names[i]);
    }
    s.draw_override = intern(mrb, "draw_override");
    s.primitive_marker = intern(mrb, "primitive_marker");
    s.as_hash = intern(mrb, "as_hash");
    s.ivar_hash = intern(mrb, "@hash");
    s.to_s = intern(mrb, "to_s");
    s.respond_to_p = intern(mrb, "respond_to?");
    s.draw_sprite = intern(mrb, "draw_sprite");
    s.draw_solid = intern(mrb, "draw_solid");
    s.draw_label = intern(mrb, "draw_label");
    s.draw_line = intern(mrb, "draw_line");
    s.draw_border = intern(mrb, "draw_border");
    s.draw_primitive = intern(mrb, "draw_primitive");
    s.sprite = intern(mrb, "sprite");
    s.label = intern(mrb, "label");
    s.line = intern(mrb, "line");
    s.unhandled_exception = intern(mrb, "unhandled_exception");
    s.args = intern(mrb, "args");
    s.top_level = intern(mrb, "$top_level");
    s.a11y_id = intern(mrb, "a11y_id");
    s.a11y_text = intern(mrb, "a11y_text");
    s.a11y_trait = intern(mrb, "a11y_trait");
    s.a11y_notification_target = intern(mrb, "a11y_notification_target");

    for (int i = 0; i < PACK_ATTR_COUNT; i++) {
        uint32_t k = pack_slot_hash(s.attr[i]);
        while (g_pack.slot_key[k] != 0 && g_pack.slot_key[k] != s.attr[i]) {
            k = (k + 1) & (PACK_SLOT_TABLE - 1);
        }
        g_pack.slot_key[k] = s.attr[i];
        g_pack.slot_value[k] = (uint8_t)i;
    }

    RClass *zel = find_module(mrb, mrb->object_class, "Zel");
    g_pack.attr_sprite = find_module(mrb, mrb->object_class, "AttrSprite");
    g_pack.open_entity = find_module(mrb, zel, "OpenEntity");
    g_pack.strict_entity = find_module(mrb, zel, "StrictEntity");
    RClass *ffi = find_module(mrb, mrb->object_class, "FFI");
    RClass *draw = find_module(mrb, ffi, "Draw");
    if (draw) {
        mrb_define_method(mrb, draw, "draw_sprite_hash", draw_m_draw_sprite_hash,
                          MRB_ARGS_REQ(1));
    }
    return 1;
}

void pack_begin_frame(int32_t tier)
{
    g_pack.tier = tier;
    if (g_pack.frame_exceptions > 1) {
        SDL_Log("Ruby exception: %u more while packing the last frame\n",
                (unsigned)(g_pack.frame_exceptions - 1));
    }
    g_pack.frame_exceptions = 0;
}

// ---- Readers ---------------------------------------------------------------------

void threadstream_pack_sprite_hash(mrb_state *mrb, mrb_value hash)
{
    threadstream *s = pack_scene();
    if (!s || !mrb_hash_p(hash)) {
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    scan_hash(mrb, hash, v);
    // A set source_x3 makes a triangle; x3 alone does not.
    pack_sprite_values(mrb, s, v, !mrb_nil_p(v[PACK_SOURCE_X3]));
}

void threadstream_pack_sprite_values(mrb_state *mrb, const mrb_value *values, int count)
{
    threadstream *s = pack_scene();
    if (!s) {
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    fill_nil(v);
    for (int i = 0; i < count && i < PACK_SPRITE_ATTRS; i++) {
        v[i] = values[i];
    }
    pack_sprite_values(mrb, s, v, 0);
}

void threadstream_pack_sprite_object(mrb_state *mrb, mrb_value obj)
{
    if (class_defines(mrb, obj, g_pack.sym.draw_override)) {
        draw_override(mrb, obj);
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    fill_nil(v);
    static const int head[] = {PACK_W, PACK_H, PACK_PATH, PACK_X, PACK_Y};
    call_into(mrb, obj, head, COUNT_OF(head), v);
    // Neither w nor h: a triangle, whose readers follow x and y in its list.
    const int triangle = mrb_nil_p(v[PACK_W]) && mrb_nil_p(v[PACK_H]);
    if (triangle) {
        call_into(mrb, obj, triangle_rest, COUNT_OF(triangle_rest), v);
    } else {
        call_into(mrb, obj, sprite_rest, COUNT_OF(sprite_rest), v);
    }
    threadstream *s = pack_scene();
    if (s) {
        pack_sprite_values(mrb, s, v, triangle);
    }
}

void threadstream_pack_sprite_ivars(mrb_state *mrb, mrb_value obj)
{
    threadstream *s = pack_scene();
    if (!s) {
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    fill_nil(v);
    v[PACK_SOURCE_X3] = mrb_iv_get(mrb, obj, g_pack.sym.ivar[PACK_SOURCE_X3]);
    if (!mrb_nil_p(v[PACK_SOURCE_X3])) {
        for (int i = 0; i < PACK_TRIANGLE_ATTRS; i++) {
            const int slot = pack_triangle_order[i];
            v[slot] = mrb_iv_get(mrb, obj, g_pack.sym.ivar[slot]);
        }
    } else {
        for (int i = 0; i < PACK_SPRITE_ATTRS; i++) {
            v[i] = mrb_iv_get(mrb, obj, g_pack.sym.ivar[i]);
        }
    }
    pack_sprite_values(mrb, s, v, !mrb_nil_p(v[PACK_SOURCE_X3]));
}

void threadstream_pack_sprite_attr_sprite(mrb_state *mrb, mrb_value obj)
{
    if (class_defines(mrb, obj, g_pack.sym.draw_override)) {
        draw_override(mrb, obj);
    } else {
        threadstream_pack_sprite_ivars(mrb, obj);
    }
}

void threadstream_pack_sprite_strict_entity(mrb_state *mrb, mrb_value obj)
{
    threadstream_pack_sprite_attr_sprite(mrb, obj);
}

void threadstream_pack_label_hash(mrb_state *mrb, mrb_value hash)
{
    if (!mrb_hash_p(hash)) {
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    scan_hash(mrb, hash, v);
    label_text(mrb, v);
    threadstream *s = pack_scene();
    if (s && !mrb->exc) {
        thread_stream_pack_label(s, mrb, v);
    }
}

void threadstream_pack_label_object(mrb_state *mrb, mrb_value obj)
{
    if (class_defines(mrb, obj, g_pack.sym.draw_override)) {
        draw_override(mrb, obj);
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    fill_nil(v);
    static const int head[] = {PACK_X, PACK_Y};
    call_into(mrb, obj, head, COUNT_OF(head), v);
    if (!mrb->exc && mrb_respond_to(mrb, obj, g_pack.sym.attr[PACK_Z])) {
        v[PACK_Z] = call0(mrb, obj, g_pack.sym.attr[PACK_Z]);
    }
    call_into(mrb, obj, label_order, COUNT_OF(label_order), v);
    if (mrb->exc) {
        return;
    }
    label_text(mrb, v);
    threadstream *s = pack_scene();
    if (s && !mrb->exc) {
        thread_stream_pack_label(s, mrb, v);
    }
}

void threadstream_pack_line_hash(mrb_state *mrb, mrb_value hash)
{
    threadstream *s = pack_scene();
    if (!s || !mrb_hash_p(hash)) {
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    scan_hash(mrb, hash, v);
    threadstream_pack_line(s, mrb, v);
}

void threadstream_pack_line_object(mrb_state *mrb, mrb_value obj)
{
    if (class_defines(mrb, obj, g_pack.sym.draw_override)) {
        draw_override(mrb, obj);
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    fill_nil(v);
    call_into(mrb, obj, line_order, COUNT_OF(line_order), v);
    threadstream *s = pack_scene();
    if (s && !mrb->exc) {
        threadstream_pack_line(s, mrb, v);
    }
}

void threadstream_pack_border_hash(mrb_state *mrb, mrb_value hash)
{
    threadstream *s = pack_scene();
    if (!s || !mrb_hash_p(hash)) {
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    scan_hash(mrb, hash, v);
    threadstream_pack_border(s, mrb, v);
}

void threadstream_pack_border_object(mrb_state *mrb, mrb_value obj)
{
    if (class_defines(mrb, obj, g_pack.sym.draw_override)) {
        draw_override(mrb, obj);
        return;
    }
    mrb_value v[PACK_ATTR_COUNT];
    fill_nil(v);
    call_into(mrb, obj, border_order, COUNT_OF(border_order), v);
    threadstream *s = pack_scene();
    if (s && !mrb->exc) {
        threadstream_pack_border(s, mrb, v);
    }
}

// ---- The walk ------------------------------------------------------------------------

void pack_pass_collections(mrb_state *mrb, const struct pack_walk *walk, mrb_value pass)
{
    const pack_walk saved = g_pack.walk;
    g_pack.walk = *walk;
    for (int c = 0; c < PACK_COLLECTION_COUNT; c++) {
        if (walk->production && (c == PACK_DEBUG || c == PACK_STATIC_DEBUG)) {
            continue;
        }
        const int ai = mrb_gc_arena_save(mrb);
        collection_request cr{pass, g_pack.sym.collection[c]};
        int failed = 0;
        const mrb_value list = protect(mrb, collection_body, &cr, &failed);
        if (failed || !mrb_array_p(list)) {
            mrb_gc_arena_restore(mrb, ai);
            continue;
        }
        const int sprites = c == PACK_SPRITES || c == PACK_STATIC_SPRITES;
        const int list_ai = mrb_gc_arena_save(mrb);
        // The length is read again at every step: an element's callback may
        // shrink or grow the array.
        for (mrb_int i = 0; i < RARRAY_LEN(list); i++) {
            const mrb_value e = RARRAY_PTR(list)[i];
            if (mrb_nil_p(e)) {
                continue;
            }
            if (sprites && mrb_hash_p(e)) {
                // Reading a Hash runs no script code and allocates nothing.
                threadstream_pack_sprite_hash(mrb, e);
                continue;
            }
            element_request er{c, e};
            protect(mrb, element_body, &er, &failed);
            mrb_gc_arena_restore(mrb, list_ai);
        }
        mrb_gc_arena_restore(mrb, ai);
    }
    g_pack.walk = saved;
}
