// FFI::File: whole-file reads through the virtual file system, writes to the
// game and base directories, and file status.
#include "natives/natives_internal.h"

#include "util/util.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <physfs.h>
#include <sys/stat.h>

namespace
{

// PhysicsFS's error codes by value, for delete's error text.
const char *const physfs_error_names[] = {
    "PHYSFS_ERR_OK",
    "PHYSFS_ERR_OTHER_ERROR",
    "PHYSFS_ERR_OUT_OF_MEMORY",
    "PHYSFS_ERR_NOT_INITIALIZED",
    "PHYSFS_ERR_IS_INITIALIZED",
    "PHYSFS_ERR_UNSUPPORTED",
    "PHYSFS_ERR_PAST_EOF",
    "PHYSFS_ERR_FILES_STILL_OPEN",
    "PHYSFS_ERR_INVALID_ARGUMENT",
    "PHYSFS_ERR_NOT_MOUNTED",
    "PHYSFS_ERR_NOT_FOUND",
    "PHYSFS_ERR_SYMLINK_FORBIDDEN",
    "PHYSFS_ERR_NO_WRITE_DIR",
    "PHYSFS_ERR_OPEN_FOR_READING",
    "PHYSFS_ERR_OPEN_FOR_WRITING",
    "PHYSFS_ERR_NOT_A_FILE",
    "PHYSFS_ERR_READ_ONLY",
    "PHYSFS_ERR_CORRUPT",
    "PHYSFS_ERR_SYMLINK_LOOP",
    "PHYSFS_ERR_IO",
    "PHYSFS_ERR_PERMISSION",
    "PHYSFS_ERR_NO_SPACE",
    "PHYSFS_ERR_BAD_FILENAME",
    "PHYSFS_ERR_BUSY",
    "PHYSFS_ERR_DIR_NOT_EMPTY",
    "PHYSFS_ERR_OS_ERROR",
    "PHYSFS_ERR_DUPLICATE",
    "PHYSFS_ERR_BAD_PASSWORD",
    "PHYSFS_ERR_APP_CALLBACK",
};
constexpr int physfs_error_count =
    (int)(sizeof(physfs_error_names) / sizeof(physfs_error_names[0]));

mrb_value sym(mrb_state *mrb, const char *name)
{
    return mrb_symbol_value(mrb_intern_cstr(mrb, name));
}

mrb_value ffi_file_m_mtime(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    return natives_int64_value(mrb, lastmodtime(path));
}

// The modification time in seconds with the fraction the host file system
// keeps, for files in host directories; other files answer the virtual file
// system's whole seconds; -1.0 when the path cannot be examined.
mrb_value ffi_file_m_mtime_precise(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    PHYSFS_Stat st;
    if (!PHYSFS_stat(path, &st)) {
        return mrb_float_value(mrb, -1.0);
    }
    double seconds = (double)st.modtime;
    const char *dir = PHYSFS_getRealDir(path);
    struct stat host_dir;
    if (dir && stat(dir, &host_dir) == 0 && S_ISDIR(host_dir.st_mode)) {
        char *full = sprintf_alloc("%s/%s", dir, path);
        struct stat host;
        if (full && stat(full, &host) == 0) {
            seconds = (double)host.st_mtim.tv_sec + (double)host.st_mtim.tv_nsec / 1e9;
        }
        SDL_free(full);
    }
    return mrb_float_value(mrb, seconds);
}

mrb_value ffi_file_m_path_exists(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    return mrb_bool_value(path_exists(path) != 0);
}

mrb_value ffi_file_m_read(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    size_t length = 0;
    char *data = loadfile(path, &length);
    if (!data) {
        return mrb_nil_value();
    }
    mrb_value str = mrb_str_new(mrb, data, (mrb_int)length);
    SDL_free(data);
    return str;
}

using write_fn = int (*)(const char *, const char *, const void *, size_t);

mrb_value write_under(mrb_state *mrb, const char *dir, write_fn fn)
{
    const char *path;
    const char *data;
    mrb_int length;
    mrb_get_args(mrb, "zs", &path, &data, &length);
    if (!dir) {
        return mrb_false_value();
    }
    return mrb_bool_value(fn(dir, path, data, (size_t)length) != 0);
}

mrb_value ffi_file_m_write(mrb_state *mrb, mrb_value self)
{
    return write_under(mrb, g_natives.game_dir, storefile_write_override);
}

mrb_value ffi_file_m_append(mrb_state *mrb, mrb_value self)
{
    return write_under(mrb, g_natives.game_dir, appendfile_write_override);
}

mrb_value ffi_file_m_write_root(mrb_state *mrb, mrb_value self)
{
    return write_under(mrb, g_natives.base_dir, storefile_write_override);
}

mrb_value ffi_file_m_append_root(mrb_state *mrb, mrb_value self)
{
    return write_under(mrb, g_natives.base_dir, appendfile_write_override);
}

mrb_value ffi_file_m_get_base_dir(mrb_state *mrb, mrb_value self)
{
    return mrb_str_new_cstr(mrb, g_natives.base_dir ? g_natives.base_dir : "");
}

mrb_value ffi_file_m_get_game_dir(mrb_state *mrb, mrb_value self)
{
    return mrb_str_new_cstr(mrb, g_natives.game_dir ? g_natives.game_dir : "");
}

mrb_value ffi_file_m_list(mrb_state *mrb, mrb_value self)
{
    const char *dir;
    mrb_get_args(mrb, "z", &dir);
    mrb_value result = mrb_ary_new(mrb);
    char **names = PHYSFS_enumerateFiles(dir);
    if (!names) {
        return result;
    }
    int ai = mrb_gc_arena_save(mrb);
    for (char **n = names; *n; n++) {
        mrb_ary_push(mrb, result, mrb_str_new_cstr(mrb, *n));
        mrb_gc_arena_restore(mrb, ai);
    }
    PHYSFS_freeList(names);
    return result;
}

mrb_value ffi_file_m_delete(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    if (PHYSFS_delete(path)) {
        return mrb_nil_value();
    }
    const int code = (int)PHYSFS_getLastErrorCode();
    if (code >= 1 && code < physfs_error_count) {
        mrb_raisef(mrb, E_RUNTIME_ERROR, "Error occurred in delete_file: %s",
                   physfs_error_names[code]);
    }
    mrb_raise(mrb, E_RUNTIME_ERROR, "Unknown error occurred in delete_file.");
    return mrb_nil_value();
}

mrb_value ffi_file_m_stat(mrb_state *mrb, mrb_value self)
{
    mrb_value path_value;
    mrb_get_args(mrb, "S", &path_value);
    const char *path = mrb_string_value_cstr(mrb, &path_value);
    PHYSFS_Stat st;
    if (!PHYSFS_stat(path, &st)) {
        return mrb_nil_value();
    }
    mrb_value h = mrb_hash_new_capa(mrb, 7);
    mrb_hash_set(mrb, h, sym(mrb, "path"), path_value);
    mrb_hash_set(mrb, h, sym(mrb, "file_size"), natives_int64_value(mrb, st.filesize));
    mrb_hash_set(mrb, h, sym(mrb, "mod_time"), natives_int64_value(mrb, st.modtime));
    mrb_hash_set(mrb, h, sym(mrb, "create_time"), natives_int64_value(mrb, st.createtime));
    mrb_hash_set(mrb, h, sym(mrb, "access_time"), natives_int64_value(mrb, st.accesstime));
    mrb_hash_set(mrb, h, sym(mrb, "readonly"), mrb_bool_value(st.readonly != 0));
    const char *type = "other";
    switch (st.filetype) {
    case PHYSFS_FILETYPE_REGULAR:
        type = "regular";
        break;
    case PHYSFS_FILETYPE_DIRECTORY:
        type = "directory";
        break;
    case PHYSFS_FILETYPE_SYMLINK:
        type = "symlink";
        break;
    default:
        break;
    }
    mrb_hash_set(mrb, h, sym(mrb, "file_type"), sym(mrb, type));
    return h;
}

struct method_entry {
    const char *name;
    mrb_func_t fn;
    mrb_aspec args;
};

const method_entry ffi_file_methods[] = {
    {"mtime", ffi_file_m_mtime, MRB_ARGS_REQ(1)},
    {"mtime_precise", ffi_file_m_mtime_precise, MRB_ARGS_REQ(1)},
    {"path_exists", ffi_file_m_path_exists, MRB_ARGS_REQ(1)},
    {"read", ffi_file_m_read, MRB_ARGS_REQ(1)},
    {"write", ffi_file_m_write, MRB_ARGS_REQ(2)},
    {"append", ffi_file_m_append, MRB_ARGS_REQ(2)},
    {"write_root", ffi_file_m_write_root, MRB_ARGS_REQ(2)},
    {"append_root", ffi_file_m_append_root, MRB_ARGS_REQ(2)},
    {"get_base_dir", ffi_file_m_get_base_dir, MRB_ARGS_NONE()},
    {"get_game_dir", ffi_file_m_get_game_dir, MRB_ARGS_NONE()},
    {"list", ffi_file_m_list, MRB_ARGS_REQ(1)},
    {"delete", ffi_file_m_delete, MRB_ARGS_REQ(1)},
    {"stat", ffi_file_m_stat, MRB_ARGS_REQ(1)},
};

} // namespace

void ffi_file_define(mrb_state *mrb, struct RClass *ffi)
{
    struct RClass *cls = mrb_define_class_under(mrb, ffi, "File", mrb->object_class);
    for (const method_entry &m : ffi_file_methods) {
        mrb_define_method(mrb, cls, m.name, m.fn, m.args);
    }
}
