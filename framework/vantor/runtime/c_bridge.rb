# Entry points that the engine calls on the runtime between ticks: frame
# rates, the reboot hand-shake, tick counts, log entries, window events and
# every input (keys, mouse, touch, controllers, raw joysticks, VR poses).
#
# Input entry points take a last optional sender: false from the engine,
# :replay from a running replay. While a replay runs, calls that do not come
# from it are ignored; every other call reports itself to the recorder.
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
          mouse_move_relative mouse_x, mouse_y, relative_x, relative_y
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

      # --------------------------------------------------------- recording

      # True when the call must be ignored: a replay runs and the call is not
      # part of it.
      def __input_ignored__ sender
        sender != :replay && @recording.is_replaying?
      end

      def record_input_history name, value_1, value_2, value_count, clear_cache = false
        return nil unless @recording.is_recording?
        @recording.record_input_history name, value_1, value_2, value_count, clear_cache
      end

      def record_input_history_3_params name, value_1, value_2, value_3, clear_cache = false
        return nil unless @recording.is_recording?
        @recording.record_input_history_3_params name, value_1, value_2, value_3, clear_cache
      end

      # ---------------------------------------------------------- keyboard

      def key_down_raw raw_key, modifier, sender = false
        return nil if __input_ignored__ sender
        record_input_history :key_down_raw, raw_key, modifier, 2
        return nil if @slowmo_factor_debounce
        @args.inputs.keyboard.key_down_raw raw_key, modifier
        @args.inputs.active! :keyboard
        nil
      end

      def key_up_raw raw_key, modifier, sender = false
        return nil if __input_ignored__ sender
        record_input_history :key_up_raw, raw_key, modifier, 2
        @args.inputs.keyboard.key_up_raw raw_key, modifier
        nil
      end

      def scancode_down_raw scancode, modifier, sender = false
        return nil if __input_ignored__ sender
        record_input_history :scancode_down_raw, scancode, modifier, 2
        @args.inputs.active! :keyboard if @args.inputs.keyboard.scancode_down_raw(scancode, modifier)
        nil
      end

      def scancode_up_raw scancode, modifier, sender = false
        return nil if __input_ignored__ sender
        record_input_history :scancode_up_raw, scancode, modifier, 2
        @args.inputs.keyboard.scancode_up_raw scancode, modifier
        nil
      end

      def textinput text, sender = false
        return nil if __input_ignored__ sender
        record_input_history :textinput, text, nil, 1
        @args.inputs.text << text
        nil
      end

      # ------------------------------------------------------------- mouse

      def mouse_move x, y, sender = false
        mouse_move_relative x, y, 0, 0, sender
      end

      # x, y in window points from the top left; stored in logical
      # coordinates through the grid.
      def mouse_move_relative x, y, relative_x, relative_y, sender = false
        return nil if __input_ignored__ sender
        relative_y = -relative_y if relative_y
        record_input_history :mouse_move, x, y, 2
        grid = @args.grid
        lx = grid.untransform_x x
        ly = grid.untransform_y y
        if @mouse_grab == 2
          @args.inputs.mouse.move lx, ly, relative_x, relative_y
        else
          @args.inputs.mouse.move lx, ly, nil, nil
        end
        @args.inputs.active! :mouse
        nil
      end

      def mouse_button_pressed button, sender = false
        return nil if __input_ignored__ sender
        record_input_history :mouse_button_pressed, button, nil, 1
        @args.inputs.mouse.button_pressed button
        @args.inputs.active! :mouse
        nil
      end

      def mouse_button_up button, sender = false
        return nil if __input_ignored__ sender
        record_input_history :mouse_button_up, button, nil, 1
        @args.inputs.mouse.button_up button
        @args.inputs.active! :mouse
        nil
      end

      def mouse_pressed x, y, sender = false
        return nil if __input_ignored__ sender
        mouse_move x, y, sender
        mouse_button_pressed 1, sender
      end

      def mouse_up x, y, sender = false
        return nil if __input_ignored__ sender
        mouse_move x, y, sender
        mouse_button_up 1, sender
      end

      def mouse_wheel x, y = 0, inverted = false, sender = false
        return nil if __input_ignored__ sender
        record_input_history_3_params :mouse_wheel, x, y, inverted
        @args.inputs.mouse.add_wheel x, y, inverted
        @args.inputs.active! :mouse
        nil
      end

      # ------------------------------------------------------------- touch

      def __touch_point__ x, y
        grid = @args.grid
        [grid.untransform_x(x), grid.untransform_y(y)]
      end

      def finger_down id, x, y, sender = false
        return nil if __input_ignored__ sender
        record_input_history_3_params :finger_down, id, x, y
        lx, ly = __touch_point__ x, y
        @args.inputs.finger_down id, lx, ly
        @args.inputs.active! :mouse
        nil
      end

      def finger_move id, x, y, sender = false
        return nil if __input_ignored__ sender
        record_input_history_3_params :finger_move, id, x, y
        lx, ly = __touch_point__ x, y
        @args.inputs.finger_move id, lx, ly
        nil
      end

      def finger_up id, sender = false
        return nil if __input_ignored__ sender
        record_input_history :finger_up, id, nil, 1
        @args.inputs.finger_up id
        nil
      end

      # ------------------------------------------------------- controllers

      PLAYER_NAMES = [:one, :two, :three, :four]

      def controller_key_down player, button, sender = false
        __controller_key__ :down, player, button, sender
      end

      def controller_key_held player, button, sender = false
        __controller_key__ :held, player, button, sender
      end

      def controller_key_up player, button, sender = false
        __controller_key__ :up, player, button, sender
      end

      def __controller_key__ kind, player, button, sender
        return nil if __input_ignored__ sender
        index = player.to_i - 1
        return nil if index < 0 || index > 3
        record_input_history "key_#{kind}_player_#{PLAYER_NAMES[index]}".to_sym, button, nil, 1
        inputs = @args.inputs
        inputs.active! :controller if inputs.controllers[index].key_event(kind, button)
        nil
      end

      PLAYER_NAMES.each_with_index do |p, i|
        [:down, :held, :up].each do |kind|
          define_method("key_#{kind}_player_#{p}") do |button, sender = false|
            __controller_key__ kind, i + 1, button, sender
          end
        end

        define_method("controller_#{p}_connected") do |name, sender = false|
          return nil if __input_ignored__ sender
          record_input_history "controller_#{p}_connected".to_sym, name, nil, 1
          @args.inputs.controllers[i].connect name
          nil
        end

        define_method("controller_#{p}_disconnected") do |sender = false|
          return nil if __input_ignored__ sender
          record_input_history "controller_#{p}_disconnected".to_sym, nil, nil, 0
          inputs = @args.inputs
          inputs.controllers[i].disconnect
          if inputs.last_active == :controller && inputs.controllers.none?(&:connected)
            inputs.active! :keyboard
          end
          nil
        end
      end

      ANALOG_AXES = { left_analog_x: :left_x, left_analog_y: :left_y, right_analog_x: :right_x,
                      right_analog_y: :right_y }

      ANALOG_AXES.each do |method, axis|
        4.times do |i|
          name = "#{method}_player_#{i + 1}".to_sym
          define_method(name) do |value, sender = false|
            return nil if __input_ignored__ sender
            controller = @args.inputs.controllers[i]
            return nil if controller.__analog_previous__(axis) == value
            record_input_history name, value, nil, 1
            @args.inputs.active! :controller if controller.analog(axis, value) && controller.active
            nil
          end
        end
      end

      # Joysticks without a mapping go to the controller configuration screen.
      [:rawjoystick_connected, :rawjoystick_disconnected, :rawjoystick_axis,
       :rawjoystick_hat, :rawjoystick_button].each do |name|
        define_method(name) do |*values|
          config = @controller_config
          config.send(name, *values) if config && config.respond_to?(name)
          nil
        end
      end

      # VR poses: six Floats, all 0.0 on this platform.
      { left_controller_position: :left_controller, right_controller_position: :right_controller,
        headset_position: :headset }.each do |name, field|
        define_method(name) do |x, y, z, orientation_x, orientation_y, orientation_z, sender = false|
          return nil if __input_ignored__ sender
          pose = @args.inputs.send field
          p = pose[:position]
          o = pose[:orientation]
          p[:x] = x
          p[:y] = y
          p[:z] = z
          o[:x] = orientation_x
          o[:y] = orientation_y
          o[:z] = orientation_z
          nil
        end
      end

      # ------------------------------------------------------------ window

      def window_keyboard_focus_changed gained, sender = false
        return nil if __input_ignored__ sender
        record_input_history :window_keyboard_focus_changed, gained, nil, 1
        @args.inputs.keyboard.has_focus = gained
        nil
      end

      def window_mouse_focus_changed gained, sender = false
        return nil if __input_ignored__ sender
        record_input_history :window_mouse_focus_changed, gained, nil, 1
        @args.inputs.mouse.has_focus = gained
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

      # Every platform event as a Hash (type_enum, type, ...), in arrival order.
      def raw_event event
        @args.events[:raw] << event
        if event.is_a?(Hash) && event[:type] == :a11y_activation_event
          @args.inputs.a11y[:activated] = true
          @args.inputs.a11y[:activated_id] = event[:activated_id]
          @args.inputs.a11y[:activated_at] = Kernel.tick_count
          @args.inputs.a11y[:activated_global_at] = Kernel.global_tick_count
          @args.inputs.a11y[:activated_global_at_raw] = event[:activated_global_at]
        end
        nil
      end
    end
  end
end
