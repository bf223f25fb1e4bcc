// The texture-atlas table: 256 buckets of chained entries, keyed by the
// engine's usual name hash (h = 5, then h = h * 33 ^ byte).
#include "process/texture_atlas.h"

#include "stream/pack.h"

#include <SDL.h>
#include <string.h>

const int32_t texture_atlas_levels[TEXTURE_ATLAS_LEVELS] = {100, 125, 150, 175, 200, 250, 300, 400};

namespace
{

constexpr uint32_t bucket_count = 256;

struct texture_atlas_state {
    struct texture_atlas_entry *buckets[bucket_count];
    int count;
};

texture_atlas_state g_atlas;

uint32_t hash_key(const char *key)
{
    uint32_t h = 5;
    for (const unsigned char *p = (const unsigned char *)key; *p; p++) {
        h = (h * 33u) ^ *p;
    }
    return h & (bucket_count - 1);
}

} // namespace

struct texture_atlas_entry *texture_atlas_add(const char *key)
{
    const uint32_t b = hash_key(key);
    for (struct texture_atlas_entry *e = g_atlas.buckets[b]; e; e = e->next) {
        if (SDL_strcmp(e->key, key) == 0) {
            return e;
        }
    }
    struct texture_atlas_entry *e =
        (struct texture_atlas_entry *)SDL_calloc(1, sizeof(struct texture_atlas_entry));
    if (!e) {
        return nullptr;
    }
    e->key = SDL_strdup(key);
    if (!e->key) {
        SDL_free(e);
        return nullptr;
    }
    e->next = g_atlas.buckets[b];
    g_atlas.buckets[b] = e;
    g_atlas.count++;
    return e;
}

int texture_atlas_set_level(struct texture_atlas_entry *entry, int index, const char *path,
                            int32_t scale_enum)
{
    if (!entry || index < 0 || index >= TEXTURE_ATLAS_LEVELS) {
        return 0;
    }
    char *copy = nullptr;
    if (path) {
        copy = SDL_strdup(path);
        if (!copy) {
            return 0;
        }
    }
    SDL_free(entry->path[index]);
    entry->path[index] = copy;
    entry->scale_enum[index] = scale_enum;
    return 1;
}

const struct texture_atlas_entry *texture_atlas_find(const char *key)
{
    if (!key) {
        return nullptr;
    }
    for (struct texture_atlas_entry *e = g_atlas.buckets[hash_key(key)]; e; e = e->next) {
        if (SDL_strcmp(e->key, key) == 0) {
            return e;
        }
    }
    return nullptr;
}

int texture_atlas_count(void)
{
    return g_atlas.count;
}

void texture_atlas_clear(void)
{
    for (uint32_t b = 0; b < bucket_count; b++) {
        struct texture_atlas_entry *e = g_atlas.buckets[b];
        while (e) {
            struct texture_atlas_entry *next = e->next;
            for (int i = 0; i < TEXTURE_ATLAS_LEVELS; i++) {
                SDL_free(e->path[i]);
            }
            SDL_free(e->key);
            SDL_free(e);
            e = next;
        }
        g_atlas.buckets[b] = nullptr;
    }
    g_atlas.count = 0;
}

void get_texture_atlas_value(struct pack_atlas_value *out, const char *path, size_t length)
{
    out->found = 0;
    // Keys are terminated copies; a path with an embedded 0 byte or a very
    // long one cannot be a key.
    char key[1024];
    if (g_atlas.count == 0 || length >= sizeof(key) || memchr(path, 0, length)) {
        return;
    }
    SDL_memcpy(key, path, length);
    key[length] = 0;
    const struct texture_atlas_entry *e = texture_atlas_find(key);
    if (!e) {
        return;
    }
    out->found = 1;
    for (int i = 0; i < TEXTURE_ATLAS_LEVELS && i < PACK_TEXTURE_LEVELS; i++) {
        out->texture[i] = e->path[i];
        out->scale_enum[i] = e->scale_enum[i];
    }
}
