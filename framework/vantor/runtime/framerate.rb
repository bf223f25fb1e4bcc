# The frame-rate warning: an average below 30 frames per second over more than
# 120 ticks is reported once the game has run for a while.
module Zel
  class Runtime
    module Framerate
      def framerate_init
        @framerate_warning_enabled = true
        @framerate_diagnostics = nil
        @framerate_important_notification_shown_at = nil
        reset_framerate_calculation
      end

      def reset_framerate_calculation
        @framerate_tick_count = 10
        @framerate_seconds_sum = 0.0
        @framerate_last_check_at = nil
        @framerate_reset_global_at = Kernel.global_tick_count
      end

      def disable_framerate_warning!
        @framerate_warning_enabled = false
      end

      def enable_framerate_warning!
        @framerate_warning_enabled = true
      end

      def current_framerate
        @current_framerate_calc
      end

      def check_framerate
        return if @paused
        now = Time.now.to_f
        if @framerate_last_check_at
          @framerate_seconds_sum += now - @framerate_last_check_at
          @framerate_tick_count += 1
        end
        @framerate_last_check_at = now
        return unless @framerate_tick_count > 120
        return if @framerate_seconds_sum <= 0
        average = @framerate_tick_count / @framerate_seconds_sum
        gt = Kernel.global_tick_count
        if average < 30 && @framerate_warning_enabled && gt >= 0 &&
           (gt - (@last_reset_global_at || 0)) >= 1800 &&
           (gt - (@last_reload_complete_global_at || 0)) >= 1800 &&
           !@console.visible?
          log_important "* WARNING: Framerate below 30fps for over 120 frames."
          log_important "* WARNING: The average FPS was #{average.round(2)}.\n" \
                        "- $zel.get_framerate_diagnostics  : Get framerate diagnostics.\n" \
                        "- $zel.disable_framerate_warning! : Disable this warning.\n"
          @framerate_diagnostics = capture_output_lengths
        end
        reset_framerate_calculation
      end

      def capture_output_lengths
        o = @args.outputs
        {
          solids: o.solids.length, static_solids: o.static_solids.length,
          sprites: o.sprites.length, static_sprites: o.static_sprites.length,
          labels: o.labels.length, static_labels: o.static_labels.length,
          lines: o.lines.length, static_lines: o.static_lines.length,
          borders: o.borders.length, static_borders: o.static_borders.length,
          primitives: o.primitives.length, static_primitives: o.static_primitives.length
        }
      end

      def get_framerate_diagnostics
        "* FRAMERATE DIAGNOSTICS\n" \
        "** Simulation fps: #{@current_framerate_calc}\n" \
        "** Render fps: #{@current_framerate_render}\n" \
        "** Output lengths: #{(@framerate_diagnostics || capture_output_lengths)}\n"
      end

      def log_important text
        log_warn text, "Engine"
      end
    end
  end
end
