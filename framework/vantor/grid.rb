# The logical canvas (1280x720 points, or 720x1280 in portrait) and where it
# lies in the window. Every measure exists in points and, with _px, in pixels.
module Zel
  class Grid
    SCREEN_Y_DIRECTION = -1.0

    MEASURES = [:left, :right, :bottom, :top, :w, :h, :center_x, :center_y,
                :origin_x, :origin_y,
                :allscreen_left, :allscreen_right, :allscreen_top, :allscreen_bottom,
                :allscreen_w, :allscreen_h, :allscreen_offset_x, :allscreen_offset_y]

    MEASURES.each do |m|
      attr_accessor m
      attr_accessor "#{m}_px".to_sym
    end

    attr_accessor :allscreen_w_pt, :allscreen_h_pt, :native_scale, :render_scale,
                  :texture_scale, :texture_scale_enum, :high_dpi_scale, :origin_name,
                  :runtime, :letterbox

    def initialize runtime = nil
      @runtime = runtime
      @letterbox = true
      @native_scale = 1.0
      @render_scale = 1.0
      @high_dpi_scale = 1.0
      @texture_scale = 1.0
      @texture_scale_enum = 100
      lw = runtime ? runtime.logical_width : 1280
      lh = runtime ? runtime.logical_height : 720
      @w = lw
      @h = lh
      @w_px = lw
      @h_px = lh
      @allscreen_w = lw
      @allscreen_h = lh
      @allscreen_w_px = lw
      @allscreen_h_px = lh
      @allscreen_w_pt = lw
      @allscreen_h_pt = lh
      @allscreen_offset_x = 0
      @allscreen_offset_y = 0
      @allscreen_offset_x_px = 0
      @allscreen_offset_y_px = 0
      __set_bottom_left__
    end

    def __set_bottom_left__
      @origin_name = :bottom_left
      @left = 0.0
      @bottom = 0.0
      @right = @w
      @top = @h
      @center_x = @w.to_f / 2
      @center_y = @h.to_f / 2
      @origin_x = 0.0
      @origin_y = @h.to_f
      @left_px = 0
      @bottom_px = 0
      @right_px = @w_px
      @top_px = @h_px
      @allscreen_left = -@allscreen_offset_x
      @allscreen_bottom = -@allscreen_offset_y
      @allscreen_left_px = -@allscreen_offset_x_px
      @allscreen_bottom_px = -@allscreen_offset_y_px
      __set_allscreen_far_edges__
    end

    def __set_center__
      @origin_name = :center
      @left = -@w.to_f / 2
      @right = @w.to_f / 2
      @bottom = -@h.to_f / 2
      @top = @h.to_f / 2
      @center_x = 0.0
      @center_y = 0.0
      @origin_x = @w.to_f / 2
      @origin_y = @h.to_f / 2
      @left_px = -(@w_px / 2.0).ceil
      @bottom_px = -(@h_px / 2.0).ceil
      @right_px = @left_px + @w_px
      @top_px = @bottom_px + @h_px
      @allscreen_left = -@allscreen_offset_x - (@w / 2.0).ceil
      @allscreen_bottom = -@allscreen_offset_y - (@h / 2.0).ceil
      @allscreen_left_px = -@allscreen_offset_x_px - (@w_px / 2.0).ceil
      @allscreen_bottom_px = -@allscreen_offset_y_px - (@h_px / 2.0).ceil
      __set_allscreen_far_edges__
    end

    def __set_allscreen_far_edges__
      @allscreen_right = @allscreen_left + @allscreen_w + @allscreen_offset_x
      @allscreen_top = @allscreen_bottom + @allscreen_h + @allscreen_offset_y
      @allscreen_right_px = @allscreen_left_px + @allscreen_w_px + @allscreen_offset_x_px
      @allscreen_top_px = @allscreen_bottom_px + @allscreen_h_px + @allscreen_offset_y_px
    end

    def __send_grid__
      return unless @runtime
      @runtime.__ffi_draw_command__ :set_grid, @origin_x, @origin_y, SCREEN_Y_DIRECTION
    end

    def origin_bottom_left! force: false
      return if @origin_name == :bottom_left && !force
      __set_bottom_left__
      __send_grid__
    end

    def origin_center! force: false
      return if @origin_name == :center && !force
      __set_center__
      __send_grid__
    end

    def x
      @left
    end

    def y
      @bottom
    end

    def x_px
      @left_px
    end

    def y_px
      @bottom_px
    end

    def allscreen_x
      @allscreen_left
    end

    def allscreen_y
      @allscreen_bottom
    end

    def w_half
      @w / 2
    end

    def h_half
      @h / 2
    end

    # With the origin at the centre the point also has a zero size.
    def center
      return { x: @center_x, y: @center_y, w: 0, h: 0 } if @origin_name == :center
      { x: @center_x, y: @center_y }
    end

    def rect
      { x: @left, y: @bottom, w: @w, h: @h }
    end

    def rect_px
      { x: @left_px, y: @bottom_px, w: @w_px, h: @h_px }
    end

    def allscreen_rect
      { x: @allscreen_left, y: @allscreen_bottom, w: @allscreen_w, h: @allscreen_h }
    end

    def allscreen_rect_px
      { x: @allscreen_left_px, y: @allscreen_bottom_px, w: @allscreen_w_px, h: @allscreen_h_px }
    end

    def orientation
      @runtime ? @runtime.orientation : :landscape
    end

    def landscape?
      orientation == :landscape
    end

    def portrait?
      orientation == :portrait
    end

    def aspect_ratio_w
      landscape? ? 16 : 9
    end

    def aspect_ratio_h
      landscape? ? 9 : 16
    end

    def letterbox?
      @letterbox
    end

    def hd?
      @hd ||= Grid.__cvar_true__("game_metadata.hd")
    end

    alias_method :hd, :hd?

    def highdpi?
      @highdpi ||= Grid.__cvar_true__("game_metadata.highdpi")
    end

    alias_method :highdpi, :highdpi?

    def self.__cvar_true__ name
      return false unless $zel
      v = $zel.ffi_misc.cvar_get(name)
      v == true || v == 1
    end

    def transform_x x
      @origin_x + x
    end

    def untransform_x x
      x - @origin_x
    end

    def transform_y y
      @origin_y + y * SCREEN_Y_DIRECTION
    end

    def untransform_y y
      @origin_y + y * SCREEN_Y_DIRECTION
    end

    # The window's size changed (or the orientation flipped): the engine sends
    # the orientation's logical size, the window size, the all-screen size and
    # offsets in pixels and the scales.
    def windowevent_size_changed orientation_w, orientation_h, window_w, window_h,
                                 allscreen_w_px, allscreen_h_px,
                                 allscreen_offset_x_px, allscreen_offset_y_px,
                                 native_scale, texture_scale_enum, render_scale, high_dpi_scale
      orientation_changed = orientation_w != @w
      if orientation_changed && @runtime
        @runtime.__orientation_flipped__
      end
      @allscreen_w_pt = window_w
      @allscreen_h_pt = window_h
      @native_scale = native_scale
      @render_scale = render_scale
      @high_dpi_scale = high_dpi_scale
      @texture_scale_enum = texture_scale_enum
      @texture_scale = texture_scale_enum / 100.0
      @allscreen_w_px = allscreen_w_px
      @allscreen_h_px = allscreen_h_px
      @allscreen_offset_x_px = allscreen_offset_x_px
      @allscreen_offset_y_px = allscreen_offset_y_px
      @w = orientation_w
      @h = orientation_h
      rs = render_scale.to_f
      rs = 1.0 if rs <= 0
      @w_px = (@w * rs).ceil
      @h_px = (@h * rs).ceil
      @allscreen_w = (allscreen_w_px / rs).ceil
      @allscreen_h = (allscreen_h_px / rs).ceil
      ox = (allscreen_offset_x_px / rs).ceil
      oy = (allscreen_offset_y_px / rs).ceil
      @allscreen_offset_x = ox + (allscreen_w_px / rs - (@w + 2 * ox)).ceil
      @allscreen_offset_y = oy + (allscreen_h_px / rs - (@h + 2 * oy)).ceil
      if @origin_name == :center
        __set_center__
      else
        __set_bottom_left__
      end
      if orientation_changed
        if @origin_name == :center
          origin_center! force: true
        else
          origin_bottom_left! force: true
        end
      end
      orientation_changed
    end

    # Class-level calls (Grid.w, Grid.origin_center! ...) go to the runtime's grid.
    def self.method_missing name, *args, &block
      target = $grid
      if target && target.respond_to?(name)
        define_singleton_method(name) do |*a, &b|
          $grid.send name, *a, &b
        end
        target.send name, *args, &block
      else
        super
      end
    end

    def self.letterbox
      $grid ? $grid.letterbox : true
    end

    def self.letterbox= value
      $grid.letterbox = value if $grid
    end

    def serialize
      { w: @w, h: @h, origin_name: @origin_name, orientation: orientation }
    end

    def inspect
      serialize.to_s
    end
  end
end

Grid = Zel::Grid
