# Speed and timing tools for developers: speed-up, slow motion, puts tracing.
module Zel
  class Runtime
    module DeveloperSupport
      def speedup! factor
        factor = factor.to_i
        factor = 1 if factor < 1
        @speedup_invoked = true
        if factor != @speedup_factor && factor != 1
          notify! "Simulation loop sped up by #{factor}x. ~args.zel.speedup! #{factor}~"
        end
        @speedup_factor = factor
      end

      def slowmo! factor, should_notify = true
        factor = factor.to_i
        factor = 1 if factor < 1
        @slowmo_invoked = true
        if factor != @slowmo_factor
          if factor != 1
            notify! "Simulation loop slowed down to #{60 / factor} fps. ~args.zel.slowmo! #{factor}~" if should_notify
            log_info "Simulation loop slowed down to #{60 / factor} fps. ~args.zel.slowmo! #{factor}~"
          else
            log_info "~def tick args~ SlowMo factor has been set to normal speed."
          end
          @slowmo_factor_debounce = nil
        end
        @slowmo_factor = factor
      end

      def trace_puts!
        $trace_puts = true
      end

      def tick_download_stb_rb
      end

      def check_thermal_state
      end

      def tick_capture_timings_before
      end

      def tick_capture_timings_after
      end

      def tick_controller_config
      end

      def render_replay_mouse
      end

      def tick_api
      end

      def tick_remote_hotload_client
      end

      def tick_a11y
      end

      def controller_config_wants_tick?
        false
      end
    end
  end
end
