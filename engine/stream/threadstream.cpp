// Stream pool, growth, packing and unpacking.
#include "stream/stream.h"

#include <SDL.h>
#include <string.h>

namespace
{

struct pool_state {
    SDL_mutex *lock;    // null before threadstream_init and after threadstream_quit
    threadstream *head; // free streams, linked through next
};

pool_state g_pool;

const char g_empty_text[1] = {0};

threadstream *stream_create(void)
{
    threadstream *s = static_cast<threadstream *>(SDL_malloc(sizeof(threadstream)));
    if (!s) {
        return nullptr;
    }
    s->data = static_cast<uint8_t *>(SDL_malloc(THREADSTREAM_INITIAL_CAPACITY));
    if (!s->data) {
        SDL_free(s);
        return nullptr;
    }
    s->read_pos = 0;
    s->length = 0;
    s->capacity = THREADSTREAM_INITIAL_CAPACITY;
    s->error = 0;
    s->next = nullptr;
    return s;
}

void stream_destroy(threadstream *s)
{
    SDL_free(s->data);
    SDL_free(s);
}

// Sizes are worked out in 64 bits so that neither length + k nor the doubling
// can wrap; a stream never grows past what its u32 counters can address.
int stream_grow(threadstream *s, uint64_t required)
{
    if (required > UINT32_MAX) {
        s->error = 1;
        return 0;
    }
    uint64_t capacity = s->capacity ? s->capacity : THREADSTREAM_INITIAL_CAPACITY;
    while (capacity < required) {
        capacity *= 2;
    }
    if (capacity > UINT32_MAX) {
        capacity = UINT32_MAX;
    }
    void *data = SDL_realloc(s->data, static_cast<size_t>(capacity));
    if (!data) {
        s->error = 1;
        return 0;
    }
    s->data = static_cast<uint8_t *>(data);
    s->capacity = static_cast<uint32_t>(capacity);
    return 1;
}

// Makes room for k more bytes after length.
inline int stream_reserve(threadstream *s, uint64_t k)
{
    if (!s || s->error) {
        return 0;
    }
    uint64_t required = static_cast<uint64_t>(s->length) + k;
    if (required <= s->capacity) {
        return 1;
    }
    return stream_grow(s, required);
}

inline int stream_put_word(threadstream *s, const void *word)
{
    if (!stream_reserve(s, 4)) {
        return 0;
    }
    memcpy(s->data + s->length, word, 4);
    s->length += 4;
    return 1;
}

// Copies the next word out, or sets error when fewer than 4 bytes remain.
inline int stream_get_word(threadstream *s, void *word)
{
    if (!s) {
        return 0;
    }
    if (static_cast<uint64_t>(s->read_pos) + 4 > s->length) {
        s->error = 1;
        return 0;
    }
    memcpy(word, s->data + s->read_pos, 4);
    s->read_pos += 4;
    return 1;
}

} // namespace

int threadstream_init(void)
{
    if (g_pool.lock) {
        return 1;
    }
    g_pool.head = nullptr;
    g_pool.lock = SDL_CreateMutex();
    return g_pool.lock != nullptr;
}

void threadstream_quit(void)
{
    if (!g_pool.lock) {
        return;
    }
    SDL_LockMutex(g_pool.lock);
    threadstream *s = g_pool.head;
    g_pool.head = nullptr;
    SDL_UnlockMutex(g_pool.lock);
    while (s) {
        threadstream *next = s->next;
        stream_destroy(s);
        s = next;
    }
    SDL_DestroyMutex(g_pool.lock);
    g_pool.lock = nullptr;
}

threadstream *threadstream_allocate(void)
{
    threadstream *s = nullptr;
    if (g_pool.lock) {
        SDL_LockMutex(g_pool.lock);
        s = g_pool.head;
        if (s) {
            g_pool.head = s->next;
        }
        SDL_UnlockMutex(g_pool.lock);
    }
    if (s) {
        s->next = nullptr;
        return s;
    }
    return stream_create();
}

void threadstream_free(threadstream *stream)
{
    if (!stream) {
        return;
    }
    stream->error = 0;
    stream->length = 0;
    stream->read_pos = 0;
    if (!g_pool.lock) {
        stream_destroy(stream);
        return;
    }
    SDL_LockMutex(g_pool.lock);
    stream->next = g_pool.head;
    g_pool.head = stream;
    SDL_UnlockMutex(g_pool.lock);
}

int threadstream_claim_space(threadstream *stream, size_t n)
{
    if (!stream || stream->error) {
        return 0;
    }
    if (static_cast<uint64_t>(n) > UINT32_MAX) {
        stream->error = 1;
        return 0;
    }
    return stream_reserve(stream, n);
}

int threadstream_pack_int(threadstream *stream, int32_t value)
{
    return stream_put_word(stream, &value);
}

int threadstream_pack_size_t(threadstream *stream, uint32_t value)
{
    return stream_put_word(stream, &value);
}

int threadstream_pack_float(threadstream *stream, float value)
{
    return stream_put_word(stream, &value);
}

int threadstream_pack_buffer(threadstream *stream, const void *bytes, size_t n)
{
    if (!stream || stream->error) {
        return 0;
    }
    if (!bytes) {
        int32_t absent = -1;
        return stream_put_word(stream, &absent);
    }
    if (static_cast<uint64_t>(n) > INT32_MAX) {
        stream->error = 1;
        return 0;
    }
    // Length word, body, terminator, then padding up to the next 4-byte boundary.
    uint64_t body = static_cast<uint64_t>(n) + 1;
    uint64_t padded = (body + 3) & ~static_cast<uint64_t>(3);
    if (!stream_reserve(stream, 4 + padded)) {
        return 0;
    }
    int32_t word = static_cast<int32_t>(n);
    uint8_t *out = stream->data + stream->length;
    memcpy(out, &word, 4);
    if (n) {
        memcpy(out + 4, bytes, n);
    }
    memset(out + 4 + n, 0, static_cast<size_t>(padded - n));
    stream->length += static_cast<uint32_t>(4 + padded);
    return 1;
}

int threadstream_pack_string(threadstream *stream, const char *text)
{
    return threadstream_pack_buffer(stream, text, text ? strlen(text) : 0);
}

int threadstream_pack_c_string(threadstream *stream, const char *text)
{
    return threadstream_pack_buffer(stream, text, strlen(text));
}

int threadstream_eos(const threadstream *stream)
{
    return !stream || stream->error || stream->read_pos >= stream->length;
}

int32_t threadstream_unpack_int(threadstream *stream)
{
    int32_t value = 0;
    return stream_get_word(stream, &value) ? value : 0;
}

uint32_t threadstream_unpack_size_t(threadstream *stream)
{
    uint32_t value = 0;
    return stream_get_word(stream, &value) ? value : 0;
}

float threadstream_unpack_float(threadstream *stream)
{
    float value = 0.0f;
    return stream_get_word(stream, &value) ? value : 0.0f;
}

const void *threadstream_unpack_buffer(threadstream *stream, uint32_t *out_len)
{
    if (out_len) {
        *out_len = 0;
    }
    if (!stream) {
        return g_empty_text;
    }
    uint64_t start = stream->read_pos;
    if (start + 4 > stream->length) {
        stream->error = 1;
        return g_empty_text;
    }
    int32_t word;
    memcpy(&word, stream->data + start, 4);
    if (word == -1) {
        stream->read_pos += 4;
        return nullptr;
    }
    uint64_t end = start + 4 + static_cast<uint64_t>(word) + 1; // past the terminator
    if (word < -1 || end > stream->length || stream->data[end - 1] != 0) {
        stream->error = 1;
        return g_empty_text;
    }
    // A stream written in place may end without its padding; never step past it.
    uint64_t next = (end + 3) & ~static_cast<uint64_t>(3);
    stream->read_pos = static_cast<uint32_t>(next < stream->length ? next : stream->length);
    if (out_len) {
        *out_len = static_cast<uint32_t>(word);
    }
    return stream->data + start + 4;
}

const char *threadstream_unpack_string(threadstream *stream, uint32_t *out_len)
{
    return static_cast<const char *>(threadstream_unpack_buffer(stream, out_len));
}
