# The engine's vocabulary on numbers: time and animation helpers counted in
# ticks, arithmetic shortcuts, angles in degrees, iteration and distances from
# the grid's edges.
class Numeric
  def seconds
    self * 60
  end

  def elapsed_time tick_count_override = nil
    (tick_count_override || Kernel.tick_count) - self
  end

  def elapsed_time_percent duration
    return 1.0 if duration.nil? || duration <= 0
    elapsed_time.to_f / duration
  end

  def elapsed? offset = 0, tick_count_override = Kernel.tick_count
    (self + offset) < tick_count_override
  end

  def new?
    elapsed_time == 0
  end

  # The animation frame at the current tick for an animation that starts at
  # this tick; see Numeric.frame_index.
  def frame_index *opts
    if opts.length == 1 && opts[0].is_a?(Hash)
      h = opts[0]
      return Numeric.frame_index(start_at: self, count: h[:count], frame_count: h[:frame_count],
                                 hold_for: h[:hold_for] || 1, repeat: h[:repeat] || false,
                                 repeat_index: h[:repeat_index] || 0,
                                 tick_count_override: h[:tick_count_override] || Kernel.tick_count)
    end
    frame_count, hold_for, repeat, tick_count_override = opts
    Numeric.frame_index(start_at: self, frame_count: frame_count, hold_for: hold_for || 1,
                        repeat: repeat || false,
                        tick_count_override: tick_count_override || Kernel.tick_count)
  end

  def self.frame_index start_at: 0, count: nil, frame_count: nil, hold_for: 1, repeat: false,
                       repeat_index: 0, tick_count_override: nil
    frame_count ||= count
    tick_count = tick_count_override || Kernel.tick_count
    unless frame_count
      raise "Numeric::frame_index_no_repeat must be given either ~count~ or ~frame_count~.\n"
    end
    hold_for = 1 if hold_for.nil? || hold_for < 1
    return nil if tick_count < start_at
    first_run = hold_for * frame_count
    elapsed = tick_count - start_at
    return (elapsed.idiv hold_for) % frame_count if elapsed < first_run
    return nil unless repeat
    repeated = hold_for * (frame_count - repeat_index)
    return nil if repeated <= 0
    since = (elapsed - first_run) % repeated
    repeat_index + since.idiv(hold_for)
  end

  def half
    self / 2.0
  end

  def third
    self / 3.0
  end

  def quarter
    self / 4.0
  end

  def to_byte
    v = to_i
    v < 0 ? 0 : (v > 255 ? 255 : v)
  end

  def clamp min, max = nil
    return max if max && self > max
    return min if min && self < min
    self
  end

  def clamp_wrap min, max
    min, max = max, min if max < min
    range = max - min + 1
    min + (self - min) % range
  end

  def lerp to, step
    self + step * (to - self)
  end

  def towards target, magnitude
    return target if (target - self).abs <= magnitude.abs
    self + (target > self ? magnitude.abs : -magnitude.abs)
  end

  def remap r1_begin, r1_end, r2_begin, r2_end
    r2_begin + (self - r1_begin) * (r2_end - r2_begin).to_f / (r1_end - r1_begin)
  end

  def percentage_of n
    (to_f / n).clamp(0.0, 1.0)
  end

  def cap max
    self > max ? max : self
  end

  def cap_min_max min, max
    clamp min, max
  end

  def mod n
    self % n
  end

  def zmod? n
    (self % n) == 0
  end

  def mod_zero? *ns
    ns.any? { |n| (self % n) == 0 }
  end

  def idiv n
    (self / n).floor
  end

  def fdiv n
    to_f / n
  end

  def mult n
    self * n
  end

  def imult n
    (self * n).to_i
  end

  def fmult n
    to_f * n
  end

  def add n
    self + n
  end

  alias_method :plus, :add

  def subtract n
    self - n
  end

  alias_method :minus, :subtract

  def lesser other
    other < self ? other : self
  end

  def greater other
    other > self ? other : self
  end

  def sign
    self > 0 ? 1 : (self < 0 ? -1 : 0)
  end

  def pos?
    self > 0
  end

  def neg?
    self < 0
  end

  def even?
    (to_i % 2) == 0
  end

  def odd?
    !even?
  end

  def ifloor n
    (self / n).floor * n
  end

  def to_sf
    format("%.2f", to_f)
  end

  def to_si
    to_i.to_s
  end

  def rand_sign
    rand < 0.5 ? -self : self
  end

  def rand_ratio
    self * rand
  end

  def randomize *opts
    v = opts.include?(:int) ? rand(to_i + 1) : rand * self
    opts.include?(:sign) ? v.rand_sign : v
  end

  def to_radians
    self * Math::PI / 180.0
  end

  def to_degrees
    self * 180.0 / Math::PI
  end

  def vector_x max = 1
    max * Math.cos(to_radians)
  end

  def vector_y max = 1
    max * Math.sin(to_radians)
  end

  def vector max = 1
    [vector_x(max), vector_y(max)]
  end

  alias_method :to_vector, :vector

  def sin
    Math.sin(to_radians)
  end

  def cos
    Math.cos(to_radians)
  end

  def tan
    Math.tan(to_radians)
  end

  alias_method :sin_d, :sin
  alias_method :cos_d, :cos
  alias_method :tan_d, :tan

  def sin_r
    Math.sin(self)
  end

  def cos_r
    Math.cos(self)
  end

  def tan_r
    Math.tan(self)
  end

  def numbers
    (0...to_i).to_a
  end

  def each &block
    return numbers.each unless block
    numbers.each(&block)
  end

  def map &block
    return numbers.map unless block
    numbers.map(&block)
  end

  def times_with_index &block
    numbers.each_with_index(&block)
  end

  def flat_map &block
    numbers.flat_map(&block)
  end

  def combinations other = nil
    other ||= self
    numbers.product(other.to_i.numbers)
  end

  def from_left
    $args ? $args.grid.left + self : self
  end

  def from_right
    $args ? $args.grid.right - self : 1280 - self
  end

  def from_bottom
    $args ? $args.grid.bottom + self : self
  end

  def from_top
    $args ? $args.grid.top - self : 720 - self
  end

  def self.clamp n, min, max
    n.clamp min, max
  end

  def self.rand range
    Kernel.rand range
  end
end
