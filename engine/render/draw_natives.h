// FFI::Draw: the native methods through which scripts append drawing records
// and window commands to the scene being built this tick (solids, borders,
// lines, labels, triangles, screenshots, the grid, cursors, window size and
// title, scale settings, uploaded pixel arrays, URLs, simulated resets).
// Thread: the thread that owns the interpreter (the simulation thread during
// ticks). Nothing is drawn here; the render thread executes the scene later.
// Ownership: the context and the scene slot belong to the process; they are
// only read.
#pragma once

struct mrb_state;
struct RClass;
struct render_context;
struct threadstream;

// Defines the methods on ffi_draw (the FFI::Draw class). scene_slot is where
// the process keeps the scene being built (null outside a tick, when every
// method does nothing); ctx supplies the grid, orientation, tick count and
// maximum texture size. Also points orv_upload_pixel_array at the same slot.
// Returns 1.
int draw_natives_register(struct mrb_state *mrb, struct RClass *ffi_draw,
                          struct render_context *ctx, struct threadstream **scene_slot);
