# The runtime's tick cycle: pacing, loading the main file, boot, exceptions,
# quit, reset, pause, speed, scheduled callbacks and the reset keys.

COUNTING_GAME = <<~RUBY
  $ticks = []
  def tick args
    $ticks << args.tick_count
  end
RUBY

test "__sdl_tick__ runs at most one simulation per 16 ms" do
  [[10, 0], [15, 0], [16, 1], [17, 1], [100, 1]].each do |gap, simulations|
    r = booted_runtime COUNTING_GAME
    before = Kernel.global_tick_count
    r.__sdl_tick__ $__sdl_clock__ + gap
    assert_equal simulations, Kernel.global_tick_count - before, "gap of #{gap} ms"
  end
end

test "boot runs once before the first tick, which sees tick_count 0" do
  r = booted_runtime <<~RUBY
    $events = []
    def boot args
      $events << [:boot, Kernel.tick_count]
    end
    def tick args
      $events << [:tick, args.tick_count, args.state.tick_count, Kernel.tick_count]
    end
  RUBY
  engine_ticks r, 2
  assert_equal [[:boot, -1], [:tick, 0, 0, 0], [:tick, 1, 1, 1]], $events
  assert_includes log_text, "2 [Engine] ** INFO: =app/main.rb= queued to load via ~require~. (-1, -1)"
  assert_includes log_text, "2 [Engine] * INFO: =app/main.rb= reloaded. (-1, -1)"
end

test "a game without tick runs on the default tick" do
  r = booted_runtime "$loaded = true\n"
  engine_ticks r, 3
  assert $loaded
  assert_equal 2, Kernel.tick_count
end

test "without app/main.rb the runtime waits and boots once the file appears" do
  r = make_runtime
  engine_ticks r, 1
  assert_equal :main_rb_load_error_shown, r.load_status
  assert r.paused?
  assert_includes log_text, "app/main.rb not found."
  assert_includes read_written("logs/exceptions/current.txt"), "# app/main.rb not found."
  engine_ticks r, 30
  assert_equal :main_rb_load_error_shown, r.load_status
  write_game_file "app/main.rb", COUNTING_GAME
  assert engine_ticks_until(r, 200) { r.load_status == :ready }
  engine_ticks r, 1
  refute r.paused?
  assert_equal [0], $ticks
end

test "a syntax error in app/main.rb is reported with line and column until fixed" do
  write_game_file "app/main.rb", "def tick args\n  x = (1 +\nend\n"
  r = make_runtime
  engine_ticks r, 1
  assert_equal :main_rb_load_error_shown, r.load_status
  report = read_written("logs/exceptions/current.txt")
  assert_includes report, "* ERROR: Exception while requiring app/main.rb."
  assert_includes report, "** Failed to load app/main.rb."
  assert report.split("\n").any? { |l| l.start_with?("# line ") && l.split(":").length >= 3 }, report
  engine_ticks r, 70
  write_game_file "app/main.rb", COUNTING_GAME
  assert engine_ticks_until(r, 200) { r.load_status == :ready }
  assert_includes log_text, "* INFO: =app/main.rb= reloaded."
  engine_ticks r, 2
  assert_equal [0, 1], $ticks
end

test "an exception in tick N is exported and pauses the game until the console hides" do
  r = booted_runtime <<~RUBY
    $ticks = []
    def tick args
      $ticks << args.tick_count
      args.state.score = 42
      raise "boom at five" if args.tick_count == 5
    end
  RUBY
  engine_ticks r, 10
  assert_equal [0, 1, 2, 3, 4, 5], $ticks
  assert r.paused?
  current = read_written("logs/exceptions/current.txt")
  assert_equal current, read_written("logs/exceptions/game_state_5.txt")
  head, state = current.split("\n\nGame State:\n", 2)
  assert state, current
  assert head.split("\n").all? { |l| l.start_with? "# " }, head
  assert_includes head, "# boom at five"
  assert_includes state, ":score=>42"
  assert_includes log_text,
                  "* INFO - Game state and exception will be written to logs/exceptions/game_state_5.txt and logs/exceptions/current.txt."
  assert r.console.visible?
  assert_equal :exception, r.console.show_reason
  assert_equal "$zel.reset seed: #{r.rng_seed}", r.console.prompt_text
  r.console.hide
  engine_ticks r, 1
  refute r.paused?
  assert_equal [0, 1, 2, 3, 4, 5, 6], $ticks
end

test "a game's unhandled_exception replaces the engine's handling" do
  r = booted_runtime <<~RUBY
    $handled = []
    def tick args
      raise ArgumentError, "bad \#{args.tick_count}" if args.tick_count == 2
    end
    def unhandled_exception args, e
      $handled << [args.class, e.class, e.message]
    end
  RUBY
  engine_ticks r, 5
  assert_equal [[Zel::Args, ArgumentError, "bad 2"]], $handled
  refute r.paused?
  assert_equal nil, read_written("logs/exceptions/current.txt")
end

test "request_quit logs the global tick and quit runs the game's shutdown" do
  r = booted_runtime <<~RUBY
    def tick args
      $zel.request_quit if args.tick_count == 3
    end
    def shutdown args
      $shutdown_at = args.tick_count
    end
  RUBY
  engine_ticks r, 4
  assert r.quit_requested?
  assert_includes log_text, "2 [Engine] * INFO: Quit requested (3)."
  r.quit
  assert_equal 3, $shutdown_at
  assert_equal 0, r.exit_status
end

test "exit from the game becomes a quit request with its status" do
  [["exit", 0], ["exit 3", 3], ["exit false", 1]].each do |call, status|
    r = booted_runtime "def tick args\n  #{call} if args.tick_count == 1\nend\n"
    engine_ticks r, 3
    assert r.quit_requested?, call
    assert_equal status, r.exit_status, call
  end
end

test "reset with a seed restarts at tick 0 with a fresh state and that seed" do
  srand 42
  expected = [rand(1000), rand(1000)]
  r = booted_runtime <<~RUBY
    $seen = []
    def reset
      $reset_calls = ($reset_calls || 0) + 1
    end
    def tick args
      args.state.marker ||= args.tick_count
      if args.tick_count == 0 && $seen.empty?
        $seen << [:first, args.state.marker]
      elsif args.tick_count == 10 && $seen.length == 1
        $zel.reset seed: 42
        $seen << :reset
      elsif args.tick_count == 0
        $seen << [:after, args.state.marker, rand(1000), rand(1000)]
      end
    end
  RUBY
  construction_resets = $reset_calls.to_i
  engine_ticks r, 13
  assert_equal [[:first, 0], :reset, [:after, 0] + expected], $seen
  assert_equal construction_resets + 1, $reset_calls
  assert_equal 42, r.rng_seed
  assert_includes log_text, "RNG seed has been set to 42."
end

test "reset hands args to a reset hook that takes it" do
  r = booted_runtime <<~RUBY
    def reset args
      $reset_args = args
    end
    def tick args
      $zel.reset if args.tick_count == 3
    end
  RUBY
  engine_ticks r, 5
  assert_equal r.args, $reset_args
end

test "reset is ignored before the game has ticked" do
  r = booted_runtime COUNTING_GAME
  r.reset
  refute log_text.include?("~reset~ has been invoked")
end

test "reset_next_tick resets at the start of the next game tick" do
  r = booted_runtime <<~RUBY
    $ticks = []
    def tick args
      $ticks << args.tick_count
      $zel.reset_next_tick if args.tick_count == 4 && $ticks.length == 5
    end
  RUBY
  engine_ticks r, 8
  assert_equal [0, 1, 2, 3, 4, 0, 1, 2], $ticks
end

test "pause! stops the game's tick while engine ticks go on" do
  r = booted_runtime COUNTING_GAME
  engine_ticks r, 3
  r.pause!
  global = Kernel.global_tick_count
  engine_ticks r, 3
  assert_equal [0, 1, 2], $ticks
  assert_equal global + 3, Kernel.global_tick_count
  r.unpause!
  engine_ticks r, 1
  assert_equal [0, 1, 2, 3], $ticks
end

test "speedup! runs extra simulations while the game asks for it" do
  r = booted_runtime <<~RUBY
    $fast = true
    def tick args
      $zel.speedup! 3 if $fast
    end
  RUBY
  engine_ticks r, 1
  [3, 3].each do |expected|
    before = Kernel.global_tick_count
    engine_ticks r, 1
    assert_equal expected, Kernel.global_tick_count - before
  end
  $fast = false
  engine_ticks r, 1
  assert_equal "Simulation loop has been returned to 60 fps.", r.notification_message
  before = Kernel.global_tick_count
  engine_ticks r, 2
  assert_equal 2, Kernel.global_tick_count - before
end

test "slowmo! runs the game's tick on one engine tick in every factor" do
  [2, 3].each do |factor|
    r = booted_runtime <<~RUBY
      $ticks = []
      def tick args
        $ticks << Kernel.global_tick_count
        $zel.slowmo! #{factor}
      end
    RUBY
    engine_ticks r, 1 + factor * 4
    gaps = $ticks.each_cons(2).map { |a, b| b - a }
    assert_equal [factor] * (gaps.length), gaps, "factor #{factor}: #{$ticks.inspect}"
    assert_equal $ticks.length - 1, Kernel.tick_count
    assert_includes log_text, "Simulation loop slowed down to #{60 / factor} fps. ~args.zel.slowmo! #{factor}~"
  end
end

test "scheduled callbacks run in order on their tick, with args when they take it" do
  r = booted_runtime <<~RUBY
    $calls = []
    def boot args
      $zel.schedule_callback(2) { $calls << [:a, Kernel.tick_count] }
      $zel.schedule_callback(2) { |a| $calls << [:b, a.class] }
      $zel.on_tick_count(4) { $calls << [:c, Kernel.tick_count] }
    end
  RUBY
  engine_ticks r, 6
  assert_equal [[:a, 2], [:b, Zel::Args], [:c, 4]], $calls
  assert r.scheduled_callbacks.empty?
end

test "on_tick_count at or below the current tick count schedules nothing" do
  r = booted_runtime COUNTING_GAME
  engine_ticks r, 5
  assert_equal nil, r.on_tick_count(Kernel.tick_count) { raise "must not run" }
  assert_includes log_text, "* INFO - ~on_tick_count~ has been ignored."
  engine_ticks r, 2
end

test "a reset clears the scheduled callbacks" do
  r = booted_runtime COUNTING_GAME
  engine_ticks r, 3
  r.schedule_callback(10) { raise "must not run" }
  r.reset
  engine_ticks r, 12
end

test "reboot is refused before the first global tick and in production" do
  r = make_runtime
  r.reboot
  refute r.reboot_requested
  r = booted_runtime COUNTING_GAME, production: true
  engine_ticks r, 2
  r.reboot
  refute r.reboot_requested
  r = booted_runtime COUNTING_GAME
  engine_ticks r, 2
  r.reboot
  assert r.reboot_requested
end

test "Control+R resets on the next tick, with Shift or Meta it reboots" do
  [[[:control], :reset], [[:control, :shift], :reboot], [[:control, :meta], :reboot],
   [[:meta, :shift], :reboot], [[:shift], nil]].each do |modifiers, effect|
    r = booted_runtime COUNTING_GAME
    engine_ticks r, 4
    kb = r.args.inputs.keyboard
    (modifiers + [:r]).each { |k| kb.key_down[k] = Kernel.tick_count }
    engine_ticks r, 2
    case effect
    when :reset
      assert_equal [0, 1, 2, 3, 0, 1], $ticks, modifiers.inspect
    when :reboot
      assert r.reboot_requested, modifiers.inspect
    else
      assert_equal [0, 1, 2, 3, 4, 5], $ticks, modifiers.inspect
      refute r.reboot_requested
    end
  end
end

test "the log methods pass their level and drop NUL characters" do
  r = make_runtime
  clear_log
  [[:log_spam, 0], [:log_debug, 1], [:log_info, 2], [:log_warn, 3], [:log_error, 4],
   [:log_unfiltered, 2147483646]].each do |method, level|
    r.send method, "m\0sg #{method}", "Sub"
    assert_includes log_text, "#{level} [Sub] msg #{method}"
  end
  r.log "plain"
  assert_includes log_text, "2 [Game] plain"
end

test "the engine's per-tick queries answer from the runtime" do
  r = booted_runtime COUNTING_GAME
  engine_ticks r, 3
  r.current_fps 58, 59
  assert_equal [58, 59], [r.current_framerate_calc, r.current_framerate_render]
  assert_equal [2, 2], [r.__tick_count__, r.__global_tick_count__]
  passes = r.passes
  assert_equal [r.args.outputs], passes
  assert_equal [nil, 1280, 720, false], [r.target(passes[0]), r.render_width(passes[0]),
                                         r.render_height(passes[0]), r.render_transient(passes[0])]
  assert_equal [nil, 0, 0, false], [r.target(nil), r.render_width(nil), r.render_height(nil),
                                    r.render_transient(nil)]
  assert_equal [230, 230, 230, 255], passes[0].background_color
  refute r.take_screenshot
  r.new_log_entry 2, 100, "Game", "a line for the console"
  assert_includes r.console.log, "a line for the console"
end

test "render targets join the passes before the screen once per tick" do
  r = booted_runtime <<~RUBY
    def tick args
      a = args.render_target(:a)
      $same = a.equal?(args.render_target(:a))
      a.w = 64
    end
  RUBY
  engine_ticks r, 1
  assert $same
  assert_equal ["a", nil], r.passes.map(&:target)
  assert_equal [true, false], r.passes.map { |p| r.render_transient(p) }
  assert_equal [[64, 720], [1280, 720]], r.passes.map { |p| [r.render_width(p), r.render_height(p)] }
  e = assert_raises(RuntimeError) { r.args.render_target("pixel") }
  assert_includes e.message, "The render target name ~pixel~ is reserved/used by Orvane."
end
