# Game controllers of players one to four: three key sets (down, held, up)
# whose labels hold the tick at which the change becomes visible, the analog
# sticks with their dead zone, and connection facts. Every label is a method
# of its own, so a game's top-level method of the same name never hides it.
module Zel
  class Controller
    include DirectionalInputHelperMethods

    LABELS = [:up, :down, :left, :right, :a, :b, :x, :y, :l1, :r1, :l2, :r2, :l3, :r3,
              :start, :select, :home, :directional_up, :directional_down,
              :directional_left, :directional_right]

    ALIASES = {
      dpad_up: :directional_up, dpad_down: :directional_down, dpad_left: :directional_left,
      dpad_right: :directional_right, up_dpad: :directional_up, down_dpad: :directional_down,
      left_dpad: :directional_left, right_dpad: :directional_right, back: :select,
      guide: :home
    }

    KNOWN = {}
    LABELS.each { |l| KNOWN[l] = l }
    ALIASES.each { |k, v| KNOWN[k] = v }

    # The engine's controller key codes.
    BUTTONS = {
      1 => :up, 2 => :down, 3 => :left, 4 => :right, 13 => :start, 14 => :b, 15 => :a,
      16 => :x, 17 => :y, 18 => :l1, 19 => :r1, 20 => :l3, 21 => :r3, 22 => :l2, 23 => :r2,
      24 => :directional_up, 25 => :directional_down, 26 => :directional_left,
      27 => :directional_right, 28 => :select, 29 => :home
    }

    ANALOG_MAX = 32767.0

    class Keys
      include DirectionalInputHelperMethods

      def initialize
        @keys = {}
      end

      LABELS.each do |l|
        define_method(l) { @keys[l] }
        define_method("#{l}=") { |v| @keys[l] = v }
      end

      ALIASES.each do |k, l|
        define_method(k) { @keys[l] }
        define_method("#{k}=") { |v| @keys[l] = v }
      end

      def [] name
        @keys[Keys.__canonical__(name)]
      end

      def []= name, value
        @keys[Keys.__canonical__(name)] = value
      end

      def self.__canonical__ name
        KNOWN[name] || KNOWN[name.to_s.to_sym] ||
          raise(NoMethodError.new("* ERROR: ~#{name}~ is not a controller key. Controller keys: " \
                                  "#{LABELS.map { |l| ":#{l}" }.join(', ')}.", name))
      end

      def set name, value
        @keys[name] = value
      end

      def clear_key name
        @keys.delete name
      end

      def clear
        @keys.clear unless @keys.empty?
      end

      def truthy_keys
        @keys.keys.select { |k| @keys[k] }
      end

      def __keys__
        @keys
      end

      def method_missing name, *args, &block
        return super unless args.empty? && !block
        @keys[Keys.__canonical__(name)]
      end

      def respond_to_missing? name, include_private = false
        KNOWN.key?(name)
      end

      def serialize
        truthy_keys
      end

      def inspect
        "#<Zel::Controller::Keys #{truthy_keys.inspect}>"
      end

      def to_s
        inspect
      end
    end

    attr_accessor :key_down, :key_up, :key_held, :connected, :name, :active, :active_at,
                  :active_global_at, :analog_dead_zone, :player,
                  :left_analog_x_raw, :left_analog_y_raw, :right_analog_x_raw, :right_analog_y_raw,
                  :left_analog_x_perc, :left_analog_y_perc, :right_analog_x_perc,
                  :right_analog_y_perc

    def initialize player = 1
      @player = player
      @key_down = Keys.new
      @key_up = Keys.new
      @key_held = Keys.new
      @connected = false
      @name = nil
      @active = false
      @analog_dead_zone = 3600
      @left_analog_x_raw = 0
      @left_analog_y_raw = 0
      @right_analog_x_raw = 0
      @right_analog_y_raw = 0
      @left_analog_x_perc = 0.0
      @left_analog_y_perc = 0.0
      @right_analog_x_perc = 0.0
      @right_analog_y_perc = 0.0
      @analog_previous = {}
    end

    # controller.a: down this tick or held.
    (LABELS + ALIASES.keys).each do |l|
      label = KNOWN[l]
      define_method(l) { (@key_down.__keys__[label] || @key_held.__keys__[label]) ? true : false }
    end

    def key_down? key
      @key_down[key]
    end

    def key_held? key
      @key_held[key]
    end

    def key_up? key
      @key_up[key]
    end

    def key_down_or_held? key
      @key_down[key] || @key_held[key]
    end

    # A press, hold or release reported by the engine (button is the engine's
    # controller key code); the label holds the tick at which the game sees it.
    def key_event kind, button
      label = BUTTONS[button.to_i]
      return nil unless label
      visible = Kernel.tick_count + 1
      case kind
      when :down
        @key_down.set label, visible
        @key_held.clear_key label
        @key_up.clear_key label
      when :held
        @key_down.clear_key label
        @key_held.set label, visible unless @key_held.__keys__[label]
        @key_up.clear_key label
      when :up
        @key_down.clear_key label
        @key_held.clear_key label
        @key_up.set label, visible
      end
      __activate__
      label
    end

    # A stick axis: the same value again changes nothing; within the dead zone
    # it reads as 0; outside it the controller is active.
    def analog axis, value
      value = value.to_i
      return false if @analog_previous[axis] == value
      @analog_previous[axis] = value
      raw = value.abs <= @analog_dead_zone ? 0 : value
      case axis
      when :left_x
        @left_analog_x_raw = raw
        @left_analog_x_perc = (raw / ANALOG_MAX).round(2)
      when :left_y
        @left_analog_y_raw = raw
        @left_analog_y_perc = (raw / ANALOG_MAX).round(2)
      when :right_x
        @right_analog_x_raw = raw
        @right_analog_x_perc = (raw / ANALOG_MAX).round(2)
      when :right_y
        @right_analog_y_raw = raw
        @right_analog_y_perc = (raw / ANALOG_MAX).round(2)
      end
      __activate__ if raw != 0
      true
    end

    def __analog_previous__ axis
      @analog_previous[axis]
    end

    def __activate__
      @active = true
      @active_at = Kernel.tick_count
      @active_global_at = Kernel.global_tick_count
    end

    def left_analog_active? threshold_perc: 0.0
      @left_analog_x_perc.abs > threshold_perc || @left_analog_y_perc.abs > threshold_perc
    end

    def right_analog_active? threshold_perc: 0.0
      @right_analog_x_perc.abs > threshold_perc || @right_analog_y_perc.abs > threshold_perc
    end

    def left_analog_angle
      return nil if @left_analog_x_raw == 0 && @left_analog_y_raw == 0
      Math.atan2(@left_analog_y_raw, @left_analog_x_raw) * 180.0 / Math::PI
    end

    def right_analog_angle
      return nil if @right_analog_x_raw == 0 && @right_analog_y_raw == 0
      Math.atan2(@right_analog_y_raw, @right_analog_x_raw) * 180.0 / Math::PI
    end

    def connect name
      @connected = true
      @name = name
    end

    def disconnect
      @connected = false
      @name = nil
    end

    # After every tick.
    def tick_after
      @key_down.clear
      @key_up.clear
      @active = false
    end

    def clear
      @key_down.clear
      @key_up.clear
      @key_held.clear
    end

    def truthy_keys
      (@key_down.truthy_keys + @key_held.truthy_keys).uniq
    end

    def method_missing name, *args, &block
      return super unless args.empty? && !block
      key_down_or_held?(name) ? true : false
    end

    def respond_to_missing? name, include_private = false
      KNOWN.key?(name)
    end

    def serialize
      { player: @player, connected: @connected, name: @name, key_down: @key_down.serialize,
        key_held: @key_held.serialize, left_analog_x_raw: @left_analog_x_raw,
        left_analog_y_raw: @left_analog_y_raw }
    end

    def inspect
      "#<Zel::Controller #{serialize}>"
    end

    def to_s
      inspect
    end
  end
end
