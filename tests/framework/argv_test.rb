# Command-line switches read from the argument line: parsing, --eval with and
# without --no-tick, and --test.

test "the argument line splits into switches and values" do
  [
    ["./orvane", { orvane: "mygame" }],
    ["./orvane mygame", { orvane: "mygame" }],
    ["./orvane ./", { orvane: "" }],
    ["/opt/orvane games/x --speed 3", { orvane: "games/x", speed: "3" }],
    ["./orvane g --eval f.rb --no-tick ", { orvane: "g", eval: "f.rb", "no-tick": nil }],
    ["./orvane g --record --seed 7", { orvane: "g", record: nil, seed: "7" }],
    ["./orvane g --test  tests/t.rb  ", { orvane: "g", test: "tests/t.rb" }],
    ["./orvane g --scale 1.5 --replay", { orvane: "g", scale: "1.5", replay: nil }],
  ].each do |line, expected|
    assert_equal expected, Zel::Runtime::ProcessARGSV.parse(line), line
  end
end

test "--eval loads the file before the first game tick" do
  write_game_file "setup.rb", "$eval_saw = Kernel.tick_count\n"
  r = booted_runtime "$seen = []\ndef tick args\n  $seen << [args.tick_count, $eval_saw]\nend\n",
                     argv: "./orvane g --eval setup.rb"
  engine_ticks r, 3
  assert_equal [[0, -1], [1, -1]], $seen.first(2)
  refute r.quit_requested?
end

test "--eval with --no-tick runs the file, its callbacks, and quits" do
  write_game_file "script.rb", <<~RUBY
    $script_ran = true
    $zel.schedule_callback(Kernel.tick_count + 5) { $callback_at = Kernel.tick_count }
  RUBY
  r = booted_runtime "def tick args\n  $game_ticked = true\nend\n",
                     argv: "./orvane g --eval script.rb --no-tick"
  assert engine_ticks_until(r, 60) { r.quit_requested? }
  assert $script_ran
  assert_equal 4, $callback_at
  assert_equal nil, $game_ticked
  assert_equal 0, r.exit_status
  assert_includes log_text, "--no-tick switch found. Exiting."
end

test "an --eval --no-tick file that raises ends the run with a failure status" do
  write_game_file "bad.rb", "raise 'script failed'\n"
  r = booted_runtime "def tick args\nend\n", argv: "./orvane g --eval bad.rb --no-tick"
  assert engine_ticks_until(r, 20) { r.quit_requested? }
  assert_equal 1, r.exit_status
  assert_includes read_written("logs/exceptions/current.txt"), "script failed"
end

test "--eval of a missing file is reported" do
  r = booted_runtime "def tick args\nend\n", argv: "./orvane g --eval nothing.rb --no-tick"
  assert engine_ticks_until(r, 20) { r.quit_requested? }
  assert_includes log_text, "File does not exist: nothing.rb"
  assert_equal 1, r.exit_status
end

test "--test runs the file's tests once, never the game's tick, and reports failures" do
  [
    ["def test_one args, assert\n  assert.equal! 1, 1\nend\n", 0, "1 test(s) passed."],
    ["def test_one args, assert\n  assert.equal! 1, 2\nend\n", 1, "1 test(s) failed."],
    ["def test_one args, assert\nend\n", 0, "1 test(s) inconclusive."],
    ["def test_one args\nend\n", 1, "TEST METHOD INVALID:"],
  ].each do |source, status, summary|
    write_game_file "tests/game_tests.rb", source
    r = booted_runtime "def tick args\n  $game_ticked = true\nend\n",
                       argv: "./orvane g --test tests/game_tests.rb"
    assert engine_ticks_until(r, 20) { r.quit_requested? }, source
    assert_equal status, r.exit_status, source
    text = log_text
    assert_includes text, "* TEST: zel.test.start has been invoked."
    assert_includes text, summary
    assert_equal nil, $game_ticked
    Object.class_eval { remove_method :test_one }
    clear_log
  end
end
