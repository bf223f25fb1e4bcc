// Shared inside engine/natives only: the state ffi_init keeps and small value
// helpers used by every FFI class.
// Thread: the interpreter's thread.
#pragma once

#include <mruby.h>
#include <stdint.h>

struct render_context;

struct natives_state {
    char *game_dir; // copy; write/append go below it
    char *base_dir; // copy; write_root/append_root go below it
    struct render_context *ctx;
    int32_t generation; // tick count when ffi_init ran
};

extern struct natives_state g_natives;

// An Integer when the value fits the interpreter's integers (32-bit on the
// Raspberry Pi), else a Float.
mrb_value natives_int64_value(mrb_state *mrb, int64_t value);

void ffi_file_define(mrb_state *mrb, struct RClass *ffi);
void ffi_misc_define(mrb_state *mrb, struct RClass *ffi);
void ffi_mrb_define(mrb_state *mrb, struct RClass *ffi);
void kernel_natives_define(mrb_state *mrb);
