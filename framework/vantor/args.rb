# Zel::Args: the object handed to the game's tick, holding state, inputs,
# outputs, the grid and the per-tick render passes.
# args.audio: any key to a Hash describing a playing sound; the engine
# reconciles it with its sound sources after every tick.
class AudioHash < Hash
  def initialize
    super
    @volume = nil
  end

  def __default_volume__
    $zel && $zel.platform?(:ios) ? 0.4 : 1.0
  end

  # Silent in a production web build while the keyboard has no focus
  # (except on tick 0).
  def volume
    zel = $zel
    if zel && zel.production && zel.platform?(:web) && Kernel.tick_count != 0 &&
       !zel.args.inputs.keyboard.has_focus
      return 0.0
    end
    @volume || __default_volume__
  end

  def volume= value
    @volume = value.to_f.clamp(0.0, 1.0)
  end

  def sync!
    zel = $zel
    zel.update_simulation_audio_state if zel && zel.respond_to?(:update_simulation_audio_state)
  end
end

module Zel
  AudioHash = ::AudioHash

  class PixelArray
    attr_accessor :width, :height, :pixels

    def initialize
      @width = 0
      @height = 0
      @pixels = []
    end

    alias_method :w, :width
    alias_method :h, :height
    alias_method :w=, :width=
    alias_method :h=, :height=
  end

  class Args
    attr_accessor :inputs, :outputs, :state, :temp_state, :cvars, :audio, :passes, :grid,
                  :layout, :geometry, :fn, :easing, :string, :events, :runtime, :recording,
                  :wizards, :render_targets, :pixel_arrays, :render_target_sizes

    RESERVED_TARGETS = ["pixel", "solid"]

    def initialize runtime, recording
      @runtime = runtime
      @recording = recording
      @inputs = Inputs.new
      @outputs = TopLevelOutputs.new(args: self)
      @state = OpenEntity.new
      @state.tick_count = -1
      @temp_state = OpenEntity.new
      @cvars = $cvars || {}
      $cvars ||= @cvars
      @audio = AudioHash.new
      @passes = [@outputs]
      @grid = Grid.new(runtime)
      @layout = Layout.new(@grid.w, @grid.h, @grid.aspect_ratio_w, @grid.aspect_ratio_h,
                           @grid.orientation)
      $layout = @layout
      @geometry = Geometry
      @fn = Zel.const_defined?(:Fn) ? Zel::Fn : nil
      @easing = Easing
      @string = String
      @events = { resize_occurred: false, orientation_changed: false, raw: [] }
      @render_targets = {}
      @render_target_sizes = {}
      @pixel_arrays = {}
    end

    alias_method :zel, :runtime

    def tick_count
      @state.tick_count
    end

    def tick_count= value
      @state.tick_count = value
    end

    def solids
      @outputs.solids
    end

    def sprites
      @outputs.sprites
    end

    def labels
      @outputs.labels
    end

    def lines
      @outputs.lines
    end

    def borders
      @outputs.borders
    end

    def primitives
      @outputs.primitives
    end

    def static_solids
      @outputs.static_solids
    end

    def static_sprites
      @outputs.static_sprites
    end

    def static_labels
      @outputs.static_labels
    end

    def static_lines
      @outputs.static_lines
    end

    def static_borders
      @outputs.static_borders
    end

    def static_primitives
      @outputs.static_primitives
    end

    def keyboard
      @inputs.keyboard
    end

    def controller_one
      @inputs.controllers[0]
    end

    def controller_two
      @inputs.controllers[1]
    end

    def controller_three
      @inputs.controllers[2]
    end

    def controller_four
      @inputs.controllers[3]
    end

    def mouse
      @inputs.mouse
    end

    def click
      @inputs.mouse.click
    end

    # A render target declared in this tick; it is appended to passes once.
    def render_target name
      name = name.to_s
      if RESERVED_TARGETS.include? name
        raise "* ERROR: Unable to create render target with name ~#{name}~.\n" \
              "The render target name ~#{name}~ is reserved/used by Orvane.\n" \
              "Please use another name for your render target.\n"
      end
      rt = @render_targets[name]
      return rt if rt
      size = @render_target_sizes[name] || {}
      rt = RenderTargetOutputs.new(args: self, target: name, width: size[:w], height: size[:h])
      @render_targets[name] = rt
      # Render targets draw before the screen, in the order they were declared.
      if @passes.last.equal?(@outputs)
        @passes.insert(@passes.length - 1, rt)
      else
        @passes << rt
      end
      rt
    end

    def pixel_array name
      name = name.to_s
      @pixel_arrays[name] ||= PixelArray.new
    end

    # Before the game's tick (render targets and pixel arrays live one tick).
    def clear_draw_passes skip_primitives = false
      @render_targets.each_value do |rt|
        @render_target_sizes[rt.target] = { w: rt.width, h: rt.height }
      end
      @passes.each { |pass| pass.clear_draw_pass skip_primitives unless pass.equal?(@outputs) }
      @outputs.clear_draw_pass skip_primitives
      @passes.clear
      @passes << @outputs
      @render_targets.clear unless @render_targets.empty?
      @pixel_arrays.clear unless @pixel_arrays.empty?
    end

    # The audio entries before the tick, to find the ones it added.
    def tick_before
      @audio_keys_before = @audio.empty? ? nil : @audio.keys
    end

    def tick_after
      # An empty OpenEntity holds only its entity id.
      @temp_state.clear! if @temp_state.is_a?(OpenEntity) && @temp_state.as_hash.length > 1
      @temp_state = {} if @temp_state.is_a?(Hash) && !@temp_state.empty?
      @events[:resize_occurred] = false
      @events[:orientation_changed] = false
      @events[:raw] = [] unless @events[:raw].empty?
      __sync_new_audio__
    end

    def __sync_new_audio__
      return if @audio.empty?
      before = @audio_keys_before
      added = before.nil? || @audio.keys.any? { |k| !before.include?(k) }
      @audio.sync! if added
    end

    def reset
      @outputs.reset
      @audio.clear
      @passes.clear
      @passes << @outputs
      @render_targets.clear
      @render_target_sizes.clear
      @pixel_arrays.clear
      @events[:resize_occurred] = false
      @events[:orientation_changed] = false
      @events[:raw] = []
    end

    def serialize
      {
        tick_count: Kernel.tick_count,
        global_tick_count: Kernel.global_tick_count,
        state: @state,
        temp_state: @temp_state,
        grid: @grid.serialize
      }
    end

    def to_s
      "#<Zel::Args tick_count=#{Kernel.tick_count}>"
    end

    def inspect
      to_s
    end

    def method_missing name, *args, &block
      if args.length <= 1
        s = name.to_s
        h = @state.respond_to?(:as_hash) ? @state.as_hash : @state
        message = "* ERROR - :#{s} method missing on ~#{self.class.name}~."
        message += "\n** POSSIBLE SOLUTION - ~args.state.#{s}~ exists." if h.is_a?(Hash) && h.key?(name)
        raise NoMethodError.new(message, name)
      end
      super
    end
  end
end
