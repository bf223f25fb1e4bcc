// The render context: the one window, its renderer, the scene and event queues
// that connect the main thread with the simulation thread, the texture, cursor
// and font caches, and the geometry that maps the logical canvas (1280x720 or
// 720x1280 points) onto the window; plus the scene executor that draws a scene.
// Thread: created, used and deleted on the main thread. The simulation thread
// only reads the size snapshot (render_context_get_sizes), the atomics, the two
// queues and the measuring functions marked "any thread"; everything it may
// touch is marked "shared" below.
// Ownership: render_context_new returns a context that render_context_delete
// frees, with every queue, texture and cache it holds.
#pragma once

#include <SDL.h>
#include <stddef.h>
#include <stdint.h>

#include "stream/stream.h"

struct texture_map;
struct cursor_map;
struct font_map;
struct fontatlas;

// Geometry shared with the simulation thread. Written only by the main thread
// under the context's size lock; readers take a copy with render_context_get_sizes.
struct render_sizes {
    int32_t logical_w, logical_h;  // 1280x720 landscape, 720x1280 portrait
    int32_t window_w, window_h;  // window size in screen coordinates
    int32_t output_w, output_h;  // renderer output in pixels (HD), else logical
    int32_t offset_x, offset_y;  // output pixels left of and above the canvas
    int32_t texture_tier;  // 100, 125, 150, 175, 200, 250, 300 or 400
    float pixel_density;  // output width / window width (HD), else 1
    float render_scale;  // logical-to-output scale (HD), else 1
    float raw_scale;  // unsnapped scale (HD), else 1
    int32_t landscape;  // 1 unless the orientation is portrait
};

struct render_context {
    threadstreamqueue *scene_queue;  // shared: scenes to draw, oldest first
    threadstreamqueue *event_queue;  // shared: event batches for the simulation
    threadstream *current_scene;  // the scene on display, kept for redrawing

    SDL_Window *window;
    uint32_t window_id;
    SDL_Renderer *renderer;
    SDL_Texture *fallback_texture;  // 256x256 checkerboard for missing images
    SDL_Texture *white_texture;  // 1280x1280 opaque white, for solids
    SDL_Texture *screenshot_texture;  // output-sized target, made on first use
    int32_t max_texture_w, max_texture_h;
    int32_t base_w, base_h;  // logical size of the current orientation

    // Caches. The texture map and the font map are also read by the simulation
    // thread's measuring functions, so every lookup, insertion and change of an
    // entry's texture or size happens under the map's mutex.
    struct texture_map *textures;
    SDL_mutex *texture_lock;
    struct cursor_map *cursors;  // main thread only
    struct font_map *fonts;
    struct fontatlas *default_font;  // "font.ttf"
    SDL_mutex *font_lock;  // guards fonts, default_font and every atlas's lifetime

    SDL_SpinLock size_lock;  // guards sizes
    struct render_sizes sizes;
    SDL_atomic_t sizes_changed;  // shared: set when sizes are recomputed
    SDL_atomic_t resize_requested;  // a window command resized; the render loop consumes it

    int32_t keyboard_focus, mouse_focus;
    uint8_t clear_r, clear_g, clear_b;  // background of the last screen pass
    int32_t frame_uncleared;

    SDL_atomic_t grid_origin_x, grid_origin_y;  // shared
    SDL_atomic_t ready;  // shared: a grid command of this run was executed
    SDL_atomic_t centered_grid;  // shared
    SDL_atomic_t grid_moved_at_tick;  // shared: written by the simulation's set_grid
    int32_t current_origin_x, current_origin_top;
    SDL_Texture *current_target;  // null: the window
    int32_t screenshot_pass_ran;  // the screenshot texture holds a frame
    char *screenshot_directory;  // from draw_init; null until then
    int mouse_grab_log_counter;

    SDL_atomic_t render_fps;  // shared: frames per second of the render loop
    SDL_atomic_t tick_count;  // shared: written by the simulation, -1 at creation
    SDL_atomic_t global_tick_count;  // shared: written by the simulation, -1 at creation

    int32_t development;  // first argument of render_context_new
    int32_t a11y;  // second argument of render_context_new
    uint32_t event_types[3];  // user events registered at creation
    uint32_t a11y_event_type;  // remembered by draw_init
};

// ---- Context -------------------------------------------------------------------

// Creates the window, renderer, queues, built-in textures and the default font
// "font.ttf". Returns null (and logs, with SDL_GetError set) on failure.
struct render_context *render_context_new(int development, int a11y);

// Frees the context and everything it owns; null is ignored.
void render_context_delete(struct render_context *ctx);

// Recomputes the geometry from the window and sets sizes_changed.
void render_context_update_sizes(struct render_context *ctx);

// Re-reads the orientation cvars: landscape flag, base and logical size.
void render_context_update_orientation(struct render_context *ctx);

// Sets the "SDL_RENDER_SCALE_QUALITY" hint from game_metadata.scale_quality.
void render_context_update_scale_quality(void);

// Copies the shared geometry; any thread.
void render_context_get_sizes(struct render_context *ctx, struct render_sizes *out);

// Destroys the screenshot texture and every render target's texture; the
// entries stay and get new textures on their next pass.
void render_context_recover_render_targets(struct render_context *ctx);

// Recreates the fallback texture, the default font and an empty font map, and
// drops the textures of file-backed entries so they reload on next use.
void render_context_recover_textures(struct render_context *ctx);

// Flips game_metadata.orientation_current and re-applies the orientation rules.
void render_context_toggle_orientation(struct render_context *ctx);

// Geometry with HD on, from the window size (ww, wh), the output size (ow, oh)
// and the base size (lw, lh); pure, any thread. hd_max_scale below 1 keeps the
// unsnapped scale.
void render_compute_hd_sizes(int ww, int wh, int ow, int oh, int lw, int lh, int hd_max_scale,
                             struct render_sizes *out);

// The scale step not above s (0.25 ... 5.0; 0.1 below 0.25).
float render_snap_scale(float s);

// Texture tier (100 ... 400) for a render scale.
int render_texture_tier(float render_scale);

// ---- Scene executor (main thread) ------------------------------------------------

// Executes a scene from its current read position. catch_up: passes to the
// window are read but not drawn. repeat: top-level commands other than the
// window title are read and ignored.
void execute_scene(struct render_context *ctx, struct threadstream *scene, int catch_up,
                   int repeat);

// At interpreter start: remembers the accessibility event type and the
// directory screenshots go to (copied), and clears the ready flag.
void draw_init(struct render_context *ctx, const char *screenshot_directory);

// Screen-reader hooks; nothing to do on this platform.
void draw_a11y_begin(void);
void draw_a11y_queue(const char *text);
void draw_a11y_end(void);
int draw_a11y_get_activation(void);
int draw_a11y_get_escape(void);
int draw_a11y_get_magic_tap(void);
int is_a11y_enabled(void);

// ---- Measuring (any thread) --------------------------------------------------

// Width and height of a UTF-8 text at pixel size size_px with the font of that
// path (null: the default font; a font that cannot be loaded: the default
// font), measured without the glyph cache. Returns 0 when no font is there.
int render_measure_text(struct render_context *ctx, const char *font_path, const char *text,
                        float size_px, float *out_w, float *out_h);

// Size of the texture cached under path: 1 and the size (-1 x -1 while it has
// no texture yet) when an entry exists, 0 when the path was never used.
int render_cached_texture_size(struct render_context *ctx, const char *path, int *out_w,
                               int *out_h);

// ---- Images (any thread) -----------------------------------------------------

// Decoded 32-bit RGBA pixels (bytes R, G, B, A; rows top to bottom) of an image
// in the virtual file system, 16-bit samples reduced to 8; null when it cannot
// be read or decoded. Free with free_image.
uint8_t *load_image(const char *path, int *out_w, int *out_h);

// 1 and the size of an image without decoding its pixels; 0 otherwise.
int load_image_only_dimensions(const char *path, int *out_w, int *out_h);

// Releases pixels from load_image; null is ignored.
void free_image(void *pixels);

// PNG bytes of w x h RGBA pixels, scaled to out_w x out_h first when both are
// non-zero and differ from w and h. Null on failure; caller frees with SDL_free.
uint8_t *encode_png(const uint8_t *pixels, int w, int h, int out_w, int out_h, size_t *out_size);

// ---- Native-extension hooks (simulation thread) ------------------------------

// Where the scene being built lives (the process's slot; null outside a tick)
// and the context; set once by the interpreter bootstrap.
void render_set_scene_slot(struct render_context *ctx, struct threadstream **slot);

// Appends cmd_upload_pixels with w x h RGBA pixels to the scene being built;
// nothing outside a tick or for w or h <= 0.
void orv_upload_pixel_array(const char *name, int w, int h, const uint32_t *pixels);

// Not available on this platform: null, and nothing.
void *orv_load_image(const char *path, int *out_w, int *out_h);
void orv_free_image(void *pixels);
