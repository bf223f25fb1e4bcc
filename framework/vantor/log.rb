# Zel::Log: logging helpers for games and the framework, on top of the
# runtime's log methods.
module Zel
  module Log
    @once = {}
    @log_level = :on

    def self.log_level
      @log_level
    end

    def self.log_level= value
      @log_level = value
    end

    def self.puts_once *ids, message
      key = ids.empty? ? message : ids
      return if @once[key]
      @once[key] = true
      puts message
    end

    def self.puts_once_info *ids, message
      key = ids.empty? ? message : ids
      return if @once[key]
      @once[key] = true
      log_info message
    end

    def self.log_info message, subsystem = nil
      if $zel
        $zel.log_info message, subsystem
      else
        __puts__ message
      end
    end

    def self.log_warn message, subsystem = nil
      if $zel
        $zel.log_warn message, subsystem
      else
        __puts__ message
      end
    end

    def self.log_error message, subsystem = nil
      if $zel
        $zel.log_error message, subsystem
      else
        __puts__ message
      end
    end

    def self.headline text
      "* #{text}"
    end

    def self.colorize text, color
      "#{XTERM_COLOR[color]}#{text}#{XTERM_COLOR[:reset]}"
    end
  end
end
