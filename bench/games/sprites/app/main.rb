# Many moving sprites: N sprites kept in args.state, moved and bounced in Ruby
# every tick and drawn with one 32x32 texture. Set from the environment:
#   ORV_BENCH_N       sprite count (default 1000)
#   ORV_BENCH_MODE    hashes (default): Hashes pushed to outputs.sprites
#                     arrays:  arrays [x, y, w, h, path] pushed to outputs.sprites,
#                              their speeds in a flat array beside them
#                     attr:    objects of a class with AttrSprite pushed to outputs.sprites
#                     static:  Hashes added once to outputs.static_sprites, moved in place
#                     solids:  Hashes with a colour pushed to outputs.solids
#   ORV_BENCH_TICKS   quit after this many ticks (0: run until stopped)
#   ORV_BENCH_SHOT    take a screenshot "bench-shot.png" at this tick

class BenchSprite
  include AttrSprite
  attr_accessor :dx, :dy

  def initialize x, y, dx, dy
    @x = x
    @y = y
    @w = 32
    @h = 32
    @dx = dx
    @dy = dy
    @path = "sprites/square.png"
  end
end

def bench_env name, default
  value = $zel.ffi_misc.getenv(name)
  value.nil? || value.empty? ? default : value
end

# Positions spread over the canvas from a fixed seed, speeds of -2.5 .. 3.5
# points a tick: every run moves the same sprites the same way.
def bench_setup args
  s = args.state
  s.n = bench_env("ORV_BENCH_N", "1000").to_i
  s.mode = bench_env("ORV_BENCH_MODE", "hashes")
  s.ticks = bench_env("ORV_BENCH_TICKS", "0").to_i
  s.shot = bench_env("ORV_BENCH_SHOT", "-1").to_i
  rng = Random.new(12345)
  path = "sprites/square.png"
  s.speeds = []
  s.sprites = Array.new(s.n) do |i|
    x = rng.rand * 1248
    y = rng.rand * 688
    dx = (i % 7) - 2.5
    dy = (i % 5) - 1.5
    case s.mode
    when "arrays"
      s.speeds << dx << dy
      [x, y, 32, 32, path]
    when "attr" then BenchSprite.new(x, y, dx, dy)
    when "solids" then { x: x, y: y, w: 32, h: 32, r: 255, g: 128, b: 64, dx: dx, dy: dy }
    else { x: x, y: y, w: 32, h: 32, path: path, dx: dx, dy: dy }
    end
  end
  args.outputs.static_sprites << s.sprites if s.mode == "static"
  s.ready = true
end

def move_hashes sprites
  sprites.each do |sp|
    x = sp[:x] + sp[:dx]
    y = sp[:y] + sp[:dy]
    sp[:dx] = -sp[:dx] if x < 0 || x > 1248
    sp[:dy] = -sp[:dy] if y < 0 || y > 688
    sp[:x] = x
    sp[:y] = y
  end
end

def move_objects sprites
  sprites.each do |sp|
    x = sp.x + sp.dx
    y = sp.y + sp.dy
    sp.dx = -sp.dx if x < 0 || x > 1248
    sp.dy = -sp.dy if y < 0 || y > 688
    sp.x = x
    sp.y = y
  end
end

def move_arrays sprites, speeds
  i = 0
  sprites.each do |sp|
    x = sp[0] + speeds[i]
    y = sp[1] + speeds[i + 1]
    speeds[i] = -speeds[i] if x < 0 || x > 1248
    speeds[i + 1] = -speeds[i + 1] if y < 0 || y > 688
    sp[0] = x
    sp[1] = y
    i += 2
  end
end

def tick args
  s = args.state
  bench_setup args unless s.ready
  sprites = s.sprites
  case s.mode
  when "arrays"
    move_arrays sprites, s.speeds
    args.outputs.sprites << sprites
  when "attr"
    move_objects sprites
    args.outputs.sprites << sprites
  when "static"
    move_hashes sprites
  when "solids"
    move_hashes sprites
    args.outputs.solids << sprites
  else
    move_hashes sprites
    args.outputs.sprites << sprites
  end
  if args.tick_count == s.shot
    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: "bench-shot.png",
                                  r: 0, g: 0, b: 0, a: 255 }
  end
  $zel.request_quit if s.ticks > 0 && args.tick_count >= s.ticks
end
