# Drawable primitives: primitive_marker for Hashes, and arrays used as
# primitives. An array pushed as a primitive is marked by extending it with
# its kind's module, which gives positional accessors (solid.r is solid[4]) and
# the marker the engine asks for.
module Zel
  module Primitive
    VALUE_TYPES = [Numeric, String, Symbol, TrueClass, FalseClass]

    def self.value_type? o
      case o
      when Numeric, String, Symbol, true, false
        true
      else
        false
      end
    end

    def self.__accessors__ mod, names_to_index
      names_to_index.each do |name, index|
        mod.send(:define_method, name) { self[index] }
        mod.send(:define_method, "#{name}=") { |v| self[index] = v }
      end
    end

    # Each kind's module carries all of its methods itself (no included
    # modules): extending an array with a module that includes others costs
    # one link per module, for every array marked.
    def self.__point__ mod
      __accessors__ mod, { x: 0, y: 1 }
    end

    def self.__rect__ mod
      __accessors__ mod, { w: 2, h: 3 }
      mod.send(:define_method, :left) { self[0] }
      mod.send(:define_method, :bottom) { self[1] }
      mod.send(:define_method, :right) { (self[0] || 0) + (self[2] || 0) }
      mod.send(:define_method, :top) { (self[1] || 0) + (self[3] || 0) }
      mod.send(:define_method, :rect) { { x: self[0], y: self[1], w: self[2], h: self[3] } }
    end

    # Colour at 4..7; an array holding a text at 4 looks like a sprite and
    # reads black and opaque.
    def self.__color__ mod
      [[:r, 4], [:g, 5], [:b, 6]].each do |name, index|
        mod.send(:define_method, name) { self[4].is_a?(String) ? 0 : self[index] }
        mod.send(:define_method, "#{name}=") { |v| self[index] = v }
      end
      mod.send(:define_method, :a) { self[4].is_a?(String) ? 255 : self[7] }
      mod.send(:define_method, :a=) { |v| self[7] = v }
    end

    def self.__marker__ mod, marker
      mod.send(:define_method, :primitive_marker) { marker }
    end

    module Common
      Primitive.__marker__ self, :pending
    end

    module Point
      Primitive.__point__ self
    end

    module Rect
      Primitive.__rect__ self
    end

    module Color
      Primitive.__color__ self
    end

    [:Solid, :Border].each do |name|
      mod = Module.new
      const_set name, mod
      __point__ mod
      __rect__ mod
      __color__ mod
      __accessors__ mod, { blendmode_enum: 8, anchor_x: 9, anchor_y: 10 }
      __marker__ mod, name == :Solid ? :solid : :border
    end

    module Sprite
      Primitive.__point__ self
      Primitive.__rect__ self
      # Braces: the interpreter drops all but the last pairs of a call
      # with more than fifteen bare key-value arguments.
      Primitive.__accessors__ self, {
        path: 4, angle: 5, a: 6, r: 7, g: 8, b: 9, tile_x: 10, tile_y: 11, tile_w: 12,
        tile_h: 13, flip_horizontally: 14, flip_vertically: 15, angle_anchor_x: 16,
        angle_anchor_y: 17, source_x: 18, source_y: 19, source_w: 20, source_h: 21,
        blendmode_enum: 22, anchor_x: 23, anchor_y: 24 }
      Primitive.__marker__ self, :sprite
    end

    # Labels: [x, y, text], then size and alignment with 4, 5 or 8+ items,
    # or straight to the colour with 6 or 7.
    module Label
      Primitive.__point__ self
      Primitive.__accessors__ self, { text: 2 }

      def __short_colour__
        length == 6 || length == 7
      end

      def size_enum
        __short_colour__ ? nil : self[3]
      end

      def alignment_enum
        __short_colour__ ? nil : self[4]
      end

      [[:r, 5, 3], [:g, 6, 4], [:b, 7, 5], [:a, 8, 6]].each do |name, long, short|
        define_method(name) { self[__short_colour__ ? short : long] }
        define_method("#{name}=") { |v| self[__short_colour__ ? short : long] = v }
      end

      def size_enum= v
        self[3] = v
      end

      def alignment_enum= v
        self[4] = v
      end

      Primitive.__accessors__ self, { font: 9, vertical_alignment_enum: 10, blendmode_enum: 11,
                                      anchor_x: 12, anchor_y: 13 }
      Primitive.__marker__ self, :label
    end

    # Lines: [x, y, x2, y2, r, g, b, a, blendmode_enum].
    module Line
      Primitive.__point__ self
      Primitive.__accessors__ self, { x2: 2, y2: 3, r: 4, g: 5, b: 6, a: 7, blendmode_enum: 8 }
      Primitive.__marker__ self, :line
    end

    module Triangle
      Primitive.__point__ self
      Primitive.__accessors__ self, { x2: 2, y2: 3, x3: 4, y3: 5, r: 6, g: 7, b: 8, a: 9,
                                      path: 10 }
      Primitive.__marker__ self, :triangle
    end

    KINDS = { solid: Solid, border: Border, sprite: Sprite, label: Label, line: Line,
              triangle: Triangle }

    @call_sites = {}
    @hash_warning_shown = false

    # Marks array as a primitive of kind (flattening nested arrays and taking
    # the values of Hashes inside it first) and returns it.
    def self.mark! array, kind, method_name = kind
      if array.frozen?
        raise "* ERROR: ~#{method_name}~ cannot mark a frozen array as a primitive:\n" \
              "#{array.inspect}\n" \
              "** Use a copy of the array (~array.dup.#{method_name}~) instead."
      end
      i = 0
      n = array.length
      while i < n
        v = array[i]
        if v.is_a?(Array) || v.is_a?(Hash)
          __flatten__ array
          break
        end
        i += 1
      end
      __warn_call_site__ if $warn_array_primitives
      $perf_counter_primitive_is_array += 1 if $perf_counter_primitive_is_array
      array.extend KINDS[kind]
    end

    def self.__flatten__ array
      hashes = false
      flat = []
      stack = array.reverse
      until stack.empty?
        item = stack.pop
        if item.is_a? Array
          item.reverse_each { |i| stack << i }
        elsif item.is_a? Hash
          hashes = true
          item.values.reverse_each { |i| stack << i }
        else
          flat << item
        end
      end
      array.replace flat
      if hashes && !@hash_warning_shown
        @hash_warning_shown = true
        $zel.log_info "* IMPORTANT: Array primitive that contains hashes was detected.\n" \
                      "** The values of the hashes were used in their order. Use a Hash " \
                      "primitive (~{ x: 10, y: 10, w: 50, h: 50 }~) instead." if $zel
      end
    end

    def self.__warn_call_site__
      trace = (caller || [])
      site = trace.find { |l| !l.include?("vantor/") } || trace[0]
      return if @call_sites[site]
      @call_sites[site] = true
      $zel.log_info "* ARRAY PRIMITIVE DETECTED AT:\n" + trace.first(8).join("\n") if $zel
    end

    # .solid, .sprite, .label, .line, .border on arrays.
    module ConversionCapabilities
      def solid
        Primitive.mark! self, :solid
      end

      def sprite
        Primitive.mark! self, :sprite
      end

      def label
        Primitive.mark! self, :label
      end

      def line
        Primitive.mark! self, :line
      end

      def border
        Primitive.mark! self, :border
      end

      def triangle
        Primitive.mark! self, :triangle
      end

      def solid!
        solid
      end

      def sprite!
        sprite
      end

      def label!
        label
      end

      def line!
        line
      end

      def border!
        border
      end
    end
  end
end

class Array
  include Zel::Primitive::ConversionCapabilities
end

class Hash
  # The kind a Hash draws as: its :primitive_marker, else what its keys say.
  def primitive_marker
    m = self[:primitive_marker]
    return m if m
    return :label if key? :text
    return :sprite if key? :path
    return :solid if key? :x3
    return :line if key? :x2
    nil
  end
end
