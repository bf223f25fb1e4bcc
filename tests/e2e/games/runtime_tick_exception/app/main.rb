# Raises in tick 30; the engine exports the game state and pauses the game.
def tick args
  args.state.score ||= 0
  args.state.score += 1
  puts "ticked #{args.tick_count}" if args.tick_count >= 28
  raise "boom in tick #{args.tick_count}" if args.tick_count == 30
end
