# The framework image: its format, its top-level bindings and globals, the
# tick counters and the replaced printing methods.

test "the image is in the linked interpreter's own format" do
  assert_equal TestSupport.expected_format, TestSupport.framework_header
end

test "top-level constants bind the framework's classes" do
  [
    [ZelCvar, Zel::Cvar], [Cvars, Zel::Cvars], [Easing, Zel::Easing], [Geometry, Zel::Geometry],
    [ZelTopLevelOutputs, Zel::TopLevelOutputs], [Grid, Zel::Grid], [Layout, Zel::Layout],
    [ZelRuntime, Zel::Runtime]
  ].each { |bound, target| assert_equal target, bound }
  assert_equal [:map, :flat_map, :map_with_index], ARRAY_WHITELIST
  assert_equal self, $top_level
  assert_equal 0, $perf_counter_outputs_push_count
  assert ZEL_VERSION.is_a?(String) && ZEL_VERSION.split(".").length == 2, ZEL_VERSION
  assert AttrSprite.is_a?(Module) && !AttrSprite.is_a?(Class)
  assert Zel::OpenEntity.is_a?(Class)
  assert Zel::StrictEntity.is_a?(Class)
  assert $cvars.is_a?(Hash)
end

test "XTERM_COLOR maps the seventeen colour names to ANSI sequences" do
  plain = [:black, :red, :green, :yellow, :blue, :magenta, :cyan, :white]
  assert_equal 17, XTERM_COLOR.length
  plain.each_with_index do |c, i|
    assert_equal "\e[3#{i}m", XTERM_COLOR[c]
    assert_equal "\e[3#{i};1m", XTERM_COLOR["bright_#{c}".to_sym]
  end
  assert_equal "\e[0m", XTERM_COLOR[:reset]
end

test "running the image twice defines nothing twice" do
  runtime_class = Zel::Runtime
  outputs_class = Zel::TopLevelOutputs
  TestSupport.load_framework_image
  assert_equal runtime_class.object_id, ZelRuntime.object_id
  assert_equal outputs_class.object_id, ZelTopLevelOutputs.object_id
  r = make_runtime
  engine_ticks r, 3
  assert_equal :main_rb_load_error_shown, r.load_status
end

test "tick counters read -1 until set" do
  assert_equal(-1, Kernel.tick_count)
  assert_equal(-1, Kernel.global_tick_count)
  Kernel.tick_count = 7
  Kernel.global_tick_count = 9
  assert_equal [7, 9], [Kernel.tick_count, Kernel.global_tick_count]
end

test "puts before the runtime exists writes no log file" do
  puts "early line"
  assert_equal nil, read_written("logs/puts.log")
  refute log_text.include?("early line")
end

test "puts with a runtime appends to logs/puts.log and logs each argument" do
  make_runtime
  puts "first", ["second", "third"]
  puts
  text = read_written("logs/puts.log")
  assert text.end_with?("first\nsecond\nthird\n\n"), text.inspect
  assert_includes log_text, "2 [Game] first"
  assert_includes log_text, "2 [Game] third"
end

test "puts writes no puts.log in production" do
  make_runtime production: true
  puts "quiet"
  assert_equal nil, read_written("logs/puts.log")
  assert_includes log_text, "2 [Game] quiet"
end

test "p prints inspect and returns its argument" do
  make_runtime
  assert_equal [1, 2], p([1, 2])
  assert_equal "x", p("x")
  assert_includes log_text, '2 [Game] "x"'
end

test "puts60 and friends print only on multiples of their period" do
  make_runtime
  [[0, true, true, true], [6, true, false, false], [60, true, true, false],
   [600, true, true, true], [7, false, false, false]].each do |tick, six, sixty, six_hundred|
    clear_log
    Kernel.tick_count = tick
    puts6 "six-#{tick}"
    puts60 "sixty-#{tick}"
    puts600 "six-hundred-#{tick}"
    text = log_text
    assert_equal six, text.include?("six-#{tick}"), "puts6 at #{tick}"
    assert_equal sixty, text.include?("sixty-#{tick}"), "puts60 at #{tick}"
    assert_equal six_hundred, text.include?("six-hundred-#{tick}"), "puts600 at #{tick}"
  end
end

test "sleep blocks for the given seconds" do
  t = Time.now.to_f
  sleep 0.05
  assert Time.now.to_f - t >= 0.045
  assert_raises(ArgumentError) { sleep(-1) }
end
