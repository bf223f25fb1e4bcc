# The default game: a welcome scene. Edit this file while the game runs and it
# reloads by itself.
def tick args
  args.state.angle ||= 0
  args.state.angle += 1

  args.outputs.background_color = [18, 20, 32]
  args.outputs.labels << { x: 640, y: 600, text: "Welcome to Orvane", size_enum: 10,
                           alignment_enum: 1, r: 255, g: 241, b: 232 }
  args.outputs.labels << { x: 640, y: 540, text: "Edit mygame/app/main.rb to make it yours.",
                           alignment_enum: 1, r: 194, g: 195, b: 199 }
  args.outputs.sprites << { x: 512, y: 232, w: 256, h: 128, path: "console-logo.png",
                            angle: args.state.angle }
  y = 160 + 40 * Math.sin(args.state.angle / 30.0)
  args.outputs.solids << { x: 600, y: y, w: 80, h: 16, r: 255, g: 0, b: 77 }
end
