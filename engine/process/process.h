// Process spine: entry, start-up and shutdown, the render loop on the main
// thread and the paced simulation thread.
// Thread: process_startup, process_run and process_shutdown run on the main
// thread; simulation_* on the simulation thread. The exported atomics below are
// the only state the two threads share besides the render context's queues and
// size snapshot and the cvar registry.
#pragma once

#include <SDL.h>
#include <stdint.h>

struct render_context;
struct threadstream;

extern SDL_atomic_t atomic_is_first_simulation_iteration;  // 1 until the first tick
extern SDL_atomic_t atomic_last_completed_global_tick_count;  // -1 before any tick
extern SDL_atomic_t sleep_occurred_flag;  // application is in the background
extern SDL_atomic_t wake_occurred_flag;  // application came back to the foreground
extern SDL_atomic_t atomic_resize_occurred;  // the window was resized
extern SDL_atomic_t atomic_a11y_activation_occurred_at;

// The process's one render context (null before start-up creates it).
extern struct render_context *process_render_context;

// The scene being packed: the first scene during start-up, then each tick's.
// Owned by the thread that runs the interpreter.
extern struct threadstream *process_current_scene;

// Installs the SIGSEGV handler (with an alternate signal stack for the
// calling thread); the first thing main does.
void process_install_crash_handler(void);

// Start-up; returns only on success, otherwise ends through startup_failure.
void process_startup(int argc, char **argv);

// The render loop; starts the simulation thread; never returns.
void process_run(void);

// Orderly shutdown after the simulation thread has ended; returns the
// status the process exits with.
int process_shutdown(void);

// Fatal start-up exit: log, standard error, message box, status 1.
void startup_failure(const char *format, ...) SDL_PRINTF_VARARG_FUNC(1);

// Ignores SIGPIPE once per process (the networking code calls it).
void ignore_sigpipe(void);
