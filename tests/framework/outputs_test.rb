# The output model: typed arrays and what they accept, array primitives and
# their accessors, render targets and passes, background colours, sounds,
# screenshots and pixel arrays, and what the engine's pass walk packs from
# them (through the framework's drawing methods and the packers).

def outputs_of r
  r.args.outputs
end

# The records the engine's walk packs for one pass.
def packed r, pass = r.args.outputs, production: 0
  TestSupport.capture_primitives { TestSupport.pack_pass r, pass, production }.split("\n")
end

class DrawnBox
  attr_accessor :x, :y

  def initialize x, y
    @x = x
    @y = y
  end

  def draw_override ffi
    ffi.draw_solid @x, @y, 1, 1, 9, 9, 9, 255
  end
end

class NotAPrimitive
end

test "what the typed arrays accept, and how" do
  hash = { x: 1, y: 2, w: 3, h: 4, path: "p.png" }
  box = DrawnBox.new(0, 0)
  [
    [nil, 0],
    [[], 0],
    [5, 0],
    ["text", 0],
    [:sym, 0],
    [true, 0],
    [hash, 1],
    [[hash, hash], 2],
    [[10, 10, 50, 50, 255, 0, 0], 1],
    [[[10, 10, 50, 50], [20, 20, 5, 5]], 2],
    [[[1, 2], [3, 4, 5]], 1],
    [[[hash], [hash, [10, 10, 5, 5]]], 3],
    [box, 1],
    [Zel::OpenEntity.new(x: 1), 1],
  ].each do |value, count|
    r = make_runtime
    outputs_of(r).solids << value
    assert_equal count, outputs_of(r).solids.length, value.inspect
  end
end

test "an array primitive is marked as its collection's kind with positional accessors" do
  r = make_runtime
  o = outputs_of(r)
  o.solids << [10, 10, 50, 50, 255, 0, 0]
  s = o.solids[0]
  assert_equal [:solid, 255, 0, 0, nil, nil], [s.primitive_marker, s.r, s.g, s.b, s.a, s.blendmode_enum]
  s.a = 128
  assert_equal 128, s[7]
  o.sprites << [1, 2, 3, 4, "a.png", 45, 128, 1, 2, 3]
  sp = o.sprites[0]
  assert_equal [:sprite, "a.png", 45, 128, 1, 2, 3], [sp.primitive_marker, sp.path, sp.angle, sp.a, sp.r, sp.g, sp.b]
  o.labels << [1, 2, "hi", 3, 1, 9, 8, 7, 6, "font.ttf"]
  l = o.labels[0]
  assert_equal [:label, "hi", 3, 1, 9, 8, 7, 6, "font.ttf"],
               [l.primitive_marker, l.text, l.size_enum, l.alignment_enum, l.r, l.g, l.b, l.a, l.font]
  o.labels << [1, 2, "short", 9, 8, 7]
  short = o.labels[1]
  assert_equal [9, 8, 7, nil, nil], [short.r, short.g, short.b, short.a, short.size_enum]
  o.lines << [0, 0, 100, 100, 1, 2, 3, 4, 2]
  li = o.lines[0]
  assert_equal [:line, 100, 100, 1, 2, 3, 4, 2], [li.primitive_marker, li.x2, li.y2, li.r, li.g, li.b, li.a, li.blendmode_enum]
  o.borders << [1, 1, 2, 2, 5, 6, 7]
  assert_equal [:border, 5], [o.borders[0].primitive_marker, o.borders[0].r]
  looks_like_sprite = [1, 2, 3, 4, "a.png"].solid
  assert_equal [0, 0, 0, 255], [looks_like_sprite.r, looks_like_sprite.g, looks_like_sprite.b, looks_like_sprite.a]
end

test "marking flattens nested arrays and takes the values of hashes, with one notice" do
  r = make_runtime
  o = outputs_of(r)
  o.solids << [[1, 2], { w: 3, h: 4 }, [5, [6, 7]]]
  assert_equal [[1, 2, 3, 4, 5, 6, 7]], o.solids
  o.solids << [[1, 2], { w: 3, h: 4 }]
  text = log_text
  assert_includes text, "* IMPORTANT: Array primitive that contains hashes was detected."
  assert_equal 2, text.split("* IMPORTANT: Array primitive").length
end

test "mixed collections need marked arrays; marking a frozen array is an error" do
  r = make_runtime
  o = outputs_of(r)
  [:primitives, :reserved, :debug, :static_primitives].each do |name|
    e = assert_raises(ArgumentError) { o.send(name) << [10, 10, 50, 50] }
    assert_includes e.message, "must be marked explicitly"
    assert_includes e.message, "~.solid~"
  end
  o.primitives << [10, 10, 50, 50].solid
  o.primitives << [10, 10, "x"].label
  o << [10, 10, 20, 20].border
  assert_equal [:solid, :label, :border], o.primitives.map(&:primitive_marker)
  e = assert_raises(RuntimeError) { [1, 2, 3, 4].freeze.solid }
  assert_includes e.message, "~solid~"
  e = assert_raises(TypeError) { o.sprites << NotAPrimitive.new }
  assert_includes e.message, "~NotAPrimitive~ does not look like a rendering primitive."
  e = assert_raises(ArgumentError) { o.primitives.resolved?(NotAPrimitive.new) }
  assert_includes e.message, "I don't know how to use the above NotAPrimitive with SDL's FFI. Please\n"
end

test "primitive markers of hashes and objects" do
  [
    [{ x: 1, primitive_marker: :border }, :border],
    [{ text: "a", path: "b" }, :label],
    [{ path: "b" }, :sprite],
    [{ x3: 1 }, :solid],
    [{ x2: 1 }, :line],
    [{ x: 1 }, nil],
    [Zel::OpenEntity.new(path: "p"), :sprite],
    [Object.new, nil],
    [[1, 2].sprite, :sprite],
  ].each do |o, marker|
    assert_equal marker, o.primitive_marker, o.inspect
  end
  klass = Class.new { include AttrSprite }
  assert_equal :sprite, klass.new.primitive_marker
end

test "render targets: one object per name and tick, before the screen, sized as last tick" do
  r = booted_runtime "def tick args\nend\n"
  engine_ticks r, 1
  a = r.args.render_target(:a)
  assert a.equal?(r.args.outputs[:a])
  assert a.equal?(r.args.outputs.render_target("a"))
  a.w = 200
  a.h = 100
  b = r.args.render_target(:b)
  assert_equal [a, b, r.args.outputs], r.passes
  assert_equal ["a", true, [255, 255, 255, 0]], [a.target, a.transient, a.background_color]
  engine_ticks r, 1
  assert_equal [r.args.outputs], r.passes
  again = r.args.render_target(:a)
  refute again.equal?(a)
  assert again.solids.empty?
  assert_equal [200, 100], [again.w, again.h]
  assert_equal [200, 100, true], [r.render_width(again), r.render_height(again), r.render_transient(again)]
  assert_equal [nil, 0, 0, false], [r.target(nil), r.render_width(nil), r.render_height(nil), r.render_transient(nil)]
  ["pixel", :solid].each do |name|
    e = assert_raises(RuntimeError) { r.args.render_target(name) }
    assert_includes e.message, "* ERROR: Unable to create render target with name ~#{name}~.\n"
  end
end

test "background colour: black before the game runs, then with green, blue and alpha filled in" do
  r = make_runtime
  assert_equal [0, 0, 0], outputs_of(r).background_color
  r = booted_runtime "def tick args\nend\n"
  engine_ticks r, 1
  o = outputs_of(r)
  assert_equal [230, 230, 230, 255], o.background_color
  o.background_color = [10, 20]
  assert_equal [10, 20, 230, 255], o.background_color
  o.background_color = { r: 1, g: 2, b: 3, a: 4 }
  assert_equal [1, 2, 3, 4], o.background_color
  o.clear_non_static
  assert_equal [230, 230, 230, 255], o.background_color
end

test "static arrays live until cleared; per-tick arrays one tick" do
  r = booted_runtime <<~RUBY
    def tick args
      args.outputs.static_solids << { x: 1, y: 1, w: 1, h: 1 } if args.tick_count == 0
      args.outputs.solids << { x: 2, y: 2, w: 2, h: 2 } if args.tick_count == 0
    end
  RUBY
  engine_ticks r, 1
  assert_equal [1, 1], [outputs_of(r).static_solids.length, outputs_of(r).solids.length]
  engine_ticks r, 1
  assert_equal [1, 0], [outputs_of(r).static_solids.length, outputs_of(r).solids.length]
  outputs_of(r).clear
  assert outputs_of(r).static_solids.empty?
end

test "the pass walk packs every kind of element, collection by collection" do
  r = booted_runtime "def tick args\nend\n"
  o = outputs_of(r)
  o.solids << { x: 1, y: 2, w: 3, h: 4, r: 5, a: 0 }
  o.solids << { x: 1, y: 2, w: 3, h: 4, r: 5, anchor_x: 0.5 }
  o.solids << [10, 10, 50, 50, 255, 0, 0]
  o.solids << { x: 0, y: 0, x2: 10, y2: 0, x3: 5, y3: 5, r: 7 }
  o.solids << DrawnBox.new(3, 3)
  o.sprites << [1, 2, 3, 4, :kept]
  o.labels << [5, 6, "hi", 1, 2, 9, 9, 9, 255]
  o.lines << [0, 0, 10, 20, 1, 2, 3, 4]
  o.lines << Zel::OpenEntity.new(x: 1, y: 2, w: 5, h: 0, x2: 100)
  o.borders << { x: 1, y: 1, w: 2, h: 2, g: 3 }
  o.borders << [1, 1, 2, 2, 4]
  o.primitives << [1, 1, 2, 2, 6].solid
  o.primitives << { x: 1, y: 1, w: 2, h: 2, primitive_marker: :solid, b: 8 }
  o.debug << [1, 1, 1, 1].solid
  lines = packed(r)
  want = [
    "prim_solid x=1.0 y=2.0 z=0 w=3.0 h=4.0 r=5 g=0 b=0 a=255 blendmode_enum=1 anchor_x=0.5 anchor_y=0.0",
    "prim_solid x=10.0 y=10.0 z=0 w=50.0 h=50.0 r=255 g=0 b=0 a=255 blendmode_enum=1 anchor_x=0.0 anchor_y=0.0",
    "prim_triangle",
    "prim_solid x=3.0 y=3.0 z=0 w=1.0 h=1.0 r=9",
    "prim_sprite path=\"kept\"",
    "prim_solid x=1.0 y=1.0 z=0 w=2.0 h=2.0 r=6",
    "prim_solid x=1.0 y=1.0 z=0 w=2.0 h=2.0 r=0 g=0 b=8",
    "prim_label x=5.0 y=6.0",
    "prim_line x=0.0 y=0.0 z=0 x2=10.0 y2=20.0 r=1 g=2 b=3 a=4 blendmode_enum=1",
    "prim_line x=1.0 y=2.0 z=0 x2=6.0 y2=2.0",
    "prim_border x=1.0 y=1.0 z=0 w=2.0 h=2.0 r=0 g=3 b=0",
    "prim_border x=1.0 y=1.0 z=0 w=2.0 h=2.0 r=4",
    "prim_solid x=1.0 y=1.0 z=0 w=1.0 h=1.0",
  ]
  assert_equal want.length, lines.length, lines.join("\n")
  want.zip(lines).each { |w, l| assert l.start_with?(w), "#{l}\n  does not start with\n#{w}" }
  assert_includes lines[7], "text=\"hi\""
  assert_includes lines[2], "r=7 g=0 b=0 a=255"
  assert_equal 12, packed(r, production: 1).length, "debug is hidden in production"
end

test "one element that cannot be drawn leaves the rest of the frame" do
  r = booted_runtime "def tick args\nend\n"
  o = outputs_of(r)
  bad = Object.new
  def bad.x
    raise "cannot say x"
  end
  def bad.primitive_marker
    :solid
  end
  o.solids << { x: 1, y: 1, w: 1, h: 1 }
  o.solids << bad
  o.solids << { x: 2, y: 2, w: 2, h: 2 }
  before = TestSupport.pack_exception_count
  lines = packed(r)
  assert_equal 2, lines.length, lines.join("\n")
  assert_equal before + 1, TestSupport.pack_exception_count
  assert_includes read_written("logs/exceptions/current.txt").to_s, "Failed to draw"
end

test "screenshots: one command per request, the colour key from a and angle" do
  r = booted_runtime "def tick args\nend\n"
  o = outputs_of(r)
  refute r.take_screenshot
  o.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: "shots/a.png", r: 1, g: 2, b: 3, a: 255 }
  o.screenshots << { x: 5, y: 6, w: 7, h: 8, path: :key, r: 10, g: 20, b: 30, a: 0, angle: 5 }
  assert r.take_screenshot
  text = TestSupport.capture_commands { r.draw_screenshots }.split("\n")
  assert_equal 2, text.length, text.join("\n")
  assert_includes text[0], "\"shots/a.png\""
  assert_includes text[1], "\"key\""
  engine_ticks r, 1
  refute r.take_screenshot, "requests last one tick"
end

test "pixel arrays are uploaded by name and forgotten after the tick" do
  r = booted_runtime "def tick args\nend\n"
  pa = r.args.pixel_array(:dots)
  assert pa.equal?(r.args.pixel_array("dots"))
  pa.w = 2
  pa.h = 1
  pa.pixels = [0xFF0000FF]
  text = TestSupport.capture_commands { r.pixel_arrays }
  assert_includes text, "\"dots\""
  engine_ticks r, 1
  assert r.args.pixel_arrays.empty?
end

test "one-shot sounds become audio entries with keys that are not symbols" do
  r = booted_runtime <<~RUBY
    def tick args
      if args.tick_count == 0
        args.outputs.sounds << "sounds/hit.wav"
        args.outputs.sounds << { path: "sounds/music.ogg", gain: 0.5 }
        args.outputs.sounds << "notes.txt"
      end
    end
  RUBY
  engine_ticks r, 1
  audio = r.args.audio
  assert_equal [{ input: "sounds/hit.wav", gain: 1.0, playtime: 0.0 },
                { input: "sounds/music.ogg", gain: 0.5, playtime: 0.0 }], audio.values
  assert audio.keys.all? { |k| k.is_a?(String) && k.start_with?("ONE_TIME_SOUND_") }, audio.keys.inspect
  assert outputs_of(r).sounds.empty?
  assert_includes log_text, "belong in ~args.audio~"
  outputs_of(r).sounds << 42
  e = assert_raises(RuntimeError) { outputs_of(r).tick }
  assert_includes e.message, "* ERROR: I don't know how to parse 42 into a Zel::Sound."
end

test "the audio hash: volume default and clamping" do
  r = make_runtime
  a = r.args.audio
  assert a.is_a?(AudioHash)
  assert_equal 1.0, a.volume
  a.volume = 3
  assert_equal 1.0, a.volume
  a.volume = -1
  assert_equal 0.0, a.volume
end

test "Hash solids and borders packed by the walk match the runtime's draw_solid and draw_border" do
  r = booted_runtime "def tick args\nend\n"
  defaults = Hash.new(0).merge!(x: 1, y: 1, w: 2, h: 2)
  hashes = [
    { x: 1, y: 2, w: 3, h: 4 },
    { x: 1.5, y: -2, w: -3, h: 4.25, r: 10, g: 20, b: 30, a: 40, blendmode_enum: 2 },
    { x: 1, y: 2, w: 3, h: 4, a: nil, blendmode_enum: false, anchor_x: 0.5, anchor_y: 1 },
    { x: 1, y: 2, w: 3, h: 4, a: 0 },
    { x: 1, y: 2, w: 3, h: 4, a: 0.4 },
    { x: 1, y: 2, w: 3, h: 4, a: "80" },
    { x: 1, y: 2, w: 3, h: 4, a: :a },
    { x: 1, y: 2, w: 3, h: 4, r: 2**32 + 5, g: 1e20, b: -3.9 },
    { x: 1, y: 2, w: false, h: 4 },
    { x: 0, y: 0, x2: 10, y2: 0, x3: 5, y3: 5, r: 7 },
    { "x" => 5, x: 1, y: 2, w: 3, h: 4 },
    defaults,
  ]
  hashes.each do |h|
    [[:solids, :draw_solid], [:borders, :draw_border]].each do |collection, method|
      o = outputs_of(r)
      o.clear_non_static
      o.send(collection) << h
      walked = packed(r, o).reject { |l| l.start_with?("prim_end_pass") || l.start_with?("pass ") }
      direct = TestSupport.capture_primitives { r.send(method, h) }.split("\n")
      assert_equal direct, walked, "#{collection} #{h.inspect}"
    end
  end
end
