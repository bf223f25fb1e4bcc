# Reports what the game sees of the inputs that the test's script sends
# through the X server, one "MODEL" line per observation.
def report text
  puts "MODEL #{text}"
end

def tick args
  report "ready" if args.tick_count == 30
  kb = args.inputs.keyboard
  report "key_down a #{args.tick_count} value #{kb.key_down.a}" if kb.key_down.a
  if kb.key_held.a && !args.state.held_reported
    args.state.held_reported = true
    report "key_held a #{args.tick_count}"
  end
  report "key_up a #{args.tick_count}" if kb.key_up.a
  report "shift_one #{args.tick_count}" if kb.key_down.exclamation_point && kb.key_down.one
  args.inputs.text.each { |t| report "text #{t}" }
  m = args.inputs.mouse
  report "mouse #{m.x.to_i} #{m.y.to_i}" if m.moved
  report "click #{m.click.x.to_i} #{m.click.y.to_i} #{args.tick_count}" if m.click
  report "wheel #{m.wheel[:y]}" if m.wheel
  # Entities and nil punning on the real state.
  if args.tick_count == 1
    args.state.player.x = 5
    report "player #{args.state.player.x} #{args.state.player.class}"
  end
end
