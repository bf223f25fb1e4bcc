# args: its members after construction, its shortcuts and its errors.

test "args holds the model and its shortcuts lead to it" do
  r = make_runtime
  a = r.args
  assert a.outputs.is_a?(Zel::TopLevelOutputs)
  assert a.inputs.is_a?(Zel::Inputs)
  assert a.state.is_a?(Zel::OpenEntity)
  assert a.audio.is_a?(AudioHash)
  assert_equal [a.outputs], a.passes
  assert_equal({ resize_occurred: false, orientation_changed: false, raw: [] }, a.events)
  assert a.zel.equal?(r)
  assert_equal [Zel::Fn, Zel::Geometry, String], [a.fn, a.geometry, a.string]
  [[:solids, :solids], [:sprites, :sprites], [:labels, :labels], [:lines, :lines],
   [:borders, :borders], [:primitives, :primitives], [:static_solids, :static_solids],
   [:static_sprites, :static_sprites], [:static_primitives, :static_primitives]].each do |short, member|
    assert a.send(short).equal?(a.outputs.send(member)), short
  end
  assert a.keyboard.equal?(a.inputs.keyboard)
  assert a.mouse.equal?(a.inputs.mouse)
  [:controller_one, :controller_two, :controller_three, :controller_four].each_with_index do |c, i|
    assert a.send(c).equal?(a.inputs.controllers[i]), c
  end
  assert_equal nil, a.click
  r.mouse_button_pressed 1
  assert a.click.equal?(a.inputs.mouse.click)
end

test "an unknown method on args names itself and points at the state" do
  r = make_runtime
  r.args.state.score = 3
  e = assert_raises(NoMethodError) { r.args.score }
  assert_includes e.message, "* ERROR - :score method missing on ~Zel::Args~."
  assert_includes e.message, "** POSSIBLE SOLUTION - ~args.state.score~ exists."
  e = assert_raises(NoMethodError) { r.args.lives }
  refute e.message.include?("POSSIBLE SOLUTION")
end

test "temp_state empties after every tick, state stays" do
  r = booted_runtime <<~RUBY
    def tick args
      $seen = [args.temp_state.mark, args.state.mark]
      args.temp_state.mark = 1
      args.state.mark = 2
    end
  RUBY
  engine_ticks r, 2
  assert_equal [nil, 2], $seen
end
