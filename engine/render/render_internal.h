// Shared inside engine/render only: the name-keyed caches (textures, cursors,
// fonts), the font atlas with its glyph cache, and the executor's helpers.
// Thread: main thread, except where a function says "any thread"; the texture
// and font maps are guarded by the context's texture_lock and font_lock.
// Ownership: maps own their entries, entries own their names and textures.
#pragma once

#include <SDL.h>
#include <stdint.h>

#include "render/render.h"

#define TEXTURE_MAP_BUCKETS 256
#define CURSOR_MAP_BUCKETS 16
#define FONT_MAP_BUCKETS 256
#define GLYPH_BUCKETS 32

// h = 5, then h = (h * 33) ^ byte for every byte; callers keep the low bits.
uint32_t render_name_hash(const char *name);

// ---- Textures ------------------------------------------------------------------

struct texture_entry {
    char *name;
    SDL_Texture *texture;  // null until loaded, after an unload or a failed load
    int32_t target;  // 1 for a render target
    int32_t w, h;
    int32_t warned;  // out-of-bounds sprite warning given
    int32_t lint_warned;  // path-name warning given
    float creation_scale;  // render scale a target was made at; 0 for images
    struct texture_entry *next;
};

struct texture_map {
    struct texture_entry *buckets[TEXTURE_MAP_BUCKETS];
};

struct texture_lookup {
    int32_t target;
    SDL_Texture *texture;
    struct texture_entry *entry;  // null for the built-in textures
    int32_t w, h;
    float creation_scale;
};

struct texture_map *texture_map_allocate(void);

// Destroys every texture, frees names, entries and the map; null is ignored.
void texture_map_delete(struct texture_map *map);

// Finds or creates the entry for name (a new entry has no texture). Null for a
// null name or out of memory. Render thread only; inserting takes texture_lock.
struct texture_entry *lookup_texture_no_fallback(struct render_context *ctx, const char *name);

// The texture to draw for a path: white for "pixel"/"solid", the cached or
// freshly loaded image, or the checkerboard when it cannot be loaded.
void lookup_texture(struct texture_lookup *out, struct render_context *ctx, const char *path);

// Replaces an entry's texture and size under texture_lock (old texture destroyed).
void texture_entry_set(struct render_context *ctx, struct texture_entry *entry,
                       SDL_Texture *texture, int target, int w, int h, float creation_scale);

// The render target texture for a named pass at w x h pixels (made or reused),
// or null when it cannot be had.
struct texture_entry *render_target_lookup(struct render_context *ctx, const char *name, int w,
                                           int h, float scale);

// Path-name problems a development build warns about (white space, upper case):
// 1 and the suggested name (caller frees) when the path has any.
int texture_path_lint(const char *path, char **suggestion);

// ---- Cursors -----------------------------------------------------------------

struct cursor_entry {
    char *name;
    SDL_Cursor *cursor;
    struct cursor_entry *next;
};

struct cursor_map {
    struct cursor_entry *buckets[CURSOR_MAP_BUCKETS];
};

struct cursor_map *cursor_map_allocate(void);
void cursor_map_delete(struct cursor_map *map);
struct cursor_entry *lookup_cursor_no_fallback(struct render_context *ctx, const char *name);

// A colour cursor from an image with its hot spot, cached by path (a later hot
// spot has no effect); the platform default cursor when it cannot be made.
SDL_Cursor *lookup_cursor(struct render_context *ctx, const char *path, int hot_x, int hot_y);

// The platform system cursor id, cached as "$ORVZEL$<id>"; default on failure.
SDL_Cursor *lookup_system_cursor(struct render_context *ctx, int id);

// ---- Fonts -------------------------------------------------------------------

struct fontatlas_glyph {
    SDL_Texture *page;  // null when the glyph is larger than a page
    int32_t x, y, w, h;  // rectangle in the page
    float advance;  // scale * advance width
    float lsb;  // scale * left side bearing
    int32_t x0, y0, x1, y1;  // bitmap box relative to the pen on the baseline
};

struct fontatlas;

// Atlas for a font file in the virtual file system; null with SDL_GetError
// "Couldn't load '%s': %s" or "Font '%s' is bogus or corrupt". renderer may be
// null for an atlas that only measures.
struct fontatlas *fontatlas_new(SDL_Renderer *renderer, const char *path);
void fontatlas_delete(struct fontatlas *atlas);

// Limits of the pages (default min(max texture size, 1024)); for tests.
void fontatlas_set_page_size(struct fontatlas *atlas, int w, int h);

float fontatlas_get_scale(const struct fontatlas *atlas, float size_px);
float fontatlas_get_ascent(const struct fontatlas *atlas, float scale);
float fontatlas_get_raw_ascent(const struct fontatlas *atlas);
float fontatlas_get_raw_descent(const struct fontatlas *atlas);
float fontatlas_get_raw_line_gap(const struct fontatlas *atlas);
int fontatlas_has_kerning(const struct fontatlas *atlas);
int fontatlas_page_count(const struct fontatlas *atlas);

void fontatlas_cacheglyphs(struct fontatlas *atlas, const uint32_t *codepoints, int count,
                           float size_px);

// Cached glyph (cached first if needed); null for a code point the font lacks.
const struct fontatlas_glyph *fontatlas_getglyph(struct fontatlas *atlas, uint32_t codepoint,
                                                 float size_px);

float fontatlas_get_kerningadvance(const struct fontatlas *atlas, uint32_t a, uint32_t b,
                                   float scale);

// Width and line height of a UTF-8 text; the cached variant reads advances from
// the glyph cache when they are there (main thread), the uncached one touches
// nothing but the font data (any thread).
void fontatlas_calcstringrect(struct fontatlas *atlas, const char *text, float *out_w,
                              float *out_h, float size_px);
void fontatlas_calcstringrect_uncached(const struct fontatlas *atlas, const char *text,
                                       float *out_w, float *out_h, float size_px);

struct font_map *font_map_allocate(void);
void font_map_delete(struct font_map *map);

// The atlas for a font path (null: the default font), created on first use;
// the default font when it cannot be loaded, now and later. Takes font_lock.
struct fontatlas *lookup_font(struct render_context *ctx, const char *path);

// ---- Executor helpers ----------------------------------------------------------

// Blend mode for a primitive's blendmode_enum (0 none ... 4 multiply, else blend).
SDL_BlendMode render_blend_mode(int blendmode_enum);

// Texture factor for a record's texture scale (100 ... 400; else render scale).
float render_texture_factor(int texture_scale, float render_scale);

// Writes the screenshot PNG under the screenshot directory, refusing absolute
// paths and ".." components. Returns 1 when written.
int render_write_screenshot(struct render_context *ctx, const char *path, const uint8_t *rgba,
                            int w, int h);
