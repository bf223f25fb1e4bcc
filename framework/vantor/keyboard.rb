# The keyboard model: four key sets (down this tick, held since an earlier
# tick, released this tick, pressed or repeated this tick). A key's value is
# the tick_count at which its event arrived, or nil.
module Zel
  class KeyboardKeys
    ALIASES = {
      ctrl: :control, command: :meta, option: :alt, option_left: :alt_left,
      option_right: :alt_right, left: :left_arrow, right: :right_arrow,
      up: :up_arrow, down: :down_arrow, minus: :hyphen, dash: :hyphen,
      left_shift: :shift_left, right_shift: :shift_right,
      left_control: :control_left, right_control: :control_right,
      left_ctrl: :control_left, right_ctrl: :control_right,
      left_alt: :alt_left, right_alt: :alt_right,
      left_option: :alt_left, right_option: :alt_right,
      left_meta: :meta_left, right_meta: :meta_right,
      left_command: :meta_left, right_command: :meta_right,
      pageup: :page_up, pagedown: :page_down, backslash: :back_slash,
      forwardslash: :forward_slash, capslock: :caps_lock, scrolllock: :scroll_lock,
      numlock: :num_lock, printscreen: :print_screen, break: :pause,
      equal_sign: :equal, dollar_sign: :dollar, percent_sign: :percent,
      section_sign: :section, circumflex: :caret, less_than_sign: :less_than,
      greater_than_sign: :greater_than
    }

    attr_accessor :char, :raw_key
    attr_reader :keycodes

    def initialize
      @keys = {}
      @keycodes = {}
      @char = nil
      @raw_key = nil
    end

    def self.canonical name
      ALIASES[name] || name
    end

    def [] name
      @keys[KeyboardKeys.canonical(name)]
    end

    def []= name, value
      @keys[KeyboardKeys.canonical(name)] = value
    end

    def set names, value = Kernel.tick_count
      names = [names] unless names.is_a? Array
      names.each { |n| self[n] = value }
    end

    def clear_key name
      @keys.delete KeyboardKeys.canonical(name)
    end

    def truthy_keys
      @keys.keys.select { |k| @keys[k] }
    end

    def clear
      @keys.clear
      @keycodes.clear
      @char = nil
    end

    def empty?
      truthy_keys.empty?
    end

    def method_missing name, *args, &block
      s = name.to_s
      if args.empty? && !block && !s.end_with?('=')
        self[name]
      elsif args.length == 1 && s.end_with?('=')
        self[s[0..-2].to_sym] = args[0]
      else
        super
      end
    end

    def respond_to_missing? name, include_private = false
      true
    end
  end

  class Keyboard
    attr_accessor :key_down, :key_held, :key_up, :key_repeat, :has_focus, :active

    MODIFIER_PREFIXES = { "ctrl_" => :control, "shift_" => :shift, "alt_" => :alt, "meta_" => :meta }

    def initialize
      @key_down = KeyboardKeys.new
      @key_held = KeyboardKeys.new
      @key_up = KeyboardKeys.new
      @key_repeat = KeyboardKeys.new
      @has_focus = false
      @active = false
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

    def key_repeat? key
      @key_repeat[key]
    end

    def key_down_or_held? key
      @key_down[key] || @key_held[key]
    end

    def clear
      @key_down.clear
      @key_held.clear
      @key_up.clear
      @key_repeat.clear
    end

    # Before the game's tick: keys released last tick leave down and held.
    def tick_before
      @key_up.truthy_keys.each do |k|
        @key_down.clear_key k
        @key_held.clear_key k
      end
    end

    # After the game's tick: down becomes held; the per-tick sets empty.
    def tick_after
      tc = Kernel.tick_count
      @key_down.truthy_keys.each { |k| @key_held[k] = tc }
      @key_held.char = @key_down.char if @key_down.char
      @key_down.clear
      @key_up.clear
      @key_repeat.clear
      @active = false
    end

    def method_missing name, *args, &block
      return super unless args.empty? && !block
      s = name.to_s
      MODIFIER_PREFIXES.each do |prefix, modifier|
        next unless s.start_with?(prefix) && s.length > prefix.length
        key = s[prefix.length..-1].to_sym
        return false unless key_down_or_held?(modifier)
        return @key_down[key] ? true : false
      end
      key_down_or_held?(name) ? true : false
    end

    def respond_to_missing? name, include_private = false
      true
    end
  end
end
