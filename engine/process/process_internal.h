// Shared inside engine/process only.
#pragma once

#include <SDL.h>
#include <stddef.h>
#include <stdint.h>

struct render_context;

// Frame-rate sampler: a ring of eight samples of at least 125 ms each.
struct fps_sampler {
    uint32_t total_ms;
    uint32_t total_frames;
    uint32_t last_sample_ms;
    uint32_t frames_since_sample;
    uint32_t ring_ms[8];
    uint32_t ring_frames[8];
    uint32_t index;
};

// Counts one frame and returns the current rate in frames per second.
uint32_t fps_iteration(struct fps_sampler *sampler);

// The four strings saved at start-up; they live for the whole process so that
// a reboot of the interpreter can pass them again.
struct process_strings {
    char *game_dir;
    char *base_dir;
    char *binary_path;
    char *argument_line;
};
extern struct process_strings process_saved;

// Set to 1 by the simulation thread when it ends.
extern SDL_atomic_t simulation_stopped;

// Body of the thread named "simulation".
int simulation_thread_main(void *render_context);

// One tick; returns non-zero to go on, 0 to stop.
int simulation_iteration(void);

// One pass of the render loop.
void draw_iteration(struct render_context *ctx);

// Gives the calling thread an alternate signal stack so a stack overflow
// still reaches the crash handler.
void process_install_signal_stack(void);

// Builds the argument line from argv into out (at most out_size - 1 chars;
// out_size is 1024 in the engine), warning for every argument dropped.
void process_build_argument_line(int argc, char **argv, char *out, size_t out_size);
