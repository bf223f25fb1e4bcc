// Stream encoding, growth, unpacking errors, pool reuse and allocation counts.
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include "counting_allocator.h"
#include "pool_fixture.h"
#include "stream/stream.h"

namespace
{

// One item of the encoding table: how to pack it, how many bytes it takes, and
// what unpacking it must give back.
enum class kind { int32, size, flt, buffer, string, absent_buffer, absent_string };

struct item {
    const char *name;
    kind k;
    int32_t i;
    uint32_t u;
    float f;
    const char *bytes;
    size_t n;
    uint32_t encoded_size;
};

const item g_items[] = {
    {"int_zero", kind::int32, 0, 0, 0, nullptr, 0, 4},
    {"int_min", kind::int32, INT32_MIN, 0, 0, nullptr, 0, 4},
    {"int_max", kind::int32, INT32_MAX, 0, 0, nullptr, 0, 4},
    {"int_minus_one", kind::int32, -1, 0, 0, nullptr, 0, 4},
    {"size_max", kind::size, 0, UINT32_MAX, 0, nullptr, 0, 4},
    {"size_high_bit", kind::size, 0, 0x80000000u, 0, nullptr, 0, 4},
    {"float_half", kind::flt, 0, 0, 0.5f, nullptr, 0, 4},
    {"float_negative_zero", kind::flt, 0, 0, -0.0f, nullptr, 0, 4},
    {"float_infinity", kind::flt, 0, 0, INFINITY, nullptr, 0, 4},
    {"float_nan", kind::flt, 0, 0, NAN, nullptr, 0, 4},
    {"float_denormal", kind::flt, 0, 0, 1e-40f, nullptr, 0, 4},
    {"string_empty", kind::string, 0, 0, 0, "", 0, 8},
    {"string_1", kind::string, 0, 0, 0, "a", 1, 8},
    {"string_3", kind::string, 0, 0, 0, "abc", 3, 8},
    {"string_4", kind::string, 0, 0, 0, "abcd", 4, 12},
    {"string_7", kind::string, 0, 0, 0, "abcdefg", 7, 12},
    {"string_8", kind::string, 0, 0, 0, "abcdefgh", 8, 16},
    {"buffer_embedded_nul", kind::buffer, 0, 0, 0, "a\0b\0c", 5, 12},
    {"buffer_empty", kind::buffer, 0, 0, 0, "", 0, 8},
    {"buffer_absent", kind::absent_buffer, 0, 0, 0, nullptr, 0, 4},
    {"string_absent", kind::absent_string, 0, 0, 0, nullptr, 0, 4},
};

// Names each case in test listings (and so in the test runner's names).
void PrintTo(const item &c, std::ostream *os)
{
    *os << c.name;
}

int pack_item(threadstream *s, const item &it)
{
    switch (it.k) {
    case kind::int32:
        return threadstream_pack_int(s, it.i);
    case kind::size:
        return threadstream_pack_size_t(s, it.u);
    case kind::flt:
        return threadstream_pack_float(s, it.f);
    case kind::buffer:
        return threadstream_pack_buffer(s, it.bytes, it.n);
    case kind::string:
        return threadstream_pack_string(s, it.bytes);
    case kind::absent_buffer:
        return threadstream_pack_buffer(s, nullptr, 7);
    case kind::absent_string:
        return threadstream_pack_string(s, nullptr);
    }
    return 0;
}

// Unpacks one item and checks it against the table.
void expect_unpacked(threadstream *s, const item &it)
{
    SCOPED_TRACE(it.name);
    uint32_t start = s->read_pos;
    switch (it.k) {
    case kind::int32:
        EXPECT_EQ(threadstream_unpack_int(s), it.i);
        break;
    case kind::size:
        EXPECT_EQ(threadstream_unpack_size_t(s), it.u);
        break;
    case kind::flt: {
        float f = threadstream_unpack_float(s);
        EXPECT_EQ(memcmp(&f, &it.f, 4), 0) << f << " vs " << it.f;
        break;
    }
    case kind::buffer:
    case kind::string: {
        uint32_t n = 99;
        const char *p = it.k == kind::string
                            ? threadstream_unpack_string(s, &n)
                            : static_cast<const char *>(threadstream_unpack_buffer(s, &n));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(n, it.n);
        EXPECT_EQ(memcmp(p, it.bytes, it.n), 0);
        EXPECT_EQ(p[n], 0) << "terminator";
        // Points into the stream's own buffer, right after the length word.
        EXPECT_EQ(reinterpret_cast<const uint8_t *>(p), s->data + start + 4);
        break;
    }
    case kind::absent_buffer:
    case kind::absent_string: {
        uint32_t n = 99;
        EXPECT_EQ(threadstream_unpack_buffer(s, &n), nullptr);
        EXPECT_EQ(n, 0u);
        break;
    }
    }
    EXPECT_EQ(s->read_pos - start, it.encoded_size);
    EXPECT_EQ(s->read_pos % 4, 0u);
    EXPECT_EQ(s->error, 0);
}

class Encoding : public StreamPool, public testing::WithParamInterface<item>
{
};

TEST_P(Encoding, TakesItsSizeAndRoundTrips)
{
    const item &it = GetParam();
    threadstream *s = threadstream_allocate();
    ASSERT_NE(s, nullptr);
    // After an odd-sized string, so alignment of what follows is checked too.
    ASSERT_TRUE(threadstream_pack_string(s, "xy"));
    ASSERT_EQ(s->length, 8u);
    ASSERT_TRUE(pack_item(s, it));
    EXPECT_EQ(s->length, 8u + it.encoded_size);
    ASSERT_TRUE(threadstream_pack_int(s, 0x5a5a5a5a));

    uint32_t n = 0;
    EXPECT_STREQ(threadstream_unpack_string(s, &n), "xy");
    expect_unpacked(s, it);
    EXPECT_EQ(threadstream_unpack_int(s), 0x5a5a5a5a);
    EXPECT_TRUE(threadstream_eos(s));
    EXPECT_EQ(s->error, 0);
    threadstream_free(s);
}

INSTANTIATE_TEST_SUITE_P(Items, Encoding, testing::ValuesIn(g_items));

using Stream = StreamPool;

TEST_F(Stream, AllItemsInOneStreamRoundTripInOrder)
{
    threadstream *s = threadstream_allocate();
    ASSERT_NE(s, nullptr);
    uint32_t total = 0;
    for (int round = 0; round < 20; round++) {
        for (const item &it : g_items) {
            ASSERT_TRUE(pack_item(s, it));
            total += it.encoded_size;
        }
    }
    EXPECT_EQ(s->length, total);
    for (int round = 0; round < 20; round++) {
        for (const item &it : g_items) {
            expect_unpacked(s, it);
        }
    }
    EXPECT_TRUE(threadstream_eos(s));
    threadstream_free(s);
}

TEST_F(Stream, NewStreamHoldsExactly256IntsThenDoubles)
{
    threadstream *s = threadstream_allocate();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->capacity, 1024u);
    EXPECT_EQ(s->length, 0u);
    EXPECT_EQ(s->read_pos, 0u);
    EXPECT_EQ(s->error, 0);
    EXPECT_EQ(s->next, nullptr);
    EXPECT_TRUE(threadstream_eos(s));
    for (int i = 0; i < 256; i++) {
        ASSERT_TRUE(threadstream_pack_int(s, i));
    }
    EXPECT_EQ(s->length, 1024u);
    EXPECT_EQ(s->capacity, 1024u);
    ASSERT_TRUE(threadstream_pack_int(s, 256));
    EXPECT_EQ(s->capacity, 2048u);
    for (int i = 0; i <= 256; i++) {
        ASSERT_EQ(threadstream_unpack_int(s), i);
    }
    threadstream_free(s);
}

TEST_F(Stream, LargeBufferDoublesUntilItFits)
{
    static uint8_t big[5000];
    for (size_t i = 0; i < sizeof(big); i++) {
        big[i] = static_cast<uint8_t>(i * 7);
    }
    threadstream *s = threadstream_allocate();
    ASSERT_TRUE(threadstream_pack_buffer(s, big, sizeof(big)));
    EXPECT_EQ(s->length, 5008u); // 4 + 5000 + terminator + 3 padding
    EXPECT_EQ(s->capacity, 8192u);
    uint32_t n = 0;
    const void *p = threadstream_unpack_buffer(s, &n);
    ASSERT_EQ(n, sizeof(big));
    EXPECT_EQ(memcmp(p, big, sizeof(big)), 0);
    threadstream_free(s);
}

TEST_F(Stream, ClaimSpaceGrowsWithoutPacking)
{
    threadstream *s = threadstream_allocate();
    ASSERT_TRUE(threadstream_pack_int(s, 1));
    ASSERT_TRUE(threadstream_claim_space(s, 1021));
    EXPECT_EQ(s->capacity, 2048u);
    EXPECT_EQ(s->length, 4u);
    ASSERT_TRUE(threadstream_claim_space(s, 100));
    EXPECT_EQ(s->capacity, 2048u);
    EXPECT_FALSE(threadstream_claim_space(nullptr, 1));
    threadstream_free(s);
}

TEST_F(Stream, PackingIntoNullOrErrorStreamFailsAndWritesNothing)
{
    EXPECT_FALSE(threadstream_pack_int(nullptr, 1));
    EXPECT_FALSE(threadstream_pack_float(nullptr, 1));
    EXPECT_FALSE(threadstream_pack_string(nullptr, "x"));
    EXPECT_FALSE(threadstream_pack_buffer(nullptr, nullptr, 0));

    threadstream *s = threadstream_allocate();
    ASSERT_TRUE(threadstream_pack_int(s, 7));
    threadstream_unpack_int(s);
    threadstream_unpack_int(s); // past the end: error
    ASSERT_NE(s->error, 0);
    EXPECT_FALSE(threadstream_pack_int(s, 1));
    EXPECT_FALSE(threadstream_pack_size_t(s, 1));
    EXPECT_FALSE(threadstream_pack_float(s, 1));
    EXPECT_FALSE(threadstream_pack_string(s, "abc"));
    EXPECT_FALSE(threadstream_pack_c_string(s, "abc"));
    EXPECT_FALSE(threadstream_pack_string(s, nullptr));
    EXPECT_FALSE(threadstream_pack_buffer(s, "ab", 2));
    EXPECT_FALSE(threadstream_claim_space(s, 1));
    EXPECT_EQ(s->length, 4u);
    threadstream_free(s);
}

// Sizes past what the u32 counters can address fail cleanly instead of
// wrapping; none of these cases allocates anything.
TEST_F(Stream, GrowthBeyondFourGigabytesFails)
{
    struct huge_case {
        const char *name;
        uint32_t fake_length; // 0: keep the real one
        int (*attempt)(threadstream *);
    };
    static const char bytes[8] = "1234567";
    const huge_case cases[] = {
        {"claim_size_max", 0,
         [](threadstream *s) { return threadstream_claim_space(s, SIZE_MAX); }},
        {"claim_u32_max_after_an_int", 0,
         [](threadstream *s) { return threadstream_claim_space(s, UINT32_MAX); }},
        {"buffer_past_int32_length_word", 0,
         [](threadstream *s) {
             return threadstream_pack_buffer(s, bytes, static_cast<size_t>(INT32_MAX) + 1);
         }},
        {"buffer_size_max", 0,
         [](threadstream *s) { return threadstream_pack_buffer(s, bytes, SIZE_MAX); }},
        {"int_at_u32_limit", UINT32_MAX - 2,
         [](threadstream *s) { return threadstream_pack_int(s, 1); }},
        {"float_at_u32_limit", UINT32_MAX - 3,
         [](threadstream *s) { return threadstream_pack_float(s, 1); }},
        {"string_at_u32_limit", UINT32_MAX - 10,
         [](threadstream *s) { return threadstream_pack_string(s, "1234567"); }},
        {"absent_at_u32_limit", UINT32_MAX - 1,
         [](threadstream *s) { return threadstream_pack_string(s, nullptr); }},
        {"claim_at_u32_limit", UINT32_MAX - 100,
         [](threadstream *s) { return threadstream_claim_space(s, 101); }},
    };
    for (const huge_case &c : cases) {
        SCOPED_TRACE(c.name);
        threadstream *s = threadstream_allocate();
        ASSERT_NE(s, nullptr);
        ASSERT_TRUE(threadstream_pack_int(s, 42));
        uint32_t real_length = s->length;
        if (c.fake_length) {
            s->length = c.fake_length; // as a raw writer near the limit would leave it
        }
        uint32_t length = s->length;
        uint8_t *data = s->data;
        counting_allocator_snapshot before = counting_allocator_read();
        EXPECT_FALSE(c.attempt(s));
        EXPECT_EQ(counting_allocator_calls_since(before), 0);
        EXPECT_NE(s->error, 0);
        EXPECT_EQ(s->length, length);
        EXPECT_EQ(s->capacity, 1024u);
        EXPECT_EQ(s->data, data);
        s->length = real_length;
        EXPECT_EQ(threadstream_unpack_int(s), 42); // what was packed is intact
        threadstream_free(s);
    }
}

// Streams whose last item is cut short, as a raw writer could leave them.
TEST_F(Stream, ShortReadsSetErrorAndYieldZero)
{
    struct short_case {
        const char *name;
        uint32_t keep; // bytes of the second word left in place
        int which;     // 0 int, 1 size_t, 2 float
    };
    const short_case cases[] = {
        {"int_3_left", 3, 0},  {"int_1_left", 1, 0},   {"int_0_left", 0, 0},
        {"size_3_left", 3, 1}, {"float_3_left", 3, 2}, {"float_0_left", 0, 2},
    };
    for (const short_case &c : cases) {
        SCOPED_TRACE(c.name);
        threadstream *s = threadstream_allocate();
        ASSERT_TRUE(threadstream_pack_int(s, 11));
        ASSERT_TRUE(threadstream_pack_int(s, 0x01020304));
        s->length = 4 + c.keep;
        EXPECT_EQ(threadstream_unpack_int(s), 11);
        EXPECT_EQ(threadstream_eos(s), c.keep == 0);
        switch (c.which) {
        case 0:
            EXPECT_EQ(threadstream_unpack_int(s), 0);
            break;
        case 1:
            EXPECT_EQ(threadstream_unpack_size_t(s), 0u);
            break;
        default:
            EXPECT_EQ(threadstream_unpack_float(s), 0.0f);
        }
        EXPECT_NE(s->error, 0);
        EXPECT_TRUE(threadstream_eos(s));
        threadstream_free(s);
    }
}

TEST_F(Stream, BadBufferHeadersYieldStaticEmptyText)
{
    struct bad_case {
        const char *name;
        int32_t word;  // the length word written by hand
        uint32_t body; // bytes after it that are inside length
        uint8_t fill;  // value of those bytes
    };
    const bad_case cases[] = {
        {"claims_more_than_remains", 100, 12, 'x'},
        {"claims_one_byte_too_many", 8, 8, 'x'}, // no room for the terminator
        {"claims_int32_max", INT32_MAX, 4, 0},
        {"minus_two", -2, 8, 0},
        {"int32_min", INT32_MIN, 8, 0},
        {"missing_terminator", 3, 4, 'x'}, // fits, but byte 3 is not 0
        {"length_word_cut_short", 0, 0, 0},
    };
    for (const bad_case &c : cases) {
        SCOPED_TRACE(c.name);
        threadstream *s = threadstream_allocate();
        ASSERT_TRUE(threadstream_pack_int(s, c.word));
        ASSERT_TRUE(threadstream_claim_space(s, c.body));
        memset(s->data + 4, c.fill, c.body);
        s->length = 4 + c.body;
        if (!strcmp(c.name, "length_word_cut_short")) {
            s->length = 2;
        }
        uint32_t n = 77;
        const char *p = threadstream_unpack_string(s, &n);
        ASSERT_NE(p, nullptr);
        EXPECT_STREQ(p, "");
        EXPECT_EQ(n, 0u);
        EXPECT_NE(s->error, 0);
        EXPECT_TRUE(threadstream_eos(s));
        // The static text, not a pointer into the stream.
        EXPECT_FALSE(p >= reinterpret_cast<char *>(s->data) &&
                     p < reinterpret_cast<char *>(s->data) + s->capacity);
        threadstream_free(s);
    }
}

TEST_F(Stream, UnpackFromNullStream)
{
    uint32_t n = 5;
    EXPECT_TRUE(threadstream_eos(nullptr));
    EXPECT_EQ(threadstream_unpack_int(nullptr), 0);
    EXPECT_EQ(threadstream_unpack_float(nullptr), 0.0f);
    EXPECT_STREQ(threadstream_unpack_string(nullptr, &n), "");
    EXPECT_EQ(n, 0u);
    EXPECT_STREQ(threadstream_unpack_string(nullptr, nullptr), "");
}

TEST_F(Stream, FreedStreamComesBackClearedWithItsCapacity)
{
    threadstream *s = threadstream_allocate();
    static char text[3000];
    memset(text, 'q', sizeof(text) - 1);
    ASSERT_TRUE(threadstream_pack_string(s, text));
    ASSERT_EQ(s->capacity, 4096u);
    threadstream_unpack_string(s, nullptr);
    threadstream_unpack_int(s); // error
    ASSERT_NE(s->error, 0);
    threadstream_free(s);
    threadstream_free(nullptr);

    threadstream *again = threadstream_allocate();
    EXPECT_EQ(again, s);
    EXPECT_EQ(again->length, 0u);
    EXPECT_EQ(again->read_pos, 0u);
    EXPECT_EQ(again->error, 0);
    EXPECT_EQ(again->capacity, 4096u);
    EXPECT_EQ(again->next, nullptr);
    ASSERT_TRUE(threadstream_pack_int(again, 9));
    EXPECT_EQ(threadstream_unpack_int(again), 9);

    // The pool hands back the most recently freed stream first and makes new
    // ones only when it is empty.
    threadstream *fresh = threadstream_allocate();
    EXPECT_NE(fresh, again);
    EXPECT_EQ(fresh->capacity, 1024u);
    threadstream_free(again);
    threadstream_free(fresh);
    EXPECT_EQ(threadstream_allocate(), fresh);
    EXPECT_EQ(threadstream_allocate(), again);
    threadstream_free(fresh);
    threadstream_free(again);
}

TEST(StreamAllocations, InitAndQuitBalance)
{
    counting_allocator_snapshot before = counting_allocator_read();
    ASSERT_TRUE(threadstream_init());
    threadstream *a = threadstream_allocate();
    threadstream *b = threadstream_allocate();
    threadstream *c = threadstream_allocate();
    static char text[5000];
    memset(text, 'z', sizeof(text) - 1);
    ASSERT_TRUE(threadstream_pack_string(b, text));
    threadstreamqueue *q = threadstreamqueue_create();
    ASSERT_NE(q, nullptr);
    threadstreamqueue_putitem(q, a);
    threadstreamqueue_putitem(q, b);
    threadstream_free(c);
    threadstreamqueue_unref(q);
    threadstream_quit();
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);

    // A stream outliving the pool goes back to the heap when freed.
    ASSERT_TRUE(threadstream_init());
    threadstream *late = threadstream_allocate();
    ASSERT_NE(late, nullptr);
    threadstream_quit();
    threadstream_free(late);
    EXPECT_EQ(counting_allocator_read().live_blocks, before.live_blocks);
}

// One frame's worth of traffic: a scene-like stream packed, queued, taken and
// read back.
void steady_round(threadstreamqueue *q, int round)
{
    threadstream *s = threadstream_allocate();
    ASSERT_NE(s, nullptr);
    char text[200];
    for (int i = 0; i < 40; i++) {
        ASSERT_TRUE(threadstream_pack_int(s, round * 100 + i));
        ASSERT_TRUE(threadstream_pack_float(s, static_cast<float>(i) * 0.25f));
        size_t n = static_cast<size_t>((round + i) % 150);
        memset(text, 'a' + i % 26, n);
        text[n] = 0;
        ASSERT_TRUE(threadstream_pack_string(s, text));
        ASSERT_TRUE(threadstream_pack_string(s, nullptr));
    }
    threadstreamqueue_putitem(q, s);
    threadstream *got = threadstreamqueue_getitem(q);
    ASSERT_EQ(got, s);
    for (int i = 0; i < 40; i++) {
        ASSERT_EQ(threadstream_unpack_int(got), round * 100 + i);
        ASSERT_EQ(threadstream_unpack_float(got), static_cast<float>(i) * 0.25f);
        uint32_t n = 0;
        const char *p = threadstream_unpack_string(got, &n);
        ASSERT_EQ(n, static_cast<uint32_t>((round + i) % 150));
        ASSERT_TRUE(n == 0 || p[0] == 'a' + i % 26);
        ASSERT_EQ(threadstream_unpack_string(got, &n), nullptr);
    }
    ASSERT_TRUE(threadstream_eos(got));
    threadstream_free(got);
}

TEST_F(Stream, SteadyStateAllocatesNothing)
{
    threadstreamqueue *q = threadstreamqueue_create();
    ASSERT_NE(q, nullptr);
    // The string lengths repeat every 150 rounds: one cycle grows the pooled
    // buffer to the largest size the loop below needs.
    for (int round = 0; round < 150; round++) {
        steady_round(q, round);
    }
    counting_allocator_snapshot before = counting_allocator_read();
    for (int round = 0; round < 1000; round++) {
        steady_round(q, round);
        if (HasFatalFailure()) {
            break;
        }
    }
    EXPECT_EQ(counting_allocator_calls_since(before), 0);
    threadstreamqueue_unref(q);
}

} // namespace
