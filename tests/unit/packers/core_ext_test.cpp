// The core class extensions in a fresh interpreter: Hash attribute access,
// the class-method iteration helpers (with blocks that shrink or grow the
// array), Hash.merge/select, and String.split against the interpreter's own
// split over a generated table of texts, separators and limits.
#include <gtest/gtest.h>
#include <mruby.h>
#include <mruby/compile.h>
#include <mruby/string.h>

#include <string>

#include "natives/core_ext.h"

namespace
{

class CoreExt : public testing::Test
{
  protected:
    mrb_state *mrb = nullptr;

    void SetUp() override
    {
        mrb = mrb_open();
        ASSERT_NE(mrb, nullptr);
        core_ext_natives_register(mrb);
    }
    void TearDown() override
    {
        mrb_close(mrb);
    }

    // The inspect text of the value of code, or "raise <Class>: <message>".
    std::string run(const std::string &code)
    {
        mrb_value v = mrb_load_string(mrb, code.c_str());
        if (mrb->exc) {
            mrb_value e = mrb_obj_value(mrb->exc);
            mrb->exc = nullptr;
            mrb_value cls = mrb_funcall(mrb, mrb_funcall(mrb, e, "class", 0), "to_s", 0);
            mrb_value msg = mrb_funcall(mrb, e, "message", 0);
            return "raise " + std::string(mrb_str_to_cstr(mrb, cls)) + ": " +
                   mrb_str_to_cstr(mrb, msg);
        }
        mrb_value text = mrb_inspect(mrb, v);
        return mrb_str_to_cstr(mrb, text);
    }
};

struct ruby_case {
    const char *code;
    const char *expect;
};

void PrintTo(const ruby_case &c, std::ostream *os)
{
    *os << c.code;
}

const ruby_case g_cases[] = {
    // Fixed-key accessors.
    {"{}.x", "nil"},
    {"h = {}; h.x = 5; [h[:x], h.x1, h.x]", "[5, 5, 5]"},
    {"h = {y: 2}; h.y1 = 7; h", "{:y=>7}"},
    {"h = {}; [(h.path = 'p'), h]", "[\"p\", {:path=>\"p\"}]"},
    {"{'x' => 1}.x", "nil"},
    {"Hash.new(3).x", "nil"},
    {"{tick: 1, hypotenuse: 2, s: 3, id: 4}.values_at(:tick) + [{id: 4}.id]", "[1, 4]"},
    // Readers and writers made on first use.
    {"{class: 1}.class_", "1"},
    {"{class: 1}.class", "Hash"},
    {"h = {}; h.speed = 3; [h, Hash.method_defined?(:speed), Hash.method_defined?(:speed=)]",
     "[{:speed=>3}, false, true]"},
    {"{speed: 9}.speed", "9"},
    {"{}.unknown_name", "nil"},
    {"{}.open?", "raise NoMethodError: undefined method 'open?'"},
    {"{}.save!", "raise NoMethodError: undefined method 'save!'"},
    {"{}.pick(1)", "raise NoMethodError: undefined method 'pick'"},
    {"{}.pick { }", "raise NoMethodError: undefined method 'pick'"},
    {"{}.pick(1, 2)", "raise NoMethodError: undefined method 'pick'"},
    {"h = {q: 1}; [h.__get_hash_property__(:q), Hash.method_defined?(:q)]", "[1, true]"},
    {"h = {}; [h.__set_hash_property__(:qq=, 4), h]", "[4, {:qq=>4}]"},
    {"h = {}; [h.__set_hash_property__('rr=', 5), h.rr]", "[5, 5]"},
    {"{}.frozen_test = 1; {}.freeze.frozen_test = 2", "raise FrozenError: can't modify frozen Hash"},
    // Array helpers.
    {"Array.map([1, 2, 3]) { |x| x * 2 }", "[2, 4, 6]"},
    {"Array.map(5) { }", "raise TypeError: ~Array::map~ expects an array, but received 5."},
    {"Array.select(nil) { }", "raise TypeError: ~Array::select~ expects an array, but received ."},
    {"Array.map([1])", "raise ArgumentError: no block given"},
    {"a = [1, 2, 3]; [Array.map!(a) { |x| x + 1 }.equal?(a), a]", "[true, [2, 3, 4]]"},
    {"Array.map_with_index([5, 6]) { |x, i| x * i }", "[0, 6]"},
    {"r = []; [Array.each([1, 2]) { |x| r << x }, r]", "[nil, [1, 2]]"},
    {"r = []; Array.each_with_index([:a, :b]) { |x, i| r << [x, i] }; r", "[[:a, 0], [:b, 1]]"},
    {"Array.reject([1, 2, 3, 4]) { |x| x % 2 == 0 }", "[1, 3]"},
    {"a = [1, 2, 3, 4]; Array.reject!(a) { |x| x % 2 == 0 }; a", "[1, 3]"},
    {"[Array.select([1, 2, 3]) { |x| x > 1 }, Array.find_all([1, 2, 3]) { |x| x > 2 }]",
     "[[2, 3], [3]]"},
    {"a = [1, 2, 3, 4]; Array.select!(a) { |x| x > 2 }; a", "[3, 4]"},
    {"[Array.compact([1, nil, 2, nil])] + [Array.compact!([nil, 3, nil])]", "[[1, 2], [3]]"},
    {"Array.filter_map([1, 2, 3]) { |x| x * 10 if x % 2 == 1 }", "[10, 30]"},
    {"Array.flat_map([1, 2]) { |x| [x, x] }", "[1, 1, 2, 2]"},
    {"Array.flat_map([1]) { |x| x }",
     "raise TypeError: ~Array::flat_map~ expects a block that returns an array, but received 1."},
    // Blocks that change the array under the helper.
    {"a = [1, 2, 3, 4]; Array.map(a) { |x| a.pop; x }", "[1, 2]"},
    {"a = [1, 2, 3]; Array.map(a) { |x| a << x; x }", "[1, 2, 3]"},
    {"a = [1, 2, 3, 4, 5]; Array.map!(a) { |x| a.pop; x * 10 }; a", "[10, 20]"},
    {"a = [1, 2, 3, 4]; Array.select!(a) { |x| a.clear if x == 2; true }; a", "[]"},
    {"a = [1, 2, 3, 4]; Array.reject!(a) { |x| a.shift(2) if x == 1; false }; a", "[1, 4]"},
    {"a = [1, 2]; Array.select!(a) { |x| a << 9 if x == 1; x != 1 }; a", "[2, 9]"},
    {"a = [nil, 1]; Array.compact!(a); a", "[1]"},
    // Enumerable and Hash.
    {"Enumerable.select([1, 2, 3]) { |x| x != 2 }", "[1, 3]"},
    {"Enumerable.find_all([1, 2, 3]) { |x| x == 2 }", "[2]"},
    {"Enumerable.select([1, 2]).class", "Enumerator"},
    {"Hash.select({a: 1, b: 2}) { |k, v| v > 1 }", "[[:b, 2]]"},
    {"Hash.find_all({a: 1}) { |k, v| true }", "[[:a, 1]]"},
    {"a = {x: 1, y: 2}; m = Hash.merge(a, {y: 3, z: 4}); [a, m]",
     "[{:x=>1, :y=>2}, {:x=>1, :y=>3, :z=>4}]"},
    {"Hash.merge({x: 1, y: 2}, {y: 3, x: 5}) { |k, o, n| o + n }", "{:x=>6, :y=>5}"},
    {"a = {x: 1}; Hash.merge!(a, {w: 2}); a", "{:x=>1, :w=>2}"},
    // The top-level Fn walks.
    {"class R; attr_reader :got; def take(*a); (@got ||= []) << a; end; end; r = R.new; "
     "[Fn.each_send([1, 2], r, :take), r.got]", "[nil, [[1], [2]]]"},
    {"class R; attr_reader :got; def take(*a); (@got ||= []) << a; end; end; r = R.new; "
     "Fn.each_with_index_send([:a], r, :take); r.got", "[[:a, 0]]"},
    {"Fn.each_send(nil, 1, :x)", "nil"},
    {"a = [1, 2, 3]; Fn.map(a) { |x| a.clear; x }", "[1]"},
    {"r = []; Fn.each_with_index([5]) { |x, i| r << x + i }; r", "[5]"},
    {"Hash.merge({}, 5)", "raise TypeError: Integer cannot be converted to Hash"},
};

class CoreExtTable : public CoreExt, public testing::WithParamInterface<ruby_case>
{
};

TEST_P(CoreExtTable, AnswersAsTheRubyOfTheGameExpects)
{
    const ruby_case &c = GetParam();
    const std::string got = run(c.code);
    if (std::string(c.expect).rfind("raise ", 0) == 0) {
        // Messages may go on with the receiver's description.
        EXPECT_EQ(got.rfind(c.expect, 0), 0u) << c.code << "\n got " << got;
    } else {
        EXPECT_EQ(got, c.expect) << c.code;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, CoreExtTable, testing::ValuesIn(g_cases));

TEST_F(CoreExt, SplitAgreesWithTheInterpretersOwnSplit)
{
    // Every text of up to four pieces over a small alphabet, with every
    // separator and limit; String.split against __original_split__.
    const std::string result = run(R"RUBY(
      pieces = ["a", "b", " ", ",", "\t", "\n", "\u00e9", ",,", "  "]
      texts = [""]
      4.times do
        texts = texts + texts.flat_map { |t| pieces.map { |p| t + p } }
        texts = texts.uniq
        texts = texts.first(4000)
      end
      seps = [:none, nil, " ", ",", "a", "\u00e9", "", "ab", ",,", "\t"]
      limits = [:none, nil, -1, 0, 1, 2, 3]
      bad = []
      count = 0
      texts.each do |t|
        seps.each do |s|
          limits.each do |l|
            args = []
            unless s == :none
              args << s
              args << l unless l == :none
            else
              next unless l == :none
            end
            count += 1
            # The interpreter's own split takes no nil limit: nil means none.
            want = l.nil? ? t.__original_split__(s) : t.__original_split__(*args)
            got = String.split(t, *args)
            bad << [t, *args, want, got] unless want == got
          end
        end
      end
      [count > 10000, bad.first(5)]
    )RUBY");
    EXPECT_EQ(result, "[true, []]");
}

TEST_F(CoreExt, SplitHandsOtherSeparatorsAndLimitsToTheOriginal)
{
    EXPECT_EQ(run("String.split('a1b', 1)").rfind("raise TypeError", 0), 0u);
    EXPECT_EQ(run("String.split('a,b,c', ',', 2.0)"), "[\"a\", \"b,c\"]");
    EXPECT_EQ(run("String.split(5)").rfind("raise TypeError", 0), 0u);
}

}  // namespace
