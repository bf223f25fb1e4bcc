# Source and tile rectangles on a banded image (row y has red 4y), an
# out-of-bounds source drawn every tick, a missing image, and the quadrant
# image rotated and flipped. The test writes the two images.
def tick args
  __render_capabilities__ args if args.tick_count == 0
  args.outputs.background_color = [0, 0, 0]
  args.outputs.sprites << { x: 100, y: 100, w: 4, h: 16, path: "sprites/bands.png",
                            source_x: 0, source_y: 0, source_w: 4, source_h: 16 }
  args.outputs.sprites << { x: 120, y: 100, w: 4, h: 16, path: "sprites/bands.png",
                            tile_x: 0, tile_y: 0, tile_w: 4, tile_h: 16 }
  args.outputs.sprites << { x: 140, y: 100, w: 8, h: 8, path: "sprites/bands.png",
                            source_w: 8, source_h: 8 }
  args.outputs.sprites << { x: 300, y: 300, w: 256, h: 256, path: "sprites/missing.png" }
  [[0, false, false], [0, true, false], [0, false, true], [90, false, false]].each_with_index do |(angle, fh, fv), i|
    args.outputs.sprites << { x: 700 + 120 * i, y: 100, w: 100, h: 100, path: "sprites/quad.png",
                              angle: angle, flip_horizontally: fh, flip_vertically: fv }
  end
  if args.tick_count == 5
    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: "shots/sprites.png",
                                  r: 0, g: 0, b: 0, a: 255 }
  end
  $zel.request_quit if args.tick_count == 8
end
