# require, the reload queue shared with the native loader, and hot-loading of
# changed files.

def main_requiring *files
  files.map { |f| "require '#{f}'\n" }.join + "def tick args\nend\n"
end

test "require loads a file once, however often it is required" do
  write_game_file "app/counted.rb", "$loads = ($loads || 0) + 1\ndef counted_value\n  1\nend\n"
  r = booted_runtime <<~RUBY
    require "app/counted.rb"
    def tick args
      $results = [require("app/counted"), require("app/counted.rb")]
    end
  RUBY
  engine_ticks r, 70
  assert_equal 1, $loads
  assert_equal [false, false], $results
  assert_includes r.required_files, "app/counted.rb"
end

test "require resolves names to .rb files" do
  write_game_file "app/a.rb", "$a = :loaded\n"
  write_game_file "app/b.rb", "$b = :loaded\n"
  write_game_file "app/c.rb", "$c = :loaded\n"
  booted_runtime main_requiring("app/a", "app/b.rb", "app/c.rbc")
  assert_equal [:loaded, :loaded, :loaded], [$a, $b, $c]
end

test "a compiled twin is loaded instead of the source" do
  write_game_file "app/twin.rb", "$twin = :source\n"
  write_game_file "app/twin.rbc", TestSupport.compile("$twin = :compiled\n")
  booted_runtime main_requiring("app/twin")
  assert_equal :compiled, $twin
end

test "a game shipped as bytecode only loads its compiled main file" do
  write_game_file "app/main.rbc", TestSupport.compile("$compiled_main = true\ndef tick args\nend\n")
  r = make_runtime
  engine_ticks r, 2
  assert_equal :ready, r.load_status
  assert $compiled_main
end

test "require of a missing file raises a LoadError naming it" do
  r = booted_runtime "def tick args\n  require 'app/nope' if args.tick_count == 1\nend\n"
  engine_ticks r, 3
  assert r.paused?
  report = read_written("logs/exceptions/current.txt")
  assert_includes report, "# * ERROR: Exception while requiring app/nope."
  assert_includes report, "# app/nope.rb does not exist."
  assert_includes report, "Zel::Runtime::LoadError"
end

test "require_relative resolves against the file being required" do
  write_game_file "app/lib/outer.rb", "require_relative 'inner'\n$outer = $inner + 1\n"
  write_game_file "app/lib/inner.rb", "$inner = 1\n"
  r = booted_runtime main_requiring("app/lib/outer")
  assert_equal 2, $outer
  assert_includes r.required_files, "app/lib/inner.rb"
end

test "a file queued twice within 60 engine ticks is queued once" do
  r = booted_runtime COUNTING_GAME_FOR_REQUIRE
  engine_ticks r, 5
  assert_equal true, r.add_to_require_queue("app/x.rb")
  assert_equal :deduplicated, r.add_to_require_queue("app/x.rb")
  queued = log_text.split("\n").select { |l| l.include? "=app/x.rb= queued to load via ~require~." }
  assert_equal 1, queued.length
end

COUNTING_GAME_FOR_REQUIRE = "def tick args\nend\n"

test "a changed required file is reloaded within two seconds, also when its size stays" do
  write_game_file "app/value.rb", "def game_value\n  1\nend\n"
  r = booted_runtime <<~RUBY
    require "app/value"
    def tick args
      $value = game_value
    end
  RUBY
  engine_ticks r, 70
  assert_equal 1, $value
  [2, 3].each do |v|
    write_game_file "app/value.rb", "def game_value\n  #{v}\nend\n"
    assert engine_ticks_until(r, 130) { $value == v }, "value #{v} was not reloaded"
    assert_includes log_text, "* INFO: =app/value.rb= reloaded."
  end
end

test "a reloaded file with a syntax error is reported and pauses the game" do
  write_game_file "app/value.rb", "def game_value\n  1\nend\n"
  r = booted_runtime main_requiring("app/value")
  engine_ticks r, 70
  write_game_file "app/value.rb", "def game_value\n  (\nend\n"
  assert engine_ticks_until(r, 130) { r.paused? }
  assert_includes read_written("logs/exceptions/current.txt"), "# ** Failed to load/reload app/value.rb."
  write_game_file "app/value.rb", "def game_value\n  5\nend\n"
  assert engine_ticks_until(r, 130) { !r.paused? }
  assert_equal 5, game_value
end

test "the native loader runs bytecode by extension, ignoring case, and source otherwise" do
  r = booted_runtime COUNTING_GAME_FOR_REQUIRE
  write_game_file "app/upper.RBC", TestSupport.compile("$upper = :bytecode\nclass UpperDefined; end\n")
  write_game_file "app/noext", "$noext = :source\n"
  r.reload_list << "app/upper.RBC" << "app/noext" << "app/missing.rb"
  r.reload_requested_ruby_files_synchronously
  assert_equal [:bytecode, :source], [$upper, $noext]
  assert Object.const_defined?(:UpperDefined), "bytecode defined its class outside Object"
  assert r.reload_list.empty?
end

test "the native loader raises the parser's lines for a syntax error" do
  r = booted_runtime COUNTING_GAME_FOR_REQUIRE
  write_game_file "app/broken.rb", "def a\n  (\nend\nclass\n"
  r.reload_list << "app/broken.rb"
  e = assert_raises(RuntimeError) { r.reload_requested_ruby_files_synchronously }
  lines = e.message.split("\n")
  assert lines.length >= 1
  lines.each do |l|
    parts = l.split(":", 3)
    assert parts[0].start_with?("line "), l
    assert parts[1].to_i > 0 || parts[1] == "0", l
    assert parts[2].start_with?(" "), l
  end
  assert e.message.end_with?("\n")
end

test "a truncated bytecode file is refused without reading past its end" do
  r = booted_runtime COUNTING_GAME_FOR_REQUIRE
  image = TestSupport.compile("$truncated = :ran\n")
  write_game_file "app/short.rbc", image[0, image.length / 2]
  r.reload_list << "app/short.rbc"
  e = assert_raises(RuntimeError) { r.reload_requested_ruby_files_synchronously }
  assert_includes e.message, "app/short.rbc"
  assert_equal nil, $truncated
end

test "reload_complete marks queued files completed and unpauses after a load error" do
  write_game_file "app/value.rb", "$v = 1\n"
  r = booted_runtime main_requiring("app/value")
  history = r.reload_list_history["app/value.rb"]
  assert_equal :reload_completed, history[:current][:event]
  assert_equal [:reload_queued, :processing, :reload_completed], history[:history].map { |e| e[:event] }
end
