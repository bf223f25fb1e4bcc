// Thread streams: growable byte buffers that carry values between threads, the
// process-wide pool they come from, the locked FIFO queues that hand them over,
// and the framing of a scene (the draw commands of one tick).
// Thread: any thread may use the pool and the queues. A stream has no lock: it
// belongs to one thread at a time, and ownership passes with putitem/getitem.
// Ownership: threadstream_allocate hands the caller a stream that ends with
// threadstream_free (or a queue); pointers returned by the unpack operations
// point into the stream's own buffer.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Items are 4-byte ints and floats, and buffers: an i32 length n, n bytes, a 0
// byte and 0..3 padding bytes so the next item starts at a multiple of 4. The
// length word -1 alone marks an absent buffer. Byte order is the machine's own.
struct threadstream {
    uint8_t *data;             // buffer from SDL_malloc, owned by the stream
    uint32_t read_pos;         // next byte to unpack
    uint32_t length;           // bytes packed so far
    uint32_t capacity;         // bytes allocated; 1024 for a new stream
    int32_t error;             // set by a failed growth or an out-of-bounds read
    struct threadstream *next; // pool or queue link; in at most one list
};

// Locked FIFO of streams with an atomic count and reference count.
struct threadstreamqueue;

// Capacity of a newly created stream.
#define THREADSTREAM_INITIAL_CAPACITY 1024u

// ---- Pool and lifetime -------------------------------------------------------

// Creates the empty pool and its mutex. Returns 1 when the mutex exists.
int threadstream_init(void);

// Frees every pooled stream with its buffer and destroys the pool mutex. Streams
// freed after this are released to the heap instead of the pool.
void threadstream_quit(void);

// Takes a pooled stream (keeping its grown buffer) or makes a new one with a
// 1024-byte buffer; all counters 0. Returns null when memory is exhausted.
struct threadstream *threadstream_allocate(void);

// Clears error, length and read_pos and returns the stream to the pool; null is
// ignored.
void threadstream_free(struct threadstream *stream);

// Grows capacity to at least length + n without packing anything, for callers
// that write bytes in place and advance length themselves. Returns 0 for null,
// for a stream in error, or when growing fails (error is then set).
int threadstream_claim_space(struct threadstream *stream, size_t n);

// ---- Packing -----------------------------------------------------------------
// Each returns 1, or 0 when the stream is null, already in error, or cannot grow
// (error is then set, and also when the stream would pass 4 GiB). A failed pack
// leaves length unchanged.

int threadstream_pack_int(struct threadstream *stream, int32_t value);
int threadstream_pack_size_t(struct threadstream *stream, uint32_t value);
int threadstream_pack_float(struct threadstream *stream, float value);

// n bytes as a buffer item; bytes null writes the absent marker. n above
// INT32_MAX cannot be framed and fails.
int threadstream_pack_buffer(struct threadstream *stream, const void *bytes, size_t n);

// The text up to its terminator as a buffer item; null writes the absent marker.
int threadstream_pack_string(struct threadstream *stream, const char *text);

// As threadstream_pack_string for a text that is never null.
int threadstream_pack_c_string(struct threadstream *stream, const char *text);

// ---- Unpacking ---------------------------------------------------------------
// Reads at read_pos and advances it. A read past length sets error and yields 0
// (or the static empty text) without moving read_pos.

// 1 when the stream is null, in error, or fully read.
int threadstream_eos(const struct threadstream *stream);

int32_t threadstream_unpack_int(struct threadstream *stream);
uint32_t threadstream_unpack_size_t(struct threadstream *stream);
float threadstream_unpack_float(struct threadstream *stream);

// The bytes of a buffer item inside the stream's buffer, followed by a 0 byte,
// valid until the stream is packed again or freed; length in out_len (may be
// null). The absent marker gives null and 0. A length word below -1, a body that
// runs past length, or a missing terminator sets error and gives a static empty
// text with length 0.
const void *threadstream_unpack_buffer(struct threadstream *stream, uint32_t *out_len);
const char *threadstream_unpack_string(struct threadstream *stream, uint32_t *out_len);

// ---- Queues ------------------------------------------------------------------

// New empty queue with one reference. Null when memory or the mutex fails.
struct threadstreamqueue *threadstreamqueue_create(void);

// Adds a reference; null is ignored.
void threadstreamqueue_ref(struct threadstreamqueue *queue);

// Drops a reference. The last one returns every queued stream to the pool and
// frees the queue. Null is ignored.
void threadstreamqueue_unref(struct threadstreamqueue *queue);

// Appends the stream at the tail; the queue owns it from now on. Does nothing
// when either argument is null.
void threadstreamqueue_putitem(struct threadstreamqueue *queue, struct threadstream *stream);

// Detaches the oldest stream and hands it to the caller, or returns null at once
// when the queue is empty. Never blocks waiting for an item.
struct threadstream *threadstreamqueue_getitem(struct threadstreamqueue *queue);

// Number of queued streams, read without the lock; 0 for null.
int threadstreamqueue_getcount(struct threadstreamqueue *queue);

// ---- Scenes ------------------------------------------------------------------
// A scene is one stream per tick: int time stamp, int 1, then commands, each an
// int opcode and its payload, until the data ends. cmd_render_passes holds a
// pass count, a screenshot flag and per pass a header (int r, g, b, a, string
// target, int render_width, render_height, transient, clear) followed by
// primitive records (int kind, then fields) closed by prim_end_pass.

enum scene_opcode {
    cmd_nop = 0,
    cmd_screenshot = 6,         // string path, float x, y, w, h, int tolerance, r, g, b, a
    cmd_set_grid = 7,           // float origin_x, origin_y, int unused
    cmd_render_passes = 8,      // int pass count, int screenshot flag, passes
    cmd_unload_texture = 10,    // string path (may be absent)
    cmd_show_cursor = 11,       // int on
    cmd_set_fullscreen = 12,    // int on
    cmd_set_window_scale = 13,  // float scale, int aspect_w, aspect_h
    cmd_upload_pixels = 14,     // string name (may be absent), int w, h, buffer w*h*4
    cmd_open_url = 15,          // string url
    cmd_set_cursor = 16,        // string path (may be absent), int hot_x, hot_y
    cmd_set_system_cursor = 17, // string name (may be absent)
    cmd_set_mouse_grab = 19,    // int mode
    cmd_set_window_title = 20,  // string title (may be absent)
    cmd_accessibility = 21,     // int count, then count accessibility records
    cmd_move_to_next_display = 22,
    cmd_maximize_window = 23,
    cmd_toggle_orientation = 24,
    cmd_set_scale_quality = 25, // int quality
    cmd_set_hd_max_scale = 26,  // int scale
    cmd_toggle_hd_letterbox = 27,
    cmd_toggle_orientation_no_resize = 28,
    cmd_set_window_size = 29,     // int w, h
    cmd_set_window_position = 30, // int x, y
    cmd_raise_window = 31,
};

// Kind words of the records inside a render pass.
enum scene_primitive {
    prim_solid = 1,
    prim_sprite = 2,
    prim_label = 3,
    prim_line = 4,
    prim_border = 5,
    prim_end_pass = 9,
    prim_triangle = 18,
};

// Writes the scene header: the time slot (0 for now) and the int 1.
int renderstream_pack_scene_header(struct threadstream *scene);

// Overwrites the time slot of a scene whose header is written. Returns 0 when
// the stream is null or shorter than the header.
int renderstream_stamp_scene(struct threadstream *scene, int32_t time_ms);

// Releases a scene that the render side is done with to the pool. Returns 1;
// null is ignored.
int renderstream_queue_scene(struct threadstream *scene);

// The scene hand-off keeps no state of its own: returns 1.
int renderstream_init(void);
void renderstream_quit(void);

// SDL_GetTicks() as it was at the first call of this function, from any thread.
uint32_t renderstream_tick_offset(void);
