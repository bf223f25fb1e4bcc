// The engine's side of the interpreter: bootstrapping mruby with the framework
// image, the game record, and every call the process loops make into the runtime
// object ($zel). None of these functions exposes mruby types.
// Thread: the thread that owns the interpreter, i.e. the main thread during
// start-up and shutdown, the simulation thread in between.
// Every call into script code checks for an exception left in the interpreter,
// logs it and clears it. With no interpreter every call does nothing and the
// predicates answer 0.
#pragma once

#include <stdint.h>

struct render_context;
struct threadstream;
struct input_state;
union SDL_Event;

// Replaces the interpreter (closing any previous one), runs the framework image,
// registers the natives and creates the runtime object. The strings must live
// for the whole process. Returns 1, or 0 after logging when the interpreter or
// the framework cannot be brought up (start-up treats that as fatal).
int interpreter_bootstrap(struct render_context *ctx, const char *binary_path,
                          const char *argument_line, const char *game_dir,
                          const char *base_dir);

// 1 once interpreter_bootstrap has succeeded.
int game_has_interpreter(void);

// GC arena position around one tick's worth of calls.
int game_arena_save(void);
void game_arena_restore(int position);

// current_fps(simulation_fps, rendering_fps).
void game_current_fps(uint32_t simulation_fps, uint32_t rendering_fps);

// reboot_requested(): 1 when truthy.
int game_reboot_requested(void);

// windowevent_size_changed(...) with the twelve size values of the context.
void game_windowevent_size_changed(struct render_context *ctx);

// __reboot__(mouse_x, mouse_y, relative_x, relative_y).
void game_reboot_notify(int32_t mouse_x, int32_t mouse_y, int32_t relative_x,
                        int32_t relative_y);

// The raw record (raw_event) and the typed calls of one platform event; a
// quit event sets input->quit, also without an interpreter.
void game_deliver_event(struct render_context *ctx, struct input_state *input,
                        const SDL_Event *ev);

// left/right_controller_position and headset_position with six zeros.
void game_report_vr_positions(void);

// __sdl_tick__(SDL_GetTicks()): the game's tick.
void game_tick(void);

// One step of the interpreter's incremental garbage collection.
void game_incremental_gc(void);

// Writes cmd_render_passes with every pass of this tick's outputs into scene
// (pixel_arrays, passes, take_screenshot, the pass walk, draw_screenshots).
void game_pack_render_passes(struct render_context *ctx, struct threadstream *scene);

// quit_requested?(): 1 when truthy.
int game_quit_requested(void);

// new_log_entry(level, ticks, subsystem, message).
void game_new_log_entry(int32_t level, uint32_t ticks, const char *subsystem,
                        const char *message);

// __tick_count__ and __global_tick_count__ into the context (and the
// process-wide last completed global tick count).
void game_publish_tick_counts(struct render_context *ctx);

// quit and quit! on the runtime (shutdown).
void game_quit(void);
void game_quit_bang(void);

// Status the process should exit with, as the runtime reported it during
// game_quit_bang: 0 normally, non-zero when a --test run had failing tests,
// an exception ended a --no-tick/--test run, or the game called exit(n).
// Still valid after game_close.
int game_exit_status(void);

// Closes the interpreter for good (end of shutdown); safe without one.
void game_close(void);
