# Entry points that the engine calls on the runtime between ticks: frame
# rates, the reboot hand-shake, tick counts, log entries and window events.
# FIXME: the keyboard, mouse, touch and controller entry points.
module Zel
  class Runtime
    module CBridge
      def current_fps simulation_fps, render_fps
        @current_framerate_calc = simulation_fps
        @current_framerate_render = render_fps
        nil
      end

      def reboot_requested
        @reboot_requested
      end

      # Called on the new runtime after a reboot with the pointer position,
      # so that it survives the restart.
      def __reboot__ mouse_x, mouse_y, relative_x, relative_y
        schedule_callback 0 do
          @args.grid.origin_bottom_left! force: true
          mouse_move_relative mouse_x, mouse_y, relative_x, relative_y if respond_to? :mouse_move_relative
        end
        nil
      end

      def __tick_count__
        Kernel.tick_count
      end

      def __global_tick_count__
        Kernel.global_tick_count
      end

      def quit_requested?
        @quit_requested
      end

      def new_log_entry level, ticks, subsystem, text
        @console.add_text text, level
        nil
      end

      def windowevent_size_changed orientation_w, orientation_h, window_w, window_h,
                                   allscreen_w_px, allscreen_h_px,
                                   allscreen_offset_x_px, allscreen_offset_y_px,
                                   native_scale, texture_scale_enum, render_scale, high_dpi_scale
        @args.grid.windowevent_size_changed orientation_w, orientation_h, window_w, window_h,
                                            allscreen_w_px, allscreen_h_px,
                                            allscreen_offset_x_px, allscreen_offset_y_px,
                                            native_scale, texture_scale_enum, render_scale,
                                            high_dpi_scale
        @args.events[:resize_occurred] = true
        nil
      end

      def __orientation_flipped__
        @orientation = @orientation == :landscape ? :portrait : :landscape
        @logical_width, @logical_height = @logical_height, @logical_width
        @args.events[:orientation_changed] = true
        Layout.orientation_changed!
      end

      def window_keyboard_focus_changed gained
        @args.inputs.keyboard.has_focus = gained
      end

      def window_mouse_focus_changed gained
        @args.inputs.mouse.has_focus = gained
      end
    end
  end
end
