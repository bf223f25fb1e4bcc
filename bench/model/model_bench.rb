# Prints milliseconds per tick (mean and best over the runs) for the model's
# hot paths. A release build gives the figures that matter.
def bench label, runs = 60
  times = []
  runs.times do
    t = Time.now
    yield
    times << (Time.now - t) * 1000.0
  end
  mean = times.sum / times.length
  __puts__ format("%-62s mean %7.3f ms  best %7.3f ms  (%d runs)", label, mean, times.min, runs)
end

SPRITES = (0...10_000).map { |i| { x: i % 1280, y: i % 720, w: 16, h: 16, path: "sprites/a.png" } }
SOLIDS = (0...10_000).map { |i| { x: i % 1280, y: i % 720, w: 16, h: 16, r: 255, g: i % 255, b: 0 } }

test "model figures" do
  r = booted_runtime "def tick args\nend\n"
  engine_ticks r, 5
  bench("empty game: one engine tick (framework only)", 600) { engine_ticks r, 1 }

  r.key_down_raw 97, 0
  r.mouse_move 10, 10
  r.left_analog_x_player_1 100
  bench("input entry points: 16 analog + 3 poses + a move (unchanged)", 600) do
    16.times { r.left_analog_x_player_1 100 }
    3.times { r.headset_position 0.0, 0.0, 0.0, 0.0, 0.0, 0.0 }
    r.mouse_move 10, 10
  end

  o = r.args.outputs
  bench("outputs.sprites << 10,000 Hashes") do
    o.sprites.clear
    SPRITES.each { |s| o.sprites << s }
  end
  bench("outputs.sprites << one Array of 10,000 Hashes") do
    o.sprites.clear
    o.sprites << SPRITES
  end
  bench("outputs.solids << 10,000 array solids (marking)", 10) do
    o.solids.clear
    10_000.times { |i| o.solids << [i, i, 16, 16, 255, 0, 0] }
  end
  o.solids.clear
  o.sprites.clear

  SOLIDS.each { |s| o.solids << s }
  bench("pass walk: 10,000 Hash solids through draw_solid", 20) do
    TestSupport.capture_primitives(false) { TestSupport.pack_pass r, o }
  end
  o.solids.clear
  SOLIDS.each { |s| o.borders << s }
  bench("pass walk: 10,000 Hash borders through draw_border", 20) do
    TestSupport.capture_primitives(false) { TestSupport.pack_pass r, o }
  end
  o.borders.clear
  SPRITES.each { |s| o.sprites << s }
  bench("pass walk: 10,000 Hash sprites (native packer)", 20) do
    TestSupport.capture_primitives(false) { TestSupport.pack_pass r, o }
  end
end
