// The cvar registry: a list of records (newest first) and a list of pending
// values for names not registered yet, both under one mutex. Records live
// until cvar_quit, and so do their names, descriptions and every text a
// string cvar ever held, which lets the registration callback and readers of
// string slots run without the mutex.
#include <SDL.h>
#include <limits.h>
#include <stddef.h>
#include <mutex>

#include "config/config.h"
#include "log/log.h"

namespace
{

// A string value: the text follows the link used to retire it.
struct text_block {
    struct text_block *next;
    char text[1];
};

union cvar_slot {
    int32_t i;
    uint32_t u;
    float f;
    char *s;
    uint64_t padding;
};

struct cvar_record {
    char *name;
    char *description;
    void *storage;
    int type;
    union cvar_slot inline_slot;
    int locked;
    struct text_block *retired; // texts this cvar held before
    struct cvar_record *next;
};

struct pending_value {
    char *name;
    char *value;
    struct pending_value *prev;
    struct pending_value *next;
};

struct cvar_registry {
    struct cvar_record *head;
    struct pending_value *pending;
    cvar_register_callback callback;
    void *callback_user;
};

std::mutex g_mutex;
struct cvar_registry g_cvars;

const char *const kTypeNames[] = {"unknown", "string", "int", "uint", "float", "bool"};

struct text_block *block_of(char *text)
{
    return (struct text_block *)(text - offsetof(struct text_block, text));
}

struct text_block *new_block(const char *text)
{
    const size_t length = SDL_strlen(text);
    struct text_block *block =
        (struct text_block *)SDL_malloc(offsetof(struct text_block, text) + length + 1);
    if (!block) {
        return nullptr;
    }
    block->next = nullptr;
    SDL_memcpy(block->text, text, length + 1);
    return block;
}

struct cvar_record *find(const char *name)
{
    for (struct cvar_record *c = g_cvars.head; c; c = c->next) {
        if (SDL_strcmp(c->name, name) == 0) {
            return c;
        }
    }
    return nullptr;
}

struct pending_value *find_pending(const char *name)
{
    for (struct pending_value *p = g_cvars.pending; p; p = p->next) {
        if (SDL_strcmp(p->name, name) == 0) {
            return p;
        }
    }
    return nullptr;
}

void unlink_pending(struct pending_value *p)
{
    if (p->prev) {
        p->prev->next = p->next;
    } else {
        g_cvars.pending = p->next;
    }
    if (p->next) {
        p->next->prev = p->prev;
    }
    SDL_free(p->name);
    SDL_free(p->value);
    SDL_free(p);
}

int64_t clamp64(long long value, int64_t low, int64_t high)
{
    return value < low ? low : (value > high ? high : value);
}

int32_t text_to_int(const char *text)
{
    return (int32_t)clamp64(SDL_strtoll(text, nullptr, 10), INT32_MIN, INT32_MAX);
}

uint32_t text_to_uint(const char *text)
{
    return (uint32_t)clamp64(SDL_strtoll(text, nullptr, 10), 0, UINT32_MAX);
}

int32_t text_to_bool(const char *text)
{
    return (SDL_strtoll(text, nullptr, 10) != 0 || SDL_strcasecmp(text, "true") == 0) ? 1 : 0;
}

// Replaces a string cvar's text. The old text is retired, not freed; a text
// this cvar held before is taken back instead of copied again.
int assign_string(struct cvar_record *c, const char *text)
{
    char **slot = (char **)c->storage;
    char *current = __atomic_load_n(slot, __ATOMIC_RELAXED);
    if (current && SDL_strcmp(current, text) == 0) {
        return 1;
    }
    struct text_block *block = nullptr;
    for (struct text_block **link = &c->retired; *link; link = &(*link)->next) {
        if (SDL_strcmp((*link)->text, text) == 0) {
            block = *link;
            *link = block->next;
            block->next = nullptr;
            break;
        }
    }
    if (!block) {
        block = new_block(text);
        if (!block) {
            SDL_OutOfMemory();
            return 0;
        }
    }
    __atomic_store_n(slot, &block->text[0], __ATOMIC_RELEASE);
    if (current) {
        struct text_block *old = block_of(current);
        old->next = c->retired;
        c->retired = old;
    }
    return 1;
}

// Sets from text, ignoring the lock. Called with the mutex held.
int assign(struct cvar_record *c, const char *text)
{
    switch (c->type) {
    case CVAR_TYPE_STRING:
        return assign_string(c, text);
    case CVAR_TYPE_INT:
        __atomic_store_n((int32_t *)c->storage, text_to_int(text), __ATOMIC_RELAXED);
        return 1;
    case CVAR_TYPE_UINT:
        __atomic_store_n((uint32_t *)c->storage, text_to_uint(text), __ATOMIC_RELAXED);
        return 1;
    case CVAR_TYPE_FLOAT: {
        const float value = (float)SDL_strtod(text, nullptr);
        uint32_t bits;
        SDL_memcpy(&bits, &value, sizeof(bits));
        __atomic_store_n((uint32_t *)c->storage, bits, __ATOMIC_RELAXED);
        return 1;
    }
    case CVAR_TYPE_BOOL:
        __atomic_store_n((int32_t *)c->storage, text_to_bool(text), __ATOMIC_RELAXED);
        return 1;
    default:
        SDL_SetError("Unknown cvar type %d", c->type);
        return 0;
    }
}

// Copies the current value into another slot of the same type. A string slot
// gets the registry's text, which stays valid until cvar_quit.
void copy_value(const struct cvar_record *c, void *target)
{
    if (c->type == CVAR_TYPE_STRING) {
        __atomic_store_n((char **)target, __atomic_load_n((char **)c->storage, __ATOMIC_RELAXED),
                         __ATOMIC_RELEASE);
    } else {
        __atomic_store_n((uint32_t *)target,
                         __atomic_load_n((uint32_t *)c->storage, __ATOMIC_RELAXED),
                         __ATOMIC_RELAXED);
    }
}

// A second registration of an existing name. Called with the mutex held.
int register_again(struct cvar_record *c, int type, void *storage)
{
    if (c->type != type) {
        const int known = type >= 1 && type <= 5;
        log_error("Engine", "Refusing to register cvar '%s' as %s: it is already a %s cvar.",
                  c->name, known ? kTypeNames[type] : kTypeNames[0], kTypeNames[c->type]);
        SDL_SetError("Cvar '%s' is already registered with another type", c->name);
        return 0;
    }
    if (storage && storage != c->storage) {
        if (c->storage == &c->inline_slot) {
            // The engine's variable takes over from a record that had no storage.
            copy_value(c, storage);
            c->storage = storage;
            c->inline_slot.padding = 0;
        } else {
            copy_value(c, storage);
        }
    }
    log_spam("Engine", "Cvar \"%s\" is already registered, keeping its value", c->name);
    return 1;
}

void free_record(struct cvar_record *c)
{
    if (c->type == CVAR_TYPE_STRING) {
        char **slot = (char **)c->storage;
        char *text = *slot;
        if (text) {
            SDL_free(block_of(text));
        }
        __atomic_store_n(slot, (char *)nullptr, __ATOMIC_RELEASE);
    }
    while (c->retired) {
        struct text_block *next = c->retired->next;
        SDL_free(c->retired);
        c->retired = next;
    }
    SDL_free(c->name);
    SDL_free(c->description);
    SDL_free(c);
}

void *typed_slot(const char *name, int type)
{
    int actual = 0;
    void *slot = cvar_get(name, &actual, nullptr);
    return actual == type ? slot : nullptr;
}

int set_lock(const char *name, int locked)
{
    if (!name) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(g_mutex);
    struct cvar_record *c = find(name);
    if (!c) {
        return 0;
    }
    c->locked = locked;
    return 1;
}

int set_from_text(const char *name, const char *text, bool forced)
{
    if (!name || !text) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(g_mutex);
    struct cvar_record *c = find(name);
    if (c) {
        log_spam("Engine", "Setting cvar '%s' to '%s'.", name, text);
        if (c->locked && !forced) {
            log_error("Engine", "Refusing to set locked cvar '%s' to '%s'", name, text);
            return 0;
        }
        return assign(c, text);
    }
    if (forced) {
        return 0;
    }
    char *value = SDL_strdup(text);
    if (!value) {
        SDL_OutOfMemory();
        return 0;
    }
    struct pending_value *p = find_pending(name);
    if (p) {
        SDL_free(p->value);
        p->value = value;
    } else {
        p = (struct pending_value *)SDL_calloc(1, sizeof(*p));
        char *copy = p ? SDL_strdup(name) : nullptr;
        if (!copy) {
            SDL_free(p);
            SDL_free(value);
            SDL_OutOfMemory();
            return 0;
        }
        p->name = copy;
        p->value = value;
        p->next = g_cvars.pending;
        if (p->next) {
            p->next->prev = p;
        }
        g_cvars.pending = p;
    }
    log_spam("Engine", "Marked unregistered cvar '%s' (value '%s') as pending.", name, text);
    return 1;
}

} // namespace

int cvar_init(void)
{
    return 1;
}

int cvar_register(const char *name, int type, const char *description, void *storage,
                  const char *default_text)
{
    if (!name || !default_text) {
        return 0;
    }
    if (!description) {
        description = "";
    }
    cvar_register_callback callback = nullptr;
    void *callback_user = nullptr;
    const char *registered_name = nullptr;
    const char *registered_description = nullptr;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        struct cvar_record *existing = find(name);
        if (existing) {
            if (!register_again(existing, type, storage)) {
                return 0;
            }
            registered_name = existing->name;
            registered_description = existing->description;
        } else {
            struct cvar_record *c = (struct cvar_record *)SDL_calloc(1, sizeof(*c));
            if (c) {
                c->name = SDL_strdup(name);
                c->description = SDL_strdup(description);
            }
            if (!c || !c->name || !c->description) {
                if (c) {
                    SDL_free(c->name);
                    SDL_free(c->description);
                    SDL_free(c);
                }
                SDL_OutOfMemory();
                return 0;
            }
            c->type = type;
            c->storage = storage ? storage : &c->inline_slot;
            if (type == CVAR_TYPE_STRING) {
                // Whatever the variable held before is not the registry's to free.
                *(char **)c->storage = nullptr;
            }
            struct pending_value *pending = find_pending(name);
            const char *text = pending ? pending->value : default_text;
            if (!assign(c, text)) {
                SDL_free(c->name);
                SDL_free(c->description);
                SDL_free(c);
                return 0;
            }
            c->next = g_cvars.head;
            g_cvars.head = c;
            log_spam("Engine", "Registered cvar \"%s\" (\"%s\") [%s value: \"%s\"]", name,
                     description, pending ? "pending" : "default", text);
            if (pending) {
                unlink_pending(pending);
            }
            registered_name = c->name;
            registered_description = c->description;
        }
        callback = g_cvars.callback;
        callback_user = g_cvars.callback_user;
    }
    if (callback) {
        callback(callback_user, registered_name, registered_description, type);
    }
    return 1;
}

int cvar_register_string(const char *name, const char *description, char **storage,
                         const char *default_value)
{
    return cvar_register(name, CVAR_TYPE_STRING, description, storage, default_value);
}

int cvar_register_int(const char *name, const char *description, int32_t *storage,
                      int32_t default_value)
{
    char text[16];
    SDL_snprintf(text, sizeof(text), "%d", (int)default_value);
    return cvar_register(name, CVAR_TYPE_INT, description, storage, text);
}

int cvar_register_uint(const char *name, const char *description, uint32_t *storage,
                       uint32_t default_value)
{
    char text[16];
    SDL_snprintf(text, sizeof(text), "%u", (unsigned)default_value);
    return cvar_register(name, CVAR_TYPE_UINT, description, storage, text);
}

int cvar_register_float(const char *name, const char *description, float *storage,
                        float default_value)
{
    char text[64];
    SDL_snprintf(text, sizeof(text), "%f", (double)default_value);
    return cvar_register(name, CVAR_TYPE_FLOAT, description, storage, text);
}

int cvar_register_bool(const char *name, const char *description, int32_t *storage,
                       int default_value)
{
    return cvar_register(name, CVAR_TYPE_BOOL, description, storage,
                         default_value ? "true" : "false");
}

void *cvar_get(const char *name, int *type, const char **description)
{
    void *slot = nullptr;
    int found_type = 0;
    const char *found_description = nullptr;
    if (name) {
        std::lock_guard<std::mutex> guard(g_mutex);
        struct cvar_record *c = find(name);
        if (c) {
            slot = c->storage;
            found_type = c->type;
            found_description = c->description;
        }
    }
    if (type) {
        *type = found_type;
    }
    if (description) {
        *description = found_description;
    }
    return slot;
}

char **cvar_get_string(const char *name)
{
    return (char **)typed_slot(name, CVAR_TYPE_STRING);
}

int32_t *cvar_get_int(const char *name)
{
    return (int32_t *)typed_slot(name, CVAR_TYPE_INT);
}

uint32_t *cvar_get_uint(const char *name)
{
    return (uint32_t *)typed_slot(name, CVAR_TYPE_UINT);
}

float *cvar_get_float(const char *name)
{
    return (float *)typed_slot(name, CVAR_TYPE_FLOAT);
}

int32_t *cvar_get_bool(const char *name)
{
    return (int32_t *)typed_slot(name, CVAR_TYPE_BOOL);
}

char *cvar_get_string_copy(const char *name)
{
    if (!name) {
        return nullptr;
    }
    std::lock_guard<std::mutex> guard(g_mutex);
    struct cvar_record *c = find(name);
    if (!c || c->type != CVAR_TYPE_STRING) {
        return nullptr;
    }
    const char *text = *(char **)c->storage;
    return SDL_strdup(text ? text : "");
}

int cvar_set(const char *name, const char *text)
{
    return set_from_text(name, text, false);
}

int cvar_set_forced(const char *name, const char *text)
{
    return set_from_text(name, text, true);
}

int cvar_lock(const char *name)
{
    return set_lock(name, 1);
}

int cvar_unlock(const char *name)
{
    return set_lock(name, 0);
}

int cvar_islocked(const char *name)
{
    if (!name) {
        return 0;
    }
    std::lock_guard<std::mutex> guard(g_mutex);
    struct cvar_record *c = find(name);
    return c ? c->locked : 0;
}

void cvar_set_register_callback(cvar_register_callback callback, void *user)
{
    struct cvar_record *first;
    {
        std::lock_guard<std::mutex> guard(g_mutex);
        g_cvars.callback = callback;
        g_cvars.callback_user = user;
        first = g_cvars.head;
    }
    if (!callback) {
        return;
    }
    // Records are only ever added at the front and live until cvar_quit, so
    // the list from `first` on is fixed.
    for (struct cvar_record *c = first; c; c = c->next) {
        callback(user, c->name, c->description, c->type);
    }
}

void cvar_quit(void)
{
    std::lock_guard<std::mutex> guard(g_mutex);
    while (g_cvars.head) {
        struct cvar_record *next = g_cvars.head->next;
        free_record(g_cvars.head);
        g_cvars.head = next;
    }
    while (g_cvars.pending) {
        unlink_pending(g_cvars.pending);
    }
    g_cvars.callback = nullptr;
    g_cvars.callback_user = nullptr;
}
