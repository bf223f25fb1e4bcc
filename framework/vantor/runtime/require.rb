# require and require_relative for game files, and loading the game's main
# file. A file is loaded once; only the hot-loader loads a changed file again.
module Zel
  class Runtime
    class LoadError < StandardError
      attr_reader :path, :inner_exception

      def initialize path, inner_exception, message
        @path = path
        @inner_exception = inner_exception
        super(message)
      end
    end

    module Require
      def load_main_rb
        return unless @load_status == :orvane_started
        main_rb = @ffi_file.path_exists "app/main.rb"
        main_rbc = @ffi_file.path_exists "app/main.rbc"
        if main_rb
          text = @ffi_file.read("app/main.rb") || ""
          result = @ffi_mrb.parse text
          if result != "Syntax OK"
            @load_status = :main_rb_load_failed
            @load_status_exception = result
          end
        end
        if main_rb || main_rbc
          begin
            __require__ "app/main.rb", true
          rescue Exception => e
            @load_status = :main_rb_load_failed
            @load_status_exception = e.to_s
          end
        else
          @load_status = :main_rb_load_failed
          @load_status_exception = "app/main.rb not found."
        end
      end

      def require file
        __require__ file.to_s, false
      end

      def require_relative file
        base = @require_stack.last
        dir = if base && base.include?("/")
                base[0, base.rindex("/")]
              else
                "app"
              end
        __require__ "#{dir}/#{file}", false
      end

      def __resolve_require_path__ file
        if file.end_with? ".rb"
          file
        elsif file.end_with? ".rbc"
          file[0..-2]
        else
          "#{file}.rb"
        end
      end

      def __require__ file, force
        path = __resolve_require_path__ file
        begin
          # A compiled twin (the same name + "c") is loaded instead, also
          # when a game ships without its sources.
          twin = "#{path}c"
          has_twin = @ffi_file.path_exists twin
          raise "#{path} does not exist." unless has_twin || @ffi_file.path_exists(path)
          load_path = has_twin ? twin : path
          return false if !force && (@loaded_files[path] || @loaded_files[load_path])
          if load_path.end_with? ".rb"
            result = @ffi_mrb.parse(@ffi_file.read(load_path) || "")
            raise "** Failed to load #{path}.\n#{result}\n\n" if result != "Syntax OK"
          end
          main = path == "app/main.rb"
          @user_modules = [] if main && !@production
          add_to_require_queue load_path
          unless @required_files.include? load_path
            @required_files << load_path
            __seed_file_signature__ load_path
          end
          __require_sync__ load_path
          if main && !@production
            @user_modules = Object.constants - @zel_constants
          end
          true
        rescue Exception => e
          raise LoadError.new(path, e,
                              "* ERROR: Exception while requiring #{file}.\n#{e}\n" +
                              e.backtrace.to_a.join("\n"))
        end
      end

      # Runs the native loader over the reload queue; a path is loaded at
      # most once per simulation.
      def __require_sync__ path
        return if @require_history[path] == @simulation_count
        @require_history[path] = @simulation_count
        @require_stack.push path
        begin
          reload_requested_ruby_files_synchronously
        ensure
          @require_stack.pop
        end
      end

      # Sets the game's own global variables (those that did not exist when
      # the runtime was built) back to nil.
      def purge_user_global_variables
        return unless @zel_global_variables
        (global_variables - @zel_global_variables).each { |g| eval("#{g} = nil") }
      end

      def purge_user_modules
        (@user_modules || []).each do |c|
          Object.send :remove_const, c if Object.const_defined? c
        end
        @user_modules = []
      end
    end
  end
end
