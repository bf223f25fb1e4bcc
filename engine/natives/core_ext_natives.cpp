// Core class extensions games call for every object every tick: Hash
// attribute access (fixed-key accessors, readers and writers defined on first
// use by method_missing), and class-method iteration helpers on Array,
// Enumerable, Hash and String that walk a collection by index without
// enumerators.
//
// The in-place helpers re-read the array's length at every step, so a block
// that shrinks the array never makes them read or write past its end, and
// items the block appends are not visited.
#include "natives/core_ext.h"

#include <mruby.h>

#include <mruby/array.h>
#include <mruby/class.h>
#include <mruby/hash.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <string.h>

namespace {

const char *const hash_accessors[] = {
    "x",         "y",         "dx",       "dy",       "x2",       "y2",
    "x3",        "y3",        "w",        "h",        "text",     "size_enum",
    "size_px",   "alignment_enum",        "vertical_alignment_enum", "pos",
    "z",         "r",         "g",        "b",        "a",        "font",
    "tile_x",    "tile_y",    "tile_w",   "tile_h",   "source_x", "source_y",
    "source_w",  "source_h",  "flip_horizontally",    "flip_vertically",
    "angle_anchor_x",         "angle_anchor_y",       "angle",    "angle_x",
    "angle_y",   "blendmode_enum",        "at",       "path",     "anchor_x",
    "anchor_y",  "s",         "id",       "area",     "hypotenuse", "tick",
};

struct core_ext_symbols {
    mrb_sym original_method_missing;
    mrb_sym original_split;
    mrb_sym to_enum;
};

core_ext_symbols g_sym;

// ---- Hash attribute access ------------------------------------------------------

// The key a reader or writer proc carries in its environment.
mrb_value hash_m_read(mrb_state *mrb, mrb_value self)
{
    mrb_get_args(mrb, "");
    return mrb_hash_fetch(mrb, self, mrb_proc_cfunc_env_get(mrb, 0), mrb_nil_value());
}

mrb_value hash_m_write(mrb_state *mrb, mrb_value self)
{
    mrb_value value;
    mrb_get_args(mrb, "o", &value);
    mrb_hash_set(mrb, self, mrb_proc_cfunc_env_get(mrb, 0), value);
    return value;
}

void define_keyed(mrb_state *mrb, mrb_sym name, mrb_sym key, mrb_func_t func)
{
    const int ai = mrb_gc_arena_save(mrb);
    mrb_value env = mrb_symbol_value(key);
    struct RProc *proc = mrb_proc_new_cfunc_with_env(mrb, func, 1, &env);
    mrb_method_t m;
    MRB_METHOD_FROM_PROC(m, proc);
    mrb_define_method_raw(mrb, mrb->hash_class, name, m);
    mrb_gc_arena_restore(mrb, ai);
}

mrb_sym intern_n(mrb_state *mrb, const char *s, size_t n)
{
    return mrb_intern(mrb, s, n);
}

// Reader `name` for the key of the same name, or for name without a trailing
// underscore (so `class_` reads :class).
mrb_sym define_reader(mrb_state *mrb, mrb_sym name)
{
    mrb_int n = 0;
    const char *s = mrb_sym_name_len(mrb, name, &n);
    mrb_sym key = name;
    if (n > 1 && s[n - 1] == '_') {
        key = intern_n(mrb, s, (size_t)n - 1);
    }
    define_keyed(mrb, name, key, hash_m_read);
    return name;
}

// Writer `name=` storing under name.
mrb_sym define_writer(mrb_state *mrb, const char *s, mrb_int n)
{
    const mrb_sym writer = intern_n(mrb, s, (size_t)n);
    const mrb_sym key = intern_n(mrb, s, (size_t)n - 1);
    define_keyed(mrb, writer, key, hash_m_write);
    return writer;
}

// The name as a Symbol; a String is interned, anything else raises.
mrb_sym name_symbol(mrb_state *mrb, mrb_value name)
{
    if (mrb_symbol_p(name)) {
        return mrb_symbol(name);
    }
    if (mrb_string_p(name)) {
        return mrb_intern_str(mrb, name);
    }
    mrb_raisef(mrb, E_TYPE_ERROR, "%Y cannot be converted to String", name);
    return 0;
}

mrb_value call_original_method_missing(mrb_state *mrb, mrb_value self, mrb_value name,
                                       const mrb_value *args, mrb_int argc, mrb_value block)
{
    mrb_value argv[16];
    if (argc + 1 > (mrb_int)(sizeof(argv) / sizeof(argv[0]))) {
        // Rare: more arguments than the stack buffer; an array holds them.
        mrb_value all = mrb_ary_new_from_values(mrb, argc, args);
        mrb_ary_unshift(mrb, all, name);
        return mrb_funcall_with_block(mrb, self, g_sym.original_method_missing, RARRAY_LEN(all),
                                      RARRAY_PTR(all), block);
    }
    argv[0] = name;
    for (mrb_int i = 0; i < argc; i++) {
        argv[i + 1] = args[i];
    }
    return mrb_funcall_with_block(mrb, self, g_sym.original_method_missing, argc + 1, argv, block);
}

mrb_value hash_m_method_missing(mrb_state *mrb, mrb_value self)
{
    mrb_value name, block;
    const mrb_value *args;
    mrb_int argc;
    mrb_get_args(mrb, "o*&", &name, &args, &argc, &block);
    if (!mrb_nil_p(block) || argc > 1) {
        return call_original_method_missing(mrb, self, name, args, argc, block);
    }
    const mrb_sym sym = name_symbol(mrb, name);
    mrb_int n = 0;
    const char *s = mrb_sym_name_len(mrb, sym, &n);
    if (!s || n == 0 || s[n - 1] == '?' || s[n - 1] == '!') {
        return call_original_method_missing(mrb, self, name, args, argc, block);
    }
    if (s[n - 1] == '=' && argc == 1 && n > 1) {
        const mrb_sym writer = define_writer(mrb, s, n);
        return mrb_funcall_argv(mrb, self, writer, 1, args);
    }
    if (argc == 0 && s[n - 1] != '=') {
        define_reader(mrb, sym);
        return mrb_funcall_argv(mrb, self, sym, 0, nullptr);
    }
    return call_original_method_missing(mrb, self, name, args, argc, block);
}

mrb_value hash_m_get_hash_property(mrb_state *mrb, mrb_value self)
{
    mrb_value name;
    mrb_get_args(mrb, "o", &name);
    const mrb_sym sym = define_reader(mrb, name_symbol(mrb, name));
    return mrb_funcall_argv(mrb, self, sym, 0, nullptr);
}

mrb_value hash_m_set_hash_property(mrb_state *mrb, mrb_value self)
{
    mrb_value name, value;
    mrb_get_args(mrb, "oo", &name, &value);
    const mrb_sym sym = name_symbol(mrb, name);
    mrb_int n = 0;
    const char *s = mrb_sym_name_len(mrb, sym, &n);
    mrb_sym writer;
    if (n > 1 && s[n - 1] == '=') {
        writer = define_writer(mrb, s, n);
    } else {
        // A bare name stores under itself through the writer name=.
        mrb_value text = mrb_str_new(mrb, s, n);
        mrb_str_cat_lit(mrb, text, "=");
        writer = define_writer(mrb, RSTRING_PTR(text), RSTRING_LEN(text));
    }
    return mrb_funcall_argv(mrb, self, writer, 1, &value);
}

// ---- Array helpers --------------------------------------------------------------

// The collection argument, which must be an Array.
mrb_value array_arg(mrb_state *mrb, mrb_value v, const char *owner, const char *name)
{
    if (!mrb_array_p(v)) {
        mrb_value text = mrb_obj_as_string(mrb, v);
        mrb_raisef(mrb, E_TYPE_ERROR, "~%s::%s~ expects an array, but received %v.", owner, name,
                   text);
    }
    return v;
}

// The array and the block of a helper that requires one.
void array_and_block(mrb_state *mrb, const char *name, mrb_value *ary, mrb_value *block)
{
    mrb_get_args(mrb, "o&!", ary, block);
    array_arg(mrb, *ary, "Array", name);
}

enum class walk { map, map_with_index, each, each_with_index, select, reject, filter_map };

// The walks that build a new array or none. Items appended by the block are
// not visited: the walk stops at the length the array had at the start, or
// earlier when the block shortens it.
mrb_value array_walk(mrb_state *mrb, mrb_value ary, mrb_value block, walk kind)
{
    const mrb_int n = RARRAY_LEN(ary);
    const int builds = kind != walk::each && kind != walk::each_with_index;
    mrb_value out = builds ? mrb_ary_new_capa(mrb, kind == walk::map ? n : 0) : mrb_nil_value();
    const int ai = mrb_gc_arena_save(mrb);
    for (mrb_int i = 0; i < n && i < RARRAY_LEN(ary); i++) {
        const mrb_value it = RARRAY_PTR(ary)[i];
        mrb_value r;
        if (kind == walk::map_with_index || kind == walk::each_with_index) {
            mrb_value argv[2] = {it, mrb_int_value(mrb, i)};
            r = mrb_yield_argv(mrb, block, 2, argv);
        } else {
            r = mrb_yield(mrb, block, it);
        }
        switch (kind) {
        case walk::map:
        case walk::map_with_index:
            mrb_ary_push(mrb, out, r);
            break;
        case walk::select:
            if (mrb_test(r)) {
                mrb_ary_push(mrb, out, it);
            }
            break;
        case walk::reject:
            if (!mrb_test(r)) {
                mrb_ary_push(mrb, out, it);
            }
            break;
        case walk::filter_map:
            if (mrb_test(r)) {
                mrb_ary_push(mrb, out, r);
            }
            break;
        default:
            break;
        }
        mrb_gc_arena_restore(mrb, ai);
    }
    return out;
}

// In place: keeps the items for which keep(block result) holds, or with
// map_in_place writes each block result back. Indexes are checked against the
// current length before every read and write.
enum class in_place { map, select, reject, compact };

mrb_value array_in_place(mrb_state *mrb, mrb_value ary, mrb_value block, in_place kind)
{
    const mrb_int n = RARRAY_LEN(ary);
    const int ai = mrb_gc_arena_save(mrb);
    if (kind == in_place::map) {
        for (mrb_int i = 0; i < n && i < RARRAY_LEN(ary); i++) {
            const mrb_value r = mrb_yield(mrb, block, RARRAY_PTR(ary)[i]);
            if (i < RARRAY_LEN(ary)) {
                mrb_ary_set(mrb, ary, i, r);
            }
            mrb_gc_arena_restore(mrb, ai);
        }
        return ary;
    }
    mrb_int kept = 0;
    mrb_int i = 0;
    for (; i < n && i < RARRAY_LEN(ary); i++) {
        const mrb_value it = RARRAY_PTR(ary)[i];
        int keep;
        if (kind == in_place::compact) {
            keep = !mrb_nil_p(it);
        } else {
            const mrb_value r = mrb_yield(mrb, block, it);
            keep = kind == in_place::select ? mrb_test(r) : !mrb_test(r);
        }
        if (keep) {
            if (kept < RARRAY_LEN(ary)) {
                mrb_ary_set(mrb, ary, kept, it);
            }
            kept++;
        }
        mrb_gc_arena_restore(mrb, ai);
    }
    // Items the block appended move down behind the kept ones.
    const mrb_int len = RARRAY_LEN(ary);
    for (mrb_int j = i; j < len && kept < RARRAY_LEN(ary); j++) {
        mrb_ary_set(mrb, ary, kept++, RARRAY_PTR(ary)[j]);
    }
    if (kept < RARRAY_LEN(ary)) {
        mrb_ary_resize(mrb, ary, kept);
    }
    return ary;
}

#define ARRAY_WALK(fname, rname, kind)                                  \
    mrb_value fname(mrb_state *mrb, mrb_value)                          \
    {                                                                   \
        mrb_value ary, block;                                           \
        array_and_block(mrb, rname, &ary, &block);                      \
        return array_walk(mrb, ary, block, kind);                       \
    }

ARRAY_WALK(array_s_map, "map", walk::map)
ARRAY_WALK(array_s_map_with_index, "map_with_index", walk::map_with_index)
ARRAY_WALK(array_s_each, "each", walk::each)
ARRAY_WALK(array_s_each_with_index, "each_with_index", walk::each_with_index)
ARRAY_WALK(array_s_find_all, "find_all", walk::select)
ARRAY_WALK(array_s_select, "select", walk::select)
ARRAY_WALK(array_s_reject, "reject", walk::reject)
ARRAY_WALK(array_s_filter_map, "filter_map", walk::filter_map)

#define ARRAY_IN_PLACE(fname, rname, kind)                              \
    mrb_value fname(mrb_state *mrb, mrb_value)                          \
    {                                                                   \
        mrb_value ary, block;                                           \
        array_and_block(mrb, rname, &ary, &block);                      \
        return array_in_place(mrb, ary, block, kind);                   \
    }

ARRAY_IN_PLACE(array_s_map_bang, "map!", in_place::map)
ARRAY_IN_PLACE(array_s_select_bang, "select!", in_place::select)
ARRAY_IN_PLACE(array_s_reject_bang, "reject!", in_place::reject)

mrb_value array_s_compact(mrb_state *mrb, mrb_value)
{
    mrb_value ary, block;
    mrb_get_args(mrb, "o&", &ary, &block);
    array_arg(mrb, ary, "Array", "compact");
    mrb_value out = mrb_ary_new_capa(mrb, RARRAY_LEN(ary));
    for (mrb_int i = 0; i < RARRAY_LEN(ary); i++) {
        if (!mrb_nil_p(RARRAY_PTR(ary)[i])) {
            mrb_ary_push(mrb, out, RARRAY_PTR(ary)[i]);
        }
    }
    return out;
}

mrb_value array_s_compact_bang(mrb_state *mrb, mrb_value)
{
    mrb_value ary, block;
    mrb_get_args(mrb, "o&", &ary, &block);
    array_arg(mrb, ary, "Array", "compact!");
    return array_in_place(mrb, ary, block, in_place::compact);
}

mrb_value array_s_flat_map(mrb_state *mrb, mrb_value)
{
    mrb_value ary, block;
    array_and_block(mrb, "flat_map", &ary, &block);
    const mrb_int n = RARRAY_LEN(ary);
    mrb_value out = mrb_ary_new(mrb);
    const int ai = mrb_gc_arena_save(mrb);
    for (mrb_int i = 0; i < n && i < RARRAY_LEN(ary); i++) {
        const mrb_value r = mrb_yield(mrb, block, RARRAY_PTR(ary)[i]);
        if (!mrb_array_p(r)) {
            mrb_value text = mrb_obj_as_string(mrb, r);
            mrb_raisef(mrb, E_TYPE_ERROR,
                       "~Array::flat_map~ expects a block that returns an array, but received %v.",
                       text);
        }
        mrb_ary_concat(mrb, out, r);
        mrb_gc_arena_restore(mrb, ai);
    }
    return out;
}

// Enumerable.select / find_all over an array; without a block the
// collection's enumerator.
mrb_value enumerable_select(mrb_state *mrb, const char *name)
{
    mrb_value ary, block;
    mrb_get_args(mrb, "o&", &ary, &block);
    if (mrb_nil_p(block)) {
        return mrb_funcall_argv(mrb, ary, g_sym.to_enum, 0, nullptr);
    }
    array_arg(mrb, ary, "Enumerable", name);
    return array_walk(mrb, ary, block, walk::select);
}

mrb_value enumerable_s_select(mrb_state *mrb, mrb_value)
{
    return enumerable_select(mrb, "select");
}

mrb_value enumerable_s_find_all(mrb_state *mrb, mrb_value)
{
    return enumerable_select(mrb, "find_all");
}

// ---- Hash helpers ---------------------------------------------------------------

// Merges from into into, key by key in from's order; with a block a key in
// both takes block(key, old, new). The keys are taken first, so a block that
// changes either hash cannot disturb the walk.
void merge_into(mrb_state *mrb, mrb_value into, mrb_value from, mrb_value block)
{
    const mrb_value keys = mrb_hash_keys(mrb, from);
    const mrb_value missing = mrb_obj_value(mrb->object_class);  // a value no hash holds here
    const int ai = mrb_gc_arena_save(mrb);
    for (mrb_int i = 0; i < RARRAY_LEN(keys); i++) {
        const mrb_value key = RARRAY_PTR(keys)[i];
        mrb_value value = mrb_hash_fetch(mrb, from, key, missing);
        if (mrb_obj_eq(mrb, value, missing)) {
            continue;  // removed by the block meanwhile
        }
        if (!mrb_nil_p(block)) {
            const mrb_value old = mrb_hash_fetch(mrb, into, key, missing);
            if (!mrb_obj_eq(mrb, old, missing)) {
                mrb_value argv[3] = {key, old, value};
                value = mrb_yield_argv(mrb, block, 3, argv);
            }
        }
        mrb_hash_set(mrb, into, key, value);
        mrb_gc_arena_restore(mrb, ai);
    }
}

mrb_value hash_s_merge(mrb_state *mrb, mrb_value)
{
    mrb_value a, b, block;
    mrb_get_args(mrb, "oo&", &a, &b, &block);
    a = mrb_ensure_hash_type(mrb, a);
    b = mrb_ensure_hash_type(mrb, b);
    mrb_value out = mrb_hash_dup(mrb, a);
    merge_into(mrb, out, b, block);
    return out;
}

mrb_value hash_s_merge_bang(mrb_state *mrb, mrb_value)
{
    mrb_value a, b, block;
    mrb_get_args(mrb, "oo&", &a, &b, &block);
    a = mrb_ensure_hash_type(mrb, a);
    b = mrb_ensure_hash_type(mrb, b);
    merge_into(mrb, a, b, block);
    return a;
}

// [key, value] pairs for which block(key, value) is truthy, as an Array.
mrb_value hash_select(mrb_state *mrb)
{
    mrb_value hash, block;
    mrb_get_args(mrb, "o&", &hash, &block);
    if (mrb_nil_p(block)) {
        return mrb_funcall_argv(mrb, hash, g_sym.to_enum, 0, nullptr);
    }
    hash = mrb_ensure_hash_type(mrb, hash);
    const mrb_value keys = mrb_hash_keys(mrb, hash);
    const mrb_value missing = mrb_obj_value(mrb->object_class);
    mrb_value out = mrb_ary_new(mrb);
    const int ai = mrb_gc_arena_save(mrb);
    for (mrb_int i = 0; i < RARRAY_LEN(keys); i++) {
        mrb_value kv[2] = {RARRAY_PTR(keys)[i], mrb_nil_value()};
        kv[1] = mrb_hash_fetch(mrb, hash, kv[0], missing);
        if (mrb_obj_eq(mrb, kv[1], missing)) {
            continue;
        }
        if (mrb_test(mrb_yield_argv(mrb, block, 2, kv))) {
            mrb_ary_push(mrb, out, mrb_ary_new_from_values(mrb, 2, kv));
        }
        mrb_gc_arena_restore(mrb, ai);
    }
    return out;
}

mrb_value hash_s_select(mrb_state *mrb, mrb_value)
{
    return hash_select(mrb);
}

// ---- String.split ---------------------------------------------------------------

int is_space(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Byte length of the UTF-8 character that starts with lead, 1 for stray bytes.
mrb_int utf8_length(unsigned char lead)
{
    if (lead < 0xc0) {
        return 1;
    }
    if (lead < 0xe0) {
        return 2;
    }
    if (lead < 0xf0) {
        return 3;
    }
    return 4;
}

void push_piece(mrb_state *mrb, mrb_value out, const char *p, mrb_int n, int ai)
{
    mrb_ary_push(mrb, out, mrb_str_new(mrb, p, n));
    mrb_gc_arena_restore(mrb, ai);
}

mrb_value string_s_split(mrb_state *mrb, mrb_value)
{
    mrb_value str, sep = mrb_nil_value(), limit = mrb_nil_value();
    mrb_int given = mrb_get_args(mrb, "S|oo", &str, &sep, &limit);
    const int awk = given < 2 || mrb_nil_p(sep) ||
                    (mrb_string_p(sep) && RSTRING_LEN(sep) == 1 && RSTRING_PTR(sep)[0] == ' ');
    const int one_char = mrb_string_p(sep) && RSTRING_LEN(sep) >= 1 &&
                         RSTRING_LEN(sep) == utf8_length((unsigned char)RSTRING_PTR(sep)[0]);
    if ((!awk && !one_char) || (!mrb_nil_p(limit) && !mrb_integer_p(limit))) {
        // Longer or empty separators, and limits that need converting, are
        // the interpreter's own.
        // A nil limit means none, which the original accepts only by leaving it out.
        mrb_value argv[2] = {sep, limit};
        const mrb_int argc = mrb_nil_p(limit) && given > 2 ? 1 : given - 1;
        return mrb_funcall_argv(mrb, str, g_sym.original_split, argc, argv);
    }
    mrb_int lim = 0;
    int limited = 0;
    mrb_int fields = 0;
    if (mrb_integer_p(limit)) {
        lim = mrb_integer(limit);
        if (lim == 1) {
            if (RSTRING_LEN(str) == 0) {
                return mrb_ary_new(mrb);
            }
            mrb_value whole = mrb_str_dup(mrb, str);
            return mrb_ary_new_from_values(mrb, 1, &whole);
        }
        limited = lim > 0;
        fields = 1;
    }
    mrb_value out = mrb_ary_new(mrb);
    const int ai = mrb_gc_arena_save(mrb);
    // No script code runs below, so the bytes stay where they are.
    const char *bytes = RSTRING_PTR(str);
    const mrb_int len = RSTRING_LEN(str);
    mrb_int beg = 0;
    if (awk) {
        mrb_int end = 0;
        int skip = 1;
        for (mrb_int i = 0; i < len; i++) {
            const unsigned char c = (unsigned char)bytes[i];
            if (skip) {
                if (is_space(c)) {
                    beg = i + 1;
                } else {
                    end = i + 1;
                    skip = 0;
                    if (limited && lim <= fields) {
                        break;
                    }
                }
            } else if (is_space(c)) {
                push_piece(mrb, out, bytes + beg, end - beg, ai);
                skip = 1;
                beg = i + 1;
                if (limited) {
                    fields++;
                }
            } else {
                end = i + 1;
            }
        }
    } else {
        const char *pat = RSTRING_PTR(sep);
        const mrb_int pat_len = RSTRING_LEN(sep);
        mrb_int pos = 0;
        while (pos < len) {
            mrb_int found = -1;
            for (mrb_int i = pos; i + pat_len <= len; i++) {
                if (bytes[i] == pat[0] && memcmp(bytes + i, pat, (size_t)pat_len) == 0) {
                    found = i;
                    break;
                }
            }
            if (found < 0) {
                break;
            }
            push_piece(mrb, out, bytes + pos, found - pos, ai);
            pos = found + pat_len;
            if (limited && lim <= ++fields) {
                break;
            }
        }
        beg = pos;
    }
    if (len > 0 && (limited || len > beg || lim < 0)) {
        push_piece(mrb, out, bytes + beg, len - beg, ai);
    }
    if (!limited && lim == 0) {
        // Trailing empty fields go, as without a limit.
        mrb_int n = RARRAY_LEN(out);
        while (n > 0 && RSTRING_LEN(RARRAY_PTR(out)[n - 1]) == 0) {
            n--;
        }
        mrb_ary_resize(mrb, out, n);
    }
    return out;
}

// ---- Fn: walks without enumerators -------------------------------------------------
// The element count is taken once; each element is read from the array's
// current storage when its turn comes, and the walk stops early when a call
// has made the array shorter.

mrb_value fn_send(mrb_state *mrb, int with_index)
{
    mrb_value ary, receiver;
    mrb_sym name;
    mrb_get_args(mrb, "oon", &ary, &receiver, &name);
    if (mrb_nil_p(ary)) {
        return mrb_nil_value();
    }
    array_arg(mrb, ary, "Fn", with_index ? "each_with_index_send" : "each_send");
    const mrb_int n = RARRAY_LEN(ary);
    const int ai = mrb_gc_arena_save(mrb);
    for (mrb_int i = 0; i < n && i < RARRAY_LEN(ary); i++) {
        mrb_value argv[2] = {RARRAY_PTR(ary)[i], mrb_int_value(mrb, i)};
        mrb_funcall_argv(mrb, receiver, name, with_index ? 2 : 1, argv);
        mrb_gc_arena_restore(mrb, ai);
    }
    return mrb_nil_value();
}

mrb_value fn_s_each_send(mrb_state *mrb, mrb_value)
{
    return fn_send(mrb, 0);
}

mrb_value fn_s_each_with_index_send(mrb_state *mrb, mrb_value)
{
    return fn_send(mrb, 1);
}

mrb_value fn_walk(mrb_state *mrb, walk kind, const char *name)
{
    mrb_value ary, block;
    mrb_get_args(mrb, "o&!", &ary, &block);
    array_arg(mrb, ary, "Fn", name);
    return array_walk(mrb, ary, block, kind);
}

mrb_value fn_s_each(mrb_state *mrb, mrb_value)
{
    return fn_walk(mrb, walk::each, "each");
}

mrb_value fn_s_each_with_index(mrb_state *mrb, mrb_value)
{
    return fn_walk(mrb, walk::each_with_index, "each_with_index");
}

mrb_value fn_s_map(mrb_state *mrb, mrb_value)
{
    return fn_walk(mrb, walk::map, "map");
}

struct native {
    const char *name;
    mrb_func_t func;
    mrb_aspec aspec;
};

const native array_class_methods[] = {
    {"map", array_s_map, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"map!", array_s_map_bang, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"map_with_index", array_s_map_with_index, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"each", array_s_each, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"each_with_index", array_s_each_with_index, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"reject", array_s_reject, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"reject!", array_s_reject_bang, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"find_all", array_s_find_all, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"select", array_s_select, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"select!", array_s_select_bang, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"compact", array_s_compact, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"compact!", array_s_compact_bang, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"filter_map", array_s_filter_map, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
    {"flat_map", array_s_flat_map, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK()},
};

}  // namespace

void core_ext_natives_register(mrb_state *mrb)
{
    const int ai = mrb_gc_arena_save(mrb);
    g_sym.original_method_missing = mrb_intern_lit(mrb, "__original_method_missing__");
    g_sym.original_split = mrb_intern_lit(mrb, "__original_split__");
    g_sym.to_enum = mrb_intern_lit(mrb, "to_enum");

    struct RClass *hash = mrb->hash_class;
    for (const char *name : hash_accessors) {
        const mrb_sym key = mrb_intern_cstr(mrb, name);
        define_keyed(mrb, key, key, hash_m_read);
        char writer[64];
        const size_t n = strlen(name);
        memcpy(writer, name, n);
        writer[n] = '=';
        define_keyed(mrb, mrb_intern(mrb, writer, n + 1), key, hash_m_write);
    }
    // x1 and y1 are second names of :x and :y.
    const mrb_sym x = mrb_intern_lit(mrb, "x"), y = mrb_intern_lit(mrb, "y");
    define_keyed(mrb, mrb_intern_lit(mrb, "x1"), x, hash_m_read);
    define_keyed(mrb, mrb_intern_lit(mrb, "y1"), y, hash_m_read);
    define_keyed(mrb, mrb_intern_lit(mrb, "x1="), x, hash_m_write);
    define_keyed(mrb, mrb_intern_lit(mrb, "y1="), y, hash_m_write);

    if (!mrb_obj_respond_to(mrb, hash, g_sym.original_method_missing)) {
        mrb_define_alias(mrb, hash, "__original_method_missing__", "method_missing");
    }
    mrb_define_method(mrb, hash, "method_missing", hash_m_method_missing, MRB_ARGS_ANY());
    mrb_define_method(mrb, hash, "__get_hash_property__", hash_m_get_hash_property,
                      MRB_ARGS_REQ(1));
    mrb_define_method(mrb, hash, "__set_hash_property__", hash_m_set_hash_property,
                      MRB_ARGS_REQ(2));

    for (const native &m : array_class_methods) {
        mrb_define_class_method(mrb, mrb->array_class, m.name, m.func, m.aspec);
    }
    struct RClass *enumerable = mrb_module_get(mrb, "Enumerable");
    mrb_define_class_method(mrb, enumerable, "select", enumerable_s_select,
                            MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK());
    mrb_define_class_method(mrb, enumerable, "find_all", enumerable_s_find_all,
                            MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK());
    mrb_define_class_method(mrb, hash, "merge", hash_s_merge, MRB_ARGS_REQ(2) | MRB_ARGS_BLOCK());
    mrb_define_class_method(mrb, hash, "merge!", hash_s_merge_bang,
                            MRB_ARGS_REQ(2) | MRB_ARGS_BLOCK());
    mrb_define_class_method(mrb, hash, "select", hash_s_select, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK());
    mrb_define_class_method(mrb, hash, "find_all", hash_s_select,
                            MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK());

    if (!mrb_obj_respond_to(mrb, mrb->string_class, g_sym.original_split)) {
        mrb_define_alias(mrb, mrb->string_class, "__original_split__", "split");
    }
    mrb_define_class_method(mrb, mrb->string_class, "split", string_s_split, MRB_ARGS_ARG(1, 2));

    struct RClass *fn = mrb_define_class(mrb, "Fn", mrb->object_class);
    mrb_define_class_method(mrb, fn, "each_send", fn_s_each_send, MRB_ARGS_REQ(3));
    mrb_define_class_method(mrb, fn, "each_with_index_send", fn_s_each_with_index_send,
                            MRB_ARGS_REQ(3));
    mrb_define_class_method(mrb, fn, "each", fn_s_each, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK());
    mrb_define_class_method(mrb, fn, "each_with_index", fn_s_each_with_index,
                            MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK());
    mrb_define_class_method(mrb, fn, "map", fn_s_map, MRB_ARGS_REQ(1) | MRB_ARGS_BLOCK());
    mrb_gc_arena_restore(mrb, ai);
}
