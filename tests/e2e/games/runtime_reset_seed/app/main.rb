# Resets with seed 42 at tick 20 and checks the fresh state and the random
# sequence at the new tick 0.
def boot args
  srand 42
  $expected = [rand(1000), rand(1000), rand(1000)]
  srand 7
end

def tick args
  if $after_reset
    puts "after reset tick=#{args.tick_count} marker=#{args.state.marker.inspect} " \
         "rand_matches=#{[rand(1000), rand(1000), rand(1000)] == $expected}"
    $zel.request_quit
  elsif args.tick_count == 20
    args.state.marker = :old
    $after_reset = true
    $zel.reset seed: 42
  end
end
