# Render targets: "kept" is drawn into on tick 1 only and redrawn with clear
# flag off, "cleared" is cleared every tick; both are drawn by name. The
# screenshot at tick 5 also captures a colour-keyed copy into a nested folder.
def tick args
  __render_capabilities__ args if args.tick_count == 0
  args.outputs.background_color = [0, 0, 0]
  kept = args.outputs[:kept]
  kept.w = 100
  kept.h = 100
  kept.clear_before_render = args.tick_count <= 1
  kept.background_color = [255, 0, 0, 255]
  kept.solids << { x: 0, y: 0, w: 50, h: 50, r: 0, g: 0, b: 255 } if args.tick_count == 1
  cleared = args.outputs[:cleared]
  cleared.w = 100
  cleared.h = 100
  cleared.background_color = [0, 255, 0, 255]
  cleared.solids << { x: 0, y: 0, w: 50, h: 50, r: 0, g: 0, b: 255 } if args.tick_count == 1
  args.outputs.sprites << { x: 10, y: 10, w: 100, h: 100, path: :kept }
  args.outputs.sprites << { x: 200, y: 10, w: 100, h: 100, path: :cleared }
  args.outputs.solids << { x: 400, y: 10, w: 20, h: 20, r: 12, g: 18, b: 30 }
  if args.tick_count == 5
    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: "shots/targets.png",
                                  r: 0, g: 0, b: 0, a: 255 }
    args.outputs.screenshots << { x: 390, y: 0, w: 40, h: 40, path: "shots/deep/er/key.png",
                                  r: 10, g: 20, b: 30, a: 0, angle: 5 }
  end
  $zel.request_quit if args.tick_count == 8
end
