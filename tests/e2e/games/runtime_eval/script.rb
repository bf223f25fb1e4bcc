# Run with --eval script.rb --no-tick: the engine quits once this file and
# its callbacks are done.
puts "script loaded at #{Kernel.tick_count}"
$zel.schedule_callback(Kernel.tick_count + 3) { puts "script callback at #{Kernel.tick_count}" }
