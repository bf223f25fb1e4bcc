# The input model that the game reads through args.inputs. The runtime's input
# entry points (keys, mouse, touch, controllers, window) fill it between ticks;
# tick_before and tick_after age it around the game's tick.
module Zel
  class FingerTouch
    include PointMethods

    attr_accessor :id, :x, :y, :previous_x, :previous_y, :moved, :moved_at, :global_moved_at,
                  :down_at, :global_down_at, :touch_order, :first_tick_down

    def initialize id, x, y, touch_order
      @id = id
      @x = x
      @y = y
      @previous_x = x
      @previous_y = y
      @moved = false
      @down_at = Kernel.tick_count
      @global_down_at = Kernel.global_tick_count
      @touch_order = touch_order
      @first_tick_down = true
    end

    def w
      0
    end

    def h
      0
    end

    def move_to x, y
      @previous_x = @x
      @previous_y = @y
      @x = x
      @y = y
      @moved = true
      @moved_at = Kernel.tick_count
      @global_moved_at = Kernel.global_tick_count
    end

    def serialize
      { id: @id, x: @x, y: @y, touch_order: @touch_order, down_at: @down_at }
    end

    def inspect
      "#<Zel::FingerTouch #{serialize}>"
    end

    def to_s
      inspect
    end
  end

  class Inputs
    attr_accessor :keyboard, :mouse, :controllers, :touch, :text, :http_requests, :a11y,
                  :pinch_zoom, :last_active, :last_active_at, :last_active_global_at,
                  :touch_enabled, :locale_raw, :locale, :finger_one, :finger_two,
                  :finger_left, :finger_right, :touch_center, :headset,
                  :left_controller, :right_controller

    def initialize
      @keyboard = Keyboard.new
      @mouse = Mouse.new
      @controllers = [Controller.new(1), Controller.new(2), Controller.new(3), Controller.new(4)]
      @touch = {}
      @touch_count = 0
      @touch_center = { x: -1000, y: -1000 }
      @finger_one = nil
      @finger_two = nil
      @finger_left = nil
      @finger_right = nil
      @text = []
      @http_requests = []
      @a11y = {}
      @pinch_zoom = 0
      @headset = __pose__
      @left_controller = __pose__
      @right_controller = __pose__
      @last_active = nil
      @last_active_at = 0
      @last_active_global_at = 0
      @touch_enabled = false
      @locale_raw = nil
      @locale = "en"
    end

    def __pose__
      { position: { x: 0, y: 0, z: 0 }, orientation: { x: 0, y: 0, z: 0 } }
    end

    def controller_one
      @controllers[0]
    end

    def controller_two
      @controllers[1]
    end

    def controller_three
      @controllers[2]
    end

    def controller_four
      @controllers[3]
    end

    # The direction shortcuts: the keyboard's, else controller one's.
    def left
      @keyboard.left || @controllers[0].left
    end

    def right
      @keyboard.right || @controllers[0].right
    end

    def up
      @keyboard.up || @controllers[0].up
    end

    def down
      @keyboard.down || @controllers[0].down
    end

    include DirectionalInputHelperMethods

    def click
      @mouse.click
    end

    def active! device
      @last_active = device
      @last_active_at = Kernel.tick_count
      @last_active_global_at = Kernel.global_tick_count
    end

    # ------------------------------------------------------------------ touch

    def finger_down id, x, y
      t = @touch[id]
      if t
        t.move_to x, y
      else
        t = FingerTouch.new(id, x, y, @touch_count)
        @touch_count += 1
        @touch[id] = t
      end
      __update_fingers__ t
      __touch_center_now__ if @touch.length == 1
      __mouse_to_touch_center__
      t
    end

    def finger_move id, x, y
      t = @touch[id]
      return nil unless t
      before = __two_finger_distance__
      t.move_to x, y
      after = __two_finger_distance__
      @pinch_zoom = before - after if before && after
      __update_fingers__ t
      __touch_center_now__ if @touch.length == 1
      __mouse_to_touch_center__
      t
    end

    def finger_up id
      t = @touch.delete id
      if @touch.empty?
        @touch_count = 0
        @finger_one = nil
        @finger_two = nil
        @finger_left = nil
        @finger_right = nil
      else
        @finger_one = nil if @finger_one.equal? t
        @finger_two = nil if @finger_two.equal? t
      end
      @pinch_zoom = 0
      t
    end

    def __update_fingers__ t
      @finger_one = t if t.touch_order == 0
      @finger_two = t if t.touch_order == 1
      grid = $grid
      middle = grid ? (grid.left + grid.right) / 2.0 : 640.0
      spot = { x: t.x, y: t.y, w: 1, h: 1 }
      if t.x < middle
        @finger_left = spot
      else
        @finger_right = spot
      end
    end

    def __two_finger_distance__
      return nil if @touch.length < 2
      a, b = @touch.values
      dx = a.x - b.x
      dy = a.y - b.y
      Math.sqrt(dx * dx + dy * dy)
    end

    def __touch_center_now__
      t = @touch.values[0]
      @touch_center = { x: t.x, y: t.y }
    end

    def __mouse_to_touch_center__
      @mouse.move @touch_center[:x], @touch_center[:y], nil, nil
    end

    # With more than one touch the centre moves a tenth of the way towards
    # the average touch position every tick; the mouse follows.
    def __tick_touch_center__
      return if @touch.length < 2
      sx = 0.0
      sy = 0.0
      @touch.each_value do |t|
        sx += t.x
        sy += t.y
      end
      n = @touch.length
      c = @touch_center
      c = @touch_center = { x: sx / n, y: sy / n } if c[:x] == -1000 && c[:y] == -1000
      c[:x] += (sx / n - c[:x]) * 0.1
      c[:y] += (sy / n - c[:y]) * 0.1
      __mouse_to_touch_center__
    end

    # ---------------------------------------------------------- tick aging

    def tick_before skip_keyboard = false
      @keyboard.tick_before unless skip_keyboard
    end

    # After the game's tick (and after skipped ticks): the keyboard ages
    # (unless a slow-motion countdown runs), this tick's controller, mouse,
    # text, request and accessibility events end and every device is idle.
    def tick_after skip_keyboard = false
      @keyboard.tick_after unless skip_keyboard
      @keyboard.active = false
      @controllers.each(&:tick_after)
      @mouse.tick_after
      @text.clear unless @text.empty?
      @http_requests.clear unless @http_requests.empty?
      @a11y.clear unless @a11y.empty?
      @pinch_zoom = 0
      @touch.each_value { |t| t.first_tick_down = false } unless @touch.empty?
      __tick_touch_center__
      park_mouse! if @touch.empty? && !@a11y_enabled && __mobile__
    end

    def __mobile__
      @mobile = ($zel ? ($zel.platform?(:mobile) ? true : false) : false) if @mobile.nil?
      @mobile
    end

    attr_accessor :a11y_enabled

    # Park the mouse off screen on touch devices with no finger down.
    def park_mouse!
      @mouse.x = -1000
      @mouse.y = -1000
    end

    def clear
      @keyboard.clear
      @mouse.clear
      @controllers.each(&:clear)
      @text.clear
      @http_requests.clear
      @a11y.clear
      @pinch_zoom = 0
    end

    def serialize
      { keyboard: @keyboard.serialize, mouse: @mouse.serialize, last_active: @last_active }
    end

    def inspect
      "#<Zel::Inputs last_active=#{@last_active.inspect}>"
    end

    def to_s
      inspect
    end
  end
end
