# The hot-load poll: about once a second the runtime compares every watched
# source file with what it saw last and reloads the ones that changed.
module Zel
  class Runtime
    module Hotload
      CORE_FILES = ["repl.rb", "app/main.rb", "app/repl.rb", "app/tests.rb", "app/test.rb",
                    "app/stdin.rb"]

      def hotload_init
        @hotload_debounce = 0
        @suppress_hotload = false
        @files_reloaded = []
        @reloaded_files = []
        @file_mtimes = {}
        hotload_files.each { |f| __seed_file_signature__ f }
      end

      def hotload_files
        files = []
        files.concat FRAMEWORK_SOURCE_FILES unless @rcb_release_mode
        files.concat CORE_FILES
        @required_files.each { |f| files << f unless files.include? f }
        files
      end

      # What decides whether a file changed: its modification time, in
      # seconds and as precisely as the file system reports it, and its size,
      # so that two edits within one second are told apart.
      def __file_signature__ file
        st = @ffi_file.stat file
        return -1 unless st
        precise = @ffi_file.respond_to?(:mtime_precise) ? @ffi_file.mtime_precise(file) : nil
        [st[:mod_time], precise, st[:file_size]]
      end

      def __seed_file_signature__ file
        sig = __file_signature__ file
        @file_mtimes[file] = { current: sig, last: sig }
      end

      def reseed_file_mtimes
        hotload_files.each { |f| __seed_file_signature__ f }
      end

      def tick_hotload
        return if Kernel.tick_count <= 0 && !@paused
        rate = @current_framerate_calc.to_i
        step = rate > 0 ? 60 / rate : 1
        step = 1 if step < 1
        @hotload_debounce += step
        return if @hotload_debounce < 60
        @hotload_debounce = 0
        hotload_files.each { |f| reload_if_needed f }
      end

      def reload_if_needed file
        entry = @file_mtimes[file]
        unless entry
          __seed_file_signature__ file
          return
        end
        current = __file_signature__ file
        entry[:current] = current
        return if current == entry[:last]
        @hotload_global_at = Kernel.global_tick_count
        @load_status = :orvane_started if @load_status == :main_rb_load_error_shown
        result = reload_ruby_file file
        if result == true
          @files_reloaded << file
          @reloaded_files << file
        end
        # A file whose previous load is too recent is tried again next time.
        entry[:last] = current unless result == :deduplicated
      end

      # Queues a changed source file for loading. Answers true when it was
      # queued, :deduplicated when an earlier load is too recent, false when it
      # cannot be loaded (the failure is reported like a tick exception).
      def reload_ruby_file file
        return false unless file.end_with?(".rb") || file.end_with?(".rbc")
        return true if @suppress_hotload
        begin
          # FIXME: keep a backup copy of the file under tmp/src_backup first.
          text = @ffi_file.read file
          return false if text.nil?
          return true if text.empty?
          if @load_status == :main_rb_load_error_shown
            @load_status = :orvane_started
            Kernel.tick_count = -1
            Kernel.global_tick_count = -1
          end
          if file.end_with? ".rb"
            result = @ffi_mrb.parse text
            raise "** Failed to load/reload #{file}.\n#{result}\n\n" if result != "Syntax OK"
          end
          queued = add_to_require_queue file
          return :deduplicated if queued == :deduplicated
          gt = Kernel.global_tick_count
          log_debug "Reloaded #{file}. (#{gt})"
          reset_framerate_calculation
          if @last_subdued_notification_at != gt
            @last_subdued_notification_at = gt
            notify_subdued!
          end
          true
        rescue Exception => e
          pretty_print_exception_and_export! e
          pause!
          false
        end
      end
    end
  end
end
