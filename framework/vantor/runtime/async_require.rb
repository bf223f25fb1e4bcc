# The reload queue shared with the engine's native loader: paths wait in
# reload_list, the loader takes them from the front of that same array, and
# every path keeps a history of its queue events.
module Zel
  class Runtime
    module AsyncRequire
      def async_require_init
        @reload_list = []
        @reload_list_history = {}
        @is_reloading = nil
        @exception_occurred = nil
        @loaded_files = {}
      end

      def __record_reload_event__ path, event
        gt = Kernel.global_tick_count
        # simulation_at never goes back (the global tick count restarts at a
        # boot), so ages computed from it stay true.
        ev = { path: path, global_at: gt, simulation_at: @simulation_count, event: event }
        h = (@reload_list_history[path] ||= { current: nil, history: [] })
        h[:current] = ev
        h[:history] << ev
        ev
      end

      def add_to_require_queue path
        gt = Kernel.global_tick_count
        h = @reload_list_history[path]
        if h
          [h[:history].last, h[:current]].each do |ev|
            next unless ev
            return :deduplicated if @simulation_count - ev[:simulation_at] < 60
          end
        end
        begin
          __record_reload_event__ path, :reload_queued
          log_info "** INFO: =#{path}= queued to load via ~require~. (#{gt}, #{Kernel.tick_count})",
                   "Engine"
          @reload_list << path unless @reload_list.include? path
          __require_sync__ path if @load_status == :ready
          true
        rescue Exception => e
          raise "* EXCEPTION: ~Runtime#add_to_require_queue~ failed for =#{path}=.\n#{e}"
        end
      end

      def get_ruby_reload_list
        return [] if @reload_list.empty?
        @reload_list.each { |path| __record_reload_event__ path, :processing }
        @exception_occurred = false
        @is_reloading = true
        @reload_list
      end

      def reload_complete
        return unless @is_reloading
        @is_reloading = false
        unless @exception_occurred
          reason = @console.show_reason
          if @console.visible? && (reason == :exception || reason == :exception_on_load)
            unpause!
            @console.hide
          end
        end
        gt = Kernel.global_tick_count
        @reload_list_history.each do |path, h|
          ev = h[:current]
          next unless ev && (ev[:event] == :processing || ev[:event] == :reload_queued)
          __record_reload_event__ path, :reload_completed
          @loaded_files[path] = true
          log_info "* INFO: =#{path}= reloaded. (#{gt}, #{Kernel.tick_count})", "Engine"
        end
        @last_reload_complete_global_at = gt
        $layout.reset if $layout
        reset_framerate_calculation
        __reevaluate_load_status__
        nil
      end

      def __reevaluate_load_status__
        return if @load_status == :ready || @load_status == :boot
        pending = @reload_list_history.any? do |_, h|
          e = h[:current] && h[:current][:event]
          e == :reload_queued || e == :processing
        end
        return if pending
        main_done = ["app/main.rb", "app/main.rbc"].any? do |p|
          h = @reload_list_history[p]
          h && h[:history].any? { |ev| ev[:event] == :reload_completed }
        end
        return unless main_done
        reseed_file_mtimes
        @load_status = :boot
      end
    end
  end
end
