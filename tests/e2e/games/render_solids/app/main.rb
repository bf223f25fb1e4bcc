# Solids, blend modes, a vertex-coloured triangle and anchors over a known
# background; one screenshot of the whole canvas at tick 5.
BLENDS = [0, 1, 2, 3, 4, 7]

def tick args
  __render_capabilities__ args if args.tick_count == 0
  args.outputs.background_color = [100, 150, 200]
  args.outputs.solids << { x: 0, y: 0, w: 64, h: 64, r: 255, g: 0, b: 0 }
  args.outputs.solids << { x: 200, y: 300, w: -100, h: 20, r: 0, g: 255, b: 0 }
  BLENDS.each_with_index do |mode, i|
    args.outputs.solids << { x: 400 + 60 * i, y: 100, w: 50, h: 50,
                             r: 200, g: 100, b: 50, a: 128, blendmode_enum: mode }
  end
  args.outputs.sprites << { x: 700, y: 300, x2: 1000, y2: 300, x3: 850, y3: 600,
                            r: 255, g: 0, b: 0, r2: 0, g2: 255, b2: 0, r3: 0, g3: 0, b3: 255,
                            source_x: 0, source_y: 0, source_x2: 0, source_y2: 0,
                            source_x3: 0, source_y3: 0 }
  args.outputs.sprites << { x: 300, y: 500, w: 100, h: 100, path: :pixel,
                            r: 0, g: 0, b: 0, anchor_x: 0.5, anchor_y: 0.5 }
  if args.tick_count == 5
    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: "shots/solids.png",
                                  r: 0, g: 0, b: 0, a: 255 }
  end
  $zel.request_quit if args.tick_count == 8
end
