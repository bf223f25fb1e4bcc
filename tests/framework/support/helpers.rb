# Assert helpers and a small test registry for the framework tests. A test
# file declares `test "name" do ... end` blocks; FrameworkTest.run_all runs
# them in order and answers [passed, failed].
class AssertionFailed < StandardError
end

module FrameworkTest
  @tests = []

  def self.tests
    @tests
  end

  def self.run_all
    passed = 0
    failed = 0
    @tests.each do |name, block|
      begin
        reset_world
        block.call
        passed += 1
      rescue Exception => e
        failed += 1
        __puts__ "FAILED: #{name}"
        __puts__ "  #{e.class}: #{e.message}"
        e.backtrace.to_a.first(8).each { |l| __puts__ "    #{l}" }
        lines = TestSupport.log_lines
        unless lines.empty?
          __puts__ "  log:"
          lines.last(40).each { |l| __puts__ "    #{l}" }
        end
      end
    end
    [passed, failed]
  end

  GAME_HOOKS = [:tick, :boot, :reset, :shutdown, :unhandled_exception]

  # Each test starts without a runtime, without game hooks and with a clean
  # game directory.
  def self.reset_world
    reset_globals
    TestSupport.log_lines
    $__log_lines__ = []
    TestSupport.reset_dirs
  end

  def self.reset_globals
    Object.class_eval do
      FrameworkTest::GAME_HOOKS.each { |m| remove_method m if method_defined?(m) }
    end
    Object.class_eval { def tick args; end }
    [:$zel, :$runtime, :$recording, :$console, :$args, :$state, :$grid, :$tests,
     :$layout, :$inputs, :$outputs, :$audio].each { |g| eval("#{g} = nil") }
    $cvars = {}
    Kernel.tick_count = -1
    Kernel.global_tick_count = -1
  end
end

def test name, &block
  FrameworkTest.tests << [name, block]
end

def assert value, message = nil
  raise AssertionFailed, (message || "expected a truthy value, got #{value.inspect}") unless value
  true
end

def refute value, message = nil
  raise AssertionFailed, (message || "expected a falsey value, got #{value.inspect}") if value
  true
end

def assert_equal expected, actual, message = nil
  return true if expected == actual
  raise AssertionFailed, "#{message ? message + ': ' : ''}expected #{expected.inspect}, got #{actual.inspect}"
end

def assert_includes collection, item, message = nil
  return true if collection.include? item
  raise AssertionFailed, "#{message ? message + ': ' : ''}expected #{collection.inspect} to include #{item.inspect}"
end

def assert_raises klass = StandardError
  begin
    yield
  rescue Exception => e
    return e if e.is_a? klass
    raise AssertionFailed, "expected #{klass}, got #{e.class}: #{e.message}"
  end
  raise AssertionFailed, "expected #{klass} to be raised"
end

# The runtime as the engine creates it.
def make_runtime argv: "./orvane mygame", production: false, platform: "Linux"
  FrameworkTest.reset_globals
  ZelRuntime.new(platform, production, 0, 1280, 720, argv, "./orvane", -43.0, :landscape,
                 false, false)
end

# Game files live in the game directory, which is on the search path.
def write_game_file path, text
  assert FFI::File.new.write(path, text), "could not write #{path}"
end

# Engine ticks as the simulation thread makes them, 16 ms apart by default.
$__sdl_clock__ = 1000

def engine_ticks runtime, count, step = 17
  count.times do
    $__sdl_clock__ += step
    runtime.__sdl_tick__ $__sdl_clock__
  end
end

# Ticks until the block is true (at most limit engine ticks).
def engine_ticks_until runtime, limit = 600
  limit.times do
    return true if yield
    engine_ticks runtime, 1
  end
  yield
end

# Log lines since the last call, accumulated per test.
def log_text
  ($__log_lines__ ||= []).concat TestSupport.log_lines
  $__log_lines__.join("\n")
end

def clear_log
  TestSupport.log_lines
  $__log_lines__ = []
end

def read_written path
  FFI::File.new.read path
end

# A runtime whose game (app/main.rb) has loaded and booted.
def booted_runtime main_rb, **opts
  write_game_file "app/main.rb", main_rb
  r = make_runtime(**opts)
  engine_ticks r, 1
  assert_equal :ready, r.load_status, "the game did not boot"
  r
end
