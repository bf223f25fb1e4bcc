// The mruby side of input: the raw event records and the typed calls on the
// runtime object. Thread: the thread that owns the interpreter.
#pragma once

#include <mruby.h>

#include "input/input.h"

// Calls name(*argv) on the runtime object; reports and clears any exception.
typedef mrb_value (*input_call_fn)(mrb_sym name, mrb_int argc, const mrb_value *argv);

// Interns the record keys, type symbols and method names; once per interpreter.
void events_init(mrb_state *mrb);

// Builds the raw record of one platform event and passes it to raw_event.
mrb_value events_process_raw(mrb_state *mrb, struct render_context *ctx,
                             struct input_state *state, const SDL_Event *ev, input_call_fn call);

// The typed calls for one event (after its raw record).
void events_dispatch(mrb_state *mrb, struct render_context *ctx, struct input_state *state,
                     const SDL_Event *ev, input_call_fn call);

// left_controller_position, right_controller_position and headset_position,
// each with six zeros: this platform has no tracked controllers.
void events_report_vr_positions(mrb_state *mrb, input_call_fn call);
