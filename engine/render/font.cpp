// Font atlases: TrueType fonts parsed with stb_truetype, glyphs rasterised at
// the exact pixel size asked for and packed into page textures with a skyline
// packer, string measurement, and the font map of the render context.
#include "render/render_internal.h"

#include "log/log.h"
#include "util/util.h"

#include <math.h>
#include <physfs.h>
#include <string.h>

#define STBTT_malloc(size, user) ((void)(user), SDL_malloc(size))
#define STBTT_free(p, user) ((void)(user), SDL_free(p))
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

namespace {

constexpr int default_page_size = 1024;

struct glyph_node {
    int64_t size_key;
    uint32_t codepoint;
    struct fontatlas_glyph glyph;
    struct glyph_node *next;
};

struct skyline_node {
    int x, y, w;
};

struct font_page {
    SDL_Texture *texture;
    struct skyline_node *nodes;
    int count, capacity;
    struct font_page *next;
};

struct pending_glyph {
    uint32_t codepoint;
    int index;
    struct fontatlas_glyph glyph;
};

int64_t size_key_of(float size_px)
{
    return (int64_t)((double)size_px * 10000.0);
}

uint32_t glyph_bucket(int64_t size_key, uint32_t cp)
{
    uint32_t x = ((cp << 16) | (uint32_t)(size_key & 0xFFFF)) ^ (cp & 0xFFFF) ^ 61u;
    x = x * 9u;
    x = x ^ (x >> 4);
    x = x * 668265261u;
    x = x ^ (x >> 15);
    return x & (GLYPH_BUCKETS - 1);
}

}  // namespace

struct fontatlas {
    stbtt_fontinfo info;
    unsigned char *data;  // the whole font file
    float ascent, descent, line_gap;
    SDL_Renderer *renderer;
    int page_w, page_h;
    struct font_page *pages;  // newest first
    struct glyph_node *buckets[GLYPH_BUCKETS];
};

struct font_entry {
    char *path;
    struct fontatlas *atlas;  // null when loading failed
    struct font_entry *next;
};

struct font_map {
    struct font_entry *buckets[FONT_MAP_BUCKETS];
};

namespace {

struct glyph_node *find_glyph(const struct fontatlas *atlas, int64_t key, uint32_t cp)
{
    for (struct glyph_node *n = atlas->buckets[glyph_bucket(key, cp)]; n; n = n->next) {
        if (n->size_key == key && n->codepoint == cp) {
            return n;
        }
    }
    return nullptr;
}

struct font_page *new_page(struct fontatlas *atlas)
{
    struct font_page *page = (struct font_page *)SDL_calloc(1, sizeof(*page));
    if (!page) {
        return nullptr;
    }
    page->nodes = (struct skyline_node *)SDL_malloc(16 * sizeof(struct skyline_node));
    if (!page->nodes) {
        SDL_free(page);
        return nullptr;
    }
    page->capacity = 16;
    page->count = 1;
    page->nodes[0] = {0, 0, atlas->page_w};
    if (atlas->renderer) {
        page->texture = SDL_CreateTexture(atlas->renderer, SDL_PIXELFORMAT_ARGB8888,
                                          SDL_TEXTUREACCESS_STATIC, atlas->page_w,
                                          atlas->page_h);
        if (page->texture) {
            // A new texture's contents are undefined: start transparent.
            const size_t bytes = (size_t)atlas->page_w * (size_t)atlas->page_h * 4;
            void *zero = SDL_calloc(1, bytes);
            if (zero) {
                SDL_UpdateTexture(page->texture, nullptr, zero, atlas->page_w * 4);
                SDL_free(zero);
            }
            SDL_SetTextureBlendMode(page->texture, SDL_BLENDMODE_BLEND);
        }
    }
    page->next = atlas->pages;
    atlas->pages = page;
    return page;
}

// Resting height of a w x h cell whose left edge is at node i, or -1 when it
// does not fit within the page.
int skyline_fit(const struct font_page *page, int i, int w, int h, int page_w, int page_h)
{
    const int x = page->nodes[i].x;
    if (x + w > page_w) {
        return -1;
    }
    int y = 0, left = w;
    for (int j = i; left > 0; j++) {
        if (j >= page->count) {
            return -1;
        }
        if (page->nodes[j].y > y) {
            y = page->nodes[j].y;
        }
        if (y + h > page_h) {
            return -1;
        }
        left -= page->nodes[j].w;
    }
    return y;
}

int skyline_insert(struct font_page *page, int i, int w, int h, int y)
{
    if (page->count == page->capacity) {
        void *grown =
            SDL_realloc(page->nodes, (size_t)page->capacity * 2 * sizeof(struct skyline_node));
        if (!grown) {
            return 0;
        }
        page->nodes = (struct skyline_node *)grown;
        page->capacity *= 2;
    }
    SDL_memmove(&page->nodes[i + 1], &page->nodes[i],
                (size_t)(page->count - i) * sizeof(struct skyline_node));
    page->count++;
    page->nodes[i] = {page->nodes[i + 1].x, y + h, w};
    // Trim or drop the nodes the new one covers.
    for (int j = i + 1; j < page->count; j++) {
        struct skyline_node *prev = &page->nodes[j - 1];
        struct skyline_node *node = &page->nodes[j];
        if (node->x >= prev->x + prev->w) {
            break;
        }
        const int shrink = prev->x + prev->w - node->x;
        node->x += shrink;
        node->w -= shrink;
        if (node->w > 0) {
            break;
        }
        SDL_memmove(&page->nodes[j], &page->nodes[j + 1],
                    (size_t)(page->count - j - 1) * sizeof(struct skyline_node));
        page->count--;
        j--;
    }
    // Merge neighbours of equal height.
    for (int j = 0; j + 1 < page->count; j++) {
        if (page->nodes[j].y == page->nodes[j + 1].y) {
            page->nodes[j].w += page->nodes[j + 1].w;
            SDL_memmove(&page->nodes[j + 1], &page->nodes[j + 2],
                        (size_t)(page->count - j - 2) * sizeof(struct skyline_node));
            page->count--;
            j--;
        }
    }
    return 1;
}

// Places a cell in the first page (newest first) with room; 1 and the cell's
// page and top-left corner on success.
int pack_cell(struct fontatlas *atlas, int cw, int ch, struct font_page **out_page, int *out_x,
              int *out_y)
{
    for (int attempt = 0; attempt < 2; attempt++) {
        for (struct font_page *page = atlas->pages; page; page = page->next) {
            int best = -1, best_y = 0, best_w = 0;
            for (int i = 0; i < page->count; i++) {
                const int y = skyline_fit(page, i, cw, ch, atlas->page_w, atlas->page_h);
                if (y < 0) {
                    continue;
                }
                if (best < 0 || y < best_y || (y == best_y && page->nodes[i].w < best_w)) {
                    best = i;
                    best_y = y;
                    best_w = page->nodes[i].w;
                }
            }
            if (best >= 0) {
                const int x = page->nodes[best].x;
                if (!skyline_insert(page, best, cw, ch, best_y)) {
                    return 0;
                }
                *out_page = page;
                *out_x = x;
                *out_y = best_y;
                return 1;
            }
        }
        if (attempt == 0 && !new_page(atlas)) {
            return 0;
        }
    }
    return 0;
}

int compare_pending(const void *a, const void *b)
{
    const struct pending_glyph *x = (const struct pending_glyph *)a;
    const struct pending_glyph *y = (const struct pending_glyph *)b;
    if (x->glyph.h != y->glyph.h) {
        return y->glyph.h - x->glyph.h;
    }
    return y->glyph.w - x->glyph.w;
}

}  // namespace

struct fontatlas *fontatlas_new(SDL_Renderer *renderer, const char *path)
{
    size_t length = 0;
    unsigned char *data = path ? (unsigned char *)loadfile(path, &length) : nullptr;
    if (!data) {
        SDL_SetError("Couldn't load '%s': %s", path ? path : "(null)",
                     PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode()));
        return nullptr;
    }
    struct fontatlas *atlas = (struct fontatlas *)SDL_calloc(1, sizeof(*atlas));
    if (!atlas) {
        SDL_free(data);
        SDL_OutOfMemory();
        return nullptr;
    }
    const int offset = stbtt_GetFontOffsetForIndex(data, 0);
    if (offset < 0 || !stbtt_InitFont(&atlas->info, data, offset)) {
        SDL_free(data);
        SDL_free(atlas);
        SDL_SetError("Font '%s' is bogus or corrupt", path);
        return nullptr;
    }
    atlas->data = data;
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&atlas->info, &ascent, &descent, &gap);
    atlas->ascent = (float)ascent;
    atlas->descent = (float)descent;
    atlas->line_gap = (float)gap;
    if (atlas->ascent - atlas->descent <= 0.0f) {
        SDL_free(data);
        SDL_free(atlas);
        SDL_SetError("Font '%s' is bogus or corrupt", path);
        return nullptr;
    }
    atlas->renderer = renderer;
    int max_w = 0, max_h = 0;
    if (renderer) {
        SDL_RendererInfo info;
        if (SDL_GetRendererInfo(renderer, &info) == 0) {
            max_w = info.max_texture_width;
            max_h = info.max_texture_height;
        }
    }
    atlas->page_w = max_w > 0 && max_w < default_page_size ? max_w : default_page_size;
    atlas->page_h = max_h > 0 && max_h < default_page_size ? max_h : default_page_size;
    return atlas;
}

void fontatlas_delete(struct fontatlas *atlas)
{
    if (!atlas) {
        return;
    }
    for (struct glyph_node *&head : atlas->buckets) {
        while (head) {
            struct glyph_node *next = head->next;
            SDL_free(head);
            head = next;
        }
    }
    while (atlas->pages) {
        struct font_page *next = atlas->pages->next;
        if (atlas->pages->texture) {
            SDL_DestroyTexture(atlas->pages->texture);
        }
        SDL_free(atlas->pages->nodes);
        SDL_free(atlas->pages);
        atlas->pages = next;
    }
    SDL_free(atlas->data);
    SDL_free(atlas);
}

void fontatlas_set_page_size(struct fontatlas *atlas, int w, int h)
{
    atlas->page_w = w;
    atlas->page_h = h;
}

float fontatlas_get_scale(const struct fontatlas *atlas, float size_px)
{
    return size_px / (atlas->ascent - atlas->descent);
}

float fontatlas_get_ascent(const struct fontatlas *atlas, float scale)
{
    return atlas->ascent * scale;
}

float fontatlas_get_raw_ascent(const struct fontatlas *atlas)
{
    return atlas->ascent;
}

float fontatlas_get_raw_descent(const struct fontatlas *atlas)
{
    return atlas->descent;
}

float fontatlas_get_raw_line_gap(const struct fontatlas *atlas)
{
    return atlas->line_gap;
}

int fontatlas_has_kerning(const struct fontatlas *atlas)
{
    return atlas->info.kern != 0 || atlas->info.gpos != 0;
}

int fontatlas_page_count(const struct fontatlas *atlas)
{
    int n = 0;
    for (const struct font_page *p = atlas->pages; p; p = p->next) {
        n++;
    }
    return n;
}

void fontatlas_cacheglyphs(struct fontatlas *atlas, const uint32_t *codepoints, int count,
                           float size_px)
{
    if (!atlas || count <= 0 || !(size_px > 0.0f)) {
        return;
    }
    const int64_t key = size_key_of(size_px);
    const float scale = fontatlas_get_scale(atlas, size_px);
    struct pending_glyph *pending =
        (struct pending_glyph *)SDL_malloc((size_t)count * sizeof(struct pending_glyph));
    if (!pending) {
        return;
    }
    int n = 0;
    for (int i = 0; i < count; i++) {
        const uint32_t cp = codepoints[i];
        if (cp == 0 || cp == UTF8_BAD_CODEPOINT || find_glyph(atlas, key, cp)) {
            continue;
        }
        int dup = 0;
        for (int j = 0; j < n && !dup; j++) {
            dup = pending[j].codepoint == cp;
        }
        const int index = stbtt_FindGlyphIndex(&atlas->info, (int)cp);
        if (dup || index == 0) {
            continue;
        }
        struct pending_glyph *p = &pending[n++];
        SDL_zerop(p);
        p->codepoint = cp;
        p->index = index;
        int advance = 0, lsb = 0;
        stbtt_GetGlyphHMetrics(&atlas->info, index, &advance, &lsb);
        p->glyph.advance = scale * (float)advance;
        p->glyph.lsb = scale * (float)lsb;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        if (stbtt_GetGlyphBox(&atlas->info, index, &x0, &y0, &x1, &y1)) {
            // Computed in double: a huge size must give a huge box, not an
            // overflowed one, so the page check below refuses it.
            const double s = (double)scale;
            const double bx0 = floor(s * x0), bx1 = ceil(s * x1);
            const double by0 = floor(-s * y1), by1 = ceil(-s * y0);
            if (bx1 - bx0 > 1e6 || by1 - by0 > 1e6) {
                p->glyph.w = p->glyph.h = 1000000;
            } else {
                stbtt_GetGlyphBitmapBox(&atlas->info, index, scale, scale, &p->glyph.x0,
                                        &p->glyph.y0, &p->glyph.x1, &p->glyph.y1);
                p->glyph.w = p->glyph.x1 - p->glyph.x0;
                p->glyph.h = p->glyph.y1 - p->glyph.y0;
            }
        }
    }
    SDL_qsort(pending, (size_t)n, sizeof(struct pending_glyph), compare_pending);

    for (int i = 0; i < n; i++) {
        struct pending_glyph *p = &pending[i];
        struct glyph_node *node = (struct glyph_node *)SDL_calloc(1, sizeof(*node));
        if (!node) {
            continue;  // skipped; looked for again next time
        }
        node->size_key = key;
        node->codepoint = p->codepoint;
        node->glyph = p->glyph;
        const int cw = p->glyph.w + 2, ch = p->glyph.h + 2;
        if (cw > atlas->page_w || ch > atlas->page_h) {
            // Too large for any page: kept without a page, so it draws nothing
            // and is not rasterised again.
            node->glyph.page = nullptr;
            node->glyph.w = node->glyph.h = 0;
        } else if (p->glyph.w > 0 && p->glyph.h > 0) {
            struct font_page *page = nullptr;
            int x = 0, y = 0;
            uint8_t *coverage = (uint8_t *)SDL_malloc((size_t)p->glyph.w * (size_t)p->glyph.h);
            uint32_t *pixels =
                (uint32_t *)SDL_malloc((size_t)p->glyph.w * (size_t)p->glyph.h * 4);
            if (coverage && pixels && pack_cell(atlas, cw, ch, &page, &x, &y)) {
                stbtt_MakeGlyphBitmap(&atlas->info, coverage, p->glyph.w, p->glyph.h,
                                      p->glyph.w, scale, scale, p->index);
                for (int k = 0; k < p->glyph.w * p->glyph.h; k++) {
                    pixels[k] = ((uint32_t)coverage[k] << 24) | 0x00FFFFFFu;
                }
                node->glyph.page = page->texture;
                node->glyph.x = x + 1;
                node->glyph.y = y + 1;
                if (page->texture) {
                    const SDL_Rect r = {x + 1, y + 1, p->glyph.w, p->glyph.h};
                    SDL_UpdateTexture(page->texture, &r, pixels, p->glyph.w * 4);
                }
            } else {
                node->glyph.page = nullptr;
            }
            SDL_free(coverage);
            SDL_free(pixels);
        }
        struct glyph_node **bucket = &atlas->buckets[glyph_bucket(key, p->codepoint)];
        node->next = *bucket;
        *bucket = node;
    }
    SDL_free(pending);
}

const struct fontatlas_glyph *fontatlas_getglyph(struct fontatlas *atlas, uint32_t codepoint,
                                                 float size_px)
{
    const int64_t key = size_key_of(size_px);
    struct glyph_node *node = find_glyph(atlas, key, codepoint);
    if (!node) {
        fontatlas_cacheglyphs(atlas, &codepoint, 1, size_px);
        node = find_glyph(atlas, key, codepoint);
    }
    return node ? &node->glyph : nullptr;
}

float fontatlas_get_kerningadvance(const struct fontatlas *atlas, uint32_t a, uint32_t b,
                                   float scale)
{
    if (a == 0 || b == 0 || !fontatlas_has_kerning(atlas)) {
        return 0.0f;
    }
    const int ga = stbtt_FindGlyphIndex(&atlas->info, (int)a);
    const int gb = stbtt_FindGlyphIndex(&atlas->info, (int)b);
    if (ga == 0 || gb == 0) {
        return 0.0f;
    }
    return (float)stbtt_GetGlyphKernAdvance(&atlas->info, ga, gb) * scale;
}

namespace {

// Walks the code points of a text that the font has (others are skipped, so a
// missing glyph changes neither the width nor the kerning of its neighbours).
template <typename Each> void each_font_codepoint(const stbtt_fontinfo *info, const char *text,
                                                  Each each)
{
    const char *cursor = text;
    for (;;) {
        const uint32_t cp = utf8codepoint(&cursor);
        if (cp == 0) {
            break;
        }
        if (cp == UTF8_BAD_CODEPOINT) {
            continue;
        }
        const int index = stbtt_FindGlyphIndex(info, (int)cp);
        if (index != 0) {
            each(cp, index);
        }
    }
}

}  // namespace

void fontatlas_calcstringrect(struct fontatlas *atlas, const char *text, float *out_w,
                              float *out_h, float size_px)
{
    const float scale = fontatlas_get_scale(atlas, size_px);
    *out_h = scale * (atlas->ascent - atlas->descent + atlas->line_gap);
    float w = 0.0f;
    if (text) {
        const int64_t key = size_key_of(size_px);
        const int kerning = fontatlas_has_kerning(atlas);
        int prev = 0;
        each_font_codepoint(&atlas->info, text, [&](uint32_t cp, int index) {
            const struct glyph_node *node = find_glyph(atlas, key, cp);
            float advance;
            if (node) {
                advance = node->glyph.advance;
            } else {
                int aw = 0, lsb = 0;
                stbtt_GetGlyphHMetrics(&atlas->info, index, &aw, &lsb);
                advance = scale * (float)aw;
            }
            w += (float)(int)advance;
            if (kerning && prev) {
                w += (float)stbtt_GetGlyphKernAdvance(&atlas->info, prev, index) * scale;
            }
            prev = index;
        });
    }
    *out_w = w;
}

void fontatlas_calcstringrect_uncached(const struct fontatlas *atlas, const char *text,
                                       float *out_w, float *out_h, float size_px)
{
    const float scale = fontatlas_get_scale(atlas, size_px);
    *out_h = scale * (atlas->ascent - atlas->descent + atlas->line_gap);
    double hundredths = 0.0;
    if (text) {
        const int kerning = fontatlas_has_kerning(atlas);
        int prev = 0;
        each_font_codepoint(&atlas->info, text, [&](uint32_t cp, int index) {
            int aw = 0, lsb = 0;
            stbtt_GetGlyphHMetrics(&atlas->info, index, &aw, &lsb);
            hundredths += (double)(int64_t)(scale * 100.0f * (float)aw);
            if (kerning && prev) {
                hundredths += (double)(scale * 100.0f *
                                       (float)stbtt_GetGlyphKernAdvance(&atlas->info, prev, index));
            }
            prev = index;
        });
    }
    *out_w = (float)(hundredths / 100.0);
}

// ---- Font map ------------------------------------------------------------------

struct font_map *font_map_allocate(void)
{
    return (struct font_map *)SDL_calloc(1, sizeof(struct font_map));
}

void font_map_delete(struct font_map *map)
{
    if (!map) {
        return;
    }
    for (struct font_entry *&head : map->buckets) {
        while (head) {
            struct font_entry *next = head->next;
            fontatlas_delete(head->atlas);
            SDL_free(head->path);
            SDL_free(head);
            head = next;
        }
    }
    SDL_free(map);
}

namespace {

// Called with font_lock held.
struct fontatlas *lookup_font_locked(struct render_context *ctx, const char *path)
{
    if (!path || !ctx->fonts) {
        return ctx->default_font;
    }
    struct font_entry **bucket =
        &ctx->fonts->buckets[render_name_hash(path) & (FONT_MAP_BUCKETS - 1)];
    for (struct font_entry *e = *bucket; e; e = e->next) {
        if (SDL_strcmp(e->path, path) == 0) {
            return e->atlas ? e->atlas : ctx->default_font;
        }
    }
    struct font_entry *e = (struct font_entry *)SDL_calloc(1, sizeof(*e));
    if (!e) {
        return ctx->default_font;
    }
    const size_t n = SDL_strlen(path) + 1;
    e->path = (char *)SDL_malloc(n);
    if (!e->path) {
        SDL_free(e);
        return ctx->default_font;
    }
    SDL_memcpy(e->path, path, n);
    e->atlas = fontatlas_new(ctx->renderer, path);
    if (!e->atlas) {
        log_warn("Render", "%s; labels with this font use the default font", SDL_GetError());
    }
    e->next = *bucket;
    *bucket = e;
    return e->atlas ? e->atlas : ctx->default_font;
}

}  // namespace

struct fontatlas *lookup_font(struct render_context *ctx, const char *path)
{
    SDL_LockMutex(ctx->font_lock);
    struct fontatlas *atlas = lookup_font_locked(ctx, path);
    SDL_UnlockMutex(ctx->font_lock);
    return atlas;
}

int render_measure_text(struct render_context *ctx, const char *font_path, const char *text,
                        float size_px, float *out_w, float *out_h)
{
    *out_w = *out_h = 0.0f;
    if (!ctx) {
        return 0;
    }
    SDL_LockMutex(ctx->font_lock);
    struct fontatlas *atlas = lookup_font_locked(ctx, font_path);
    if (atlas) {
        fontatlas_calcstringrect_uncached(atlas, text, out_w, out_h, size_px);
    }
    SDL_UnlockMutex(ctx->font_lock);
    return atlas != nullptr;
}
