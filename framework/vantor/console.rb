# The in-game developer console: why it was opened, its log lines and the
# prompt text. The runtime opens it when an exception stops the game and
# resumes the game when it is hidden again.
# FIXME: drawing, keyboard input, command evaluation and history.
module Zel
  class Console
    attr_reader :show_reason, :shown_at, :toggled_at, :log, :archived_log, :prompt_text
    attr_accessor :command_set_at, :max_log_lines

    def initialize
      @visible = false
      @enabled = true
      @show_reason = nil
      @shown_at = -1
      @toggled_at = nil
      @hidden_at = nil
      @command_set_at = nil
      @log = ["Console ready."]
      @archived_log = []
      @max_log_lines = 1000
      @prompt_text = ""
      @toast_ids = []
    end

    def visible?
      @visible
    end

    def hidden?
      !@visible
    end

    def enabled?
      @enabled
    end

    def enable
      @enabled = true
    end

    def disable
      @enabled = false
    end

    def show reason = nil
      @show_reason = reason
      @shown_at = Kernel.global_tick_count
      toggle unless @visible
    end

    alias_method :open, :show

    def hide
      return unless @visible
      toggle
      @hidden_at = Kernel.global_tick_count
      @archived_log.concat @log
      @archived_log.shift(@archived_log.length - @max_log_lines) if @archived_log.length > @max_log_lines
      @log = []
      @show_reason = nil
    end

    alias_method :close, :hide

    def toggle
      @visible = !@visible
      @toggled_at = Kernel.global_tick_count
    end

    # True when the console was hidden during the current engine tick.
    def hidden_during_global_tick? global_tick
      @hidden_at && @hidden_at == global_tick && !@visible
    end

    def add_text obj, loglevel = -1
      obj.to_s.split("\n").each { |line| @log << line }
      @log.shift(@log.length - @max_log_lines) if @log.length > @max_log_lines
    end

    def set_command text, show_reason = nil
      @prompt_text = text.to_s
      @command_set_at = Kernel.global_tick_count
      show show_reason if show_reason
    end

    def set_command_silent text
      @prompt_text = text.to_s
      @command_set_at = Kernel.global_tick_count
    end

    def forget_toasts
      @toast_ids.clear
    end

    def tick args
    end
  end
end
