// Scene decoder: walks a scene the way the executor does and prints every item
// by name. Record layouts are tables of typed fields, so a layout change is one
// line here.
#include "stream/scene_decode.h"

#include <SDL.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

// 'i' int, 'f' float, 's' string (absent allowed), 'b' byte buffer.
struct field {
    char type;
    const char *name;
};

struct layout {
    const char *name;
    const field *fields;
    int count;
};

template <int N> constexpr layout make_layout(const char *name, const field (&fields)[N])
{
    return layout{name, fields, N};
}

constexpr layout no_payload(const char *name)
{
    return layout{name, nullptr, 0};
}

// ---- top-level commands ----

const field f_screenshot[] = {{'s', "path"},      {'f', "x"}, {'f', "y"}, {'f', "w"}, {'f', "h"},
                              {'i', "tolerance"}, {'i', "r"}, {'i', "g"}, {'i', "b"}, {'i', "a"}};
const field f_set_grid[] = {{'f', "origin_x"}, {'f', "origin_y"}, {'i', "unused"}};
const field f_render_passes[] = {{'i', "count"}, {'i', "screenshot"}};
const field f_path[] = {{'s', "path"}};
const field f_on[] = {{'i', "on"}};
const field f_window_scale[] = {{'f', "scale"}, {'i', "aspect_w"}, {'i', "aspect_h"}};
const field f_upload_pixels[] = {{'s', "name"}, {'i', "w"}, {'i', "h"}, {'b', "pixels"}};
const field f_url[] = {{'s', "url"}};
const field f_set_cursor[] = {{'s', "path"}, {'i', "hot_x"}, {'i', "hot_y"}};
const field f_name[] = {{'s', "name"}};
const field f_mode[] = {{'i', "mode"}};
const field f_title[] = {{'s', "title"}};
const field f_count[] = {{'i', "count"}};
const field f_quality[] = {{'i', "quality"}};
const field f_scale[] = {{'i', "scale"}};
const field f_size[] = {{'i', "w"}, {'i', "h"}};
const field f_position[] = {{'i', "x"}, {'i', "y"}};

// Indexed by opcode; a null name is not a top-level command.
const layout g_commands[] = {
    no_payload("cmd_nop"),
    {},
    {},
    {},
    {},
    {},
    make_layout("cmd_screenshot", f_screenshot),
    make_layout("cmd_set_grid", f_set_grid),
    make_layout("cmd_render_passes", f_render_passes),
    {},
    make_layout("cmd_unload_texture", f_path),
    make_layout("cmd_show_cursor", f_on),
    make_layout("cmd_set_fullscreen", f_on),
    make_layout("cmd_set_window_scale", f_window_scale),
    make_layout("cmd_upload_pixels", f_upload_pixels),
    make_layout("cmd_open_url", f_url),
    make_layout("cmd_set_cursor", f_set_cursor),
    make_layout("cmd_set_system_cursor", f_name),
    {},
    make_layout("cmd_set_mouse_grab", f_mode),
    make_layout("cmd_set_window_title", f_title),
    make_layout("cmd_accessibility", f_count),
    no_payload("cmd_move_to_next_display"),
    no_payload("cmd_maximize_window"),
    no_payload("cmd_toggle_orientation"),
    make_layout("cmd_set_scale_quality", f_quality),
    make_layout("cmd_set_hd_max_scale", f_scale),
    no_payload("cmd_toggle_hd_letterbox"),
    no_payload("cmd_toggle_orientation_no_resize"),
    make_layout("cmd_set_window_size", f_size),
    make_layout("cmd_set_window_position", f_position),
    no_payload("cmd_raise_window"),
};
constexpr int g_command_count = sizeof(g_commands) / sizeof(g_commands[0]);
static_assert(g_command_count == cmd_raise_window + 1, "one entry per opcode");

const field f_a11y[] = {{'s', "id"}, {'s', "text"}, {'s', "trait"}, {'s', "notification_target"},
                        {'f', "x"},  {'f', "y"},    {'f', "w"},     {'f', "h"}};
const layout g_a11y = make_layout("a11y", f_a11y);

const field f_pass[] = {{'i', "r"},
                        {'i', "g"},
                        {'i', "b"},
                        {'i', "a"},
                        {'s', "target"},
                        {'i', "render_width"},
                        {'i', "render_height"},
                        {'i', "transient"},
                        {'i', "clear"}};
const layout g_pass = make_layout("pass", f_pass);

// ---- primitive records (fields after the kind word) ----

const field f_solid[] = {
    {'f', "x"},        {'f', "y"},       {'i', "z"}, {'f', "w"}, {'f', "h"},
    {'i', "r"},        {'i', "g"},       {'i', "b"}, {'i', "a"}, {'i', "blendmode_enum"},
    {'f', "anchor_x"}, {'f', "anchor_y"}};
const field f_sprite[] = {{'s', "path"},
                          {'f', "x"},
                          {'f', "y"},
                          {'i', "z"},
                          {'f', "w"},
                          {'f', "h"},
                          {'i', "reserved"},
                          {'i', "reserved2"},
                          {'f', "angle"},
                          {'i', "r"},
                          {'i', "g"},
                          {'i', "b"},
                          {'i', "a"},
                          {'f', "tile_x"},
                          {'f', "tile_y"},
                          {'f', "tile_w"},
                          {'f', "tile_h"},
                          {'f', "source_x"},
                          {'f', "source_y"},
                          {'f', "source_w"},
                          {'f', "source_h"},
                          {'i', "flip_horizontally"},
                          {'i', "flip_vertically"},
                          {'f', "angle_anchor_x"},
                          {'f', "angle_anchor_y"},
                          {'i', "blendmode_enum"},
                          {'i', "texture_scale"},
                          {'f', "anchor_x"},
                          {'f', "anchor_y"},
                          {'i', "scale_quality_enum"}};
const field f_label[] = {{'f', "x"},
                         {'f', "y"},
                         {'f', "z"},
                         {'s', "text"},
                         {'s', "font"},
                         {'f', "size_enum"},
                         {'i', "alignment_enum"},
                         {'i', "r"},
                         {'i', "g"},
                         {'i', "b"},
                         {'i', "a"},
                         {'i', "vertical_alignment_enum"},
                         {'i', "blendmode_enum"},
                         {'f', "size_px"},
                         {'i', "anchor_x_present"},
                         {'f', "anchor_x"},
                         {'i', "anchor_y_present"},
                         {'f', "anchor_y"}};
const field f_line[] = {{'f', "x"}, {'f', "y"}, {'i', "z"}, {'f', "x2"}, {'f', "y2"},
                        {'i', "r"}, {'i', "g"}, {'i', "b"}, {'i', "a"},  {'i', "blendmode_enum"}};
const field f_triangle[] = {{'f', "x"},
                            {'f', "y"},
                            {'i', "z"},
                            {'f', "x2"},
                            {'f', "y2"},
                            {'i', "z2"},
                            {'f', "x3"},
                            {'f', "y3"},
                            {'i', "z3"},
                            {'i', "r"},
                            {'i', "g"},
                            {'i', "b"},
                            {'i', "a"},
                            {'s', "path"},
                            {'f', "source_x"},
                            {'f', "source_y"},
                            {'f', "source_x2"},
                            {'f', "source_y2"},
                            {'f', "source_x3"},
                            {'f', "source_y3"},
                            {'i', "blendmode_enum"},
                            {'i', "texture_scale"},
                            {'i', "r2"},
                            {'i', "g2"},
                            {'i', "b2"},
                            {'i', "a2"},
                            {'i', "r3"},
                            {'i', "g3"},
                            {'i', "b3"},
                            {'i', "a3"}};

const layout *primitive_layout(int32_t kind)
{
    static const layout solid = make_layout("prim_solid", f_solid);
    static const layout sprite = make_layout("prim_sprite", f_sprite);
    static const layout label = make_layout("prim_label", f_label);
    static const layout line = make_layout("prim_line", f_line);
    static const layout border = make_layout("prim_border", f_solid);
    static const layout triangle = make_layout("prim_triangle", f_triangle);
    switch (kind) {
    case prim_solid:
        return &solid;
    case prim_sprite:
        return &sprite;
    case prim_label:
        return &label;
    case prim_line:
        return &line;
    case prim_border:
        return &border;
    case prim_triangle:
        return &triangle;
    default:
        return nullptr;
    }
}

// ---- output text ----

struct text {
    char *data;
    size_t length;
    size_t capacity;
    int failed;
};

void text_append(text *t, const char *bytes, size_t n)
{
    if (t->failed) {
        return;
    }
    if (t->length + n + 1 > t->capacity) {
        size_t capacity = t->capacity ? t->capacity : 256;
        while (t->length + n + 1 > capacity) {
            capacity *= 2;
        }
        char *data = static_cast<char *>(SDL_realloc(t->data, capacity));
        if (!data) {
            t->failed = 1;
            return;
        }
        t->data = data;
        t->capacity = capacity;
    }
    memcpy(t->data + t->length, bytes, n);
    t->length += n;
    t->data[t->length] = 0;
}

void text_printf(text *t, const char *format, ...) SDL_PRINTF_VARARG_FUNC(2);

void text_printf(text *t, const char *format, ...)
{
    char small[128];
    va_list ap;
    va_start(ap, format);
    int n = vsnprintf(small, sizeof(small), format, ap);
    va_end(ap);
    if (n < 0) {
        t->failed = 1;
        return;
    }
    if (static_cast<size_t>(n) < sizeof(small)) {
        text_append(t, small, static_cast<size_t>(n));
        return;
    }
    char *big = static_cast<char *>(SDL_malloc(static_cast<size_t>(n) + 1));
    if (!big) {
        t->failed = 1;
        return;
    }
    va_start(ap, format);
    vsnprintf(big, static_cast<size_t>(n) + 1, format, ap);
    va_end(ap);
    text_append(t, big, static_cast<size_t>(n));
    SDL_free(big);
}

// Shortest text that reads back as the same single-precision value, always with
// a decimal point or exponent so that floats never look like ints.
void text_float(text *t, float value)
{
    char buf[48];
    if (isnan(value)) {
        text_printf(t, "nan");
        return;
    }
    if (isinf(value)) {
        text_printf(t, value < 0 ? "-inf" : "inf");
        return;
    }
    double magnitude = fabs(static_cast<double>(value));
    if (magnitude == 0.0 || (magnitude >= 1e-4 && magnitude < 1e9)) {
        // Plain decimals for the range coordinates and colours live in.
        for (int decimals = 0; decimals <= 17; decimals++) {
            snprintf(buf, sizeof(buf), "%.*f", decimals, static_cast<double>(value));
            if (strtof(buf, nullptr) == value) {
                break;
            }
        }
    } else {
        for (int precision = 1; precision <= 9; precision++) {
            snprintf(buf, sizeof(buf), "%.*g", precision, static_cast<double>(value));
            if (strtof(buf, nullptr) == value) {
                break;
            }
        }
    }
    if (!strpbrk(buf, ".e")) {
        strcat(buf, ".0");
    }
    text_printf(t, "%s", buf);
}

void text_quoted(text *t, const char *bytes, uint32_t n)
{
    text_append(t, "\"", 1);
    for (uint32_t i = 0; i < n; i++) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        switch (c) {
        case '"':
            text_append(t, "\\\"", 2);
            break;
        case '\\':
            text_append(t, "\\\\", 2);
            break;
        case '\n':
            text_append(t, "\\n", 2);
            break;
        case '\t':
            text_append(t, "\\t", 2);
            break;
        case '\r':
            text_append(t, "\\r", 2);
            break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                text_append(t, bytes + i, 1);
            } else {
                text_printf(t, "\\x%02x", c);
            }
        }
    }
    text_append(t, "\"", 1);
}

void text_bytes(text *t, const uint8_t *bytes, uint32_t n)
{
    constexpr uint32_t shown = 32;
    text_printf(t, "<%u bytes", n);
    if (n) {
        text_append(t, ":", 1);
    }
    for (uint32_t i = 0; i < n && i < shown; i++) {
        text_printf(t, "%s%02x", (i % 4 == 0) ? " " : "", bytes[i]);
    }
    if (n > shown) {
        text_append(t, " ...", 4);
    }
    text_append(t, ">", 1);
}

// ---- walking the stream ----

struct decoder {
    threadstream in; // a private copy: reading moves only its read_pos
    text out;
};

void indent(decoder *d, int depth)
{
    for (int i = 0; i < depth; i++) {
        text_append(&d->out, "  ", 2);
    }
}

// Prints the fields of a layout on the current line. Ints are returned through
// ints_out (in field order) for callers that need counts. Returns 0 when the
// data ended inside the record; the line is then closed with a note.
int decode_fields(decoder *d, const layout &l, int32_t *ints_out, int ints_max)
{
    int ints = 0;
    for (int i = 0; i < l.count; i++) {
        const field &f = l.fields[i];
        text_printf(&d->out, " %s=", f.name);
        switch (f.type) {
        case 'i': {
            int32_t v = threadstream_unpack_int(&d->in);
            if (d->in.error) {
                break;
            }
            text_printf(&d->out, "%d", v);
            if (ints_out && ints < ints_max) {
                ints_out[ints++] = v;
            }
            break;
        }
        case 'f': {
            float v = threadstream_unpack_float(&d->in);
            if (!d->in.error) {
                text_float(&d->out, v);
            }
            break;
        }
        case 's':
        case 'b': {
            uint32_t n = 0;
            const void *p = threadstream_unpack_buffer(&d->in, &n);
            if (d->in.error) {
                break;
            }
            if (!p) {
                text_printf(&d->out, "nil");
            } else if (f.type == 's') {
                text_quoted(&d->out, static_cast<const char *>(p), n);
            } else {
                text_bytes(&d->out, static_cast<const uint8_t *>(p), n);
            }
            break;
        }
        }
        if (d->in.error) {
            text_printf(&d->out, "?\nerror: data ends inside %s at field %s\n", l.name, f.name);
            return 0;
        }
    }
    text_append(&d->out, "\n", 1);
    return 1;
}

// One record of a pass. Returns 0 to stop decoding.
int decode_primitive(decoder *d, int depth, int32_t kind)
{
    const layout *l = primitive_layout(kind);
    indent(d, depth);
    if (!l) {
        // The executor steps over kind words it does not draw.
        text_printf(&d->out, "skip kind=%d\n", kind);
        return 1;
    }
    text_printf(&d->out, "%s", l->name);
    return decode_fields(d, *l, nullptr, 0);
}

int decode_render_passes(decoder *d, int32_t passes)
{
    for (int32_t pass = 0; pass < passes; pass++) {
        indent(d, 1);
        text_printf(&d->out, "pass %d", pass);
        if (!decode_fields(d, g_pass, nullptr, 0)) {
            return 0;
        }
        for (;;) {
            if (threadstream_eos(&d->in)) {
                text_printf(&d->out, "error: data ends inside pass %d before prim_end_pass\n",
                            pass);
                return 0;
            }
            int32_t kind = threadstream_unpack_int(&d->in);
            if (d->in.error) {
                text_printf(&d->out, "error: stray bytes inside pass %d\n", pass);
                return 0;
            }
            if (kind == prim_end_pass) {
                indent(d, 2);
                text_printf(&d->out, "prim_end_pass\n");
                break;
            }
            if (!decode_primitive(d, 2, kind)) {
                return 0;
            }
        }
    }
    return 1;
}

void decode_commands(decoder *d)
{
    while (!threadstream_eos(&d->in)) {
        uint32_t offset = d->in.read_pos;
        int32_t opcode = threadstream_unpack_int(&d->in);
        if (d->in.error) {
            text_printf(&d->out, "error: %u stray bytes at offset %u\n", d->in.length - offset,
                        offset);
            return;
        }
        const layout *l = (opcode >= 0 && opcode < g_command_count && g_commands[opcode].name)
                              ? &g_commands[opcode]
                              : nullptr;
        if (!l) {
            text_printf(&d->out, "unknown opcode %d at offset %u: decoding stops\n", opcode,
                        offset);
            return;
        }
        text_printf(&d->out, "%s", l->name);
        int32_t ints[2] = {0, 0};
        if (!decode_fields(d, *l, ints, 2)) {
            return;
        }
        if (opcode == cmd_render_passes) {
            if (!decode_render_passes(d, ints[0])) {
                return;
            }
        } else if (opcode == cmd_accessibility) {
            for (int32_t i = 0; i < ints[0]; i++) {
                indent(d, 1);
                text_printf(&d->out, "%s", g_a11y.name);
                if (!decode_fields(d, g_a11y, nullptr, 0)) {
                    return;
                }
            }
        }
    }
}

enum class mode { scene, commands, primitives };

char *decode(const threadstream *stream, mode m)
{
    if (!stream) {
        return nullptr;
    }
    decoder d;
    d.in = *stream;
    d.in.read_pos = 0;
    d.in.error = 0;
    d.in.next = nullptr;
    d.out = text{nullptr, 0, 0, 0};
    text_append(&d.out, "", 0); // an empty stream still gives a text
    if (stream->error) {
        text_printf(&d.out, "note: the stream's error flag is set\n");
    }
    if (m == mode::scene) {
        static const field f_header[] = {{'i', "time"}, {'i', "format"}};
        static const layout header = make_layout("header", f_header);
        text_printf(&d.out, "header");
        if (decode_fields(&d, header, nullptr, 0)) {
            decode_commands(&d);
        }
    } else if (m == mode::commands) {
        decode_commands(&d);
    } else {
        while (!threadstream_eos(&d.in)) {
            int32_t kind = threadstream_unpack_int(&d.in);
            if (d.in.error) {
                text_printf(&d.out, "error: stray bytes at the end\n");
                break;
            }
            if (kind == prim_end_pass) {
                text_printf(&d.out, "prim_end_pass\n");
            } else if (!decode_primitive(&d, 0, kind)) {
                break;
            }
        }
    }
    if (d.out.failed) {
        SDL_free(d.out.data);
        return nullptr;
    }
    return d.out.data;
}

} // namespace

char *scene_decode(const threadstream *scene)
{
    return decode(scene, mode::scene);
}

char *scene_decode_commands(const threadstream *stream)
{
    return decode(stream, mode::commands);
}

char *scene_decode_primitives(const threadstream *stream)
{
    return decode(stream, mode::primitives);
}
