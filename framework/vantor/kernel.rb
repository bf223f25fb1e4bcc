# Tick counters and the framework's replacements of Kernel's printing methods.
module Kernel
  # -1 until the runtime sets them: tick_count counts the game's ticks since
  # the last reset, global_tick_count the engine's ticks since start.
  @tick_count = -1
  @global_tick_count = -1

  def self.tick_count
    @tick_count
  end

  def self.tick_count= value
    @tick_count = value
  end

  def self.global_tick_count
    @global_tick_count
  end

  def self.global_tick_count= value
    @global_tick_count = value
  end

  # The interpreter's own puts, used before the runtime exists.
  alias_method :__puts__, :puts unless method_defined? :__puts__

  def puts *args
    if $zel
      $zel.__framework_puts__ args
    else
      __puts__(*args)
    end
    nil
  end

  def p *args
    args.each { |a| puts a.inspect }
    return nil if args.empty?
    args.length == 1 ? args[0] : args
  end

  def __puts_every__ n, args
    tc = Kernel.tick_count
    puts(*args) if tc && (tc % n) == 0
    nil
  end

  def puts6 *args
    __puts_every__ 6, args
  end

  def puts60 *args
    __puts_every__ 60, args
  end

  def puts600 *args
    __puts_every__ 600, args
  end

  def putz6 *args
    __puts_every__ 6, args
  end

  def putz60 *args
    __puts_every__ 60, args
  end

  def putz600 *args
    __puts_every__ 600, args
  end

  # Game files require each other through the runtime, which loads a file
  # once and watches it for changes.
  def require file
    raise "~require~ needs the runtime (#{file})." unless $zel
    $zel.require file
  end

  def require_relative file
    raise "~require_relative~ needs the runtime (#{file})." unless $zel
    $zel.require_relative file
  end

  # exit ends the run in order: the runtime turns it into a quit request with
  # this status (the shutdown hook still runs) instead of ending the process
  # under the render thread.
  def exit status = true
    raise SystemExit.new(status)
  end
end

class SystemExit < Exception
  attr_reader :status

  def initialize status = true
    @status = if status == true
                0
              elsif status == false
                1
              else
                status.to_i
              end
    super("exit(#{@status})")
  end

  def success?
    @status == 0
  end
end
