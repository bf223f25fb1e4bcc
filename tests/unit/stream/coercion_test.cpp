// Script values packed into streams: the coercion table for ints and floats,
// and Strings by their bytes. Values are real mruby values from a live
// interpreter.
#include <gtest/gtest.h>
#include <math.h>
#include <mruby.h>
#include <mruby/array.h>
#include <mruby/compile.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <string.h>

#include "pool_fixture.h"
#include "stream/stream_ruby.h"

namespace
{

constexpr int32_t k_int_default = 77;
constexpr float k_float_default = 2.5f;

struct number_case {
    const char *name;
    mrb_value (*build)(mrb_state *);
    bool coerces; // false: the value gives 0 / the default
    int32_t as_int;
    float as_float;
};

const number_case g_numbers[] = {
    {"int_zero", [](mrb_state *) { return mrb_fixnum_value(0); }, true, 0, 0.0f},
    {"int_42", [](mrb_state *) { return mrb_fixnum_value(42); }, true, 42, 42.0f},
    {"int_minus_7", [](mrb_state *) { return mrb_fixnum_value(-7); }, true, -7, -7.0f},
    {"int_int32_max", [](mrb_state *m) { return mrb_int_value(m, INT32_MAX); }, true, INT32_MAX,
     2147483648.0f},
    {"int_int32_min", [](mrb_state *m) { return mrb_int_value(m, INT32_MIN); }, true, INT32_MIN,
     -2147483648.0f},
#if MRB_INT_BIT == 64
    {"int_2_pow_32_plus_5",
     [](mrb_state *m) { return mrb_int_value(m, (static_cast<mrb_int>(INT64_C(1)) << 32) + 5); },
     true, 5, 4294967296.0f},
    {"int_2_pow_31_wraps",
     [](mrb_state *m) { return mrb_int_value(m, static_cast<mrb_int>(INT64_C(1)) << 31); }, true,
     INT32_MIN, 2147483648.0f},
    {"int_below_int32_min_wraps",
     [](mrb_state *m) { return mrb_int_value(m, static_cast<mrb_int>(INT64_C(-2147483649))); },
     true, INT32_MAX, -2147483648.0f},
    {"int_0xffffffff",
     [](mrb_state *m) { return mrb_int_value(m, static_cast<mrb_int>(INT64_C(0xffffffff))); }, true,
     -1, 4294967296.0f},
    {"int_2_pow_53_plus_1",
     [](mrb_state *m) { return mrb_int_value(m, (static_cast<mrb_int>(INT64_C(1)) << 53) + 1); },
     true, 1, 9007199254740992.0f},
    // Too wide for an immediate value: the interpreter boxes it on the heap.
    {"int_boxed_int64_max", [](mrb_state *m) { return mrb_int_value(m, MRB_INT_MAX); }, true, -1,
     9223372036854775807.0f},
    {"int_boxed_int64_min", [](mrb_state *m) { return mrb_int_value(m, MRB_INT_MIN); }, true, 0,
     -9223372036854775808.0f},
#endif
    {"float_minus_3_9", [](mrb_state *m) { return mrb_float_value(m, -3.9); }, true, -3, -3.9f},
    {"float_3_99", [](mrb_state *m) { return mrb_float_value(m, 3.99); }, true, 3, 3.99f},
    {"float_0_4", [](mrb_state *m) { return mrb_float_value(m, 0.4); }, true, 0, 0.4f},
    {"float_minus_0_4", [](mrb_state *m) { return mrb_float_value(m, -0.4); }, true, 0, -0.4f},
    {"float_1e20", [](mrb_state *m) { return mrb_float_value(m, 1e20); }, true, INT32_MAX, 1e20f},
    {"float_minus_1e20", [](mrb_state *m) { return mrb_float_value(m, -1e20); }, true, INT32_MIN,
     -1e20f},
    {"float_just_below_2_pow_31", [](mrb_state *m) { return mrb_float_value(m, 2147483647.75); },
     true, INT32_MAX, 2147483648.0f},
    {"float_2_pow_31", [](mrb_state *m) { return mrb_float_value(m, 2147483648.0); }, true,
     INT32_MAX, 2147483648.0f},
    {"float_just_above_int32_min", [](mrb_state *m) { return mrb_float_value(m, -2147483648.75); },
     true, INT32_MIN, -2147483648.0f},
    {"float_infinity", [](mrb_state *m) { return mrb_float_value(m, INFINITY); }, true, INT32_MAX,
     INFINITY},
    {"float_minus_infinity", [](mrb_state *m) { return mrb_float_value(m, -INFINITY); }, true,
     INT32_MIN, -INFINITY},
    {"float_nan", [](mrb_state *m) { return mrb_float_value(m, NAN); }, true, 0, NAN},
    {"float_1e300_overflows_single", [](mrb_state *m) { return mrb_float_value(m, 1e300); }, true,
     INT32_MAX, INFINITY},
    {"ruby_0_1_plus_0_2", [](mrb_state *m) { return mrb_load_string(m, "0.1 + 0.2"); }, true, 0,
     0.3f},
    {"ruby_integer_expression", [](mrb_state *m) { return mrb_load_string(m, "-(6 * 7)"); }, true,
     -42, -42.0f},
    {"nil", [](mrb_state *) { return mrb_nil_value(); }, false, 0, 0},
    {"true", [](mrb_state *) { return mrb_true_value(); }, false, 0, 0},
    {"false", [](mrb_state *) { return mrb_false_value(); }, false, 0, 0},
    {"symbol", [](mrb_state *m) { return mrb_symbol_value(mrb_intern_lit(m, "sym")); }, false, 0,
     0},
    {"numeric_string", [](mrb_state *m) { return mrb_str_new_lit(m, "80"); }, false, 0, 0},
    {"array", [](mrb_state *m) { return mrb_ary_new(m); }, false, 0, 0},
    {"hash", [](mrb_state *m) { return mrb_hash_new(m); }, false, 0, 0},
    {"object", [](mrb_state *m) { return mrb_obj_new(m, m->object_class, 0, nullptr); }, false, 0,
     0},
};

// Names each case in test listings (and so in the test runner's names).
void PrintTo(const number_case &c, std::ostream *os)
{
    *os << c.name;
}

class Interpreter : public StreamPool
{
  protected:
    void SetUp() override
    {
        StreamPool::SetUp();
        mrb = mrb_open();
        ASSERT_NE(mrb, nullptr);
    }
    void TearDown() override
    {
        if (mrb) {
            mrb_close(mrb);
        }
        StreamPool::TearDown();
    }
    mrb_state *mrb = nullptr;
};

class Coercion : public Interpreter, public testing::WithParamInterface<number_case>
{
};

void expect_float(float got, float want)
{
    if (isnan(want)) {
        EXPECT_TRUE(isnan(got)) << got;
    } else {
        EXPECT_EQ(got, want);
    }
}

TEST_P(Coercion, PacksTheCoercedValueOrTheDefault)
{
    const number_case &c = GetParam();
    mrb_value v = c.build(mrb);
    ASSERT_FALSE(mrb->exc);
    threadstream *s = threadstream_allocate();
    ASSERT_TRUE(threadstream_pack_ruby_int(s, v));
    ASSERT_TRUE(threadstream_pack_ruby_int_or_default(s, v, k_int_default));
    ASSERT_TRUE(threadstream_pack_ruby_float(s, v));
    ASSERT_TRUE(threadstream_pack_ruby_float_or_default(s, v, k_float_default));
    EXPECT_EQ(s->length, 16u);

    EXPECT_EQ(threadstream_unpack_int(s), c.coerces ? c.as_int : 0);
    EXPECT_EQ(threadstream_unpack_int(s), c.coerces ? c.as_int : k_int_default);
    expect_float(threadstream_unpack_float(s), c.coerces ? c.as_float : 0.0f);
    expect_float(threadstream_unpack_float(s), c.coerces ? c.as_float : k_float_default);
    EXPECT_EQ(s->error, 0);
    threadstream_free(s);
}

INSTANTIATE_TEST_SUITE_P(Values, Coercion, testing::ValuesIn(g_numbers));

struct string_case {
    const char *name;
    mrb_value (*build)(mrb_state *);
    const char *default_text;
    // What each operation must pack: null for the absent marker.
    const char *plain;
    uint32_t plain_n;
    const char *with_default;
    uint32_t with_default_n;
};

const string_case g_strings[] = {
    {"embedded_nuls", [](mrb_state *m) { return mrb_str_new(m, "a\0b\0", 4); }, "dflt", "a\0b\0", 4,
     "a\0b\0", 4},
    {"utf8_counts_bytes", [](mrb_state *m) { return mrb_str_new_cstr(m, "h\xc3\xa9llo"); }, "dflt",
     "h\xc3\xa9llo", 6, "h\xc3\xa9llo", 6},
    {"empty_string_is_not_absent", [](mrb_state *m) { return mrb_str_new_lit(m, ""); }, "dflt", "",
     0, "", 0},
    {"long_string", [](mrb_state *m) { return mrb_load_string(m, "'0123456789' * 150"); }, "dflt",
     nullptr, 1500, nullptr, 1500},
    {"nil", [](mrb_state *) { return mrb_nil_value(); }, "pixel", nullptr, 0, "pixel", 5},
    {"nil_without_default", [](mrb_state *) { return mrb_nil_value(); }, nullptr, nullptr, 0,
     nullptr, 0},
    {"symbol", [](mrb_state *m) { return mrb_symbol_value(mrb_intern_lit(m, "sprites")); }, "pixel",
     nullptr, 0, "pixel", 5},
    {"integer", [](mrb_state *) { return mrb_fixnum_value(12); }, "pixel", nullptr, 0, "pixel", 5},
    {"false", [](mrb_state *) { return mrb_false_value(); }, "", nullptr, 0, "", 0},
};

// Names each case in test listings (and so in the test runner's names).
void PrintTo(const string_case &c, std::ostream *os)
{
    *os << c.name;
}

class StringPacking : public Interpreter, public testing::WithParamInterface<string_case>
{
};

void expect_text(threadstream *s, const char *want, uint32_t want_n, bool long_pattern)
{
    uint32_t n = 99;
    const char *p = threadstream_unpack_string(s, &n);
    EXPECT_EQ(s->error, 0);
    if (!want && !long_pattern) {
        EXPECT_EQ(p, nullptr);
        EXPECT_EQ(n, 0u);
        return;
    }
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(n, want_n);
    if (long_pattern) {
        for (uint32_t i = 0; i < n; i++) {
            ASSERT_EQ(p[i], '0' + static_cast<char>(i % 10)) << i;
        }
    } else {
        EXPECT_EQ(memcmp(p, want, n), 0);
    }
    EXPECT_EQ(p[n], 0);
}

TEST_P(StringPacking, PacksBytesAbsentOrDefault)
{
    const string_case &c = GetParam();
    bool long_pattern = !strcmp(c.name, "long_string");
    mrb_value v = c.build(mrb);
    ASSERT_FALSE(mrb->exc);
    threadstream *s = threadstream_allocate();
    ASSERT_TRUE(threadstream_pack_ruby_string(s, v));
    ASSERT_TRUE(threadstream_pack_ruby_string_or_default(s, v, c.default_text));
    expect_text(s, c.plain, c.plain_n, long_pattern);
    expect_text(s, c.with_default, c.with_default_n, long_pattern);
    EXPECT_TRUE(threadstream_eos(s));
    threadstream_free(s);
}

INSTANTIATE_TEST_SUITE_P(Values, StringPacking, testing::ValuesIn(g_strings));

TEST_F(Interpreter, RubyPackingIntoNullOrErrorStreamFails)
{
    mrb_value one = mrb_fixnum_value(1);
    mrb_value text = mrb_str_new_lit(mrb, "t");
    EXPECT_FALSE(threadstream_pack_ruby_int(nullptr, one));
    EXPECT_FALSE(threadstream_pack_ruby_float_or_default(nullptr, one, 1.0f));
    EXPECT_FALSE(threadstream_pack_ruby_string(nullptr, text));
    threadstream *s = threadstream_allocate();
    s->error = 1;
    EXPECT_FALSE(threadstream_pack_ruby_int_or_default(s, one, 3));
    EXPECT_FALSE(threadstream_pack_ruby_float(s, one));
    EXPECT_FALSE(threadstream_pack_ruby_string(s, text));
    EXPECT_FALSE(threadstream_pack_ruby_string_or_default(s, mrb_nil_value(), "d"));
    EXPECT_EQ(s->length, 0u);
    threadstream_free(s);
}

} // namespace
