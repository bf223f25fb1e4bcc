# The output model: one Zel::Outputs per render pass with its primitive
# arrays. The engine reads a pass's header fields and walks these arrays after
# every tick.
module Zel
  class OutputsArray < Array
  end

  class GenericOutputsArray < Array
  end

  class SolidsOutputsArray < OutputsArray; end
  class SpritesOutputsArray < OutputsArray; end
  class LabelsOutputsArray < OutputsArray; end
  class LinesOutputsArray < OutputsArray; end
  class BordersOutputsArray < OutputsArray; end
  class StaticSolidsOutputsArray < OutputsArray; end
  class StaticSpritesOutputsArray < OutputsArray; end
  class StaticLabelsOutputsArray < OutputsArray; end
  class StaticLinesOutputsArray < OutputsArray; end
  class StaticBordersOutputsArray < OutputsArray; end
  class PrimitivesOutputsArray < GenericOutputsArray; end
  class ReservedOutputsArray < GenericOutputsArray; end
  class DebugOutputsArray < GenericOutputsArray; end
  class StaticPrimitivesOutputsArray < GenericOutputsArray; end
  class StaticReservedOutputsArray < GenericOutputsArray; end
  class StaticDebugOutputsArray < GenericOutputsArray; end

  class Outputs
    attr_accessor :target, :width, :height, :transient, :clear_before_render, :args,
                  :solids, :sprites, :labels, :lines, :borders, :primitives, :reserved, :debug,
                  :static_solids, :static_sprites, :static_labels, :static_lines,
                  :static_borders, :static_primitives, :static_reserved, :static_debug,
                  :sounds, :screenshots, :a11y

    DEFAULT_BACKGROUND = [230, 230, 230, 255]

    def initialize args: nil, target: nil, width: nil, height: nil, background_color: nil
      @args = args
      @target = target
      @width = width
      @height = height
      @transient = nil
      @clear_before_render = true
      @background_color = (background_color || self.class::DEFAULT_BACKGROUND).dup
      @solids = SolidsOutputsArray.new
      @sprites = SpritesOutputsArray.new
      @labels = LabelsOutputsArray.new
      @lines = LinesOutputsArray.new
      @borders = BordersOutputsArray.new
      @primitives = PrimitivesOutputsArray.new
      @reserved = ReservedOutputsArray.new
      @debug = DebugOutputsArray.new
      @static_solids = StaticSolidsOutputsArray.new
      @static_sprites = StaticSpritesOutputsArray.new
      @static_labels = StaticLabelsOutputsArray.new
      @static_lines = StaticLinesOutputsArray.new
      @static_borders = StaticBordersOutputsArray.new
      @static_primitives = StaticPrimitivesOutputsArray.new
      @static_reserved = StaticReservedOutputsArray.new
      @static_debug = StaticDebugOutputsArray.new
      @sounds = []
      @screenshots = SpritesOutputsArray.new
      @a11y = {}
    end

    def w
      @width
    end

    def h
      @height
    end

    def w= value
      @width = value
    end

    def h= value
      @height = value
    end

    def transient!
      @transient = true
    end

    def << value
      @primitives << value
    end

    # Black while the game is not running yet; missing green, blue and alpha
    # read as 230, 230 and 255.
    def background_color
      zel = $zel
      if zel && (zel.load_status != :ready || Kernel.global_tick_count < 0)
        return [0, 0, 0]
      end
      c = @background_color
      [c[0] || 0, c[1] || 230, c[2] || 230, c[3] || 255]
    end

    def background_color= value
      if value.is_a? Hash
        value = [value[:r], value[:g], value[:b], value[:a]].compact
      end
      @background_color = value.to_a.compact
    end

    def clear_non_static
      @background_color = self.class::DEFAULT_BACKGROUND.dup
      @clear_before_render = true
      @solids.clear
      @sprites.clear
      @labels.clear
      @lines.clear
      @borders.clear
      @primitives.clear
      @reserved.clear
      @debug.clear
      @a11y.clear
    end

    # What a pass loses at the start of every tick.
    def clear_draw_pass skip_primitives = false
      unless skip_primitives
        @solids.clear
        @sprites.clear
        @labels.clear
        @lines.clear
        @borders.clear
        @primitives.clear
        @debug.clear
      end
      @reserved.clear
      @target = nil if self.is_a?(TopLevelOutputs)
      @width = nil
      @height = nil
    end

    def clear
      clear_non_static
      @static_solids.clear
      @static_sprites.clear
      @static_labels.clear
      @static_lines.clear
      @static_borders.clear
      @static_primitives.clear
      @static_reserved.clear
      @static_debug.clear
      @sounds.clear
      @screenshots.clear
    end

    def reset
      clear
      @a11y.clear
    end

    # After the game's tick: the size defaults to the logical canvas.
    def tick
      @width ||= $args ? $args.grid.w : 1280
      @height ||= $args ? $args.grid.h : 720
    end

    def [] name
      @args.render_target name
    end

    def render_target name
      @args.render_target name
    end

    def serialize
      { target: @target, width: @width, height: @height, background_color: @background_color }
    end

    def inspect
      "#<#{self.class.name} target=#{@target.inspect}>"
    end

    def to_s
      inspect
    end
  end

  class TopLevelOutputs < Outputs
  end

  class RenderTargetOutputs < Outputs
    DEFAULT_BACKGROUND = [255, 255, 255, 0]

    def initialize args: nil, target: nil, width: nil, height: nil, background_color: nil
      super(args: args, target: target, width: width, height: height,
            background_color: background_color)
      @transient = true
    end
  end
end

ZelTopLevelOutputs = Zel::TopLevelOutputs
