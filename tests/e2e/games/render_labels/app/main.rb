# Labels, all hanging below their y (vertical alignment 2): "AV", "V", "AA" and
# "A" in the default font (x 20) and the mono font (x 620) for the kerning
# check, "A<U+4E2D>V" (a glyph neither font has), three alignments of a run of
# full blocks at x 900, and a huge red label.
BLOCKS = "\u2588\u2588\u2588"

def label args, x, y, text, size, extra = {}
  args.outputs.labels << { x: x, y: y, text: text, size_px: size, vertical_alignment_enum: 2,
                           r: 255, g: 255, b: 255 }.merge(extra)
end

def tick args
  __render_capabilities__ args if args.tick_count == 0
  args.outputs.background_color = [0, 0, 0]
  %w[AV V AA A].each_with_index do |text, i|
    label args, 20, 710 - 140 * i, text, 100
    label args, 620, 710 - 140 * i, text, 100, font: "mono.ttf"
  end
  label args, 20, 150, "A\u4e2dV", 100
  [0, 1, 2].each { |a| label args, 900, 140 - 40 * a, BLOCKS, 20, alignment_enum: a }
  label args, 0, 0, "W", 100000, g: 0, b: 0
  if args.tick_count == 5
    args.outputs.screenshots << { x: 0, y: 0, w: 1280, h: 720, path: "shots/labels.png",
                                  r: 0, g: 0, b: 0, a: 255 }
  end
  $zel.request_quit if args.tick_count == 8
end
