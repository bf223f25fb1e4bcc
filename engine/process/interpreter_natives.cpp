// The runtime's synchronous file loader, FFI::Draw and the test-class entry.
#include "process/interpreter_natives.h"

#include "log/log.h"
#include "natives/natives.h"
#include "util/util.h"

#include <SDL.h>
#include <mruby.h>
#include <mruby/array.h>
#include <mruby/compile.h>
#include <mruby/error.h>
#include <mruby/irep.h>
#include <mruby/dump.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <mruby/variable.h>
#include <stdlib.h>

namespace
{

constexpr size_t error_text_max = 3000; // the whole text, NUL included
constexpr size_t error_line_max = 255;  // one line, NUL included

// 1 when the part of path from its last '.' on is ".rbc", ignoring case.
int has_bytecode_extension(const char *path)
{
    const char *dot = SDL_strrchr(path, '.');
    return dot && SDL_strcasecmp(dot, ".rbc") == 0;
}

// Raises the pending exception after the caller has freed what it holds.
void raise_pending(mrb_state *mrb)
{
    struct RObject *exc = mrb->exc;
    if (exc) {
        mrb->exc = nullptr;
        mrb_exc_raise(mrb, mrb_obj_value(exc));
    }
}

struct load_request {
    struct mrb_parser_state *parser;
    mrbc_context *cxt;
};

mrb_value load_exec_body(mrb_state *mrb, void *ud)
{
    const load_request *r = (const load_request *)ud;
    return mrb_load_exec(mrb, r->parser, r->cxt);
}

// Loads one file of the reload list. Every buffer is freed before anything
// is raised, since a raise leaves this frame with longjmp.
void load_one(mrb_state *mrb, const char *path)
{
    size_t length = 0;
    char *text = loadfile(path, &length);
    if (!text) {
        return; // unreadable files are skipped
    }
    if (has_bytecode_extension(path)) {
        // The buffer's own size bounds the read, whatever its header claims;
        // the reader copies what it keeps.
        mrb_irep *irep = mrb_read_irep_buf(mrb, text, length);
        SDL_free(text);
        if (!irep) {
            raise_pending(mrb);
            mrb_raisef(mrb, E_RUNTIME_ERROR, "%s is not a compiled Ruby file this engine can read.",
                       path);
        }
        interpreter_run_irep_at_top_level(mrb, irep);
        raise_pending(mrb);
        return;
    }
    mrbc_context *cxt = mrbc_context_new(mrb);
    if (!cxt) {
        SDL_free(text);
        mrb_raise(mrb, E_RUNTIME_ERROR, "out of memory while loading");
    }
    cxt->capture_errors = TRUE;
    mrbc_filename(mrb, cxt, path);
    struct mrb_parser_state *p = mrb_parse_nstring(mrb, text, length, cxt);
    if (!p) {
        mrbc_context_free(mrb, cxt);
        SDL_free(text);
        mrb_raise(mrb, E_RUNTIME_ERROR, "out of memory while parsing");
    }
    if (p->nerr > 0) {
        char errors[error_text_max];
        natives_format_parser_errors(p, errors, sizeof(errors), error_line_max);
        SDL_Log("* Failed to load/reload %s\n%s", path, errors);
        mrb_parser_free(p);
        mrbc_context_free(mrb, cxt);
        SDL_free(text);
        mrb_value message = mrb_str_new_cstr(mrb, errors);
        mrb_exc_raise(mrb, mrb_exc_new_str(mrb, E_RUNTIME_ERROR, message));
    }
    // mrb_load_exec generates the code, frees the parser and runs the code
    // with the top-level object and Object as its class. An exception in the
    // code leaves through longjmp, so it runs under protection and is raised
    // again once the buffers are freed.
    load_request request{p, cxt};
    mrb_bool failed = FALSE;
    mrb_value result = mrb_protect_error(mrb, load_exec_body, &request, &failed);
    mrbc_context_free(mrb, cxt);
    SDL_free(text);
    if (failed) {
        mrb_exc_raise(mrb, result);
    }
    raise_pending(mrb);
}

// ZelRuntime#reload_requested_ruby_files_synchronously(*): loads every path of
// get_ruby_reload_list, taking them from the front of that same array.
mrb_value zelruntime_m_reload_requested_ruby_files_synchronously(mrb_state *mrb, mrb_value self)
{
    mrb_value list = mrb_funcall(mrb, self, "get_ruby_reload_list", 0);
    if (!mrb_array_p(list)) {
        return mrb_nil_value();
    }
    const mrb_int n = RARRAY_LEN(list);
    while (RARRAY_LEN(list) > 0) {
        const int ai = mrb_gc_arena_save(mrb);
        mrb_value entry = mrb_ary_shift(mrb, list);
        mrb_value path = mrb_obj_as_string(mrb, entry);
        load_one(mrb, mrb_string_value_cstr(mrb, &path));
        mrb_gc_arena_restore(mrb, ai);
    }
    if (n > 0) {
        mrb_funcall(mrb, self, "reload_complete", 0);
    }
    return mrb_nil_value();
}

mrb_value report_body(mrb_state *mrb, void *exc)
{
    mrb_value e = mrb_obj_value(exc);
    mrb_value text = mrb_inspect(mrb, e);
    mrb_value trace = mrb_exc_backtrace(mrb, e);
    mrb_value lines = mrb_ary_new(mrb);
    mrb_ary_push(mrb, lines, text);
    if (mrb_array_p(trace)) {
        for (mrb_int i = 0; i < RARRAY_LEN(trace); i++) {
            mrb_value line = mrb_str_new_lit(mrb, "  from ");
            mrb_str_concat(mrb, line, mrb_obj_as_string(mrb, mrb_ary_entry(trace, i)));
            mrb_ary_push(mrb, lines, line);
        }
    }
    return mrb_ary_join(mrb, lines, mrb_str_new_lit(mrb, "\n"));
}

} // namespace

void interpreter_run_irep_at_top_level(mrb_state *mrb, struct mrb_irep *irep)
{
    struct RProc *proc = mrb_proc_new(mrb, irep);
    mrb_irep_decref(mrb, irep);
    // A proc made inside a native would otherwise define its classes and
    // methods under the native's class.
    MRB_PROC_SET_TARGET_CLASS(proc, mrb->object_class);
    if (mrb->c->ci) {
        mrb_vm_ci_target_class_set(mrb->c->ci, mrb->object_class);
    }
    mrb_top_run(mrb, proc, mrb_top_self(mrb), 0);
}

size_t interpreter_describe_pending_exception(mrb_state *mrb, char *out, size_t out_size)
{
    if (!out || out_size == 0) {
        return 0;
    }
    out[0] = '\0';
    struct RObject *exc = mrb ? mrb->exc : nullptr;
    if (!exc) {
        return 0;
    }
    mrb->exc = nullptr;
    const int ai = mrb_gc_arena_save(mrb);
    // Kept alive while it is described.
    mrb_gc_protect(mrb, mrb_obj_value(exc));
    mrb_bool failed = FALSE;
    mrb_value text = mrb_protect_error(mrb, report_body, exc, &failed);
    if (failed || !mrb_string_p(text)) {
        SDL_strlcpy(out, "(the exception could not be described)", out_size);
    } else {
        SDL_strlcpy(out, RSTRING_CSTR(mrb, text), out_size);
    }
    mrb->exc = nullptr;
    mrb_gc_arena_restore(mrb, ai);
    return SDL_strlen(out);
}

void interpreter_report_pending_exception(mrb_state *mrb, const char *where)
{
    if (!mrb || !mrb->exc) {
        return;
    }
    char text[4096];
    interpreter_describe_pending_exception(mrb, text, sizeof(text));
    log_error("Engine", "Unhandled exception in %s: %s", where, text);
}

void interpreter_register_runtime_natives(mrb_state *mrb)
{
    struct RClass *ffi = mrb_module_get(mrb, "FFI");
    const int ai = mrb_gc_arena_save(mrb);
    // Its drawing and window commands come from draw_natives_register.
    mrb_define_class_under(mrb, ffi, "Draw", mrb->object_class);
    mrb_gc_arena_restore(mrb, ai);
    struct RClass *runtime = mrb_class_get(mrb, "ZelRuntime");
    mrb_define_method(mrb, runtime, "reload_requested_ruby_files_synchronously",
                      zelruntime_m_reload_requested_ruby_files_synchronously, MRB_ARGS_ANY());
    mrb_gc_arena_restore(mrb, ai);
}

namespace
{

mrb_value run_test_class_body(mrb_state *mrb, void *name)
{
    struct RClass *cls = mrb_class_get(mrb, (const char *)name);
    mrb_value instance = mrb_obj_new(mrb, cls, 0, nullptr);
    return mrb_funcall(mrb, instance, "run", 0);
}

} // namespace

int run_test_class(const char *class_name, mrb_state *mrb)
{
    mrb_bool failed = FALSE;
    mrb_value result = mrb_protect_error(mrb, run_test_class_body, (void *)class_name, &failed);
    if (failed) {
        mrb->exc = mrb_obj_ptr(result);
    }
    if (mrb->exc) {
        mrb_print_error(mrb);
        // A failing run must fail the harness, so CI sees it.
        exit(1);
    }
    return 0;
}

void run_tests(void) {}
