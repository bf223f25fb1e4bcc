# HD: the window is made square at tick 1, so the canvas is letterboxed above
# and below; the canvas is filled with one colour.
def tick args
  __render_capabilities__ args if args.tick_count == 0
  args.outputs.background_color = [40, 80, 120]
  args.outputs.solids << { x: 0, y: 0, w: 1280, h: 720, r: 40, g: 80, b: 120 }
  $zel.ffi_draw.set_window_size 1000, 1000 if args.tick_count == 1
end
