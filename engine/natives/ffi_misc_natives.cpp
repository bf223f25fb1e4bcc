// FFI::Misc: configuration variables, the log, the process environment and
// the few platform facts the runtime asks for at construction.
#include "natives/natives_internal.h"

#include "config/config.h"
#include "log/log.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/string.h>

namespace
{

struct cvar_type_name {
    const char *name;
    int type;
};

const cvar_type_name cvar_types[] = {
    {"string", CVAR_TYPE_STRING}, {"int", CVAR_TYPE_INT},   {"uint", CVAR_TYPE_UINT},
    {"float", CVAR_TYPE_FLOAT},   {"bool", CVAR_TYPE_BOOL},
};

mrb_value ffi_misc_m_cvar_register(mrb_state *mrb, mrb_value self)
{
    const char *name, *description, *type_name, *default_text;
    mrb_get_args(mrb, "zzzz", &name, &description, &type_name, &default_text);
    int type = 0;
    for (const cvar_type_name &t : cvar_types) {
        if (SDL_strcmp(t.name, type_name) == 0) {
            type = t.type;
        }
    }
    if (!type) {
        log_error("Engine",
                  "Can't register cvar '%s' with unknown type '%s' (try 'string', 'int', 'uint', "
                  "'float', or 'bool').",
                  name, type_name);
        return mrb_false_value();
    }
    return mrb_bool_value(cvar_register(name, type, description, nullptr, default_text) != 0);
}

mrb_value ffi_misc_m_cvar_get(mrb_state *mrb, mrb_value self)
{
    const char *name;
    mrb_get_args(mrb, "z", &name);
    int type = 0;
    void *slot = cvar_get(name, &type, nullptr);
    if (!slot) {
        return mrb_nil_value();
    }
    switch (type) {
    case CVAR_TYPE_STRING: {
        // A copy, so that another thread replacing the text cannot pull it
        // out from under the new Ruby String.
        char *text = cvar_get_string_copy(name);
        mrb_value str = mrb_str_new_cstr(mrb, text ? text : "");
        SDL_free(text);
        return str;
    }
    case CVAR_TYPE_INT:
        return mrb_int_value(mrb, (mrb_int) * (int32_t *)slot);
    case CVAR_TYPE_UINT:
        return natives_int64_value(mrb, (int64_t) * (uint32_t *)slot);
    case CVAR_TYPE_FLOAT:
        return mrb_float_value(mrb, (mrb_float) * (float *)slot);
    case CVAR_TYPE_BOOL:
        return mrb_bool_value(*(int32_t *)slot != 0);
    default:
        return mrb_nil_value();
    }
}

mrb_value ffi_misc_m_cvar_set(mrb_state *mrb, mrb_value self)
{
    const char *name, *text;
    mrb_get_args(mrb, "zz", &name, &text);
    return mrb_bool_value(cvar_set(name, text) != 0);
}

mrb_value ffi_misc_m_cvar_islocked(mrb_state *mrb, mrb_value self)
{
    const char *name;
    mrb_get_args(mrb, "z", &name);
    return mrb_bool_value(cvar_islocked(name) != 0);
}

mrb_value ffi_misc_m_log(mrb_state *mrb, mrb_value self)
{
    const char *subsystem = nullptr;
    mrb_int level = 0;
    const char *message = nullptr;
    mrb_get_args(mrb, "z!iz!", &subsystem, &level, &message);
    // Levels keep their low 32 bits, like every integer the engine reads.
    orv_log_write(subsystem ? subsystem : "Game", (int32_t)(uint32_t)(uint64_t)level, message);
    return mrb_nil_value();
}

mrb_value ffi_misc_m_getenv(mrb_state *mrb, mrb_value self)
{
    const char *name;
    mrb_get_args(mrb, "z", &name);
    const char *value = SDL_getenv(name);
    return value ? mrb_str_new_cstr(mrb, value) : mrb_nil_value();
}

mrb_value ffi_misc_m_setenv(mrb_state *mrb, mrb_value self)
{
    const char *name, *value;
    mrb_bool overwrite = FALSE;
    mrb_get_args(mrb, "zzb", &name, &value, &overwrite);
    const int result = SDL_setenv(name, value, overwrite ? 1 : 0);
    SDL_Log("SDL_setenv(%s, %s, %d) = %d", name, value, overwrite ? 1 : 0, result);
    return mrb_nil_value();
}

mrb_value ffi_misc_m_device_size(mrb_state *mrb, mrb_value self)
{
    return mrb_ary_new(mrb);
}

mrb_value ffi_misc_m_touch_enabled_p(mrb_state *mrb, mrb_value self)
{
    return mrb_false_value();
}

mrb_value ffi_misc_m_get_thermal_state(mrb_state *mrb, mrb_value self)
{
    return mrb_nil_value();
}

mrb_value ffi_misc_m_request_quit_fatal(mrb_state *mrb, mrb_value self)
{
    mrb_value reason;
    mrb_get_args(mrb, "o", &reason);
    return mrb_nil_value();
}

// The language of the first preferred locale ("en" of "en_GB"), or nil.
mrb_value ffi_misc_m_get_locale(mrb_state *mrb, mrb_value self)
{
    SDL_Locale *locales = SDL_GetPreferredLocales();
    char language[16] = {0};
    if (locales) {
        if (locales[0].language) {
            SDL_strlcpy(language, locales[0].language, sizeof(language));
        }
        SDL_free(locales);
    }
    return language[0] ? mrb_str_new_cstr(mrb, language) : mrb_nil_value();
}

struct method_entry {
    const char *name;
    mrb_func_t fn;
    mrb_aspec args;
};

const method_entry ffi_misc_methods[] = {
    {"cvar_register", ffi_misc_m_cvar_register, MRB_ARGS_REQ(4)},
    {"cvar_get", ffi_misc_m_cvar_get, MRB_ARGS_REQ(1)},
    {"cvar_set", ffi_misc_m_cvar_set, MRB_ARGS_REQ(2)},
    {"cvar_islocked", ffi_misc_m_cvar_islocked, MRB_ARGS_REQ(1)},
    {"log", ffi_misc_m_log, MRB_ARGS_REQ(3)},
    {"getenv", ffi_misc_m_getenv, MRB_ARGS_REQ(1)},
    {"setenv", ffi_misc_m_setenv, MRB_ARGS_REQ(3)},
    {"device_size", ffi_misc_m_device_size, MRB_ARGS_NONE()},
    {"touch_enabled?", ffi_misc_m_touch_enabled_p, MRB_ARGS_NONE()},
    {"get_thermal_state", ffi_misc_m_get_thermal_state, MRB_ARGS_NONE()},
    {"request_quit_fatal", ffi_misc_m_request_quit_fatal, MRB_ARGS_REQ(1)},
    {"get_locale", ffi_misc_m_get_locale, MRB_ARGS_NONE()},
};

} // namespace

void ffi_misc_define(mrb_state *mrb, struct RClass *ffi)
{
    struct RClass *cls = mrb_define_class_under(mrb, ffi, "Misc", mrb->object_class);
    for (const method_entry &m : ffi_misc_methods) {
        mrb_define_method(mrb, cls, m.name, m.fn, m.args);
    }
}
