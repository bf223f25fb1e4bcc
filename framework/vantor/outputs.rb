# The output model: one Zel::Outputs per render pass with its primitive
# arrays. The engine reads a pass's header fields and walks these arrays after
# every tick.
module Zel
  # The typed arrays of a pass. << and push take whatever a game hands them
  # (add_dwim): nil and lone values are ignored, resolved objects (Hashes,
  # entities, structs, objects with a marker or draw_override) are appended
  # as they are, arrays of them one level flat, and an array that looks like
  # one array primitive is marked with the array's kind.
  class OutputsArray < Array
    alias_method :__push_one__, :push

    MARKING = :mark_as_solid!

    def << o
      if o.is_a?(Hash)
        __push_one__ o
      else
        add_dwim o
      end
      self
    end

    def push *items
      items.each { |o| self << o }
      self
    end

    def resolved? o
      __resolved__? o
    end

    def __resolved__? o
      case o
      when Hash, OpenEntity, Struct
        true
      else
        if o.class.method_defined?(:draw_override)
          true
        else
          m = o.primitive_marker
          !m.nil? && m != :pending
        end
      end
    end

    def add_dwim o
      $perf_counter_outputs_push_count += 1
      return self if o.nil?
      if o.is_a?(Hash) || o.is_a?(OpenEntity)
        __push_one__ o
        return self
      end
      return self if Primitive.value_type?(o)
      unless o.is_a?(Array)
        if o.is_a?(Enumerable) && !o.is_a?(Struct)
          o = o.to_a
        elsif __resolved__?(o) || o.respond_to?(:text) || o.respond_to?(:path) || o.respond_to?(:x)
          __push_one__ o
          return self
        else
          __not_a_primitive__ o
        end
      end
      return self if o.empty?
      if __resolved__?(o)
        # A marked array primitive.
        __push_one__ o
      elsif __all_resolved__? o
        concat o
      elsif __single_primitive__? o
        __push_one__ send(self.class::MARKING, o)
      else
        o.each { |i| add_dwim i }
      end
      self
    end

    # Index loops: the block forms of all? and any? cost several times more.
    def __all_resolved__? a
      i = 0
      n = a.length
      while i < n
        v = a[i]
        return false unless v.is_a?(Hash) || __resolved__?(v)
        i += 1
      end
      true
    end

    # An array whose last (or any) item is a value, whose second item is
    # three numbers or whose first is two numbers.
    def __single_primitive__? a
      i = 0
      n = a.length
      while i < n
        return true if Primitive.value_type? a[i]
        i += 1
      end
      __numbers__?(a[1], 3) || __numbers__?(a[0], 2)
    end

    def __numbers__? v, count
      return false unless v.is_a?(Array) && v.length == count
      i = 0
      while i < count
        return false unless v[i].is_a? Numeric
        i += 1
      end
      true
    end

    def __not_a_primitive__ o
      raise TypeError, "* ERROR: ~#{o.class.name}~ does not look like a rendering primitive.\n" \
                       "A rendering primitive is one of:\n" \
                       "- a Hash (~{ x: 10, y: 10, w: 50, h: 50, path: \"sprites/a.png\" }~),\n" \
                       "- an Array (~[10, 10, 50, 50, 255, 0, 0]~),\n" \
                       "- an object whose class includes ~attr_sprite~ (or defines ~primitive_marker~),\n" \
                       "- an object whose class defines ~draw_override(ffi_draw)~.\n" \
                       "#{o.inspect}"
    end

    def mark_as_solid! a
      Primitive.mark! a, :solid
    end

    def mark_as_sprite! a
      Primitive.mark! a, :sprite
    end

    def mark_as_label! a
      Primitive.mark! a, :label
    end

    def mark_as_line! a
      Primitive.mark! a, :line
    end

    def mark_as_border! a
      Primitive.mark! a, :border
    end
  end

  # primitives, reserved and debug take mixed kinds, so an array must say
  # what it is.
  class GenericOutputsArray < OutputsArray
    MARKING = :mark_assert!

    def mark_assert! a
      raise ArgumentError, "* ERROR: An array primitive added to a mixed collection must be marked explicitly:\n" \
                           "#{a.inspect}\n" \
                           "** Call ~.solid~, ~.sprite~, ~.label~, ~.line~ or ~.border~ on it " \
                           "(~[10, 10, 50, 50].solid~), and remove any leading marker symbol."
    end

    def resolved? o
      return true if __resolved__?(o) || o.is_a?(Array)
      raise ArgumentError, "I don't know how to use the above #{o.class.name} with SDL's FFI. Please\n" \
                           "add a method called ~primitive_marker~ to it that returns ~:solid~, " \
                           "~:sprite~, ~:label~, ~:line~ or ~:border~."
    end
  end

  class SolidsOutputsArray < OutputsArray; end
  class SpritesOutputsArray < OutputsArray
    MARKING = :mark_as_sprite!
  end
  class LabelsOutputsArray < OutputsArray
    MARKING = :mark_as_label!
  end
  class LinesOutputsArray < OutputsArray
    MARKING = :mark_as_line!
  end
  class BordersOutputsArray < OutputsArray
    MARKING = :mark_as_border!
  end
  class StaticSolidsOutputsArray < OutputsArray; end
  class StaticSpritesOutputsArray < OutputsArray
    MARKING = :mark_as_sprite!
  end
  class StaticLabelsOutputsArray < OutputsArray
    MARKING = :mark_as_label!
  end
  class StaticLinesOutputsArray < OutputsArray
    MARKING = :mark_as_line!
  end
  class StaticBordersOutputsArray < OutputsArray
    MARKING = :mark_as_border!
  end
  class PrimitivesOutputsArray < GenericOutputsArray; end
  class ReservedOutputsArray < GenericOutputsArray; end
  class DebugOutputsArray < GenericOutputsArray; end
  class StaticPrimitivesOutputsArray < GenericOutputsArray; end
  class StaticReservedOutputsArray < GenericOutputsArray; end
  class StaticDebugOutputsArray < GenericOutputsArray; end

  # A one-shot sound queued through outputs.sounds.
  class Sound
    attr_accessor :path, :gain

    def initialize path, gain = 1.0
      @path = path
      @gain = gain
    end

    def self.from value
      case value
      when String
        new value
      when Hash
        new((value[:path] || value[:input]).to_s, value[:gain] || 1.0)
      when Sound
        value
      else
        raise "* ERROR: I don't know how to parse #{value.inspect} into a #{name}."
      end
    end

    def inspect
      "#<Zel::Sound #{@path} gain=#{@gain}>"
    end
  end

  class Outputs
    attr_accessor :target, :width, :height, :transient, :clear_before_render, :args,
                  :solids, :sprites, :labels, :lines, :borders, :primitives, :reserved, :debug,
                  :static_solids, :static_sprites, :static_labels, :static_lines,
                  :static_borders, :static_primitives, :static_reserved, :static_debug,
                  :sounds, :screenshots, :a11y, :a11y_processed, :a11y_notification_queue

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
      @a11y_processed = {}
      @a11y_notification_queue = []
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
      self
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
        value = [value[:r], value[:g], value[:b], value[:a]]
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
        @solids.clear unless @solids.empty?
        @sprites.clear unless @sprites.empty?
        @labels.clear unless @labels.empty?
        @lines.clear unless @lines.empty?
        @borders.clear unless @borders.empty?
        @primitives.clear unless @primitives.empty?
        @debug.clear unless @debug.empty?
      end
      @reserved.clear unless @reserved.empty?
      @screenshots.clear unless @screenshots.empty?
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
      @a11y_processed.clear
      @a11y_notification_queue.clear
    end

    # After the game's tick: the size defaults to the logical canvas, the
    # queued sounds become Zel::Sounds and go to the audio Hash.
    def tick
      grid = @args ? @args.grid : nil
      @width ||= grid ? grid.w : 1280
      @height ||= grid ? grid.h : 720
      return if @sounds.empty?
      @sounds.map! { |s| Sound.from s }
      runtime = @args ? @args.runtime : nil
      runtime.dequeue_sounds self if runtime
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
