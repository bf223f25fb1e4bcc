# Window commands seen from outside: a new title and size at tick 1; the game
# keeps running until the test's script ends it.
def tick args
  __render_capabilities__ args if args.tick_count == 0
  if args.tick_count == 1
    $zel.ffi_draw.set_window_title "Renamed by the game"
    $zel.ffi_draw.set_window_size 800, 600
  end
end
