# The engine's vocabulary on every object: logging helpers, small value
# helpers, and the drawable mix-in macros. Nothing here shadows a core method.
class Object
  def log message, subsystem = nil
    Zel::Log.log_info message.to_s, subsystem
  end

  def log_spam message, subsystem = nil
    $zel ? $zel.log_spam(message.to_s, subsystem) : nil
  end

  def log_debug message, subsystem = nil
    $zel ? $zel.log_debug(message.to_s, subsystem) : nil
  end

  def log_info message, subsystem = nil
    Zel::Log.log_info message.to_s, subsystem
  end

  def log_warn message, subsystem = nil
    Zel::Log.log_warn message.to_s, subsystem
  end

  def log_error message, subsystem = nil
    Zel::Log.log_error message.to_s, subsystem
  end

  def log_unfiltered message, subsystem = nil
    $zel ? $zel.log_unfiltered(message.to_s, subsystem) : __puts__(message.to_s)
  end

  def log_important message, subsystem = nil
    Zel::Log.puts_important message.to_s
  end

  def log_print message
    log_info message
  end

  def log_once id, message, include_caller: false
    Zel::Log.puts_once id, message, include_caller: include_caller
  end

  def log_once_important id, message
    Zel::Log.puts_once_important id, message
  end

  def log_once_info id, message
    Zel::Log.puts_once_info id, message
  end

  def log_with_color color, message
    log_info Zel::Log.colorize(message.to_s, color)
  end

  def log_reset_color
    log_info XTERM_COLOR[:reset]
  end

  XTERM_COLOR.each_key do |color|
    next if color == :reset
    define_method("log_#{color}") { |message| log_with_color color, message }
  end

  def let
    yield self
  end

  def ivar name
    instance_variable_get("@#{name}")
  end

  def ivar! name, value
    instance_variable_set("@#{name}", value)
  end

  def numeric_or_default value, default = 0
    value.is_a?(Numeric) ? value : default
  end

  def f_or_default value, default = 0.0
    value.is_a?(Numeric) ? value.to_f : default
  end

  def i_or_default value, default = 0
    value.is_a?(Numeric) ? value.to_i : default
  end

  def s_or_default value, default = ""
    value.nil? ? default : value.to_s
  end

  def fast_rand
    rand
  end

  def comment *args
    nil
  end
end

class Module
  def attr_sprite
    include AttrSprite
  end

  def attr_label
    include AttrLabel
  end

  def attr_rect
    include AttrRect
  end

  def attr_line
    include AttrLine
  end
end
