# speedup!, slowmo!, schedule_callback and on_tick_count, each observed in the
# log. Three simulations of one engine tick share its clock value.
def boot args
  $zel.schedule_callback(5) { |a| puts "callback at #{Kernel.tick_count} with #{a.class}" }
  $zel.schedule_callback(5) { puts "second callback at #{Kernel.tick_count}" }
  $zel.on_tick_count(8) { puts "on_tick_count at #{Kernel.tick_count}" }
  $clocks = []
  $slow = []
end

def tick args
  tc = args.tick_count
  $zel.on_tick_count(tc) { puts "must not run" } if tc == 9
  if tc >= 20 && tc < 50
    $zel.speedup! 3
    $clocks << $zel.sdl_tick
  elsif tc == 50
    runs = $clocks.uniq.map { |c| $clocks.count(c) }
    puts "speedup runs #{runs.uniq.inspect}"
  elsif tc >= 60 && tc < 70
    $zel.slowmo! 2
    $slow << Kernel.global_tick_count
  elsif tc == 70
    puts "slowmo gaps #{$slow.each_cons(2).map { |a, b| b - a }.uniq.inspect}"
    $zel.request_quit
  end
end
