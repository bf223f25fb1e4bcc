# The game handles its own exceptions: the engine calls unhandled_exception.
def tick args
  raise ArgumentError, "hooked #{args.tick_count}" if args.tick_count == 10
  puts "still ticking" if args.tick_count == 20
end

def unhandled_exception args, e
  puts "handled #{e.class}: #{e.message} (#{args.class})"
end
