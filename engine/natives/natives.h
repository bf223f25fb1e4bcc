// The native script library: the FFI module the framework and games call
// (files, configuration variables, log, environment, parsing) plus the Kernel
// methods the interpreter build lacks (sleep, usleep).
// Thread: the thread that owns the interpreter (the main thread during the
// bootstrap, the simulation thread afterwards); every native runs inside a
// Ruby call on that thread.
// Ownership: ffi_init keeps its own copies of the two directories until the
// next ffi_init or natives_quit; everything else lives in the interpreter.
#pragma once

#include <stddef.h>
#include <stdint.h>

struct mrb_state;
struct mrb_parser_state;
struct render_context;

// Defines the module FFI with FFI::File, FFI::Misc and FFI::MRB, and
// Kernel#sleep/usleep, in the given interpreter. The directories are those the
// write natives write under (game directory for write/append, base directory
// for write_root/append_root); the render context may be null. Runs again
// for every new interpreter. Returns 1, or 0 (logged) when memory runs out.
int ffi_init(const char *game_dir, const char *base_dir, struct mrb_state *mrb,
             struct render_context *ctx);

// Frees the copies kept by ffi_init; safe to call more than once.
void natives_quit(void);

// The directories and generation stamp of the last ffi_init (null/-1 before).
const char *natives_game_dir(void);
const char *natives_base_dir(void);
int32_t natives_generation(void);

// Writes one "line %d:%d: %s\n" line per parser error of p into out (always
// NUL-terminated), each line cut to line_max - 1 characters (its newline kept)
// and the whole to out_size - 1. Returns the length written.
size_t natives_format_parser_errors(const struct mrb_parser_state *p, char *out, size_t out_size,
                                    size_t line_max);

// The text the framework's syntax check answers for a source text: "Syntax
// OK", or the parser's error lines (natives_format_parser_errors, at most
// 3000 bytes). Writes into out (out_size bytes, NUL-terminated); returns 1
// when the text compiles, 0 when it has errors, -1 when out of memory.
int natives_check_syntax(struct mrb_state *mrb, const char *source, size_t length, char *out,
                         size_t out_size);
