# The keyboard model: four key sets (down this tick, held since an earlier
# tick, released this tick, pressed or repeated this tick). A key's value is
# the tick_count current when its event arrived (truthy), or nil/false.
#
# Every key name and alias is a method of its own on the key sets and on the
# keyboard, so a game's top-level method of the same name (a public method of
# every object) never hides a key.
module Zel
  # Direction helpers shared by the keyboard, its key sets, the controllers
  # and the inputs: left/right/up/down must be answered by the includer.
  module DirectionalInputHelperMethods
    def left_right
      if left
        -1
      elsif right
        1
      else
        0
      end
    end

    def up_down
      if up
        1
      elsif down
        -1
      else
        0
      end
    end

    DIAGONAL = Math.sqrt(0.5)

    def directional_vector
      lr = left_right
      ud = up_down
      return nil if lr == 0 && ud == 0
      return { x: lr * DIAGONAL, y: ud * DIAGONAL } if lr != 0 && ud != 0
      { x: lr, y: ud }
    end

    def directional_angle
      v = directional_vector
      return nil unless v
      Math.atan2(v[:y], v[:x]) * 180.0 / Math::PI
    end
  end

  class KeyboardKeys
    include DirectionalInputHelperMethods

    KEY_NAMES = [
      :a, :b, :c, :d, :e, :f, :g, :h, :i, :j, :k, :l, :m, :n, :o, :p, :q, :r, :s, :t,
      :u, :v, :w, :x, :y, :z,
      :zero, :one, :two, :three, :four, :five, :six, :seven, :eight, :nine,
      :f1, :f2, :f3, :f4, :f5, :f6, :f7, :f8, :f9, :f10, :f11, :f12,
      :exclamation_point, :at, :hash, :dollar, :percent, :caret, :ampersand, :asterisk,
      :open_round_brace, :close_round_brace, :open_curly_brace, :close_curly_brace,
      :open_square_brace, :close_square_brace, :colon, :semicolon, :plus, :equal, :hyphen,
      :underscore, :pipe, :question_mark, :less_than, :greater_than, :tilde, :backtick,
      :double_quotation_mark, :single_quotation_mark, :period, :comma, :forward_slash,
      :back_slash, :space, :section, :ordinal_indicator, :superscript_two,
      :backspace, :delete, :escape, :enter, :tab, :caps_lock, :print_screen, :scroll_lock,
      :pause, :insert, :home, :end, :page_up, :page_down,
      :left_arrow, :right_arrow, :up_arrow, :down_arrow, :num_lock,
      :kp_divide, :kp_multiply, :kp_minus, :kp_plus, :kp_enter,
      :kp_zero, :kp_one, :kp_two, :kp_three, :kp_four, :kp_five, :kp_six, :kp_seven,
      :kp_eight, :kp_nine, :kp_period, :kp_equals,
      :shift, :control, :alt, :meta, :shift_left, :shift_right, :control_left,
      :control_right, :alt_left, :alt_right, :meta_left, :meta_right,
      :ac_search, :ac_home, :ac_back, :ac_forward, :ac_stop, :ac_refresh, :ac_bookmarks,
      :w_scancode, :a_scancode, :s_scancode, :d_scancode
    ]

    ALIASES = {
      ctrl: :control, command: :meta, option: :alt, option_left: :alt_left,
      option_right: :alt_right, minus: :hyphen, dash: :hyphen,
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

    # The arrows, also answered by the W, A, S, D scan-code keys.
    DIRECTIONS = { left: [:left_arrow, :a_scancode], right: [:right_arrow, :d_scancode],
                   up: [:up_arrow, :w_scancode], down: [:down_arrow, :s_scancode] }

    KNOWN = {}
    KEY_NAMES.each { |k| KNOWN[k] = k }
    ALIASES.each { |k, v| KNOWN[k] = v }
    DIRECTIONS.each_key { |k| KNOWN[k] = DIRECTIONS[k][0] }

    # Characters of the codes below 256 by name; the codes of the platform
    # library's named keys (its scan code with bit 30 set).
    CHAR_NAMES = {
      "!" => :exclamation_point, "@" => :at, "#" => :hash, "$" => :dollar, "%" => :percent,
      "^" => :caret, "&" => :ampersand, "*" => :asterisk, "(" => :open_round_brace,
      ")" => :close_round_brace, "{" => :open_curly_brace, "}" => :close_curly_brace,
      "[" => :open_square_brace, "]" => :close_square_brace, ":" => :colon, ";" => :semicolon,
      "+" => :plus, "=" => :equal, "-" => :hyphen, "_" => :underscore, "|" => :pipe,
      "?" => :question_mark, "<" => :less_than, ">" => :greater_than, "~" => :tilde,
      "`" => :backtick, "\"" => :double_quotation_mark, "'" => :single_quotation_mark,
      "." => :period, "," => :comma, "/" => :forward_slash, "\\" => :back_slash, " " => :space,
      "§" => :section, "º" => :ordinal_indicator, "²" => :superscript_two,
      "0" => :zero, "1" => :one, "2" => :two, "3" => :three, "4" => :four, "5" => :five,
      "6" => :six, "7" => :seven, "8" => :eight, "9" => :nine
    }
    ("a".."z").each { |c| CHAR_NAMES[c] = c.to_sym }
    ("a".."z").each { |c| CHAR_NAMES[c.upcase] = c.to_sym }

    CONTROL_CODES = { 8 => :backspace, 9 => :tab, 13 => :enter, 27 => :escape, 127 => :delete }

    SPECIAL_CHARS = { 178 => "²", 167 => "§", 186 => "º" }

    US_SHIFT = {
      "`" => "~", "-" => "_", "'" => "\"", "1" => "!", "2" => "@", "3" => "#", "4" => "$",
      "5" => "%", "6" => "^", "7" => "&", "8" => "*", "9" => "(", "0" => ")", ";" => ":",
      "=" => "+", "[" => "{", "]" => "}", "\\" => "|", "/" => "?", "." => ">", "," => "<"
    }
    SHIFTED_NAMES = {}
    US_SHIFT.each_value { |c| SHIFTED_NAMES[CHAR_NAMES[c]] = true }

    SCANCODE_MASK = 1 << 30
    NAMED_CODES = {}
    {
      57 => :caps_lock, 70 => :print_screen, 71 => :scroll_lock, 72 => :pause, 73 => :insert,
      74 => :home, 75 => :page_up, 77 => :end, 78 => :page_down, 79 => :right_arrow,
      80 => :left_arrow, 81 => :down_arrow, 82 => :up_arrow, 83 => :num_lock,
      84 => :kp_divide, 85 => :kp_multiply, 86 => :kp_minus, 87 => :kp_plus, 88 => :kp_enter,
      89 => :kp_one, 90 => :kp_two, 91 => :kp_three, 92 => :kp_four, 93 => :kp_five,
      94 => :kp_six, 95 => :kp_seven, 96 => :kp_eight, 97 => :kp_nine, 98 => :kp_zero,
      99 => :kp_period, 103 => :kp_equals,
      224 => :control_left, 225 => :shift_left, 226 => :alt_left, 227 => :meta_left,
      228 => :control_right, 229 => :shift_right, 230 => :alt_right, 231 => :meta_right,
      268 => :ac_search, 269 => :ac_home, 270 => :ac_back, 271 => :ac_forward, 272 => :ac_stop,
      273 => :ac_refresh, 274 => :ac_bookmarks
    }.each { |scancode, name| NAMED_CODES[scancode | SCANCODE_MASK] = name }
    12.times { |i| NAMED_CODES[(58 + i) | SCANCODE_MASK] = "f#{i + 1}".to_sym }

    # Modifier bits and the key names of the modifier keys.
    MODIFIER_GROUPS = [[:alt, 256 | 512], [:meta, 1024 | 2048], [:control, 64 | 128],
                       [:shift, 1 | 2]]
    MODIFIER_KEYS = {
      shift_left: :shift, shift_right: :shift, control_left: :control,
      control_right: :control, alt_left: :alt, alt_right: :alt, meta_left: :meta,
      meta_right: :meta
    }

    SCANCODE_NAMES = { 26 => :w_scancode, 4 => :a_scancode, 22 => :s_scancode, 7 => :d_scancode }

    def self.shift_held? modifier
      (modifier.to_i & 3) != 0
    end

    # The character a key code types: the code's own character below 256
    # (178, 167 and 186 are "²", "§" and "º"), shifted by the US layout while
    # Shift is held; nil for the named keys.
    def self.char_to_s raw_key, modifier = 0
      code = raw_key.to_i
      return nil if code < 32 || code >= 256 || code == 127
      c = SPECIAL_CHARS[code] || code.chr
      return c unless shift_held?(modifier)
      US_SHIFT[c] || (c >= "a" && c <= "z" ? c.upcase : c)
    end

    # Key names of a code, without the modifier groups.
    def self.code_names raw_key, modifier = 0
      code = raw_key.to_i
      named = CONTROL_CODES[code] || NAMED_CODES[code]
      if named
        group = MODIFIER_KEYS[named]
        return group ? [named, group] : [named]
      end
      c = char_to_s(code, modifier)
      name = c && CHAR_NAMES[c]
      name ? [name] : []
    end

    def self.modifier_names modifier
      m = modifier.to_i
      names = []
      MODIFIER_GROUPS.each { |name, bits| names << name if (m & bits) != 0 }
      names
    end

    def self.modifier_key? raw_key
      named = NAMED_CODES[raw_key.to_i]
      named ? MODIFIER_KEYS.key?(named) : false
    end

    # The names a key event carries: its character's (or code's) names plus
    # :alt, :meta, :control and :shift for each modifier group held.
    def self.sdl_to_key raw_key, modifier
      names = code_names(raw_key, modifier)
      modifier_names(modifier).each { |n| names << n unless names.include? n }
      names
    end

    def self.canonical name
      KNOWN[name]
    end

    def self.key_names
      KEY_NAMES
    end

    attr_accessor :char, :raw_key
    attr_reader :keycodes

    def initialize
      @keys = {}
      @keycodes = {}
      @char = nil
      @raw_key = nil
    end

    KEY_NAMES.each do |k|
      define_method(k) { @keys[k] }
      define_method("#{k}=") { |v| @keys[k] = v }
    end

    ALIASES.each do |k, canon|
      define_method(k) { @keys[canon] }
      define_method("#{k}=") { |v| @keys[canon] = v }
    end

    DIRECTIONS.each do |k, (arrow, scancode)|
      define_method(k) { @keys[arrow] || @keys[scancode] }
      define_method("#{k}=") { |v| @keys[arrow] = v }
    end

    def [] name
      @keys[__canonical__(name)]
    end

    def []= name, value
      @keys[__canonical__(name)] = value
    end

    def __canonical__ name
      KNOWN[name] || KNOWN[name.to_s.to_sym] || raise(__unknown_key_error__(name))
    end

    def __unknown_key_error__ name
      s = name.to_s
      similar = KNOWN.keys.select { |k| k.to_s[0, 2] == s[0, 2] }
      message = "* ERROR: The key ~#{s}~ is not a key name.\n"
      message += "** Did you mean: #{similar.map { |k| ":#{k}" }.join(', ')}?\n" unless similar.empty?
      message += "** All key names: #{KEY_NAMES.map { |k| ":#{k}" }.join(', ')}\n"
      NoMethodError.new(message, name)
    end

    # Sets every name to value (the current tick_count by default).
    def set names, value = Kernel.tick_count
      names = [names] unless names.is_a? Array
      names.each { |n| @keys[__canonical__(n)] = value }
      self
    end

    def clear_key name
      @keys.delete __canonical__(name)
    end

    def truthy_keys
      @keys.keys.select { |k| @keys[k] }
    end

    def key? name
      @keys[__canonical__(name)] ? true : false
    end

    def clear
      @keys.clear unless @keys.empty?
      @keycodes.clear unless @keycodes.empty?
      @char = nil
      @raw_key = nil
    end

    def empty?
      @keys.each_value { |v| return false if v }
      true
    end

    def __keys__
      @keys
    end

    def method_missing name, *args, &block
      s = name.to_s
      if s.end_with?('=') && args.length == 1
        @keys[__canonical__(s[0..-2].to_sym)] = args[0]
      elsif args.empty? && !block
        @keys[__canonical__(name)]
      else
        super
      end
    end

    def respond_to_missing? name, include_private = false
      KNOWN.key?(name)
    end

    def serialize
      { keys: truthy_keys, char: @char, raw_key: @raw_key }
    end

    def inspect
      "#<Zel::KeyboardKeys #{truthy_keys.inspect}>"
    end

    def to_s
      inspect
    end
  end

  class Keyboard
    include DirectionalInputHelperMethods

    attr_accessor :key_down, :key_held, :key_up, :key_repeat, :has_focus, :active

    MODIFIER_PREFIXES = [["ctrl_", :control], ["control_", :control], ["shift_", :shift],
                         ["alt_", :alt], ["option_", :alt], ["meta_", :meta], ["command_", :meta]]

    def initialize
      @key_down = KeyboardKeys.new
      @key_held = KeyboardKeys.new
      @key_up = KeyboardKeys.new
      @key_repeat = KeyboardKeys.new
      @has_focus = false
      @active = false
    end

    # keyboard.a: the key is down this tick or held.
    (KeyboardKeys::KEY_NAMES + KeyboardKeys::ALIASES.keys).each do |k|
      canon = KeyboardKeys.canonical(k)
      define_method(k) { (@key_down.__keys__[canon] || @key_held.__keys__[canon]) ? true : false }
    end

    KeyboardKeys::DIRECTIONS.each do |k, (arrow, scancode)|
      define_method(k) do
        d = @key_down.__keys__
        h = @key_held.__keys__
        (d[arrow] || h[arrow] || d[scancode] || h[scancode]) ? true : false
      end
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

    def char
      @key_down.char || @key_held.char
    end

    def truthy_keys
      (@key_down.truthy_keys + @key_held.truthy_keys).uniq
    end

    def clear
      @key_down.clear
      @key_held.clear
      @key_up.clear
      @key_repeat.clear
    end

    # A key press from the platform: names newly down go to key_down, every
    # name to key_repeat (auto-repeats included).
    def key_down_raw raw_key, modifier
      tc = Kernel.tick_count
      names = KeyboardKeys.sdl_to_key(raw_key, modifier)
      if KeyboardKeys.shift_held?(modifier) && !KeyboardKeys.modifier_key?(raw_key)
        KeyboardKeys.code_names(raw_key, 0).each { |n| names << n unless names.include? n }
      end
      down = @key_down.__keys__
      held = @key_held.__keys__
      repeat = @key_repeat.__keys__
      names.each do |n|
        down[n] = tc unless down[n] || held[n]
        repeat[n] = tc
      end
      # A release earlier between the same two ticks is undone by a new press.
      up = @key_up.__keys__
      names.each { |n| up.delete n } unless up.empty?
      @key_up.keycodes.delete raw_key
      @key_down.keycodes[raw_key] = tc unless @key_held.keycodes[raw_key]
      @key_repeat.keycodes[raw_key] = tc
      c = KeyboardKeys.char_to_s(raw_key, modifier)
      @key_down.char = c
      @key_repeat.char = c
      @key_down.raw_key = raw_key
      @key_repeat.raw_key = raw_key
      @active = true
      names
    end

    # A release: the key's names (and its unshifted form); releasing Shift
    # also releases the shifted forms of the keys still down; the modifier
    # groups still held are not released.
    def key_up_raw raw_key, modifier
      tc = Kernel.tick_count
      names = KeyboardKeys.code_names(raw_key, modifier)
      KeyboardKeys.code_names(raw_key, 0).each { |n| names << n unless names.include? n }
      if KeyboardKeys.modifier_key?(raw_key)
        group = KeyboardKeys::MODIFIER_KEYS[KeyboardKeys::NAMED_CODES[raw_key.to_i]]
        if group == :shift
          [@key_down.__keys__, @key_held.__keys__].each do |keys|
            keys.each { |k, v| names << k if v && KeyboardKeys::SHIFTED_NAMES[k] && !names.include?(k) }
          end
        end
      end
      still_held = KeyboardKeys.modifier_names(modifier)
      up = @key_up.__keys__
      names.each { |n| up[n] = tc unless still_held.include? n }
      @key_up.keycodes[raw_key] = tc
      @key_up.char = KeyboardKeys.char_to_s(raw_key, modifier)
      @key_up.raw_key = raw_key
      names
    end

    def scancode_down_raw scancode, modifier
      name = KeyboardKeys::SCANCODE_NAMES[scancode.to_i]
      return nil unless name
      tc = Kernel.tick_count
      @key_down.__keys__[name] = tc unless @key_down.__keys__[name] || @key_held.__keys__[name]
      @key_repeat.__keys__[name] = tc
      @key_up.__keys__.delete name
      @active = true
      name
    end

    def scancode_up_raw scancode, modifier
      name = KeyboardKeys::SCANCODE_NAMES[scancode.to_i]
      return nil unless name
      @key_up.__keys__[name] = Kernel.tick_count
      name
    end

    # Before the game's tick: keys released since the last tick leave held
    # (a key pressed and released between the same two ticks stays in
    # key_down for this one tick, together with key_up); false entries and
    # released codes leave the code tables.
    def tick_before
      up = @key_up.__keys__
      unless up.empty?
        held = @key_held.__keys__
        up.each { |k, v| held.delete k if v }
      end
      [@key_down.keycodes, @key_held.keycodes].each do |codes|
        next if codes.empty?
        codes.keys.each { |c| codes.delete c unless codes[c] }
      end
      up_codes = @key_up.keycodes
      up_codes.each_key { |c| @key_held.keycodes.delete c } unless up_codes.empty?
    end

    # After the game's tick: down becomes held (unless it was also released),
    # the per-tick sets empty.
    def tick_after
      down = @key_down.__keys__
      up = @key_up.__keys__
      unless down.empty?
        tc = Kernel.tick_count
        held = @key_held.__keys__
        down.each { |k, v| held[k] = tc if v && !up[k] }
        codes = @key_held.keycodes
        up_codes = @key_up.keycodes
        @key_down.keycodes.each { |c, v| codes[c] = tc if v && !up_codes[c] }
      end
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
        next unless KeyboardKeys::KNOWN.key?(key)
        return false unless key_down_or_held?(modifier)
        return @key_down[key] ? true : false
      end
      key_down_or_held?(name) ? true : false
    end

    def respond_to_missing? name, include_private = false
      s = name.to_s
      return true if KeyboardKeys::KNOWN.key?(name)
      MODIFIER_PREFIXES.any? do |prefix, _|
        s.start_with?(prefix) && KeyboardKeys::KNOWN.key?(s[prefix.length..-1].to_sym)
      end
    end

    def serialize
      { key_down: @key_down.serialize, key_held: @key_held.serialize, key_up: @key_up.serialize,
        has_focus: @has_focus }
    end

    def inspect
      "#<Zel::Keyboard down=#{@key_down.truthy_keys.inspect} held=#{@key_held.truthy_keys.inspect}>"
    end

    def to_s
      inspect
    end
  end
end
