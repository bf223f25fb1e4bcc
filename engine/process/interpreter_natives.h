// Natives that belong to the interpreter itself rather than to the FFI module:
// the runtime's synchronous file loader, the FFI::Draw class, and the entry
// points test harnesses use to run a test class.
// Thread: the thread that owns the interpreter.
#pragma once

#include <stddef.h>

struct mrb_state;
struct mrb_irep;

// Defines the class FFI::Draw (the module FFI must exist; its commands are
// draw_natives_register's) and registers on ZelRuntime
// (which must be a class) its reload_requested_ruby_files_synchronously
// native. Raises the interpreter's TypeError when either has the wrong kind.
void interpreter_register_runtime_natives(struct mrb_state *mrb);

// Runs compiled code with the top-level object as self and Object as the
// class its definitions go to, wherever it is called from (also inside a
// native). Takes over the caller's reference to irep. An exception the code
// raises is left pending.
void interpreter_run_irep_at_top_level(struct mrb_state *mrb, struct mrb_irep *irep);

// Writes the pending exception's inspect text and backtrace into out (always
// NUL-terminated) and clears it. Returns the length; 0 when none is pending.
size_t interpreter_describe_pending_exception(struct mrb_state *mrb, char *out, size_t out_size);

// Logs the interpreter's pending exception (message and backtrace, subsystem
// "Engine", level error) with where it came from, then clears it. Does
// nothing when none is pending.
void interpreter_report_pending_exception(struct mrb_state *mrb, const char *where);

// Looks up the top-level class class_name, creates an instance and calls its
// run. An exception left pending is printed and ends the process with status
// 1. Returns 0.
int run_test_class(const char *class_name, struct mrb_state *mrb);

// Does nothing; kept for test harnesses that call it.
void run_tests(void);
