// The render context: the one window, its renderer, the scene and event queues
// that connect the main thread with the simulation thread, and the geometry that
// maps the logical canvas (1280x720 or 720x1280 points) onto the window.
// Thread: created, used and deleted on the main thread. The simulation thread
// only reads the size snapshot (render_context_get_sizes), the atomics and the
// two queues; everything it may touch is marked "shared" below.
// Ownership: render_context_new returns a context that render_context_delete
// frees, with every queue, texture and cache it holds.
#pragma once

#include <SDL.h>
#include <stdint.h>

#include "stream/stream.h"

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
    int32_t max_texture_w, max_texture_h;
    int32_t base_w, base_h;  // logical size of the current orientation

    SDL_SpinLock size_lock;  // guards sizes
    struct render_sizes sizes;
    SDL_atomic_t sizes_changed;  // shared: set when sizes are recomputed

    int32_t keyboard_focus, mouse_focus;
    uint8_t clear_r, clear_g, clear_b;  // background of the last screen pass
    int32_t frame_uncleared;

    SDL_atomic_t grid_origin_x, grid_origin_y;  // shared
    SDL_atomic_t ready;  // shared: a grid command of this run was executed
    SDL_atomic_t centered_grid;  // shared
    int32_t current_origin_x, current_origin_top;

    SDL_atomic_t render_fps;  // shared: frames per second of the render loop
    SDL_atomic_t tick_count;  // shared: written by the simulation, -1 at creation
    SDL_atomic_t global_tick_count;  // shared: written by the simulation, -1 at creation

    int32_t development;  // first argument of render_context_new
    int32_t a11y;  // second argument of render_context_new
    uint32_t event_types[3];  // user events registered at creation
};

// Creates the window, renderer and queues. Returns null (and logs) on failure.
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
