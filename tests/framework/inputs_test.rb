# The input model as the engine's entry points fill it and the ticks age it:
# keyboard sets and key names, mouse, touch, controllers, replays and the
# game's own view of them from inside its tick.

# A game that writes what it sees of the inputs into $seen, one entry a tick.
OBSERVER = <<~RUBY
  $seen = []
  def tick args
    kb = args.inputs.keyboard
    $seen << { tick: args.tick_count, down: kb.key_down.a, held: kb.key_held.a, up: kb.key_up.a,
               a: kb.a, ctrl_s: kb.ctrl_s, left_right: args.inputs.left_right,
               mouse: [args.inputs.mouse.x, args.inputs.mouse.y],
               click: args.inputs.mouse.click && [args.inputs.mouse.click.x, args.inputs.mouse.click.y],
               held_click: !!args.inputs.mouse.held,
               a_button: args.inputs.controller_one.key_down.a,
               a_held: args.inputs.controller_one.key_held.a,
               text: args.inputs.text.dup }
  end
RUBY

LSHIFT = 0x400000E1
LCTRL = 0x400000E0
LEFT_ARROW = 0x40000050

def seen_at tick
  $seen.find { |s| s[:tick] == tick }
end

test "a key arriving before tick T is down in T, held from T+1 and up when released" do
  r = booted_runtime OBSERVER
  engine_ticks r, 3 # ticks 0..2
  r.key_down_raw 97, 0
  engine_ticks r, 3 # 3, 4, 5
  r.key_up_raw 97, 0
  engine_ticks r, 2 # 6, 7
  assert_equal [nil, nil, nil, false], seen_at(2).values_at(:down, :held, :up, :a)
  assert_equal 2, seen_at(3)[:down], "the tick current when the event arrived"
  assert_equal [nil, true], [seen_at(3)[:held], seen_at(3)[:a]]
  assert_equal [nil, 3, true], seen_at(4).values_at(:down, :held, :a)
  assert_equal [nil, 5], seen_at(6).values_at(:held, :up)
  assert_equal false, seen_at(6)[:a]
  assert_equal [nil, nil, nil], seen_at(7).values_at(:down, :held, :up)
end

test "a key pressed and released between two ticks is down and up in the next one only" do
  r = booted_runtime OBSERVER
  engine_ticks r, 1
  r.key_down_raw 97, 0
  r.key_up_raw 97, 0
  engine_ticks r, 2
  assert seen_at(1)[:down]
  assert seen_at(1)[:up]
  assert_equal [nil, nil, false], seen_at(2).values_at(:down, :held, :a)
end

test "key names of codes and modifiers" do
  [
    [97, 0, [:a]],
    [97, 1, [:a, :shift]],
    [49, 2, [:exclamation_point, :shift]],
    [49, 0, [:one]],
    [LEFT_ARROW, 0, [:left_arrow]],
    [0x4000003A, 0, [:f1]],
    [0x40000045, 0, [:f12]],
    [0x40000062, 0, [:kp_zero]],
    [127, 0, [:delete]],
    [13, 64, [:enter, :control]],
    [178, 0, [:superscript_two]],
    [167, 0, [:section]],
    [186, 0, [:ordinal_indicator]],
    [LSHIFT, 1, [:shift_left, :shift]],
    [LCTRL, 64 | 256, [:control_left, :control, :alt]],
    [0x40000101 + 11, 0, [:ac_search]],
    [96, 1, [:tilde, :shift]],
    [92, 2, [:pipe, :shift]],
    [47, 1, [:question_mark, :shift]],
    [0x4000FFFF, 0, []],
  ].each do |code, mod, names|
    assert_equal names, Zel::KeyboardKeys.sdl_to_key(code, mod), "code #{code} mod #{mod}"
  end
end

test "characters: the code's own, US shift, and the three special codes" do
  [[97, 0, "a"], [97, 1, "A"], [49, 1, "!"], [50, 2, "@"], [48, 1, ")"], [45, 1, "_"],
   [39, 1, "\""], [59, 1, ":"], [61, 1, "+"], [91, 1, "{"], [93, 1, "}"], [46, 1, ">"],
   [44, 1, "<"], [32, 0, " "], [178, 0, "²"], [167, 0, "§"], [186, 0, "º"],
   [LEFT_ARROW, 0, nil], [127, 0, nil], [8, 0, nil]].each do |code, mod, char|
    assert_equal char, Zel::KeyboardKeys.char_to_s(code, mod), "code #{code} mod #{mod}"
  end
end

test "Shift with a key adds its unshifted names; releasing Shift releases the shifted forms" do
  r = make_runtime
  kb = r.args.inputs.keyboard
  r.key_down_raw LSHIFT, 1
  r.key_down_raw 49, 1
  assert kb.key_down.exclamation_point
  assert kb.key_down.one
  assert kb.key_down.shift
  assert_equal "!", kb.key_down.char
  assert_equal 49, kb.key_down.raw_key
  assert kb.key_down.keycodes[49]
  assert_equal :keyboard, r.args.inputs.last_active
  r.args.inputs.keyboard.tick_after
  r.key_up_raw LSHIFT, 0
  assert kb.key_up.exclamation_point
  assert kb.key_up.shift
  refute kb.key_up.one, "the unshifted key is still down"
  r.key_up_raw 49, 0
  assert kb.key_up.one
end

test "releasing a key while a modifier stays held does not release the modifier" do
  r = make_runtime
  kb = r.args.inputs.keyboard
  r.key_down_raw LCTRL, 64
  r.key_down_raw 115, 64
  assert kb.ctrl_s
  refute kb.shift_s
  kb.tick_after
  r.key_up_raw 115, 64
  assert kb.key_up.s
  refute kb.key_up.control
end

test "scan codes W, A, S, D are directions; other scan codes are ignored" do
  r = make_runtime
  kb = r.args.inputs.keyboard
  [[4, :a_scancode, :left, -1, 0], [7, :d_scancode, :right, 1, 0],
   [26, :w_scancode, :up, 0, 1], [22, :s_scancode, :down, 0, -1]].each do |code, name, dir, lr, ud|
    kb.clear
    r.scancode_down_raw code, 0
    assert kb.key_down.send(name), name
    assert kb.send(dir), dir
    assert_equal [lr, ud], [kb.left_right, kb.up_down]
    assert_equal [lr, ud], [r.args.inputs.left_right, r.args.inputs.up_down]
    r.scancode_up_raw code, 0
    assert kb.key_up.send(name)
  end
  kb.clear
  r.scancode_down_raw 5, 0
  assert kb.key_down.truthy_keys.empty?
end

test "direction vectors: none, axis, diagonal" do
  r = make_runtime
  kb = r.args.inputs.keyboard
  assert_equal nil, kb.directional_vector
  r.key_down_raw LEFT_ARROW, 0
  assert_equal({ x: -1, y: 0 }, kb.directional_vector)
  assert (kb.directional_angle - 180.0).abs < 1e-9, kb.directional_angle.inspect
  r.key_down_raw 0x40000052, 0 # up
  v = kb.directional_vector
  assert (v[:x] + Math.sqrt(0.5)).abs < 1e-9 && (v[:y] - Math.sqrt(0.5)).abs < 1e-9, v.inspect
end

test "aliases name the same key; an unknown key name lists the names" do
  r = make_runtime
  kb = r.args.inputs.keyboard
  r.key_down_raw LCTRL, 64
  r.key_down_raw 45, 0
  r.key_down_raw 0x4000004B, 0
  assert kb.key_down.ctrl && kb.key_down.left_ctrl && kb.key_down.control_left
  assert kb.key_down.minus && kb.key_down.dash && kb.key_down.hyphen
  assert kb.key_down.pageup && kb.key_down[:page_up] && kb.key_down["page_up"]
  e = assert_raises(NoMethodError) { kb.key_down.spcae }
  assert_includes e.message, "~spcae~"
  assert_includes e.message, ":space"
  assert_includes e.message, ":backspace"
  assert_raises(NoMethodError) { kb.spcae }
end

test "a game's top-level methods named like keys do not hide the keys" do
  r = booted_runtime <<~RUBY
    def a args
      raise "the game's own a"
    end
    def left args
      raise "the game's own left"
    end
    def space
      raise "the game's own space"
    end
    def tick args
      kb = args.inputs.keyboard
      $seen = [kb.a, kb.key_down.a, kb.left, kb.key_down.space, args.inputs.controller_one.a]
    end
  RUBY
  r.key_down_raw 97, 0
  r.key_down_raw 32, 0
  engine_ticks r, 1
  # The keys arrived before the first tick, while tick_count was -1.
  assert_equal [true, -1, false, -1, false], $seen
end

test "the mouse in logical coordinates, with either grid origin" do
  r = booted_runtime OBSERVER
  r.mouse_move 640, 100
  engine_ticks r, 1
  assert_equal [640.0, 620.0], seen_at(0)[:mouse]
  r.args.grid.origin_center!
  r.mouse_move 640, 100
  engine_ticks r, 1
  assert_equal [0.0, 260.0], seen_at(1)[:mouse]
  m = r.args.inputs.mouse
  assert_equal [640.0, 620.0], [m.previous_x, m.previous_y]
  r.mouse_move_relative 650, 110, 3, 4
  assert_equal [10.0, -10.0], [m.relative_x, m.relative_y], "difference while not grabbed"
  r.set_mouse_grab 2
  r.mouse_move_relative 660, 120, 3, 4
  assert_equal [3, -4], [m.relative_x, m.relative_y], "the given motion in relative mode, y negated"
end

test "mouse buttons: click in the tick after the press, held afterwards, up on release" do
  r = booted_runtime OBSERVER
  r.mouse_move 100, 700
  r.mouse_button_pressed 1
  engine_ticks r, 2
  r.mouse_button_up 1
  engine_ticks r, 1
  m = r.args.inputs.mouse
  assert_equal [100.0, 20.0], seen_at(0)[:click]
  refute seen_at(0)[:held_click]
  assert_equal nil, seen_at(1)[:click]
  assert seen_at(1)[:held_click]
  refute seen_at(2)[:held_click]
  assert_equal 0, m.button_bits
  assert m.previous_click
  r.mouse_button_pressed 3
  assert_equal [4, true, false], [m.button_bits, m.button_right, m.button_left]
  assert m.buttons.right.click
  assert m.key_down.right
  refute m.key_down.left
  r.mouse_button_pressed 9
  assert_equal 4, m.button_bits, "buttons beyond five are ignored"
end

test "the wheel adds up within a tick and ends with it" do
  r = booted_runtime OBSERVER
  m = r.args.inputs.mouse
  r.mouse_wheel 0, -1, false
  r.mouse_wheel 1, -2, true
  assert_equal [1, -3, true], [m.wheel[:x], m.wheel[:y], m.wheel[:inverted]]
  engine_ticks r, 1
  assert_equal nil, m.wheel
end

test "point tests of the mouse" do
  r = make_runtime
  r.mouse_move 100, 620
  m = r.args.inputs.mouse
  assert m.inside_rect?({ x: 90, y: 90, w: 20, h: 20 })
  assert m.inside_rect?([90, 90, 20, 20])
  refute m.inside_rect?({ x: 101, y: 90, w: 20, h: 20 })
  assert m.inside_circle?({ x: 103, y: 104 }, 5)
  refute m.inside_circle?({ x: 103, y: 105 }, 5)
  assert_equal({ x: 100.0, y: 100.0, w: 0, h: 0 }, m.point)
end

test "text typed between ticks is seen in the next tick only" do
  r = booted_runtime OBSERVER
  r.textinput "h"
  r.textinput "é"
  engine_ticks r, 2
  assert_equal [["h", "é"], []], [seen_at(0)[:text], seen_at(1)[:text]]
end

test "touches: order, the first fingers, left and right halves, pinch and lift" do
  r = make_runtime
  i = r.args.inputs
  r.finger_down 1, 100, 620
  assert_equal [100.0, 100.0], [i.finger_one.x, i.finger_one.y]
  assert_equal 0, i.finger_one.touch_order
  assert i.finger_one.first_tick_down
  assert_equal [100.0, 100.0], [i.mouse.x, i.mouse.y], "the mouse follows the touch"
  assert_equal({ x: 100.0, y: 100.0, w: 1, h: 1 }, i.finger_left)
  r.finger_down 2, 1100, 620
  assert_equal 1, i.finger_two.touch_order
  assert_equal({ x: 1100.0, y: 100.0, w: 1, h: 1 }, i.finger_right)
  r.finger_move 2, 700, 620
  assert_equal 400.0, i.pinch_zoom, "the fingers came 400 points closer"
  i.tick_after
  refute i.finger_one.first_tick_down
  assert_equal 0, i.pinch_zoom
  assert i.touch_center[:x] > 100.0 && i.touch_center[:x] < 400.0, i.touch_center.inspect
  r.finger_up 1
  assert_equal nil, i.finger_one
  r.finger_up 2
  assert_equal [nil, nil, nil, nil], [i.finger_one, i.finger_two, i.finger_left, i.finger_right]
  r.finger_down 3, 10, 10
  assert_equal 0, i.finger_one.touch_order, "the count starts again"
  r.finger_move 99, 0, 0
  r.finger_up 98
end

test "a controller button pressed before tick T reads as down in T with the value T" do
  r = booted_runtime OBSERVER
  engine_ticks r, 2
  r.controller_key_down 1, 15
  engine_ticks r, 1
  r.controller_key_held 1, 15
  engine_ticks r, 1
  r.controller_key_up 1, 15
  engine_ticks r, 1
  assert_equal [2, nil], seen_at(2).values_at(:a_button, :a_held)
  assert_equal [nil, 3], seen_at(3).values_at(:a_button, :a_held)
  assert_equal [nil, nil], seen_at(4).values_at(:a_button, :a_held)
  c = r.args.inputs.controller_one
  assert_equal :controller, r.args.inputs.last_active
  r.key_down_player_two 28
  assert r.args.inputs.controller_two.key_down.back
  assert r.args.inputs.controller_two.select
  assert_equal false, c.select
end

test "controller button numbers name their labels" do
  { 1 => :up, 2 => :down, 3 => :left, 4 => :right, 13 => :start, 14 => :b, 15 => :a, 16 => :x,
    17 => :y, 18 => :l1, 19 => :r1, 20 => :l3, 21 => :r3, 22 => :l2, 23 => :r2,
    24 => :directional_up, 25 => :directional_down, 26 => :directional_left,
    27 => :directional_right, 28 => :select, 29 => :home }.each do |button, label|
    r = make_runtime
    r.controller_key_down 3, button
    c = r.args.inputs.controller_three
    assert_equal [label], c.key_down.truthy_keys, "button #{button}"
    assert c.send(label)
  end
  r = make_runtime
  r.controller_key_down 1, 7
  r.controller_key_down 5, 15
  assert r.args.inputs.controllers.all? { |c| c.key_down.truthy_keys.empty? }
  assert r.args.inputs.controller_one.key_down.dpad_up.nil?
  assert_raises(NoMethodError) { r.args.inputs.controller_one.key_down.jump }
end

test "analog values: raw, percentage, the dead zone and repeated values" do
  [[32767, 32767, 1.0], [-32768, -32768, -1.0], [16384, 16384, 0.5], [3600, 0, 0.0],
   [-3600, 0, 0.0], [3601, 3601, 0.11], [0, 0, 0.0]].each do |value, raw, perc|
    r = make_runtime
    r.left_analog_x_player_1 value
    r.right_analog_y_player_4 value
    c = r.args.inputs.controller_one
    assert_equal [raw, perc], [c.left_analog_x_raw, c.left_analog_x_perc], "value #{value}"
    d = r.args.inputs.controller_four
    assert_equal [raw, perc], [d.right_analog_y_raw, d.right_analog_y_perc], "value #{value}"
    assert_equal raw != 0, c.active ? true : false
  end
  r = make_runtime
  c = r.args.inputs.controller_one
  r.left_analog_y_player_1 20000
  c.tick_after
  r.left_analog_y_player_1 20000
  refute c.active, "the same value again changes nothing"
end

test "connection and disconnection of controllers" do
  r = make_runtime
  r.controller_two_connected "Pad"
  assert_equal [true, "Pad"], [r.args.inputs.controller_two.connected, r.args.inputs.controller_two.name]
  r.controller_key_down 2, 15
  r.controller_two_disconnected
  refute r.args.inputs.controller_two.connected
  assert_equal :keyboard, r.args.inputs.last_active
end

test "focus, VR poses and raw events" do
  r = make_runtime
  r.window_keyboard_focus_changed true
  r.window_mouse_focus_changed false
  assert_equal [true, false], [r.args.inputs.keyboard.has_focus, r.args.inputs.mouse.has_focus]
  r.headset_position 1.0, 2.0, 3.0, 0.5, 0.25, 0.0
  assert_equal({ position: { x: 1.0, y: 2.0, z: 3.0 }, orientation: { x: 0.5, y: 0.25, z: 0.0 } },
               r.args.inputs.headset)
  event = { type_enum: 32768, type: :a11y_activation_event, activated_id: "play", activated_global_at: 7 }
  r.raw_event({ type_enum: 768, type: :key_down })
  r.raw_event event
  assert_equal [:key_down, :a11y_activation_event], r.args.events[:raw].map { |e| e[:type] }
  a = r.args.inputs.a11y
  assert_equal [true, "play", 7], [a[:activated], a[:activated_id], a[:activated_global_at_raw]]
end

test "during a replay the engine's own input calls are ignored, the replay's are not" do
  r = make_runtime
  r.recording.instance_variable_set :@is_replaying, true
  kb = r.args.inputs.keyboard
  r.key_down_raw 97, 0
  r.mouse_move 10, 10
  r.controller_key_down 1, 15
  assert kb.key_down.truthy_keys.empty?
  assert_equal [0, 0], [r.args.inputs.mouse.x, r.args.inputs.mouse.y]
  r.key_down_raw 97, 0, :replay
  r.mouse_move 640, 100, :replay
  assert kb.key_down.a
  assert_equal [640.0, 620.0], [r.args.inputs.mouse.x, r.args.inputs.mouse.y]
end

test "a running recording receives every input under its entry point's name" do
  r = make_runtime
  log = []
  rec = r.recording
  rec.instance_variable_set :@is_recording, true
  rec.define_singleton_method(:record_input_history) { |*a| log << a[0, 4] }
  rec.define_singleton_method(:record_input_history_3_params) { |*a| log << a[0, 4] }
  r.key_down_raw 97, 1
  r.mouse_move_relative 640, 100, 1, 2
  r.mouse_wheel 0, -1, true
  r.finger_down 4, 5, 6
  r.controller_key_up 3, 15
  r.left_analog_x_player_2 9000
  r.left_analog_x_player_2 9000
  assert_equal [[:key_down_raw, 97, 1, 2], [:mouse_move, 640, 100, 2], [:mouse_wheel, 0, -1, true],
                [:finger_down, 4, 5, 6], [:key_up_player_three, 15, nil, 1],
                [:left_analog_x_player_2, 9000, nil, 1]], log
end
