# The mouse model: position in logical coordinates, the five buttons with
# their press and release points, the wheel of this tick, and point tests.
module Zel
  # Rectangles and points as games give them: Hashes, Arrays, or objects
  # with x, y, w, h readers.
  module InputGeometry
    def self.rect_of r
      if r.is_a? Hash
        [r[:x] || 0, r[:y] || 0, r[:w] || 0, r[:h] || 0]
      elsif r.is_a? Array
        [r[0] || 0, r[1] || 0, r[2] || 0, r[3] || 0]
      else
        [r.x || 0, r.y || 0, (r.respond_to?(:w) ? r.w : 0) || 0, (r.respond_to?(:h) ? r.h : 0) || 0]
      end
    end

    def self.inside_rect? x, y, rect
      return false if x.nil? || y.nil? || rect.nil?
      rx, ry, rw, rh = rect_of(rect)
      rx, rw = rx + rw, -rw if rw < 0
      ry, rh = ry + rh, -rh if rh < 0
      x >= rx && x < rx + rw && y >= ry && y < ry + rh
    end

    def self.inside_circle? x, y, center, radius
      return false if x.nil? || y.nil? || center.nil?
      cx, cy = rect_of(center)
      dx = x - cx
      dy = y - cy
      dx * dx + dy * dy <= radius * radius
    end
  end

  # Point tests for anything with x and y.
  module PointMethods
    def point
      { x: x, y: y, w: 0, h: 0 }
    end

    def rect
      { x: x, y: y, w: 0, h: 0 }
    end

    def inside_rect? rect
      InputGeometry.inside_rect? x, y, rect
    end

    def intersect_rect? rect, tolerance = 0
      InputGeometry.inside_rect? x, y, rect
    end

    def inside_circle? center, radius
      InputGeometry.inside_circle? x, y, center, radius
    end
  end

  # Where and when something happened to the pointer.
  class MousePoint
    include PointMethods

    attr_accessor :x, :y, :created_at, :global_created_at

    def initialize x, y, created_at = Kernel.tick_count, global_created_at = Kernel.global_tick_count
      @x = x
      @y = y
      @created_at = created_at
      @global_created_at = global_created_at
    end

    def w
      0
    end

    def h
      0
    end

    def created_at_elapsed
      Kernel.tick_count - @created_at
    end

    def serialize
      { x: @x, y: @y, created_at: @created_at, global_created_at: @global_created_at }
    end

    def inspect
      "#<Zel::MousePoint #{serialize}>"
    end

    def to_s
      inspect
    end
  end

  class MouseButton
    include PointMethods

    attr_accessor :index, :name, :x, :y, :relative_x, :relative_y, :click, :click_at, :up,
                  :up_at, :previous_click, :down, :buffered_distance_threshold,
                  :buffered_duration_threshold

    def initialize index, name
      @index = index
      @name = name
      @x = 0
      @y = 0
      @relative_x = 0
      @relative_y = 0
      @down = false
      @buffered_distance_threshold = 10
      @buffered_duration_threshold = 10
    end

    def pressed x, y
      @x = x
      @y = y
      @down = true
      @click = MousePoint.new(x, y)
      @click_at = @click.created_at
      @last_click = @click
    end

    def released x, y
      @x = x
      @y = y
      @down = false
      @up = MousePoint.new(x, y)
      @up_at = @up.created_at
      @last_up = @up
    end

    # A point at the mouse while the button stays down after its press tick.
    def held
      return nil unless @down && @click.nil? && @last_click
      MousePoint.new(@x, @y, @last_click.created_at, @last_click.global_created_at)
    end

    def held_at
      h = held
      h ? h.created_at : nil
    end

    def __near_previous__ point, previous
      return false unless point && previous
      dx = point.x - previous.x
      dy = point.y - previous.y
      dx * dx + dy * dy <= @buffered_distance_threshold * @buffered_distance_threshold &&
        (point.created_at - previous.created_at) <= @buffered_duration_threshold
    end

    # This tick's press, unless it repeats the previous one at about the same
    # place within a few ticks: a quick second press counts as the same click.
    def buffered_click
      return nil unless @click
      __near_previous__(@click, @previous_click) ? nil : @click
    end

    # Held, with a short release followed by a press nearby bridged over.
    def buffered_held
      h = held
      return h if h
      return nil unless @last_up && !@down
      gap = Kernel.tick_count - @last_up.created_at
      return nil if gap > @buffered_duration_threshold
      MousePoint.new(@x, @y, @last_up.created_at, @last_up.global_created_at)
    end

    # After every tick: the press becomes the previous one.
    def tick_after
      @previous_click = @click if @click
      @click = nil
      @up = nil
      @relative_x = 0
      @relative_y = 0
    end

    def clear
      @click = nil
      @up = nil
      @down = false
      @last_click = nil
      @last_up = nil
      @previous_click = nil
    end

    def serialize
      { name: @name, down: @down, click: @click && @click.serialize, up: @up && @up.serialize }
    end

    def inspect
      "#<Zel::MouseButton #{serialize}>"
    end

    def to_s
      inspect
    end
  end

  class MouseButtons
    NAMES = [:left, :middle, :right, :x1, :x2]

    attr_reader :left, :middle, :right, :x1, :x2, :all

    def initialize
      @all = NAMES.each_with_index.map { |n, i| MouseButton.new(i, n) }
      @left, @middle, @right, @x1, @x2 = @all
    end

    def [] index
      index.is_a?(Integer) ? @all[index] : @all[NAMES.index(index.to_sym) || 99]
    end

    def each &block
      @all.each(&block)
    end
  end

  # key_down / key_up / key_held views of the buttons.
  class MouseKeys
    def initialize buttons
      @buttons = buttons
    end

    MouseButtons::NAMES.each do |n|
      define_method(n) { __value__ @buttons.send(n) }
    end

    def truthy_keys
      MouseButtons::NAMES.select { |n| send(n) }
    end
  end

  class MouseKeysDown < MouseKeys
    def __value__ b
      b.click
    end
  end

  class MouseKeysUp < MouseKeys
    def __value__ b
      b.up
    end
  end

  class MouseKeysHeld < MouseKeys
    def __value__ b
      b.held
    end
  end

  class Mouse
    include PointMethods

    attr_accessor :x, :y, :previous_x, :previous_y, :relative_x, :relative_y,
                  :moved, :moved_at, :global_moved_at, :wheel, :button_bits,
                  :button_left, :button_middle, :button_right, :button_x1, :button_x2,
                  :has_focus, :active
    attr_reader :buttons, :key_down, :key_up, :key_held

    BUTTON_FLAGS = [:@button_left, :@button_middle, :@button_right, :@button_x1, :@button_x2]

    def initialize
      @x = 0
      @y = 0
      @previous_x = 0
      @previous_y = 0
      @relative_x = 0
      @relative_y = 0
      @button_bits = 0
      @button_left = false
      @button_middle = false
      @button_right = false
      @button_x1 = false
      @button_x2 = false
      @has_focus = false
      @active = false
      @buttons = MouseButtons.new
      @key_down = MouseKeysDown.new(@buttons)
      @key_up = MouseKeysUp.new(@buttons)
      @key_held = MouseKeysHeld.new(@buttons)
    end

    def w
      0
    end

    def h
      0
    end

    def click
      @buttons.left.click
    end

    alias_method :down, :click

    def click_at
      @buttons.left.click_at
    end

    alias_method :down_at, :click_at

    def up
      @buttons.left.up
    end

    def up_at
      @buttons.left.up_at
    end

    def held
      @buttons.left.held
    end

    def held_at
      @buttons.left.held_at
    end

    def previous_click
      @buttons.left.previous_click
    end

    def buffered_click
      @buttons.left.buffered_click
    end

    def buffered_held
      @buttons.left.buffered_held
    end

    [:left, :middle, :right, :x1, :x2].each_with_index do |n, i|
      define_method("button_#{n}?") { (@button_bits & (1 << i)) != 0 }
    end

    # Position in logical coordinates; relative motion as measured or given.
    def move x, y, relative_x, relative_y
      tc = Kernel.tick_count
      @previous_x = @x
      @previous_y = @y
      @relative_x = relative_x.nil? ? x - @x : relative_x
      @relative_y = relative_y.nil? ? y - @y : relative_y
      @x = x
      @y = y
      @moved = MousePoint.new(x, y, tc)
      @moved_at = tc
      @global_moved_at = Kernel.global_tick_count
      @buttons.each do |b|
        b.x = x
        b.y = y
        b.relative_x = @relative_x
        b.relative_y = @relative_y
      end
      @active = true
    end

    def button_pressed button
      index = button.to_i - 1
      return nil if index < 0 || index > 4
      @button_bits |= (1 << index)
      instance_variable_set BUTTON_FLAGS[index], true
      @buttons.all[index].pressed @x, @y
      @active = true
    end

    def button_up button
      index = button.to_i - 1
      return nil if index < 0 || index > 4
      @button_bits &= ~(1 << index)
      instance_variable_set BUTTON_FLAGS[index], false
      @buttons.all[index].released @x, @y
      @active = true
    end

    def add_wheel x, y, inverted
      if @wheel
        @wheel[:x] += x
        @wheel[:y] += y
        @wheel[:inverted] = inverted
      else
        @wheel = { x: x, y: y, inverted: inverted, created_at: Kernel.tick_count,
                   global_created_at: Kernel.global_tick_count }
      end
      @active = true
    end

    # After every tick: this tick's click, release, move, wheel and relative
    # motion are over.
    def tick_after
      @moved = nil
      @wheel = nil
      @relative_x = 0
      @relative_y = 0
      @active = false
      @buttons.each(&:tick_after)
    end

    def clear
      tick_after
      @button_bits = 0
      BUTTON_FLAGS.each { |f| instance_variable_set f, false }
      @buttons.each(&:clear)
    end

    def serialize
      { x: @x, y: @y, button_bits: @button_bits, has_focus: @has_focus }
    end

    def inspect
      "#<Zel::Mouse #{serialize}>"
    end

    def to_s
      inspect
    end
  end
end
