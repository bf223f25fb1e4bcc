// Queues between threads, the scene hand-off helpers, and a two-thread stress
// run over two queues and the shared pool.
#include <SDL.h>
#include <gtest/gtest.h>
#include <string.h>

#include <atomic>

#include "counting_allocator.h"
#include "pool_fixture.h"
#include "stream/stream.h"

namespace
{

using Queue = StreamPool;

threadstream *tagged(int32_t tag)
{
    threadstream *s = threadstream_allocate();
    EXPECT_NE(s, nullptr);
    EXPECT_TRUE(threadstream_pack_int(s, tag));
    return s;
}

TEST_F(Queue, HandsStreamsOutOldestFirst)
{
    threadstreamqueue *q = threadstreamqueue_create();
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(threadstreamqueue_getcount(q), 0);
    for (int32_t i = 0; i < 5; i++) {
        threadstreamqueue_putitem(q, tagged(i));
        EXPECT_EQ(threadstreamqueue_getcount(q), i + 1);
    }
    for (int32_t i = 0; i < 3; i++) {
        threadstream *s = threadstreamqueue_getitem(q);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->next, nullptr);
        EXPECT_EQ(threadstream_unpack_int(s), i);
        EXPECT_EQ(threadstreamqueue_getcount(q), 4 - i);
        threadstream_free(s);
    }
    // Interleaved puts join behind what is still queued.
    threadstreamqueue_putitem(q, tagged(5));
    for (int32_t i = 3; i < 6; i++) {
        threadstream *s = threadstreamqueue_getitem(q);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(threadstream_unpack_int(s), i);
        threadstream_free(s);
    }
    EXPECT_EQ(threadstreamqueue_getitem(q), nullptr);
    EXPECT_EQ(threadstreamqueue_getcount(q), 0);
    // A queue emptied down to nothing still takes new items.
    threadstreamqueue_putitem(q, tagged(6));
    threadstream *s = threadstreamqueue_getitem(q);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(threadstream_unpack_int(s), 6);
    threadstream_free(s);
    threadstreamqueue_unref(q);
}

TEST_F(Queue, EmptyQueueAnswersAtOnce)
{
    threadstreamqueue *q = threadstreamqueue_create();
    ASSERT_NE(q, nullptr);
    for (int i = 0; i < 3; i++) {
        EXPECT_EQ(threadstreamqueue_getitem(q), nullptr);
        EXPECT_EQ(threadstreamqueue_getcount(q), 0);
    }
    threadstreamqueue_unref(q);
}

TEST_F(Queue, NullArgumentsAreIgnored)
{
    threadstreamqueue *q = threadstreamqueue_create();
    threadstream *s = tagged(1);
    threadstreamqueue_putitem(nullptr, s); // s stays with the caller
    threadstreamqueue_putitem(q, nullptr);
    EXPECT_EQ(threadstreamqueue_getcount(q), 0);
    EXPECT_EQ(threadstreamqueue_getcount(nullptr), 0);
    EXPECT_EQ(threadstreamqueue_getitem(nullptr), nullptr);
    threadstreamqueue_ref(nullptr);
    threadstreamqueue_unref(nullptr);
    threadstream_free(s);
    threadstreamqueue_unref(q);
}

TEST_F(Queue, LastReferenceReturnsQueuedStreamsToThePool)
{
    threadstreamqueue *q = threadstreamqueue_create();
    ASSERT_NE(q, nullptr);
    threadstream *a = tagged(1);
    threadstream *b = tagged(2);
    threadstreamqueue_putitem(q, a);
    threadstreamqueue_putitem(q, b);

    threadstreamqueue_ref(q); // a second holder
    threadstreamqueue_unref(q);
    // Still alive: the remaining reference can use it.
    EXPECT_EQ(threadstreamqueue_getcount(q), 2);
    threadstreamqueue_unref(q);

    counting_allocator_snapshot before = counting_allocator_read();
    threadstream *x = threadstream_allocate();
    threadstream *y = threadstream_allocate();
    EXPECT_EQ(counting_allocator_calls_since(before), 0) << "came from the pool";
    EXPECT_TRUE((x == a && y == b) || (x == b && y == a));
    EXPECT_EQ(x->length, 0u);
    EXPECT_EQ(y->length, 0u);
    EXPECT_EQ(x->next, nullptr);
    EXPECT_EQ(y->next, nullptr);
    threadstream_free(x);
    threadstream_free(y);
}

TEST_F(Queue, SceneHeaderAndStamp)
{
    threadstream *scene = threadstream_allocate();
    EXPECT_FALSE(renderstream_stamp_scene(scene, 5));
    ASSERT_TRUE(renderstream_pack_scene_header(scene));
    ASSERT_TRUE(threadstream_pack_int(scene, cmd_raise_window));
    EXPECT_EQ(scene->length, 12u);
    ASSERT_TRUE(renderstream_stamp_scene(scene, 16667));
    EXPECT_EQ(scene->length, 12u);
    EXPECT_EQ(threadstream_unpack_int(scene), 16667);
    EXPECT_EQ(threadstream_unpack_int(scene), 1);
    EXPECT_EQ(threadstream_unpack_int(scene), cmd_raise_window);
    EXPECT_FALSE(renderstream_stamp_scene(nullptr, 5));
    EXPECT_FALSE(renderstream_pack_scene_header(nullptr));

    EXPECT_EQ(renderstream_init(), 1);
    EXPECT_EQ(renderstream_queue_scene(scene), 1);
    EXPECT_EQ(renderstream_queue_scene(nullptr), 1);
    threadstream *again = threadstream_allocate();
    EXPECT_EQ(again, scene);
    EXPECT_EQ(again->length, 0u);
    EXPECT_EQ(again->read_pos, 0u);
    threadstream_free(again);
    renderstream_quit();
}

int SDLCALL read_tick_offset(void *out)
{
    *static_cast<uint32_t *>(out) = renderstream_tick_offset();
    return 0;
}

TEST(RenderStream, TickOffsetIsFixedAtTheFirstCall)
{
    uint32_t before = SDL_GetTicks();
    uint32_t first = renderstream_tick_offset();
    EXPECT_GE(first, before);
    EXPECT_LE(first, SDL_GetTicks());
    uint32_t from_thread = 0;
    SDL_Thread *t = SDL_CreateThread(read_tick_offset, "offset", &from_thread);
    ASSERT_NE(t, nullptr);
    SDL_WaitThread(t, nullptr);
    EXPECT_EQ(from_thread, first);
    // Wait for the clock to move on, then ask again.
    while (SDL_GetTicks() == first) {
        SDL_Delay(1);
    }
    EXPECT_EQ(renderstream_tick_offset(), first);
}

// ---- stress: two threads exchanging streams both ways ----

// Deterministic content of message seq sent by side: both ends derive it.
struct message_gen {
    uint32_t state;
    explicit message_gen(int side, int32_t seq)
        : state(static_cast<uint32_t>(seq) * 2654435761u + static_cast<uint32_t>(side) * 40503u +
                1u)
    {
    }
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
};

constexpr int k_messages = 20000; // per direction
constexpr int k_in_flight = 32;
constexpr int k_max_text = 300;

void fill_text(char *out, uint32_t n, uint32_t salt)
{
    for (uint32_t i = 0; i < n; i++) {
        out[i] = static_cast<char>((i * 31 + salt) & 0xff); // includes 0 bytes
    }
}

// Items: 0 int, 1 float, 2 buffer, 3 absent, 4 empty string.
int pack_message(threadstream *s, int side, int32_t seq)
{
    message_gen g(side, seq);
    char text[k_max_text];
    int ok = threadstream_pack_int(s, seq);
    uint32_t items = 1 + g.next() % 40;
    ok = ok && threadstream_pack_size_t(s, items);
    for (uint32_t i = 0; ok && i < items; i++) {
        uint32_t r = g.next();
        switch (r % 5) {
        case 0:
            ok = threadstream_pack_int(s, static_cast<int32_t>(g.next()));
            break;
        case 1: {
            uint32_t bits = g.next();
            float f;
            memcpy(&f, &bits, 4);
            ok = threadstream_pack_float(s, f);
            break;
        }
        case 2: {
            uint32_t n = g.next() % k_max_text;
            fill_text(text, n, r);
            ok = threadstream_pack_buffer(s, text, n);
            break;
        }
        case 3:
            ok = threadstream_pack_string(s, nullptr);
            break;
        default:
            ok = threadstream_pack_string(s, "");
        }
    }
    return ok;
}

// Returns the sequence number, or -1 when anything differs.
int32_t check_message(threadstream *s, int side)
{
    int32_t seq = threadstream_unpack_int(s);
    message_gen g(side, seq);
    char text[k_max_text];
    uint32_t items = threadstream_unpack_size_t(s);
    if (items != 1 + g.next() % 40) {
        return -1;
    }
    for (uint32_t i = 0; i < items; i++) {
        uint32_t r = g.next();
        uint32_t n = 0;
        const char *p;
        switch (r % 5) {
        case 0:
            if (threadstream_unpack_int(s) != static_cast<int32_t>(g.next())) {
                return -1;
            }
            break;
        case 1: {
            uint32_t bits = g.next();
            float f = threadstream_unpack_float(s);
            if (memcmp(&f, &bits, 4) != 0) {
                return -1;
            }
            break;
        }
        case 2: {
            uint32_t want = g.next() % k_max_text;
            fill_text(text, want, r);
            p = threadstream_unpack_string(s, &n);
            if (!p || n != want || memcmp(p, text, n) != 0 || p[n] != 0) {
                return -1;
            }
            break;
        }
        case 3:
            if (threadstream_unpack_string(s, &n) != nullptr || n != 0) {
                return -1;
            }
            break;
        default:
            p = threadstream_unpack_string(s, &n);
            if (!p || n != 0 || *p != 0) {
                return -1;
            }
        }
    }
    if (s->error || !threadstream_eos(s)) {
        return -1;
    }
    return seq;
}

struct side_state {
    int id;
    threadstreamqueue *out;
    threadstreamqueue *in;
    int sent;
    int received;
    int bad;     // messages that arrived wrong or out of order
    int stalled; // 1 when the loop gave up waiting
};

int SDLCALL run_side(void *arg)
{
    side_state *st = static_cast<side_state *>(arg);
    const int peer = 1 - st->id;
    // Polls without progress before giving up: far beyond any real wait, so
    // that a lost stream ends the test instead of hanging it.
    const long k_idle_limit = 50L * 1000 * 1000;
    long idle = 0;
    while ((st->sent < k_messages || st->received < k_messages) && idle < k_idle_limit) {
        bool progress = false;
        if (st->sent < k_messages && threadstreamqueue_getcount(st->out) < k_in_flight) {
            threadstream *s = threadstream_allocate();
            if (!s || !pack_message(s, st->id, st->sent)) {
                st->bad++;
                threadstream_free(s);
                break;
            }
            threadstreamqueue_putitem(st->out, s);
            st->sent++;
            progress = true;
        }
        if (threadstreamqueue_getcount(st->in) > 0) {
            threadstream *s = threadstreamqueue_getitem(st->in);
            if (s) {
                if (check_message(s, peer) != st->received) {
                    st->bad++;
                }
                st->received++;
                threadstream_free(s);
                progress = true;
            }
        }
        if (progress) {
            idle = 0;
        } else {
            idle++;
            SDL_Delay(0);
        }
    }
    st->stalled = idle >= k_idle_limit;
    return 0;
}

TEST(QueueStress, TwoThreadsExchangeEveryValueIntact)
{
    counting_allocator_snapshot start = counting_allocator_read();
    ASSERT_TRUE(threadstream_init());
    threadstreamqueue *a_to_b = threadstreamqueue_create();
    threadstreamqueue *b_to_a = threadstreamqueue_create();
    ASSERT_NE(a_to_b, nullptr);
    ASSERT_NE(b_to_a, nullptr);
    // Each side holds a reference to both queues, as the two loops do.
    threadstreamqueue_ref(a_to_b);
    threadstreamqueue_ref(b_to_a);

    side_state a = {0, a_to_b, b_to_a, 0, 0, 0, 0};
    side_state b = {1, b_to_a, a_to_b, 0, 0, 0, 0};
    SDL_Thread *ta = SDL_CreateThread(run_side, "side_a", &a);
    SDL_Thread *tb = SDL_CreateThread(run_side, "side_b", &b);
    ASSERT_NE(ta, nullptr);
    ASSERT_NE(tb, nullptr);
    SDL_WaitThread(ta, nullptr);
    SDL_WaitThread(tb, nullptr);

    for (const side_state *st : {&a, &b}) {
        SCOPED_TRACE(st->id);
        EXPECT_EQ(st->sent, k_messages);
        EXPECT_EQ(st->received, k_messages);
        EXPECT_EQ(st->bad, 0);
        EXPECT_EQ(st->stalled, 0);
    }
    EXPECT_EQ(threadstreamqueue_getcount(a_to_b), 0);
    EXPECT_EQ(threadstreamqueue_getcount(b_to_a), 0);
    for (threadstreamqueue *q : {a_to_b, b_to_a}) {
        threadstreamqueue_unref(q);
        threadstreamqueue_unref(q);
    }
    threadstream_quit();
    // Every stream made during the run went back to the pool and was freed.
    EXPECT_EQ(counting_allocator_read().live_blocks, start.live_blocks);
}

} // namespace
