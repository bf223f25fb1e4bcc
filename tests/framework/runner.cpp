// Runs framework test files inside the engine's interpreter: for each file a
// fresh interpreter runs the framework image, gets the FFI natives and the
// runtime's loader over a fresh game directory in PhysicsFS, loads the assert
// helpers and then the file, and runs its tests. Prints "N passed, N failed"
// and exits non-zero when a test failed or a file could not run.
#include "config/config.h"
#include "framework_image.h"
#include "log/log.h"
#include "natives/natives.h"
#include "process/interpreter_natives.h"
#include "render/draw_natives.h"
#include "stream/pack.h"
#include "stream/scene_decode.h"
#include "stream/stream.h"
#include "util/util.h"

#include <SDL.h>
#include <mruby.h>
#include <mruby/array.h>
#include <mruby/compile.h>
#include <mruby/dump.h>
#include <mruby/irep.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <physfs.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>

namespace
{

struct runner_state {
    std::string game_dir;
    std::string base_dir;
    long passed;
    long failed;
};

runner_state g_run;

// The scene the drawing natives and the packers write into: null (nothing is
// drawn) except inside TestSupport.capture_primitives / capture_commands.
struct threadstream *g_scene_slot = nullptr;
struct threadstream *g_capture = nullptr;
int32_t g_scale_quality = 0;

void *allocf(mrb_state *, void *p, size_t size, void *)
{
    if (size == 0) {
        SDL_free(p);
        return nullptr;
    }
    return SDL_realloc(p, size);
}

// TestSupport.log_lines: every log entry written since the last call, as
// "<level> [<subsystem>] <message>".
mrb_value support_m_log_lines(mrb_state *mrb, mrb_value self)
{
    mrb_value lines = mrb_ary_new(mrb);
    struct log_entry *list = log_get_entries();
    for (struct log_entry *e = list; e; e = e->next) {
        char *text = sprintf_alloc("%d [%s] %s", (int)e->level, e->subsystem, e->message);
        if (text) {
            mrb_ary_push(mrb, lines, mrb_str_new_cstr(mrb, text));
            SDL_free(text);
        }
    }
    log_free_entries(list);
    return lines;
}

mrb_value support_m_game_dir(mrb_state *mrb, mrb_value self)
{
    return mrb_str_new_cstr(mrb, g_run.game_dir.c_str());
}

mrb_value support_m_base_dir(mrb_state *mrb, mrb_value self)
{
    return mrb_str_new_cstr(mrb, g_run.base_dir.c_str());
}

// TestSupport.compile(source) → the bytecode image of source.
mrb_value support_m_compile(mrb_state *mrb, mrb_value self)
{
    const char *source;
    mrb_int length;
    mrb_get_args(mrb, "s", &source, &length);
    mrbc_context *cxt = mrbc_context_new(mrb);
    cxt->no_exec = TRUE;
    cxt->capture_errors = TRUE;
    mrb_value proc = mrb_load_nstring_cxt(mrb, source, length, cxt);
    mrbc_context_free(mrb, cxt);
    if (mrb->exc || !mrb_proc_p(proc)) {
        mrb_raise(mrb, E_RUNTIME_ERROR, "could not compile");
    }
    uint8_t *bin = nullptr;
    size_t size = 0;
    const int r = mrb_dump_irep(mrb, mrb_proc_ptr(proc)->body.irep, 0, &bin, &size);
    if (r != MRB_DUMP_OK) {
        mrb_raise(mrb, E_RUNTIME_ERROR, "could not dump");
    }
    mrb_value str = mrb_str_new(mrb, (const char *)bin, (mrb_int)size);
    mrb_free(mrb, bin);
    return str;
}

// TestSupport.load_framework_image: runs the image once more.
mrb_value support_m_load_framework_image(mrb_state *mrb, mrb_value self)
{
    mrb_irep *irep = mrb_read_irep_buf(mrb, main_ruby, main_ruby_size);
    if (!irep) {
        mrb_raise(mrb, E_RUNTIME_ERROR, "the framework image does not read");
    }
    interpreter_run_irep_at_top_level(mrb, irep);
    if (mrb->exc) {
        struct RObject *exc = mrb->exc;
        mrb->exc = nullptr;
        mrb_exc_raise(mrb, mrb_obj_value(exc));
    }
    return mrb_true_value();
}

// TestSupport.framework_format: the format header of the linked image.
mrb_value support_m_framework_header(mrb_state *mrb, mrb_value self)
{
    return mrb_str_new(mrb, (const char *)main_ruby, 8);
}

// TestSupport.expected_format: the format the linked interpreter reads.
mrb_value support_m_expected_format(mrb_state *mrb, mrb_value self)
{
    return mrb_str_new_cstr(mrb, RITE_BINARY_IDENT RITE_BINARY_FORMAT_VER);
}

// Runs the block with drawing going into an empty scene; answers the decoded
// text (decode is scene_decode_primitives or scene_decode_commands), or the
// number of bytes packed when called with false (for benchmarks).
mrb_value capture(mrb_state *mrb, char *(*decode)(const struct threadstream *))
{
    mrb_value block;
    mrb_bool text_wanted = TRUE;
    mrb_get_args(mrb, "|b&", &text_wanted, &block);
    g_capture->length = 0;
    g_capture->read_pos = 0;
    g_capture->error = 0;
    g_scene_slot = g_capture;
    mrb_value result = mrb_yield(mrb, block, mrb_nil_value());
    g_scene_slot = nullptr;
    if (mrb->exc) {
        return result;
    }
    if (!text_wanted) {
        return mrb_int_value(mrb, (mrb_int)g_capture->length);
    }
    char *text = decode(g_capture);
    mrb_value str = mrb_str_new_cstr(mrb, text ? text : "");
    SDL_free(text);
    return str;
}

// TestSupport.capture_primitives { ... } → the records drawn, one a line.
mrb_value support_m_capture_primitives(mrb_state *mrb, mrb_value self)
{
    return capture(mrb, scene_decode_primitives);
}

// TestSupport.capture_commands { ... } → the commands packed, one a line.
mrb_value support_m_capture_commands(mrb_state *mrb, mrb_value self)
{
    return capture(mrb, scene_decode_commands);
}

// TestSupport.pack_pass(runtime, pass): the engine's walk of the sixteen
// collections of pass (what the end of a tick does for every pass).
mrb_value support_m_pack_pass(mrb_state *mrb, mrb_value self)
{
    mrb_value runtime, pass;
    mrb_int production = 0;
    mrb_get_args(mrb, "oo|i", &runtime, &pass, &production);
    const struct pack_walk walk = {runtime, mrb_funcall(mrb, runtime, "ffi_draw", 0), (int)production};
    pack_begin_frame(100);
    pack_pass_collections(mrb, &walk, pass);
    return mrb_nil_value();
}

// TestSupport.pack_exception_count: exceptions the walks handed on.
mrb_value support_m_pack_exception_count(mrb_state *mrb, mrb_value self)
{
    return mrb_int_value(mrb, (mrb_int)pack_exception_count());
}

int make_dirs(void)
{
    std::string mk = "mkdir -p '" + g_run.game_dir + "/app' '" + g_run.base_dir + "'";
    return system(mk.c_str()) == 0;
}

int remove_tree(const std::string &dir);

// TestSupport.reset_dirs: empties the game and base directories.
mrb_value support_m_reset_dirs(mrb_state *mrb, mrb_value self)
{
    remove_tree(g_run.game_dir);
    remove_tree(g_run.base_dir);
    return mrb_bool_value(make_dirs());
}

int run_source(mrb_state *mrb, const char *path)
{
    size_t length = 0;
    FILE *f = fopen(path, "rb");
    if (!f) {
        fprintf(stderr, "cannot open %s\n", path);
        return 0;
    }
    std::string text;
    char buf[4096];
    while ((length = fread(buf, 1, sizeof(buf), f)) > 0) {
        text.append(buf, length);
    }
    fclose(f);
    mrbc_context *cxt = mrbc_context_new(mrb);
    mrbc_filename(mrb, cxt, path);
    mrb_load_nstring_cxt(mrb, text.data(), text.size(), cxt);
    mrbc_context_free(mrb, cxt);
    if (mrb->exc) {
        fprintf(stderr, "error while loading %s:\n", path);
        mrb_print_error(mrb);
        mrb->exc = nullptr;
        return 0;
    }
    return 1;
}

int remove_tree(const std::string &dir)
{
    std::string cmd = "rm -rf '" + dir + "'";
    return system(cmd.c_str());
}

// One test file in a fresh interpreter over a fresh game directory.
void run_file(const char *helpers, const char *file, const char *tmp_root)
{
    std::string name = file;
    const size_t slash = name.find_last_of('/');
    if (slash != std::string::npos) {
        name = name.substr(slash + 1);
    }
    const std::string root = std::string(tmp_root) + "/framework-" + name;
    remove_tree(root);
    g_run.game_dir = root + "/game";
    g_run.base_dir = root + "/base";
    if (!make_dirs()) {
        fprintf(stderr, "cannot create %s\n", root.c_str());
        g_run.failed++;
        return;
    }
    PHYSFS_setWriteDir(g_run.base_dir.c_str());
    PHYSFS_mount(g_run.base_dir.c_str(), nullptr, 0);
    PHYSFS_mount(g_run.game_dir.c_str(), nullptr, 0);

    mrb_state *mrb = mrb_open_allocf(allocf, nullptr);
    mrb_load_irep_buf(mrb, main_ruby, main_ruby_size);
    if (mrb->exc) {
        mrb_print_error(mrb);
        g_run.failed++;
        mrb_close(mrb);
        return;
    }
    ffi_init(g_run.game_dir.c_str(), g_run.base_dir.c_str(), mrb, nullptr);
    interpreter_register_runtime_natives(mrb);
    // Drawing commands outside a captured scene do nothing.
    g_scene_slot = nullptr;
    draw_natives_register(mrb, mrb_class_get_under(mrb, mrb_module_get(mrb, "FFI"), "Draw"),
                          nullptr, &g_scene_slot);
    const struct pack_settings pack = {&g_scene_slot, nullptr, &g_scale_quality};
    pack_init(mrb, &pack);
    struct RClass *support = mrb_define_module(mrb, "TestSupport");
    mrb_define_module_function(mrb, support, "log_lines", support_m_log_lines, MRB_ARGS_NONE());
    mrb_define_module_function(mrb, support, "game_dir", support_m_game_dir, MRB_ARGS_NONE());
    mrb_define_module_function(mrb, support, "base_dir", support_m_base_dir, MRB_ARGS_NONE());
    mrb_define_module_function(mrb, support, "reset_dirs", support_m_reset_dirs, MRB_ARGS_NONE());
    mrb_define_module_function(mrb, support, "compile", support_m_compile, MRB_ARGS_REQ(1));
    mrb_define_module_function(mrb, support, "load_framework_image", support_m_load_framework_image,
                               MRB_ARGS_NONE());
    mrb_define_module_function(mrb, support, "framework_header", support_m_framework_header,
                               MRB_ARGS_NONE());
    mrb_define_module_function(mrb, support, "expected_format", support_m_expected_format,
                               MRB_ARGS_NONE());
    mrb_define_module_function(mrb, support, "capture_primitives", support_m_capture_primitives,
                               MRB_ARGS_OPT(1) | MRB_ARGS_BLOCK());
    mrb_define_module_function(mrb, support, "capture_commands", support_m_capture_commands,
                               MRB_ARGS_OPT(1) | MRB_ARGS_BLOCK());
    mrb_define_module_function(mrb, support, "pack_pass", support_m_pack_pass, MRB_ARGS_ARG(2, 1));
    mrb_define_module_function(mrb, support, "pack_exception_count", support_m_pack_exception_count,
                               MRB_ARGS_NONE());
    mrb_load_string(mrb, "def tick args; end");

    if (run_source(mrb, helpers) && run_source(mrb, file)) {
        mrb_value result = mrb_load_string(mrb, "FrameworkTest.run_all");
        if (mrb->exc || !mrb_array_p(result)) {
            mrb_print_error(mrb);
            mrb->exc = nullptr;
            g_run.failed++;
        } else {
            g_run.passed += (long)mrb_integer(mrb_ary_entry(result, 0));
            g_run.failed += (long)mrb_integer(mrb_ary_entry(result, 1));
        }
    } else {
        g_run.failed++;
    }
    mrb_close(mrb);
    log_free_entries(log_get_entries());
    PHYSFS_unmount(g_run.game_dir.c_str());
    PHYSFS_unmount(g_run.base_dir.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s helpers.rb test.rb...\n", argv[0]);
        return 2;
    }
    const char *tmp = SDL_getenv("ORV_TEST_TMPDIR");
    if (!tmp) {
        tmp = "/tmp";
    }
    util_physfs_use_sdl_allocator();
    if (!PHYSFS_init(argv[0]) || !log_init() || !cvar_init() || !register_renderer_cvars() ||
        !register_metadata_cvars() || !threadstream_init() || !(g_capture = threadstream_allocate())) {
        fprintf(stderr, "set-up failed\n");
        return 2;
    }
    struct log_settings settings = {"spam", 0, "", ""};
    log_configure(&settings);
    for (int i = 2; i < argc; i++) {
        run_file(argv[1], argv[i], tmp);
    }
    printf("%ld passed, %ld failed\n", g_run.passed, g_run.failed);
    threadstream_free(g_capture);
    threadstream_quit();
    cvar_quit();
    log_quit();
    natives_quit();
    PHYSFS_deinit();
    return g_run.failed == 0 ? 0 : 1;
}
