# Zel::Runtime: the one object through which the engine drives the game. The
# engine calls __sdl_tick__ about sixty times a second; each accepted call runs
# one simulation (more with speed-up): loading the game, hot-loading, the
# engine's bookkeeping, the game's tick(args), and the outputs for the scene.
module Zel
  class Runtime
    module Tick
      def tick_core
        @inside_tick = true
        $top_level.tick @args if Kernel.tick_count >= 0 && !@eval_no_tick_running
      ensure
        @inside_tick = false
      end

      def inside_tick?
        @inside_tick ? true : false
      end
    end

    include Tick
    include Draw
    include Framerate
    include CBridge
    include Hotload
    include Require
    include AsyncRequire
    include Platform
    include ProcessARGSV
    include AutoTest
    include Notify
    include Window
    include DeveloperSupport

    LOG_LEVELS = { spam: 0, debug: 1, info: 2, warn: 3, error: 4, unfiltered: 2147483646 }

    attr_reader :platform, :vrmode, :sdl_tick, :logical_width, :logical_height, :argv, :binary_path,
                :y_offset, :orientation, :remote_hotload_enabled, :a11y_enabled,
                :ffi_file, :ffi_misc, :ffi_mrb, :ffi_draw, :args, :console, :recording,
                :load_status, :load_status_exception, :paused, :no_tick,
                :simulation_speed, :slowmo_factor, :speedup_factor, :scheduled_callbacks,
                :reload_list, :reload_list_history, :is_reloading, :exception_occurred,
                :required_files, :require_stack, :file_mtimes, :rng_seed,
                :current_framerate_calc, :current_framerate_render, :rcb_release_mode,
                :production, :exit_status, :files_reloaded, :reloaded_files
    attr_accessor :reset_via_ctrl_r, :suppress_hotload

    def initialize platform, production, vrmode, logical_width, logical_height, argv,
                   binary_path, y_offset, orientation, remote_hotload_enabled, a11y_enabled
      @zel_constants = production ? [] : Object.constants
      $zel ||= self
      $runtime ||= self
      @platform = platform
      @production = production
      @vrmode = vrmode
      @logical_width = logical_width
      @logical_height = logical_height
      @argv = argv.to_s.strip
      @binary_path = binary_path.to_s.strip
      @y_offset = y_offset
      @orientation = orientation
      @a11y_enabled = a11y_enabled
      @ffi_file = FFI::File.new
      @ffi_misc = FFI::Misc.new
      @ffi_mrb = FFI::MRB.new
      @ffi_draw = FFI::Draw.new
      @device_size = @ffi_misc.device_size
      @recording = Recording.new self
      @console = Console.new
      @tests = Tests.new
      @args = Args.new self, @recording
      @args.inputs.touch_enabled = @ffi_misc.touch_enabled?
      @args.inputs.locale_raw = @ffi_misc.get_locale
      @args.inputs.locale = @args.inputs.locale_raw || "en"
      top = @ffi_file.read "vantor/top_level.rb"
      @rcb_release_mode = top.nil? || top.strip.empty?
      @is_steam_build = @ffi_file.path_exists "metadata/orvane_steam_build"
      hotload_marker = @ffi_file.read "metadata/orvane_remote_hotload"
      @remote_hotload_enabled = hotload_marker ? hotload_marker.strip : nil

      @load_status = :orvane_started
      @load_status_exception = nil
      @paused = false
      @no_tick = nil
      @last_sdl_tick = nil
      @sdl_tick = nil
      @slowmo_factor = 1
      @speedup_factor = 1
      @slowmo_factor_debounce = nil
      @simulation_speed = 1
      @scheduled_callbacks = {}
      @required_files = []
      @require_stack = []
      @require_history = {}
      @simulation_count = 0
      @rng_seed = Time.now.to_i
      @reset_via_ctrl_r = true
      @quit_requested = false
      @reboot_requested = nil
      @current_framerate_calc = 60
      @current_framerate_render = 60
      @exit_status = 0
      @inside_tick = false
      @resetting = false
      @reset_next_tick_requested = nil

      unless @rcb_release_mode
        $warn_array_primitives = true
        log_warn "WARNING: YOU ARE IN AN UNOPTIMIZED DEV MODE.", "Engine"
      end
      async_require_init
      hotload_init
      framerate_init
      __reset__

      $recording ||= @recording
      $replay ||= Replay
      $console ||= @console
      $args ||= @args
      $state ||= @args.state
      $grid ||= @args.grid
      $geometry ||= Geometry
      $tests ||= @tests
      $wizards ||= nil
      $fn ||= @args.fn
      $api ||= nil
      $layout ||= @args.layout
      $log ||= Log
      $inputs ||= @args.inputs
      $outputs ||= @args.outputs
      $audio ||= @args.audio
      $nil_punning_disabled = false
      $trace_puts = nil
      $remote_hotload_client = nil

      __write_log_pointers__
      @console.disable if @production && platform?(:mobile) && !@remote_hotload_enabled
      @zel_global_variables = global_variables unless @production
    end

    def __write_log_pointers__
      if @ffi_file.path_exists "logs/puts.txt"
        @ffi_file.write_root "logs/puts.txt", "This file is no longer used. See logs/puts.log.\n"
      end
      if @ffi_file.path_exists "logs/log.txt"
        @ffi_file.write_root "logs/log.txt", "This file is no longer used. See logs/all.log.\n"
      end
      return if @production
      @ffi_file.write_root "logs/puts.log",
                           "# Everything the game prints with puts is appended here.\n" \
                           "# $zel.trace_puts! adds the caller of every puts.\n"
    end

    # ---------------------------------------------------------------- ticks

    def __sdl_tick__ sdl_tick
      first = @last_sdl_tick.nil?
      @last_sdl_tick ||= sdl_tick
      @sdl_tick = sdl_tick
      return if !first && (sdl_tick - @last_sdl_tick) < 16
      @last_sdl_tick = sdl_tick
      begin
        tick_argv
        return if @no_tick
        __sdl_tick__simulation__
        @simulation_speed = @speedup_factor if @speedup_factor > 1
        if @simulation_speed && @simulation_speed != 1
          (@simulation_speed.abs - 1).times { __sdl_tick__simulation__ }
        end
        update_simulation_audio_state if respond_to? :update_simulation_audio_state
      rescue SystemExit => e
        log_info "* INFO: exit(#{e.status}) was called (#{Kernel.global_tick_count}).", "Engine"
        @exit_status = e.status
        request_quit
      rescue Exception => e
        if $top_level.respond_to? :unhandled_exception
          $top_level.unhandled_exception @args, e
        else
          unhandled_exception e
        end
      end
      nil
    end

    def __sdl_tick__simulation__
      @simulation_count += 1
      $state = @args.state
      $grid = @args.grid
      $trace_puts = false
      load_main_rb
      tick_hotload
      tick_auto_test
      process_argsv
      calc_wrapper
      if @load_status == :main_rb_load_failed
        @load_status = :main_rb_load_error_shown
        raise @load_status_exception.to_s
      elsif @load_status == :boot
        __boot__
      end
    end

    def __boot__
      Kernel.tick_count = -1
      Kernel.global_tick_count = -1
      Grid.letterbox = __cvar_true__("game_metadata.hd_letterbox")
      @ffi_file.write_root "tmp/src_backup/boot.txt", Time.now.to_i.to_s
      @load_status = :ready
      $top_level.boot @args if $top_level.respond_to? :boot
      __normalise_state__
      if @args.state.is_a? Hash
        @args.state[:tick_count] = -1
      else
        @args.state.tick_count = -1
      end
      inputs = @args.inputs
      inputs.last_active = if platform?(:touch)
                             :mouse
                           elsif platform?(:steam_deck)
                             :controller
                           else
                             :keyboard
                           end
      inputs.last_active_at = 0
      if platform?(:mobile)
        inputs.mouse.x = -1000
        inputs.mouse.y = -1000
      end
    end

    def __normalise_state__
      state = @args.state
      if state.is_a? OpenEntity
        @__state_assigned_to_hash_on_boot__ = false
      elsif state.is_a? Hash
        @__state_assigned_to_hash_on_boot__ = true
        $nil_punning_disabled = true
        @args.temp_state = {}
        log_info "* INFO - ~args.state~ was initialized to ~Hash~ during ~boot~. ~nil~ punning has been disabled."
      elsif state.nil?
        @__state_assigned_to_hash_on_boot__ = true
        $nil_punning_disabled = true
        @args.state = {}
        @args.temp_state = {}
        log_info "* INFO - ~args.state~ was set to ~nil~ during ~boot~. It is now an empty ~Hash~ and ~nil~\n" \
                 "punning has been disabled. Initialize it with ~args.state = {}~ to silence this message."
      else
        @__state_assigned_to_hash_on_boot__ = false
        log_info "* INFO - ~args.state~ was set to a #{state.class.name} during ~boot~, which is not a valid\n" \
                 "type for the game state. It has been replaced by a new ~Zel::OpenEntity~. Use a ~Hash~ or\n" \
                 "leave ~args.state~ as it is."
        @args.state = OpenEntity.new
        @args.temp_state = OpenEntity.new
      end
      $state = @args.state
    end

    def calc_wrapper
      if @slowmo_factor && @slowmo_factor != 1
        if @slowmo_factor_debounce
          @slowmo_factor_debounce -= 1
          @slowmo_factor_debounce = nil if @slowmo_factor_debounce <= 0
        else
          @slowmo_factor_debounce = @slowmo_factor - 1
          @slowmo_factor_debounce = nil if @slowmo_factor_debounce <= 0
        end
      end
      @debug_require = false
      tick_zel_engine_before
      tick_usr_engine
      tick_zel_engine_after
      @files_reloaded.clear
      @reloaded_files.clear
      unless @recording.is_recording? || @recording.is_replaying?
        @simulation_speed = 1
      end
    end

    def skip_tick_usr_engine?
      return true if @paused
      return true if @eval_no_tick_finished
      return true if controller_config_wants_tick?
      return true if @slowmo_factor_debounce
      return true if @load_status != :ready
      return true if @is_reloading
      false
    end

    def unpause_if_needed
      return unless @paused
      if @console.hidden_during_global_tick?(Kernel.global_tick_count)
        # The loader of a failed load never completed; hiding the console is
        # the developer's way on.
        @is_reloading = false
        unpause!
      end
    end

    def tick_zel_engine_before
      unpause_if_needed
      will_tick = !skip_tick_usr_engine?
      @recording.tick_before if will_tick
      @args.clear_draw_passes(@slowmo_factor_debounce ? true : false)
      inputs_tick_before
      @args.inputs.http_requests = (@http_requests || []).dup
      if @load_status == :ready || @load_status == :main_rb_load_error_shown
        Kernel.global_tick_count += 1
        __redefine_string_split__
      end
      @console.tick @args
      tick_notification
      tick_download_stb_rb
      tick_controller_config
      render_replay_mouse
      state = @args.state
      state.entity_touched = false if state.is_a? OpenEntity
      @args.tick_before
      tick_remote_hotload_client
      will_tick = !skip_tick_usr_engine?
      if will_tick
        Kernel.tick_count += 1
        tc = Kernel.tick_count
        if state.is_a?(OpenEntity) || state.respond_to?(:tick_count=)
          state.tick_count = tc
        elsif state.is_a? Hash
          state[:tick_count] = tc
        end
        __run_scheduled_callbacks__ tc
      end
      tick_capture_timings_before
    end

    def __redefine_string_split__
      return if @string_split_redefined
      @string_split_redefined = true
      return unless String.respond_to? :split
      String.class_eval do
        alias_method :__original_split__, :split unless method_defined? :__original_split__
        def split *args
          String.split self, *args
        end
      end
    end

    def inputs_tick_before
      @args.inputs.keyboard.tick_before unless @slowmo_factor_debounce
      __tick_reset_keys__ if @reset_via_ctrl_r
    end

    # Control+R resets the game; with Shift or Meta as well it reboots it.
    def __tick_reset_keys__
      kb = @args.inputs.keyboard
      return unless kb.key_down_or_held?(:r)
      control = kb.key_down_or_held?(:control)
      shift = kb.key_down_or_held?(:shift)
      meta = kb.key_down_or_held?(:meta)
      if (control && shift) || (control && meta) || (meta && shift)
        reboot
      elsif control && kb.key_down?(:r)
        unless @reset_hint_shown
          @reset_hint_shown = true
          log_info "* INFO: Control+R resets the game (~$zel.reset~). Control+Shift+R restarts the engine's\n" \
                   "interpreter (~$zel.reboot~). Set ~$zel.reset_via_ctrl_r = false~ to turn this off."
        end
        if @console.visible?
          reset
        else
          reset_next_tick
        end
      end
    end

    def tick_usr_engine
      return if skip_tick_usr_engine?
      @slowmo_invoked = false
      @speedup_invoked = false
      $perf_counter_outputs_push_count = 0
      $perf_counter_primitive_is_array = 0
      if @reset_next_tick_requested
        request = @reset_next_tick_requested
        @reset_next_tick_requested = nil
        reset request[:rng_override], seed: request[:seed]
        Kernel.tick_count = 0 if Kernel.tick_count < 0
        if @args.state.is_a? Hash
          @args.state[:tick_count] = 0
        elsif @args.state.respond_to? :tick_count=
          @args.state.tick_count = 0
        end
      end
      tick_core
      if !@slowmo_invoked && @slowmo_factor != 1
        notify! "Simulation loop has been returned to 60 fps."
        @slowmo_factor = 1
        @slowmo_factor_debounce = nil
      end
      if !@speedup_invoked && @speedup_factor != 1
        notify! "Simulation loop has been returned to 60 fps."
        @speedup_factor = 1
      end
    end

    def tick_zel_engine_after
      tick_api
      check_framerate
      check_thermal_state
      outputs = @args.outputs
      outputs.target = nil
      @args.passes << outputs unless @args.passes.last.equal?(outputs)
      @args.passes.each(&:tick)
      tc = Kernel.tick_count
      (@http_requests || []).reject! do |req|
        if req.respond_to?(:ignore_tick_count) && req.ignore_tick_count <= tc
          req.reject if req.respond_to? :reject
          true
        else
          false
        end
      end
      @args.audio = AudioHash.new unless @args.audio.is_a? AudioHash
      @args.tick_after
      @args.inputs.tick_after(@slowmo_factor_debounce ? true : false)
      __start_webserver_if_enabled__
      @render_targets_used = (@render_targets_used || {})
      @args.render_targets.each_key { |name| @render_targets_used[name] = true }
      @recording.tick_after unless skip_tick_usr_engine?
      tick_a11y
      tick_capture_timings_after
      g = @args.grid
      @args.layout.tick_after g.rect, g.aspect_ratio_w, g.aspect_ratio_h, g.orientation, g.origin_name
    end

    def __start_webserver_if_enabled__
      return unless Kernel.global_tick_count == 1
      return if @webserver_started
      return unless __cvar_true__("webserver.enabled")
      return unless @ffi_misc.respond_to? :httpserver_init
      @webserver_started = true
      @ffi_misc.httpserver_init @ffi_misc.cvar_get("webserver.port")
    end

    def __cvar_true__ name
      v = @ffi_misc.cvar_get name
      v == true || v == 1
    end

    # ----------------------------------------------------- scheduled callbacks

    def schedule_callback tick_count, &block
      existing = @scheduled_callbacks[tick_count]
      if existing.nil?
        @scheduled_callbacks[tick_count] = block
      else
        existing = [existing] unless existing.is_a? Array
        existing << block
        @scheduled_callbacks[tick_count] = existing
      end
      nil
    end

    def on_tick_count tick_count, &block
      if tick_count <= Kernel.tick_count
        log_info "* INFO - ~on_tick_count~ has been ignored. The requested tick (#{tick_count}) is not " \
                 "ahead of the current tick count (#{Kernel.tick_count}).\n" + caller.join("\n")
        return nil
      end
      schedule_callback tick_count, &block
    end

    def __callbacks_ahead__
      tc = Kernel.tick_count
      @scheduled_callbacks.keys.any? { |k| k > tc }
    end

    def __run_scheduled_callbacks__ tc
      return if @scheduled_callbacks.empty?
      callbacks = @scheduled_callbacks[tc]
      if callbacks
        callbacks = [callbacks] unless callbacks.is_a? Array
        callbacks.each do |cb|
          if cb.arity == 1
            cb.call @args
          else
            cb.call
          end
        end
      end
      @scheduled_callbacks.keys.each do |k|
        @scheduled_callbacks.delete k if k <= Kernel.tick_count
      end
    end

    # ------------------------------------------------------ life cycle

    def reset rng_override = nil, seed: nil, include_sprites: true
      return if Kernel.tick_count <= 0 && !@paused
      log_debug "~reset~ has been invoked (#{Kernel.global_tick_count})."
      __reset__ rng_override, seed: seed, include_sprites: include_sprites
      unpause!
    end

    def reset_next_tick rng_override = nil, seed: nil
      log_debug "~reset_next_tick~ has been invoked (#{Kernel.global_tick_count - 1})."
      @reset_next_tick_requested = { rng_override: rng_override, seed: seed }
    end

    def __reset__ rng_override = nil, seed: nil, include_sprites: true
      return if @resetting
      @resetting = true
      begin
        $warn_array_primitives = false
        if !$nil_punning_disabled && nil.respond_to?(:unassign_method_missing)
          nil.unassign_method_missing
        end
        if $top_level.respond_to? :reset
          if $top_level.method(:reset).arity == 0
            $top_level.reset
          else
            $top_level.reset @args
          end
        end
        # FIXME: drop the sprites cached by the renderer unless include_sprites is false.
        Entity.strict_entities_clear
        Kernel.tick_count = -1
        @args.passes.clear
        @args.outputs.reset
        if @__state_assigned_to_hash_on_boot__
          @args.state = {}
        else
          state = @args.state
          state = OpenEntity.new unless state.is_a? OpenEntity
          state.clear!
          @args.state = state
        end
        $state = @args.state
        @args.reset
        @paused = false
        @console.hide
        @console.forget_toasts
        set_rng(rng_override || seed || @rng_seed)
        @args.inputs.keyboard.clear
        @args.grid.origin_bottom_left! force: true
        @last_reset_global_at = Kernel.global_tick_count
        @last_reset_caller = caller if @inside_tick
        @scheduled_callbacks.clear
        reset_framerate_calculation
        Entity.__reset_id__!
      ensure
        @resetting = false
      end
    end

    def set_rng value
      @rng_seed = value unless value.nil?
      srand @rng_seed
      log_debug "RNG seed has been set to #{@rng_seed}."
      @rng_seed
    end

    def reboot
      return if @production
      return if Kernel.global_tick_count < 0
      @reboot_requested = true
    end

    def pause!
      @paused = true
    end

    def unpause!
      @args.passes.clear
      @paused = false
      unless no_tick_run? || Kernel.global_tick_count < 0
        at = Kernel.tick_count + 30
        schedule_callback(at) { reset_framerate_calculation } if at > Kernel.tick_count
      end
    end

    def paused?
      @paused
    end

    def request_quit
      log_info "* INFO: Quit requested (#{Kernel.global_tick_count}).", "Engine"
      @quit_requested = true
    end

    def request_quit_fatal reason
      @ffi_misc.request_quit_fatal reason
    end

    def quit
      $top_level.shutdown @args if $top_level.respond_to? :shutdown
      nil
    end

    def quit!
      # FIXME: save a running --record recording, the console history, and
      # reject pending HTTP requests.
      nil
    end

    # ------------------------------------------------------------- logging

    def __log_native__ level, text, subsystem
      @ffi_misc.log subsystem, level, text.to_s.delete("\0")
      nil
    end

    def log_spam text, subsystem = nil
      __log_native__ 0, text, subsystem
    end

    def log_debug text, subsystem = nil
      __log_native__ 1, text, subsystem
    end

    def log_info text, subsystem = nil
      __log_native__ 2, text, subsystem
    end

    def log_warn text, subsystem = nil
      __log_native__ 3, text, subsystem
    end

    def log_error text, subsystem = nil
      __log_native__ 4, text, subsystem
    end

    def log_unfiltered text, subsystem = nil
      __log_native__ 2147483646, text, subsystem
    end

    def log obj, sender = nil, subsystem = nil
      return if sender == Log && Log.log_level != :on
      __log_native__ 2, obj, subsystem
    end

    # Kernel#puts once the runtime exists.
    def __framework_puts__ args
      return __puts__(*args) unless @ffi_file
      text = args.empty? ? "\n" : args.flatten.map { |a| s = a.to_s; s.end_with?("\n") ? s : "#{s}\n" }.join
      trace = $trace_puts ? caller.join("\n") + "\n" : nil
      unless @production
        @ffi_file.append_root "logs/puts.log", text
        @ffi_file.append_root "logs/puts.log", trace if trace
      end
      (args.empty? ? [""] : args.flatten).each { |a| log_info a.to_s }
      log_info trace if trace
      nil
    end

    # ----------------------------------------------------------- exceptions

    def unhandled_exception e
      @exception_global_at = Kernel.global_tick_count
      @inside_tick = false
      file = "logs/exceptions/game_state_#{Kernel.tick_count}.txt"
      log_info "* INFO - Game state and exception will be written to #{file} and logs/exceptions/current.txt."
      log_info "** tick_count: #{Kernel.tick_count}, global_tick_count: #{Kernel.global_tick_count}"
      pretty_print_exception_and_export! e
      if no_tick_run?
        @exit_status = 1
        request_quit
      else
        pause!
      end
    end

    def __exception_text__ e
      text = "* EXCEPTION: #{e.class.name}\n#{e.message}"
      if e.is_a?(NameError) && e.message.include?("uninitialized constant")
        text += "\n** NOTE: The constant above is not defined. Check its spelling, and that the file\n" \
                "defining it was required before this line ran."
      elsif e.is_a?(TypeError) && e.message.include?("Range")
        text += "\n** NOTE: A Range was given where an Integer was expected."
      end
      trace = e.backtrace.to_a
      text += "\n** Backtrace:\n" + trace.map { |l| "*** #{l}" }.join("\n") unless trace.empty?
      text
    end

    def pretty_print_exception_and_export! e
      text = __exception_text__ e
      log_error "#{text}\n** Global tick: #{Kernel.global_tick_count}"
      request_quit_fatal text if @production && platform?(:ios)
      export = text.split("\n").map { |l| "# #{l}\n" }.join + "\n" + "Game State:\n" +
               Serialize.serialize_value(@args.serialize) + "\n"
      begin
        ok_current = @ffi_file.write_root "logs/exceptions/current.txt", export
        ok_state = @ffi_file.write_root "logs/exceptions/game_state_#{Kernel.tick_count}.txt", export
        raise "the files could not be written" unless ok_current && ok_state
      rescue Exception => export_error
        log_error "* ERROR:\n" \
                  "Exporting the game state failed:\n" \
                  "\n" \
                  "Export exception: #{export_error}.\n" \
                  "\n" \
                  "Original comments: #{text || '(none)'}.\n" \
                  "\n" \
                  "If the export exception above looks confusing, you should let Orvane know about this error.\n" \
                  "\n"
      end
      @exception_occurred = true
      @console.show(@is_reloading ? :exception_on_load : :exception)
      gt = Kernel.global_tick_count
      if @console.command_set_at != gt
        docs_at = e.message.to_s.index("** docs: ")
        if docs_at
          @console.set_command_silent e.message.to_s[(docs_at + 9)..-1].strip
        else
          @console.set_command_silent "$zel.reset seed: #{@rng_seed}"
        end
      end
      nil
    rescue Exception => inner
      log_error "* EXCEPTION: pretty_print_exception_and_export! had an unhandled exception. " \
                "You might want to let Orvane know about this.\n" \
                "** INNER EXCEPTION\n#{inner}\n"
      nil
    end

    def to_s
      "#<Zel::Runtime>"
    end

    def inspect
      to_s
    end
  end
end

ZelRuntime = Zel::Runtime
