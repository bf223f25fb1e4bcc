# The core class extensions as a game sees them inside the engine's
# interpreter: Hash attribute access (also next to a top-level method of the
# same name), frame_index, Zel::Fn, and the Numeric, Hash, Array, String and
# log vocabulary.

test "hash attributes read and write their keys" do
  h = {}
  assert_equal nil, h.x
  h.x = 5
  assert_equal [5, 5], [h[:x], h.x1]
  assert_equal 1, { class: 1 }.class_
  assert_equal Hash, { class: 1 }.class
  h.speed = 3
  assert_equal 3, h.speed
  raised = begin
    {}.open?
    false
  rescue NoMethodError
    true
  end
  assert_equal true, raised
end

test "frame_index counts frames, holds them and repeats" do
  assert_equal 2, 60.frame_index(count: 4, hold_for: 10, tick_count_override: 85)
  assert_equal nil, 60.frame_index(count: 4, hold_for: 10, tick_count_override: 100)
  assert_equal nil, 60.frame_index(count: 4, hold_for: 10, tick_count_override: 59)
  assert_equal 1, 60.frame_index(count: 4, hold_for: 10, repeat: true, repeat_index: 1,
                                 tick_count_override: 100)
  assert_equal 1, 60.frame_index(count: 4, hold_for: 10, repeat: true, repeat_index: 1,
                                 tick_count_override: 130)
  assert_equal 3, 60.frame_index(count: 4, hold_for: 10, repeat: true, repeat_index: 1,
                                 tick_count_override: 125)
  assert_equal 2, Numeric.frame_index(start_at: 60, frame_count: 4, hold_for: 10,
                                      tick_count_override: 85)
  message = begin
    60.frame_index(hold_for: 10)
  rescue => e
    e.message
  end
  assert_equal "Numeric::frame_index_no_repeat must be given either ~count~ or ~frame_count~.\n",
               message
end

test "Zel::Fn arithmetic skips nil, flattens arrays and refuses NaN" do
  [
    [:add, [], 0], [:add, [1, nil, [2, 3]], 6], [:add, [1, Float::NAN], nil],
    [:sub, [], nil], [:sub, [5], -5], [:sub, [10, 1, 2], 7],
    [:mul, [], 1], [:mul, [2, 0], 0], [:mul, [0, 5], 0], [:mul, [2, 3, [4]], 24],
    [:div, [], 1], [:div, [2], 0.5], [:div, [0], nil], [:div, [8, 2, 2], 2], [:div, [1, 0], nil],
    [:idiv, [2], 0], [:idiv, [7, 2], 3],
    [:lt, [1, 2, 3], 3], [:lt, [1, 3, 2], nil], [:lte, [1, 1], 1], [:gt, [3, 2], 2],
    [:gte, [2, 3], nil],
  ].each do |name, args, expected|
    assert_equal expected, Zel::Fn.send(name, *args), "#{name}(#{args.inspect})"
  end
  assert_equal [2, nil, 3, true, false],
               [Zel::Fn.and(1, 2), Zel::Fn.and(1, nil), Zel::Fn.or(nil, false, 3),
                Zel::Fn.eq?(1, 1, 1), Zel::Fn.eq?(1, 2)]
  assert_equal({ a: 1, b: 2 }, Zel::Fn.array_hash(:a, 1, :b, 2))
  assert_equal "x+b", Zel::Fn.gsub("a-b", ["-", "+"], "a", "x")
  assert_equal Zel::Fn, $fn
end

test "numbers, hashes, arrays and strings speak the engine's vocabulary" do
  assert_equal [3, 7, 2, 0.75, 7, 10, 50.0, 0.5, 255, 120],
               [5.clamp(nil, 3), 5.clamp(7), 12.clamp_wrap(0, 9), 0.5.lerp(1.0, 0.5),
                3.towards(10, 4), 9.towards(10, 4), 5.remap(0, 10, 0, 100), 3.percentage_of(6),
                300.to_byte, 2.seconds]
  assert_equal({ x: 1, w: 2, primitive_marker: :solid }, { x: 1, w: 2 }.solid!)
  assert_equal({ x: -4.0, y: 0.0, w: 10, h: 4 }, { x: 1, y: 2, w: 10, h: 4 }.anchor_rect(0.5, 0.5))
  assert_equal [[1, false], [1, 2, 3], 6], [[1, nil, false].reject_nil, [1, 2] + 3, [1, 2, 3].sum]
  assert_equal ["hello", "world", "foo"], "hello world foo".wrapped_lines(7)
  assert_equal ["aZbc", "ac", "go"],
               ["abc".insert_character_at(1, "Z"), "abc".excluding_character_at(1),
                "go!".without_ending_bang]
end

test "String#split keeps its answers when the tick makes it native" do
  [["a,b,,", ","], ["  a  b ", " "], ["a-b-c", "-", 2], ["x", "long"]].each do |t, *args|
    assert_equal t.__original_split__(*args), String.split(t, *args), t
  end
end
