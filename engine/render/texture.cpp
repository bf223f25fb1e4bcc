// Textures, images and cursors: the name-keyed texture map (images, uploaded
// pixels, render targets), image decoding through the virtual file system,
// PNG encoding and the cursor map.
#include "render/render_internal.h"

#include "log/log.h"
#include "util/util.h"

#include <lodepng.h>
#include <physfs.h>
#include <stdlib.h>
#include <string.h>

#define STBI_MALLOC(size) SDL_malloc(size)
#define STBI_REALLOC(p, size) SDL_realloc(p, size)
#define STBI_FREE(p) SDL_free(p)
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

namespace {

constexpr int white_size = 1280;
constexpr int fallback_size = 256;
constexpr int large_image_limit = 4000;

char *copy_text(const char *text)
{
    const size_t n = SDL_strlen(text) + 1;
    char *copy = (char *)SDL_malloc(n);
    if (copy) {
        SDL_memcpy(copy, text, n);
    }
    return copy;
}

// stb_image reads the file through these, so images come from the game's
// virtual file system (directories and the appended archive alike).
int physfs_read(void *user, char *data, int size)
{
    const PHYSFS_sint64 n = PHYSFS_readBytes((PHYSFS_File *)user, data, (PHYSFS_uint64)size);
    return n < 0 ? 0 : (int)n;
}

void physfs_skip(void *user, int n)
{
    PHYSFS_File *file = (PHYSFS_File *)user;
    const PHYSFS_sint64 pos = PHYSFS_tell(file);
    if (pos >= 0) {
        PHYSFS_seek(file, (PHYSFS_uint64)(pos + n));
    }
}

int physfs_eof(void *user)
{
    return PHYSFS_eof((PHYSFS_File *)user);
}

const stbi_io_callbacks physfs_callbacks = {physfs_read, physfs_skip, physfs_eof};

int is_white_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

SDL_Texture *texture_from_pixels(SDL_Renderer *renderer, const void *pixels, int w, int h)
{
    SDL_Texture *tex =
        SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, w, h);
    if (!tex) {
        return nullptr;
    }
    if (SDL_UpdateTexture(tex, nullptr, pixels, w * 4) != 0) {
        SDL_DestroyTexture(tex);
        return nullptr;
    }
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);
    return tex;
}

// The name-keyed maps (textures, cursors) share their chained buckets: an
// entry record with a name and a next link, N buckets (a power of two).
template <typename Entry, size_t N> Entry **name_map_bucket(Entry *(&buckets)[N], const char *name)
{
    static_assert((N & (N - 1)) == 0, "bucket counts are powers of two");
    return &buckets[render_name_hash(name) & (N - 1)];
}

template <typename Entry> Entry *name_map_find(Entry *head, const char *name)
{
    for (Entry *e = head; e; e = e->next) {
        if (SDL_strcmp(e->name, name) == 0) {
            return e;
        }
    }
    return nullptr;
}

// A zeroed entry holding a copy of name, not linked yet; null when out of memory.
template <typename Entry> Entry *name_map_new_entry(const char *name)
{
    Entry *e = (Entry *)SDL_calloc(1, sizeof(Entry));
    if (!e) {
        return nullptr;
    }
    e->name = copy_text(name);
    if (!e->name) {
        SDL_free(e);
        return nullptr;
    }
    return e;
}

// Frees every entry and its name after release(entry) has let go of what it holds.
template <typename Entry, size_t N, typename Release>
void name_map_clear(Entry *(&buckets)[N], Release release)
{
    for (Entry *&head : buckets) {
        while (head) {
            Entry *next = head->next;
            release(head);
            SDL_free(head->name);
            SDL_free(head);
            head = next;
        }
    }
}

}  // namespace

uint32_t render_name_hash(const char *name)
{
    uint32_t h = 5;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++) {
        h = (h * 33u) ^ *p;
    }
    return h;
}

// ---- Texture map ---------------------------------------------------------------

struct texture_map *texture_map_allocate(void)
{
    return (struct texture_map *)SDL_calloc(1, sizeof(struct texture_map));
}

void texture_map_delete(struct texture_map *map)
{
    if (!map) {
        return;
    }
    name_map_clear(map->buckets, [](struct texture_entry *e) {
        if (e->texture) {
            SDL_DestroyTexture(e->texture);
        }
    });
    SDL_free(map);
}

struct texture_entry *lookup_texture_no_fallback(struct render_context *ctx, const char *name)
{
    if (!name || !ctx->textures) {
        return nullptr;
    }
    struct texture_entry **bucket = name_map_bucket(ctx->textures->buckets, name);
    // Only this (the render) thread changes the map, so it searches without
    // the lock; inserting takes it for the simulation thread's readers.
    struct texture_entry *e = name_map_find(*bucket, name);
    if (e) {
        return e;
    }
    e = name_map_new_entry<struct texture_entry>(name);
    if (!e) {
        return nullptr;
    }
    e->w = e->h = -1;
    SDL_LockMutex(ctx->texture_lock);
    e->next = *bucket;
    *bucket = e;
    SDL_UnlockMutex(ctx->texture_lock);
    return e;
}

void texture_entry_set(struct render_context *ctx, struct texture_entry *entry,
                       SDL_Texture *texture, int target, int w, int h, float creation_scale)
{
    SDL_LockMutex(ctx->texture_lock);
    SDL_Texture *old = entry->texture;
    entry->texture = texture;
    entry->target = target;
    entry->w = w;
    entry->h = h;
    entry->creation_scale = creation_scale;
    SDL_UnlockMutex(ctx->texture_lock);
    if (old && old != texture) {
        SDL_DestroyTexture(old);
    }
}

int texture_path_lint(const char *path, char **suggestion)
{
    int problems = 0;
    for (const char *p = path; *p; p++) {
        if (is_white_space(*p) || (*p >= 'A' && *p <= 'Z')) {
            problems = 1;
            break;
        }
    }
    if (!problems) {
        return 0;
    }
    if (suggestion) {
        char *s = copy_text(path);
        if (s) {
            for (char *p = s; *p; p++) {
                if (is_white_space(*p)) {
                    *p = '-';
                } else if (*p >= 'A' && *p <= 'Z') {
                    *p = (char)(*p - 'A' + 'a');
                }
            }
        }
        *suggestion = s;
    }
    return 1;
}

void lookup_texture(struct texture_lookup *out, struct render_context *ctx, const char *path)
{
    SDL_zerop(out);
    if (path && (SDL_strcmp(path, "pixel") == 0 || SDL_strcmp(path, "solid") == 0)) {
        out->texture = ctx->white_texture;
        out->w = out->h = white_size;
        return;
    }
    struct texture_entry *e = lookup_texture_no_fallback(ctx, path);
    if (e && e->texture) {
        out->target = e->target;
        out->texture = e->texture;
        out->entry = e;
        out->w = e->w;
        out->h = e->h;
        out->creation_scale = e->creation_scale;
        return;
    }
    if (e) {
        // The lint runs once per entry: a missing path is retried every frame,
        // and its name will not change between tries.
        if (ctx->development && !e->lint_warned) {
            char *suggestion = nullptr;
            if (texture_path_lint(path, &suggestion)) {
                log_warn("Engine",
                         "* WARNING: File path contains problematic characters.\n"
                         "  To ensure cross-platform support, it is STRONGLY recommended\n"
                         "  that file names be all lowercase with no spaces.\n\n"
                         "  Consider renaming:\n    =%s=\n  to\n    =%s=",
                         path, suggestion ? suggestion : path);
            }
            SDL_free(suggestion);
            e->lint_warned = 1;
        }
        int w = 0, h = 0;
        uint8_t *pixels = load_image(path, &w, &h);
        SDL_Texture *tex = nullptr;
        if (pixels) {
            if (ctx->development && (w > large_image_limit || h > large_image_limit)) {
                log_warn("Engine",
                         "* WARNING: Texture size exceeds what Android can handle.\n"
                         "  The texture with path =%s= has dimensions that are larger than "
                         "1600x1600  and WILL NOT render on Android devices in HD Mode.",
                         path);
            }
            tex = texture_from_pixels(ctx->renderer, pixels, w, h);
            free_image(pixels);
        }
        texture_entry_set(ctx, e, tex, 0, tex ? w : -1, tex ? h : -1, 0.0f);
        e->warned = 0;
        if (tex) {
            out->texture = tex;
            out->entry = e;
            out->w = w;
            out->h = h;
            return;
        }
    }
    out->texture = ctx->fallback_texture;
    out->w = out->h = fallback_size;
}

struct texture_entry *render_target_lookup(struct render_context *ctx, const char *name, int w,
                                           int h, float scale)
{
    struct texture_entry *e = lookup_texture_no_fallback(ctx, name);
    if (!e) {
        return nullptr;
    }
    if (e->texture && e->target && e->w == w && e->h == h) {
        return e;
    }
    SDL_Texture *tex = nullptr;
    if (w > 0 && h > 0) {
        tex = SDL_CreateTexture(ctx->renderer, SDL_PIXELFORMAT_ABGR8888,
                                SDL_TEXTUREACCESS_TARGET, w, h);
    }
    if (!tex) {
        texture_entry_set(ctx, e, nullptr, 1, -1, -1, scale);
        return nullptr;
    }
    SDL_SetTextureBlendMode(tex, SDL_BLENDMODE_BLEND);
    texture_entry_set(ctx, e, tex, 1, w, h, scale);
    return e;
}

int render_cached_texture_size(struct render_context *ctx, const char *path, int *out_w,
                               int *out_h)
{
    if (!ctx || !path || !ctx->textures) {
        return 0;
    }
    int found = 0;
    SDL_LockMutex(ctx->texture_lock);
    struct texture_entry *e =
        ctx->textures->buckets[render_name_hash(path) & (TEXTURE_MAP_BUCKETS - 1)];
    while (e && SDL_strcmp(e->name, path) != 0) {
        e = e->next;
    }
    if (e) {
        found = 1;
        *out_w = e->texture ? e->w : -1;
        *out_h = e->texture ? e->h : -1;
    }
    SDL_UnlockMutex(ctx->texture_lock);
    return found;
}

// ---- Images --------------------------------------------------------------------

uint8_t *load_image(const char *path, int *out_w, int *out_h)
{
    *out_w = *out_h = 0;
    if (!path) {
        return nullptr;
    }
    PHYSFS_File *file = PHYSFS_openRead(path);
    if (!file) {
        return nullptr;
    }
    // stb_image keeps the high byte of each sample of a 16-bit image when it is
    // asked for 8-bit output.
    int w = 0, h = 0, channels = 0;
    uint8_t *pixels = stbi_load_from_callbacks(&physfs_callbacks, file, &w, &h, &channels, 4);
    PHYSFS_close(file);
    if (!pixels) {
        return nullptr;
    }
    *out_w = w;
    *out_h = h;
    return pixels;
}

int load_image_only_dimensions(const char *path, int *out_w, int *out_h)
{
    if (!path) {
        return 0;
    }
    PHYSFS_File *file = PHYSFS_openRead(path);
    if (!file) {
        return 0;
    }
    int w = 0, h = 0, channels = 0;
    const int ok = stbi_info_from_callbacks(&physfs_callbacks, file, &w, &h, &channels);
    PHYSFS_close(file);
    if (!ok) {
        return 0;
    }
    *out_w = w;
    *out_h = h;
    return 1;
}

void free_image(void *pixels)
{
    if (pixels) {
        stbi_image_free(pixels);
    }
}

uint8_t *encode_png(const uint8_t *pixels, int w, int h, int out_w, int out_h, size_t *out_size)
{
    *out_size = 0;
    if (!pixels || w <= 0 || h <= 0) {
        return nullptr;
    }
    const uint8_t *src = pixels;
    SDL_Surface *scaled = nullptr;
    if (out_w > 0 && out_h > 0 && (out_w != w || out_h != h)) {
        SDL_Surface *from = SDL_CreateRGBSurfaceWithFormatFrom(
            (void *)pixels, w, h, 32, w * 4, SDL_PIXELFORMAT_ABGR8888);
        scaled = SDL_CreateRGBSurfaceWithFormat(0, out_w, out_h, 32, SDL_PIXELFORMAT_ABGR8888);
        if (!from || !scaled) {
            SDL_FreeSurface(from);
            SDL_FreeSurface(scaled);
            return nullptr;
        }
        SDL_SetSurfaceBlendMode(from, SDL_BLENDMODE_NONE);
        const int rc = SDL_BlitScaled(from, nullptr, scaled, nullptr);
        SDL_FreeSurface(from);
        if (rc != 0 || scaled->pitch != out_w * 4) {
            SDL_FreeSurface(scaled);
            return nullptr;
        }
        src = (const uint8_t *)scaled->pixels;
        w = out_w;
        h = out_h;
    }
    unsigned char *png = nullptr;
    size_t size = 0;
    // Always 8-bit RGBA: the encoder would otherwise pick a palette or drop
    // the alpha channel when the pixels allow it.
    LodePNGState state;
    lodepng_state_init(&state);
    state.encoder.auto_convert = 0;
    state.info_raw.colortype = LCT_RGBA;
    state.info_raw.bitdepth = 8;
    state.info_png.color.colortype = LCT_RGBA;
    state.info_png.color.bitdepth = 8;
    const unsigned err = lodepng_encode(&png, &size, src, (unsigned)w, (unsigned)h, &state);
    lodepng_state_cleanup(&state);
    SDL_FreeSurface(scaled);
    if (err || !png) {
        free(png);
        return nullptr;
    }
    // lodepng allocates with malloc; the engine hands out SDL_malloc memory.
    uint8_t *copy = (uint8_t *)SDL_malloc(size);
    if (copy) {
        SDL_memcpy(copy, png, size);
        *out_size = size;
    }
    free(png);
    return copy;
}

// ---- Cursors -------------------------------------------------------------------

struct cursor_map *cursor_map_allocate(void)
{
    return (struct cursor_map *)SDL_calloc(1, sizeof(struct cursor_map));
}

void cursor_map_delete(struct cursor_map *map)
{
    if (!map) {
        return;
    }
    name_map_clear(map->buckets, [](struct cursor_entry *e) {
        if (e->cursor) {
            SDL_FreeCursor(e->cursor);
        }
    });
    SDL_free(map);
}

struct cursor_entry *lookup_cursor_no_fallback(struct render_context *ctx, const char *name)
{
    if (!name || !ctx->cursors) {
        return nullptr;
    }
    struct cursor_entry **bucket = name_map_bucket(ctx->cursors->buckets, name);
    struct cursor_entry *e = name_map_find(*bucket, name);
    if (e) {
        return e;
    }
    e = name_map_new_entry<struct cursor_entry>(name);
    if (!e) {
        return nullptr;
    }
    e->next = *bucket;
    *bucket = e;
    return e;
}

SDL_Cursor *lookup_cursor(struct render_context *ctx, const char *path, int hot_x, int hot_y)
{
    struct cursor_entry *e = lookup_cursor_no_fallback(ctx, path);
    if (!e) {
        return SDL_GetDefaultCursor();
    }
    if (e->cursor) {
        return e->cursor;
    }
    int w = 0, h = 0;
    uint8_t *pixels = load_image(path, &w, &h);
    if (pixels) {
        SDL_Surface *surface =
            SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, 32, w * 4, SDL_PIXELFORMAT_ABGR8888);
        if (surface) {
            e->cursor = SDL_CreateColorCursor(surface, hot_x, hot_y);
            SDL_FreeSurface(surface);
        }
        free_image(pixels);
    }
    return e->cursor ? e->cursor : SDL_GetDefaultCursor();
}

SDL_Cursor *lookup_system_cursor(struct render_context *ctx, int id)
{
    char name[32];
    SDL_snprintf(name, sizeof(name), "$ORVZEL$%d", id);
    struct cursor_entry *e = lookup_cursor_no_fallback(ctx, name);
    if (!e) {
        return SDL_GetDefaultCursor();
    }
    if (!e->cursor) {
        e->cursor = SDL_CreateSystemCursor((SDL_SystemCursor)id);
    }
    return e->cursor ? e->cursor : SDL_GetDefaultCursor();
}

// ---- Native-extension hooks ----------------------------------------------------

namespace {
struct {
    struct render_context *ctx;
    struct threadstream **scene_slot;
} g_hooks;
}  // namespace

void render_set_scene_slot(struct render_context *ctx, struct threadstream **slot)
{
    g_hooks.ctx = ctx;
    g_hooks.scene_slot = slot;
}

void orv_upload_pixel_array(const char *name, int w, int h, const uint32_t *pixels)
{
    struct threadstream *scene = g_hooks.scene_slot ? *g_hooks.scene_slot : nullptr;
    if (!scene || w <= 0 || h <= 0 || !pixels) {
        return;
    }
    const uint64_t bytes = (uint64_t)w * (uint64_t)h * 4u;
    if (bytes > 0x7FFFFFF0u) {
        return;
    }
    threadstream_pack_int(scene, cmd_upload_pixels);
    threadstream_pack_string(scene, name);
    threadstream_pack_int(scene, w);
    threadstream_pack_int(scene, h);
    threadstream_pack_buffer(scene, pixels, (size_t)bytes);
}

void *orv_load_image(const char *path, int *out_w, int *out_h)
{
    (void)path;
    if (out_w) {
        *out_w = 0;
    }
    if (out_h) {
        *out_h = 0;
    }
    return nullptr;
}

void orv_free_image(void *pixels)
{
    (void)pixels;
}
