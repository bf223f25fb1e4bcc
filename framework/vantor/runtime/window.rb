# Window commands for games: checks of what the platform allows, then the
# FFI::Draw command of the same name.
module Zel
  class Runtime
    module Window
      def can_resize_window?
        !platform?(:steam_deck) && !platform?(:ios) && !platform?(:android)
      end

      def can_move_window?
        can_resize_window? && !platform?(:web)
      end

      def can_close_window?
        !platform?(:ios) && !platform?(:web)
      end

      def can_change_orientation?
        return false if platform?(:steam_deck) || platform?(:web)
        if platform?(:ios) || platform?(:android)
          v = @ffi_misc.cvar_get "game_metadata.orientation_both"
          return v == true || v == 1
        end
        true
      end

      def window_fullscreen?
        @window_fullscreen ? true : false
      end

      def set_window_fullscreen enable = true
        enable = enable ? true : false
        return if window_fullscreen? == enable
        @window_fullscreen = enable
        __ffi_draw_command__ :toggle_fullscreen, enable
        __ffi_draw_command__ :set_mouse_grab, 0
        __ffi_draw_command__ :set_mouse_grab, (@mouse_grab || 0)
      end

      def toggle_window_fullscreen
        set_window_fullscreen !window_fullscreen?
      end

      def set_mouse_grab value
        @mouse_grab = value
        __ffi_draw_command__ :set_mouse_grab, value
      end

      def set_window_title title
        __ffi_draw_command__ :set_window_title, (title.nil? ? "" : title.to_s)
      end

      def set_window_scale scale, aspect_unit_w = 16, aspect_unit_h = 9
        __ffi_draw_command__ :set_window_scale, scale, aspect_unit_w, aspect_unit_h
      end

      def set_window_size w_px, h_px
        __ffi_draw_command__ :set_window_size, w_px, h_px
      end

      def set_window_position x_px, y_px
        __ffi_draw_command__ :set_window_position, x_px, y_px
      end

      def set_scale_quality value
        __ffi_draw_command__ :set_scale_quality, value
      end

      def move_window_to_next_display
        return unless can_move_window?
        __ffi_draw_command__ :move_window_to_next_display
      end

      def maximize_window
        return unless can_resize_window?
        __ffi_draw_command__ :maximize_window
      end

      def raise_window
        return if @production
        __ffi_draw_command__ :raise_window
      end

      def set_orientation name
        return if @orientation == name.to_sym
        toggle_orientation
      end

      def toggle_orientation
        return unless can_change_orientation?
        __ffi_draw_command__ :toggle_orientation
      end

      def __hd_hint__ name
        log_info "* INFO: ~#{name}~ needs HD mode, which is not enabled.\n" \
                 "Add hd=true (optionally highdpi=true and hd_letterbox=false) to\n" \
                 "metadata/game_metadata.txt and restart the game.\n"
      end

      def set_hd_max_scale value
        return __hd_hint__(:set_hd_max_scale) unless @args.grid.hd?
        __ffi_draw_command__ :set_hd_max_scale, value
      end

      def toggle_hd_letterbox
        return __hd_hint__(:toggle_hd_letterbox) unless @args.grid.hd?
        @args.grid.letterbox = !@args.grid.letterbox
        __ffi_draw_command__ :toggle_hd_letterbox
      end

      def set_hd_letterbox value
        toggle_hd_letterbox if (value ? true : false) != (@args.grid.letterbox ? true : false)
      end
    end
  end
end
