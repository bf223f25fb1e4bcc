# The row and column layout grid lives in Zel::Layout; the runtime creates one
# per args and keeps it told about the grid after every tick.
# FIXME: rows, columns and rect computations of the layout grid.
module Zel
  class Layout
    attr_reader :w, :h, :aspect_ratio_w, :aspect_ratio_h, :orientation, :origin_name

    def initialize w, h, aspect_ratio_w, aspect_ratio_h, orientation
      @w = w
      @h = h
      @aspect_ratio_w = aspect_ratio_w
      @aspect_ratio_h = aspect_ratio_h
      @orientation = orientation
      @origin_name = :bottom_left
    end

    def tick_after rect, aspect_ratio_w, aspect_ratio_h, orientation, origin_name
      @w = rect[:w]
      @h = rect[:h]
      @aspect_ratio_w = aspect_ratio_w
      @aspect_ratio_h = aspect_ratio_h
      @orientation = orientation
      @origin_name = origin_name
    end

    def reset
    end

    def self.orientation_changed!
      $layout.reset if $layout
    end
  end
end

Layout = Zel::Layout
