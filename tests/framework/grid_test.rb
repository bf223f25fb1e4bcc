# The grid's origins, conversions and its update when the window size changes.

test "the bottom-left origin after construction" do
  g = make_runtime.args.grid
  assert_equal [:bottom_left, 0.0, 0.0, 1280, 720, 0.0, 720.0],
               [g.origin_name, g.left, g.bottom, g.right, g.top, g.origin_x, g.origin_y]
  assert_equal({ x: 0.0, y: 0.0, w: 1280, h: 720 }, g.rect)
  assert_equal [640.0, 360.0], [g.center_x, g.center_y]
  assert_equal [16, 9], [g.aspect_ratio_w, g.aspect_ratio_h]
end

test "the centre origin and the conversions" do
  g = make_runtime.args.grid
  g.origin_center!
  assert_equal [:center, -640.0, 640.0, -360.0, 360.0, 640.0, 360.0],
               [g.origin_name, g.left, g.right, g.bottom, g.top, g.origin_x, g.origin_y]
  assert_equal [650.0, 350.0, -630.0, 350.0],
               [g.transform_x(10), g.transform_y(10), g.untransform_x(10), g.untransform_y(10)]
  g.origin_bottom_left!
  assert_equal [10.0, 710.0], [g.transform_x(10), g.transform_y(10)]
end

test "a window size change updates points and pixels" do
  [
    # window, all-screen px, offsets px, scales → w_px, allscreen w, offset x, left_px
    [[1280, 720, 1280, 720, 0, 0, 1.0, 100, 1.0, 1.0], [1280, 720, 1280, 0, 0]],
    [[1920, 1080, 2560, 1440, 0, 0, 2.0, 200, 2.0, 2.0], [2560, 1440, 1280, 0, 0]],
    [[1000, 720, 1400, 720, 60, 0, 1.0, 100, 1.0, 1.0], [1280, 720, 1400, 60, -60]],
  ].each do |(ww, wh, aw, ah, ox, oy, native, tex, rs, dpi), (w_px, h_px, all_w, off_x, left_px)|
    r = make_runtime
    g = r.args.grid
    r.windowevent_size_changed 1280, 720, ww, wh, aw, ah, ox, oy, native, tex, rs, dpi
    assert_equal [w_px, h_px, all_w, off_x, left_px],
                 [g.w_px, g.h_px, g.allscreen_w, g.allscreen_offset_x, g.allscreen_left_px]
    assert_equal [ww, wh, tex / 100.0, rs], [g.allscreen_w_pt, g.allscreen_h_pt, g.texture_scale, g.render_scale]
    assert_equal g.allscreen_left + g.allscreen_w + g.allscreen_offset_x, g.allscreen_right
    assert r.args.events[:resize_occurred]
  end
end

test "a size change with the other orientation's width flips the orientation" do
  r = make_runtime
  r.windowevent_size_changed 720, 1280, 720, 1280, 720, 1280, 0, 0, 1.0, 100, 1.0, 1.0
  assert_equal :portrait, r.orientation
  assert_equal [720, 1280], [r.logical_width, r.logical_height]
  assert_equal [720, 1280, 1280.0], [r.args.grid.w, r.args.grid.h, r.args.grid.origin_y]
  assert r.args.events[:orientation_changed]
  assert_equal [9, 16], [r.args.grid.aspect_ratio_w, r.args.grid.aspect_ratio_h]
end

test "the centre point has a zero size with the origin at the centre; Grid forwards to the grid" do
  r = make_runtime
  g = r.args.grid
  assert_equal({ x: 640.0, y: 360.0 }, g.center)
  g.origin_center!
  assert_equal({ x: 0.0, y: 0.0, w: 0, h: 0 }, g.center)
  assert_equal [:center, 1280], [Grid.origin_name, Grid.w]
  assert_equal [640, 360], [g.w_half, g.h_half]
end
