// Input: translation of the platform events of each batch into the records and
// calls the scripts see (a raw record per event for raw_event, and typed calls
// such as key_down_raw or mouse_move_relative), with pointer conversion into
// the logical canvas and touch tracking.
// Thread: the simulation thread (the thread that owns the interpreter); the
// main thread only batches events (engine/process).
// Ownership: struct input_state belongs to its caller; input_state_reset frees
// the touch list it holds.
#pragma once

#include <SDL.h>
#include <stdint.h>

struct render_context;

// One finger that is down: the platform's (device, finger) pair and the id
// the scripts see.
struct input_touch {
    SDL_TouchID device;
    SDL_FingerID finger;
    int32_t id;
    struct input_touch *prev, *next;
};

struct input_state {
    struct input_touch *touches;  // newest first
    int32_t touch_counter;
    int32_t mouse_x, mouse_y;  // last converted position, for __reboot__
    int32_t relative_x, relative_y;  // last raw relative motion
    int32_t mouse_focus, keyboard_focus;
    int32_t quit;  // a quit event was seen
    SDL_atomic_t *a11y_activation_at;  // global tick of a screen-reader activation
};

// Frees the touch list and zeroes the state (a11y_activation_at is kept).
void input_state_reset(struct input_state *state);

// Mouse event coordinates to the logical canvas (top-left origin, y one larger
// than the plain conversion; the framework flips it).
void input_convert_mouse(struct render_context *ctx, int32_t ex, int32_t ey, int32_t *x,
                         int32_t *y);

// Normalised touch coordinates to the logical canvas.
void input_convert_touch(struct render_context *ctx, float nx, float ny, int32_t *x,
                         int32_t *y);
