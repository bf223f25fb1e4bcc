// Primitive packers: turn the sprites, triangles, labels, lines, borders,
// solids and accessibility entries a game describes (Hashes, objects with
// attribute readers, objects holding instance variables, entities) into the
// fixed-layout records of a scene, and walk the collections of a render pass.
// Thread: the thread that owns the interpreter (the simulation thread during
// ticks). Symbols, class handles and settings are per interpreter: pack_init
// runs after every (re)boot, before anything is packed.
// Ownership: nothing is kept but the interned symbols and the settings' pointers;
// records are copied into the stream they are packed into.
#pragma once

#include <mruby.h>
#include <stddef.h>
#include <stdint.h>

struct threadstream;

#define PACK_TEXTURE_LEVELS 8

// Texture variants of one sprite path for the tiers 100, 125, 150, 175, 200,
// 250, 300 and 400 (null texture: the level has none).
struct pack_atlas_value {
    int found;
    const char *texture[PACK_TEXTURE_LEVELS];
    int32_t scale_enum[PACK_TEXTURE_LEVELS];
};

// Fills out for the path (length bytes, not necessarily terminated); found is
// 0 for an unknown path. The texture pointers stay valid until the table
// changes, which never happens while a scene is packed.
typedef void (*pack_atlas_lookup_fn)(struct pack_atlas_value *out, const char *path,
                                     size_t length);

// What the packers need from the process: where this tick's scene is, the
// atlas table and the scale quality setting. Every pointer may be null.
struct pack_settings {
    struct threadstream **scene_slot;  // the scene being built; null outside a tick
    pack_atlas_lookup_fn atlas_lookup;  // null: no texture atlas
    const int32_t *scale_quality;  // game_metadata.scale_quality; null reads 0
};

// Attribute slots shared by every packer. The first 26 are the sprite's, in the
// order the object form calls them.
enum pack_attr {
    PACK_X,
    PACK_Y,
    PACK_W,
    PACK_H,
    PACK_PATH,
    PACK_ANGLE,
    PACK_A,
    PACK_R,
    PACK_G,
    PACK_B,
    PACK_TILE_X,
    PACK_TILE_Y,
    PACK_TILE_W,
    PACK_TILE_H,
    PACK_FLIP_HORIZONTALLY,
    PACK_FLIP_VERTICALLY,
    PACK_ANGLE_ANCHOR_X,
    PACK_ANGLE_ANCHOR_Y,
    PACK_SOURCE_X,
    PACK_SOURCE_Y,
    PACK_SOURCE_W,
    PACK_SOURCE_H,
    PACK_BLENDMODE_ENUM,
    PACK_ANCHOR_X,
    PACK_ANCHOR_Y,
    PACK_SCALE_QUALITY_ENUM,
    // triangles
    PACK_X2,
    PACK_Y2,
    PACK_X3,
    PACK_Y3,
    PACK_SOURCE_X2,
    PACK_SOURCE_Y2,
    PACK_SOURCE_X3,
    PACK_SOURCE_Y3,
    PACK_R2,
    PACK_G2,
    PACK_B2,
    PACK_A2,
    PACK_R3,
    PACK_G3,
    PACK_B3,
    PACK_A3,
    // labels
    PACK_Z,
    PACK_TEXT,
    PACK_FONT,
    PACK_SIZE_ENUM,
    PACK_SIZE_PX,
    PACK_ALIGNMENT_ENUM,
    PACK_VERTICAL_ALIGNMENT_ENUM,
    PACK_ATTR_COUNT
};

#define PACK_SPRITE_ATTRS 26
#define PACK_TRIANGLE_ATTRS 26

// Slots of the triangle's 26 attributes, in the order the object form calls them.
extern const int pack_triangle_order[PACK_TRIANGLE_ATTRS];

// ---- Set-up --------------------------------------------------------------------

// Interns every attribute, instance-variable, collection and dispatch name,
// finds AttrSprite, Zel::OpenEntity and Zel::StrictEntity (any of them may be
// missing), keeps the settings, and defines FFI::Draw#draw_sprite_hash when
// FFI::Draw exists. Returns 1, or 0 when memory runs out.
int pack_init(mrb_state *mrb, const struct pack_settings *settings);

// Starts the packing of a frame: the texture tier (100 ... 400, anything else
// for no variant) used from now on, and a fresh count of the exceptions shown.
void pack_begin_frame(int32_t tier);

// ---- Records from script values -----------------------------------------------
// Each appends one record or nothing (alpha rule, a stream in error). v holds
// PACK_ATTR_COUNT values indexed by enum pack_attr; slots a record does not use
// are ignored. None of these calls into script code.

void threadstream_pack_sprite(struct threadstream *s, const struct pack_atlas_value *atlas,
                              int32_t tier, mrb_state *mrb, const mrb_value *v);
void threadstream_pack_triangle(struct threadstream *s, const struct pack_atlas_value *atlas,
                                int32_t tier, mrb_state *mrb, const mrb_value *v);
// text must already be a String (anything else packs the absent marker).
void thread_stream_pack_label(struct threadstream *s, mrb_state *mrb, const mrb_value *v);
void threadstream_pack_line(struct threadstream *s, mrb_state *mrb, const mrb_value *v);
void threadstream_pack_border(struct threadstream *s, mrb_state *mrb, const mrb_value *v);
void threadstream_pack_solid(struct threadstream *s, mrb_state *mrb, const mrb_value *v);
// A solid or border (kind prim_solid or prim_border) with its blend mode and
// anchors: the record FFI::Draw#draw_solid_3 and #draw_border_3 write.
void threadstream_pack_rect_values(struct threadstream *s, int32_t kind, const mrb_value *v);

// A solid from plain numbers (the letterbox background).
void pack_solid_rect(struct threadstream *s, float x, float y, float w, float h, int32_t r,
                     int32_t g, int32_t b, int32_t a);

// cmd_accessibility with one record per element of list: a Hash gives its
// :a11y_id, :a11y_text, :a11y_trait, :a11y_notification_target (absent unless
// a String) and :x, :y, :w, :h; anything else an absent record of zeros.
void threadstream_pack_a11ys(struct threadstream *s, mrb_state *mrb, mrb_value list);

// ---- Readers into the current scene -------------------------------------------
// These may call script methods; an exception they raise propagates as usual.

void threadstream_pack_sprite_hash(mrb_state *mrb, mrb_value hash);
void threadstream_pack_sprite_object(mrb_state *mrb, mrb_value object);
// One sprite from the first count of its 26 attribute values in enum
// pack_attr order (the rest nil, so their defaults apply), into this tick's
// scene with the frame's texture tier and atlas entry: the immediate
// draw_sprite natives.
void threadstream_pack_sprite_values(mrb_state *mrb, const mrb_value *values, int count);
void threadstream_pack_sprite_ivars(mrb_state *mrb, mrb_value object);
void threadstream_pack_sprite_attr_sprite(mrb_state *mrb, mrb_value object);
void threadstream_pack_sprite_strict_entity(mrb_state *mrb, mrb_value object);
void threadstream_pack_label_hash(mrb_state *mrb, mrb_value hash);
void threadstream_pack_label_object(mrb_state *mrb, mrb_value object);
void threadstream_pack_line_hash(mrb_state *mrb, mrb_value hash);
void threadstream_pack_line_object(mrb_state *mrb, mrb_value object);
void threadstream_pack_border_hash(mrb_state *mrb, mrb_value hash);
void threadstream_pack_border_object(mrb_state *mrb, mrb_value object);

// ---- The walk of one render pass ----------------------------------------------

// Receivers of the framework calls the walk makes.
struct pack_walk {
    mrb_value runtime;  // draw_solid, draw_border, draw_primitive, draw_label, draw_line, draw_sprite
    mrb_value draw;  // the FFI::Draw object handed to draw_override
    int production;  // debug and static_debug are skipped
};

// Packs the sixteen collections of pass into the current scene, in their
// order, each element with its own GC arena and under protection: an element
// that raises is skipped, its exception logged once, cleared and handed to
// the framework's exception handler, and the walk goes on.
void pack_pass_collections(mrb_state *mrb, const struct pack_walk *walk, mrb_value pass);

// Exceptions the walks have handed on since pack_init (for tests and logs).
uint32_t pack_exception_count(void);
