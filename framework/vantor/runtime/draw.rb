# What the engine asks the runtime for after every tick to pack the scene: the
# render passes and their header fields, pixel arrays, screenshots and sounds,
# and the drawing of the objects its packers do not read directly (solids,
# borders, array primitives, mixed collections) through FFI::Draw.
module Zel
  class Runtime
    module Draw
      # Render targets declared this tick, then the screen's outputs.
      def passes
        ps = @args.passes
        ps << @args.outputs unless ps.last.equal?(@args.outputs)
        ps
      rescue Exception => e
        log_error "* ERROR: Reading the render passes failed."
        pretty_print_exception_and_export! e
        pause!
        []
      end

      def target pass
        pass ? pass.target : nil
      end

      def render_width pass
        pass ? (pass.width || 0) : 0
      end

      def render_height pass
        pass ? (pass.height || 0) : 0
      end

      def render_transient pass
        pass ? (pass.transient ? true : false) : false
      end

      def take_screenshot
        !@args.outputs.screenshots.empty?
      end

      def pixel_arrays
        @args.pixel_arrays.each do |name, pa|
          __ffi_draw_command__ :upload_pixel_array, name, pa.width, pa.height, pa.pixels
        end
        nil
      end

      # Every screenshot request of this tick: path, rectangle, colour key
      # (r, g, b with a 0 and a tolerance given as angle).
      def draw_screenshots
        grid = @args.grid
        @args.outputs.screenshots.each do |s|
          v = __primitive_values__ s, SCREENSHOT_NAMES, :screenshot
          path = v[0]
          next unless path
          path = path.to_s
          @ffi_draw.draw_screenshot path, v[1] || 0, v[2] || 0, v[3] || grid.w, v[4] || grid.h,
                                    v[5] || 0, v[6] || 255, v[7] || 0, v[8] || 0, v[9] || 0
        end
        nil
      end

      # One-shot sounds of a pass become entries of args.audio (under keys
      # that are freed with the entry) and leave the pass.
      def dequeue_sounds pass
        return nil unless pass
        sounds = pass.sounds
        return nil if sounds.empty?
        audio = @args.audio
        sounds.each do |sound|
          sound = Sound.from sound
          path = sound.path.to_s
          if path.end_with?(".ogg") || path.end_with?(".mp3")
            unless @looping_sound_hint_shown
              @looping_sound_hint_shown = true
              log_info "* INFO: ~args.outputs.sounds~ plays #{path} once. Music and looping tracks " \
                       "belong in ~args.audio~ (~args.audio[:music] = { input: \"#{path}\", " \
                       "looping: true }~)."
            end
          elsif !path.end_with?(".wav")
            next
          end
          @one_time_sound_count = (@one_time_sound_count || 0) + 1
          audio["ONE_TIME_SOUND_#{@one_time_sound_count}"] =
            { input: path, gain: (sound.gain || 1.0).to_f, playtime: 0.0 }
        end
        sounds.clear
        nil
      end

      # Sends one command to the engine's FFI::Draw object; commands whose
      # natives this build lacks are skipped.
      def __ffi_draw_command__ name, *args
        return nil unless @ffi_draw.respond_to? name
        @ffi_draw.send name, *args
      end

      # ------------------------------------------------ drawing by method calls

      SOLID_NAMES = [:x, :y, :w, :h, :r, :g, :b, :a, :blendmode_enum, :anchor_x, :anchor_y]
      TRIANGLE_NAMES = [:x, :y, :x2, :y2, :x3, :y3, :r, :g, :b, :a, :path,
                        :source_x, :source_y, :source_x2, :source_y2, :source_x3, :source_y3,
                        :blendmode_enum, :r2, :g2, :b2, :a2, :r3, :g3, :b3, :a3]
      SPRITE_NAMES = [:x, :y, :w, :h, :path, :angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w,
                      :tile_h, :flip_horizontally, :flip_vertically, :angle_anchor_x,
                      :angle_anchor_y, :source_x, :source_y, :source_w, :source_h,
                      :blendmode_enum, :anchor_x, :anchor_y, :scale_quality_enum]
      SPRITE_TRIANGLE_NAMES = SPRITE_NAMES + [:x2, :y2, :x3, :y3, :source_x2, :source_y2,
                                              :source_x3, :source_y3, :r2, :g2, :b2, :a2, :r3,
                                              :g3, :b3, :a3]
      LABEL_NAMES = [:x, :y, :text, :size_enum, :alignment_enum, :r, :g, :b, :a, :font,
                     :vertical_alignment_enum, :blendmode_enum, :size_px, :anchor_x, :anchor_y]
      LINE_NAMES = [:x, :y, :x2, :y2, :r, :g, :b, :a, :blendmode_enum, :w, :h]
      SCREENSHOT_NAMES = [:path, :x, :y, :w, :h, :angle, :a, :r, :g, :b]

      # Positions of the names in an array primitive of each kind.
      ARRAY_LAYOUTS = {
        solid: SOLID_NAMES,
        sprite: SPRITE_NAMES,
        line: [:x, :y, :x2, :y2, :r, :g, :b, :a, :blendmode_enum],
        screenshot: [:x, :y, :w, :h, :path]
      }

      # The values of names for o: a Hash by key, an entity through its hash,
      # an array by position, any other object by its readers.
      def __primitive_values__ o, names, kind
        if o.is_a? Hash
          names.map { |n| o[n] }
        elsif OpenEntity === o
          h = o.as_hash
          names.map { |n| h[n] }
        elsif o.is_a? Array
          __array_values__ o, names, kind
        else
          names.map { |n| o.respond_to?(n) ? o.send(n) : nil }
        end
      end

      def __array_values__ a, names, kind
        if kind == :label
          short = a.length == 6 || a.length == 7
          layout = short ? [:x, :y, :text, :r, :g, :b, :a] :
                           [:x, :y, :text, :size_enum, :alignment_enum, :r, :g, :b, :a, :font,
                            :vertical_alignment_enum, :blendmode_enum, :anchor_x, :anchor_y]
        else
          layout = ARRAY_LAYOUTS[kind] || SOLID_NAMES
        end
        values = names.map do |n|
          i = layout.index(n)
          i ? a[i] : nil
        end
        if (kind == :solid || kind == :border) && a[4].is_a?(String)
          # Looks like a sprite: black and opaque.
          values[4] = values[5] = values[6] = 0
          values[7] = 255
        end
        values
      end

      def __draw_override__? o
        !(OpenEntity === o) && o.respond_to?(:draw_override)
      end

      def raise_conversion_for_rendering_failed o, e, kind
        raise e if e.message.to_s.start_with?("* ERROR: Failed to draw")
        raise "* ERROR: Failed to draw #{o.inspect[0, 200]} as a #{kind}.\n" \
              "** #{e.class.name}: #{e.message}\n" \
              "** A #{kind} is a Hash, an Array, or an object with the attributes of a #{kind} " \
              "(~attr_#{kind == :solid || kind == :border ? 'rect' : kind}~)."
      end

      def draw_solid s
        if s.is_a? Hash
          w = s[:w]
          h = s[:h]
          if w && h
            @ffi_draw.draw_solid_3 s[:x], s[:y], w, h, s[:r], s[:g], s[:b], s[:a],
                                   s[:blendmode_enum] || 1, s[:anchor_x], s[:anchor_y]
            return nil
          end
        end
        __draw_rect__ s, :solid
      end

      def draw_border s
        if s.is_a? Hash
          w = s[:w]
          h = s[:h]
          if w && h
            @ffi_draw.draw_border_3 s[:x], s[:y], w, h, s[:r], s[:g], s[:b], s[:a],
                                    s[:blendmode_enum] || 1, s[:anchor_x], s[:anchor_y]
            return nil
          end
        end
        __draw_rect__ s, :border
      end

      def __draw_rect__ s, kind
        return nil if s.nil?
        return s.draw_override(@ffi_draw) if __draw_override__?(s)
        x, y, w, h, r, g, b, a, blend, ax, ay = __primitive_values__ s, SOLID_NAMES, kind
        if w.nil? || h.nil?
          __draw_solid_triangle__ s, kind
        elsif kind == :border
          @ffi_draw.draw_border_3 x, y, w, h, r, g, b, a, blend || 1, ax, ay
        else
          @ffi_draw.draw_solid_3 x, y, w, h, r, g, b, a, blend || 1, ax, ay
        end
        nil
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, kind
      end

      # A solid without width or height is a triangle (x, y, x2, y2, x3, y3).
      def __draw_solid_triangle__ s, kind
        v = s.is_a?(Array) ? __triangle_array__(s) : __primitive_values__(s, TRIANGLE_NAMES, kind)
        v[17] ||= 1
        @ffi_draw.draw_triangle_2(*v)
      end

      def __triangle_array__ a
        v = Array.new(TRIANGLE_NAMES.length)
        10.times { |i| v[i] = a[i] }
        v
      end

      def draw_sprite s
        return nil if s.nil?
        if s.is_a? Hash
          @ffi_draw.draw_sprite_hash s
          return nil
        end
        return s.draw_override(@ffi_draw) if __draw_override__?(s)
        if OpenEntity === s
          @ffi_draw.draw_sprite_hash s.as_hash
          return nil
        end
        names = s.is_a?(Array) ? SPRITE_NAMES : SPRITE_TRIANGLE_NAMES
        v = __primitive_values__ s, names, :sprite
        h = {}
        names.each_with_index { |n, i| h[n] = v[i] unless v[i].nil? }
        # An object without width and height is a triangle.
        h[:source_x3] ||= 0 if !s.is_a?(Array) && h[:w].nil? && h[:h].nil? && h.key?(:x3)
        h[:blendmode_enum] ||= 1
        @ffi_draw.draw_sprite_hash h
        nil
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, :sprite
      end

      def draw_label s
        return nil if s.nil?
        return s.draw_override(@ffi_draw) if __draw_override__?(s)
        x, y, text, size_enum, alignment_enum, r, g, b, a, font, valign, blend, size_px, ax, ay =
          __primitive_values__ s, LABEL_NAMES, :label
        unless text.is_a? String
          text = text.to_s
          text = "" unless text.is_a? String
        end
        font = font.to_s unless font.nil? || font.is_a?(String)
        @ffi_draw.draw_label_5 x, y, text, size_enum, alignment_enum, r, g, b, a, font, valign,
                               blend || 1, size_px, ax, ay
        nil
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, :label
      end

      # Without y2 the end point is (x + w, y + h).
      def draw_line s
        return nil if s.nil?
        return s.draw_override(@ffi_draw) if __draw_override__?(s)
        x, y, x2, y2, r, g, b, a, blend, w, h = __primitive_values__ s, LINE_NAMES, :line
        if y2.nil?
          x2 = (x || 0) + (w || 0)
          y2 = (y || 0) + (h || 0)
        end
        @ffi_draw.draw_line_2 x, y, x2, y2, r, g, b, a, blend || 1
        nil
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, :line
      end

      # An element of a mixed collection, by its marker.
      def draw_primitive s
        return nil if s.nil?
        return s.draw_override(@ffi_draw) if __draw_override__?(s)
        marker = OpenEntity === s ? s.as_hash.primitive_marker : s.primitive_marker
        case marker
        when :solid, :triangle
          draw_solid s
        when :sprite
          draw_sprite s
        when :label
          draw_label s
        when :line
          draw_line s
        when :border
          draw_border s
        else
          raise "* ERROR: ~#{s.inspect[0, 200]}~ has no primitive marker (#{marker.inspect}), so it " \
                "cannot be drawn in a mixed collection.\n" \
                "** Add ~primitive_marker: :solid~ (or :sprite, :label, :line, :border) to it, or " \
                "mark an array with ~.solid~, ~.sprite~, ~.label~, ~.line~ or ~.border~."
        end
      end
    end
  end
end
