# Platform queries and the command-line switches the framework reads from the
# argument line.
module Zel
  class Runtime
    module Platform
      PLATFORM_CATEGORIES = {
        "Mac OS X" => [:desktop, :macos, :osx, :mac, :macosx],
        "Windows" => [:desktop, :windows, :win],
        "Linux" => [:desktop, :linux, :nix],
        "Emscripten" => [:web, :wasm, :html, :emscripten],
        "iOS" => [:mobile, :ios, :touch],
        "Android" => [:mobile, :android, :touch],
        "Steam Deck" => [:steamdeck, :steam_deck, :steam]
      }

      def platform_categories
        return @platform_categories if @platform_categories
        table = {}
        PLATFORM_CATEGORIES.each { |name, cats| table[name] = cats.dup }
        table["Emscripten"] << :touch if @args && @args.inputs.touch_enabled
        if @is_steam_build
          ["Mac OS X", "Windows", "Linux"].each { |name| table[name].concat [:steam, :steam_desktop] }
          ["Mac OS X", "Windows"].each { |name| table[name] << :steamdesktop }
        end
        @platform_categories = table
      end

      # A symbol asks about the current platform; a platform name known to
      # the table answers true whatever the current platform is.
      def platform? value
        return platform_categories.key?(value) if value.is_a? String
        (platform_categories[@platform] || []).include? value
      end

      def production?
        @production
      end

      def platform
        @platform
      end
    end

    module ProcessARGSV
      # "./orvane mygame --speed 3 --eval f.rb" → { orvane: "mygame", speed: "3", eval: "f.rb" }.
      def self.parse argv
        result = {}
        pieces = argv.to_s.split(" --")
        first = pieces.shift.to_s.strip
        words = first.split(" ")
        program = words.shift
        if program.nil? || !program.include?("orvane")
          # The argument line did not start with the program: read the piece
          # as a switch like the others.
          pieces.unshift first unless first.empty?
          result[:orvane] = "mygame"
        else
          dir = words.first
          result[:orvane] = if dir.nil?
                              "mygame"
                            elsif dir == "./"
                              ""
                            else
                              dir
                            end
        end
        pieces.each do |piece|
          piece = piece.strip
          piece = piece[1..-1] while piece.start_with? "-"
          next if piece.empty?
          name, value = piece.split(" ", 2)
          value = value.strip if value
          value = nil if value && value.empty?
          result[name.to_sym] = value
        end
        result
      end

      def argv_switches
        @argv_switches ||= ProcessARGSV.parse(@argv)
      end

      def process_argsv
        return if @argsv_processed
        @argsv_processed = true
        sw = argv_switches
        if sw.key? :speed
          speed = sw[:speed].to_i.abs
          @simulation_speed = speed == 0 ? 1 : speed
        end
        set_window_scale sw[:scale].to_f if sw.key?(:scale) && sw[:scale]
        @argv_no_tick = sw.key?(:"no-tick")
        if sw.key? :record
          seed = (sw[:seed] || 100).to_i
          log_info "--record switch found. Recording will be started with a seed value of #{seed} (--seed)."
          @recording.start_recording seed if @recording.respond_to? :start_recording
        elsif sw.key? :replay
          @argv_replay_file = sw[:replay] || "last_replay.txt"
        elsif sw.key? :eval
          @argv_eval_file = sw[:eval]
        elsif sw.key? :test
          @argv_test_file = sw[:test]
          @no_tick = true
        end
        @no_tick = true if @argv_no_tick && !@argv_eval_file
      end

      def no_tick_run?
        @argv_no_tick || @argv_test_file
      end

      # Pending --eval, --replay and --test work, before any simulation.
      def tick_argv
        if @argv_replay_file && Kernel.global_tick_count >= 0
          file = @argv_replay_file
          @argv_replay_file = nil
          log_info "--replay switch found. Replay will be started using file [#{file}] (--replay FILENAME) " \
                   "with replay speed [#{@simulation_speed}] (--speed SPEED)."
          @recording.start_replay file, @simulation_speed if @recording.respond_to? :start_replay
        end
        if @argv_eval_file && !@argv_eval_loaded && @load_status == :ready
          @argv_eval_loaded = true
          file = @argv_eval_file
          unless @ffi_file.path_exists file
            log_error "File does not exist: #{file}"
            raise "File does not exist: #{file}"
          end
          __require__ file, true
          if @argv_no_tick
            log_info "--no-tick switch found. Exiting."
            @eval_no_tick_running = true
          end
        end
        if @eval_no_tick_running && !__callbacks_ahead__
          @eval_no_tick_running = false
          @eval_no_tick_finished = true
          @no_tick = true
          request_quit
        end
        if @argv_test_file && !@argv_test_done && @load_status == :ready
          @argv_test_done = true
          file = @argv_test_file
          raise "File does not exist: #{file}" unless @ffi_file.path_exists file
          __require__ file, true
          $tests.start
          @exit_status = 1 if $tests.any_failed?
          request_quit
        end
      end
    end
  end
end
