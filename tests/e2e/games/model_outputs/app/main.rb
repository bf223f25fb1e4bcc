# Every form of output the model accepts, each a 20x20 square of its own
# colour in a row, captured by one screenshot at tick 5.
class Box
  attr_sprite

  def initialize x
    @x = x
    @y = 10
    @w = 20
    @h = 20
    @path = :pixel
    @r = 0
    @g = 0
    @b = 255
  end
end

class Custom
  def draw_override ffi
    ffi.draw_solid 250, 10, 20, 20, 255, 0, 255, 255
  end
end

def tick args
  o = args.outputs
  o.background_color = [0, 0, 0]
  o.solids << [10, 10, 20, 20, 255, 0, 0]                                   # array solid
  o.solids << [[40, 10, 20, 20, 0, 255, 0], [70, 10, 20, 20, 0, 0, 255]]    # two of them
  o.primitives << [100, 10, 20, 20, 255, 255, 0].solid                      # marked
  o.primitives << { x: 130, y: 10, w: 20, h: 20, r: 0, g: 255, b: 255, primitive_marker: :solid }
  o.sprites << args.state.new_entity(:sq, x: 160, y: 10, w: 20, h: 20, path: :pixel, r: 255, g: 128, b: 0)
  o.sprites << Box.new(190)
  o.sprites << [220, 10, 20, 20, :pixel, 0, 255, 128, 128, 128]             # array sprite
  o << Custom.new
  o.static_solids << [280, 10, 20, 20, 255, 255, 255] if args.tick_count == 0
  o.borders << [310, 10, 20, 20, 255, 0, 0]
  o.lines << { x: 340, y: 20, x2: 360, y2: 20, r: 0, g: 255, b: 0 }
  o.debug << [370, 10, 20, 20, 200, 100, 50].solid
  target = o[:tile]
  target.w = 20
  target.h = 20
  target.background_color = [10, 20, 30, 255]
  o.sprites << { x: 400, y: 10, w: 20, h: 20, path: :tile }
  bad = Object.new
  def bad.x
    raise "not drawable"
  end
  o.solids << bad if args.tick_count == 5
  if args.tick_count == 5
    o.screenshots << { x: 0, y: 0, w: 440, h: 40, path: "shots/model.png", r: 0, g: 0, b: 0, a: 255 }
  end
  $zel.request_quit if args.tick_count == 5
end
