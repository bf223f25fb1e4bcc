# Line 4 leaves a parenthesis open; the test replaces this file with a fixed one.
def tick args
  puts "game running" if args.tick_count == 0
  x = (1 +
end
