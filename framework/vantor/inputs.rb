# The input model that the game reads through args.inputs. The engine's input
# entry points (keys, mouse, touch, controllers) fill it between ticks.
module Zel
  class Mouse
    attr_accessor :x, :y, :previous_x, :previous_y, :relative_x, :relative_y,
                  :moved, :moved_at, :global_moved_at, :click, :up, :wheel,
                  :has_focus, :active

    def initialize
      @x = 0
      @y = 0
      @previous_x = 0
      @previous_y = 0
      @relative_x = 0
      @relative_y = 0
      @has_focus = false
      @active = false
    end

    def clear
      @click = nil
      @up = nil
      @moved = nil
      @wheel = nil
      @relative_x = 0
      @relative_y = 0
      @active = false
    end

    def point
      { x: @x, y: @y }
    end
  end

  class Inputs
    attr_accessor :keyboard, :mouse, :controllers, :touch, :text, :http_requests, :a11y,
                  :pinch_zoom, :last_active, :last_active_at, :last_active_global_at,
                  :touch_enabled, :locale_raw, :locale, :finger_one, :finger_two,
                  :finger_left, :finger_right, :touch_center

    def initialize
      @keyboard = Keyboard.new
      @mouse = Mouse.new
      @controllers = []
      @touch = {}
      @touch_center = { x: -1000, y: -1000 }
      @text = []
      @http_requests = []
      @a11y = {}
      @pinch_zoom = 0
      @last_active = nil
      @last_active_at = 0
      @last_active_global_at = 0
      @touch_enabled = false
      @locale_raw = nil
      @locale = "en"
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

    def clear
      @keyboard.clear
      @mouse.clear
      @text.clear
      @http_requests.clear
      @a11y.clear
      @pinch_zoom = 0
    end

    # Per-tick bookkeeping after the game's tick (and after skipped ticks).
    def tick_after skip_keyboard = false
      @keyboard.tick_after unless skip_keyboard
      @mouse.clear
      @text.clear
      @http_requests.clear
      @a11y.clear
      @pinch_zoom = 0
    end
  end
end
