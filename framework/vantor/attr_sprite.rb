# Mix-ins that make any class drawable: the attributes the packers read plus a
# primitive_marker naming the kind.
module AttrRect
  def left
    x
  end

  def right
    x + (w || 0)
  end

  def bottom
    y
  end

  def top
    y + (h || 0)
  end

  def rect
    { x: x, y: y, w: w, h: h }
  end
end

module AttrSprite
  include AttrRect

  attr_accessor :x, :y, :w, :h, :path, :angle, :a, :r, :g, :b,
                :tile_x, :tile_y, :tile_w, :tile_h,
                :flip_horizontally, :flip_vertically,
                :angle_anchor_x, :angle_anchor_y, :id, :angle_x, :angle_y, :z,
                :source_x, :source_y, :source_w, :source_h, :blendmode_enum,
                :source_x2, :source_y2, :source_x3, :source_y3,
                :x2, :y2, :x3, :y3, :anchor_x, :anchor_y,
                :r2, :g2, :b2, :a2, :r3, :g3, :b3, :a3, :scale_quality_enum

  def x1= value
    @x = value
  end

  def y1= value
    @y = value
  end

  def primitive_marker
    :sprite
  end
end

module AttrLabel
  attr_accessor :x, :y, :z, :text, :size_enum, :alignment_enum, :vertical_alignment_enum,
                :r, :g, :b, :a, :font, :blendmode_enum, :anchor_x, :anchor_y, :size_px

  def primitive_marker
    :label
  end
end

module AttrLine
  attr_accessor :x, :y, :x2, :y2, :w, :h, :r, :g, :b, :a, :blendmode_enum

  def primitive_marker
    :line
  end
end
