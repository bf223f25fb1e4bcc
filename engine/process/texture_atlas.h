// The HD texture-atlas table: for each atlas key the framework names, the
// texture path and scale enum of each of the eight scale levels (100, 125,
// 150, 175, 200, 250, 300, 400). Filled by the interpreter bootstrap, read by
// the sprite packer.
// Thread: the thread that owns the interpreter.
// Ownership: the table copies every key and path; texture_atlas_clear frees
// them (the bootstrap clears it whenever the interpreter is replaced).
#pragma once

#include <stddef.h>
#include <stdint.h>

#define TEXTURE_ATLAS_LEVELS 8

struct texture_atlas_entry {
    char *key;
    char *path[TEXTURE_ATLAS_LEVELS]; // null when the level has no texture
    int32_t scale_enum[TEXTURE_ATLAS_LEVELS];
    struct texture_atlas_entry *next;
};

// Scale level (100 ... 400) of index 0 ... 7.
extern const int32_t texture_atlas_levels[TEXTURE_ATLAS_LEVELS];

// The entry for key, created empty when missing; null when out of memory.
struct texture_atlas_entry *texture_atlas_add(const char *key);

// Copies path (may be null) into level index of the entry. Returns 0 when out
// of memory.
int texture_atlas_set_level(struct texture_atlas_entry *entry, int index, const char *path,
                            int32_t scale_enum);

// The entry for key, or null.
const struct texture_atlas_entry *texture_atlas_find(const char *key);

// Number of keys in the table.
int texture_atlas_count(void);

// Frees every entry.
void texture_atlas_clear(void);

// The sprite packers' lookup (pack_atlas_lookup_fn): fills out with the
// entry for the path of length bytes, or found 0 for an empty table or an
// unknown path.
struct pack_atlas_value;
void get_texture_atlas_value(struct pack_atlas_value *out, const char *path, size_t length);
