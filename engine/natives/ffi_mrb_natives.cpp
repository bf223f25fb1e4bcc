// FFI::MRB: syntax checks of Ruby source text, and the error-text format the
// engine's loaders share.
#include "natives/natives.h"
#include "natives/natives_internal.h"

#include <SDL.h>
#include <mruby/compile.h>
#include <mruby/string.h>

namespace
{

constexpr size_t parse_text_max = 3000;

mrb_value ffi_mrb_m_parse(mrb_state *mrb, mrb_value self)
{
    const char *source;
    mrb_int length;
    mrb_get_args(mrb, "s", &source, &length);
    char text[parse_text_max + 1];
    const int result = natives_check_syntax(mrb, source, (size_t)length, text, sizeof(text));
    if (result < 0) {
        mrb_raise(mrb, E_RUNTIME_ERROR, "out of memory while parsing");
    }
    return mrb_str_new_cstr(mrb, text);
}

} // namespace

size_t natives_format_parser_errors(const struct mrb_parser_state *p, char *out, size_t out_size,
                                    size_t line_max)
{
    if (!out || out_size == 0) {
        return 0;
    }
    out[0] = '\0';
    size_t used = 0;
    const size_t count = p->nerr < 10 ? p->nerr : 10; // the parser keeps ten messages
    for (size_t i = 0; i < count; i++) {
        const struct mrb_parser_message *m = &p->error_buffer[i];
        char line[1024];
        const size_t cap = line_max < sizeof(line) ? line_max : sizeof(line);
        if (cap < 2) {
            break;
        }
        int n = SDL_snprintf(line, cap, "line %d:%d: %s\n", (int)m->lineno, m->column,
                             m->message ? m->message : "syntax error");
        if (n < 0) {
            continue;
        }
        size_t len = (size_t)n;
        if (len >= cap) {
            // Cut to the line limit but keep the line's newline.
            len = cap - 1;
            line[len - 1] = '\n';
            line[len] = '\0';
        }
        if (used + len >= out_size) {
            break;
        }
        SDL_memcpy(out + used, line, len + 1);
        used += len;
    }
    return used;
}

int natives_check_syntax(mrb_state *mrb, const char *source, size_t length, char *out,
                         size_t out_size)
{
    mrbc_context *cxt = mrbc_context_new(mrb);
    if (!cxt) {
        return -1;
    }
    cxt->capture_errors = TRUE;
    cxt->no_exec = TRUE;
    struct mrb_parser_state *p = mrb_parse_nstring(mrb, source, length, cxt);
    if (!p) {
        mrbc_context_free(mrb, cxt);
        return -1;
    }
    int ok = p->nerr == 0;
    if (ok) {
        SDL_strlcpy(out, "Syntax OK", out_size);
    } else {
        natives_format_parser_errors(p, out, out_size, out_size);
    }
    mrb_parser_free(p);
    mrbc_context_free(mrb, cxt);
    return ok;
}

void ffi_mrb_define(mrb_state *mrb, struct RClass *ffi)
{
    struct RClass *cls = mrb_define_class_under(mrb, ffi, "MRB", mrb->object_class);
    mrb_define_method(mrb, cls, "parse", ffi_mrb_m_parse, MRB_ARGS_REQ(1));
}
