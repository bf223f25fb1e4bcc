# Quits by itself at tick 10; shutdown sees the tick of the quit.
def boot args
  puts "boot at #{Kernel.tick_count}"
end

def tick args
  puts "first tick #{args.tick_count}" if args.tick_count == 0
  $zel.request_quit if args.tick_count == 10
end

def shutdown args
  puts "shutdown at #{args.tick_count}"
end
