# The engine's vocabulary on Hashes: primitive marking, rectangle helpers,
# copying and merging, entities. Attribute access (h.x, h.x = 1, any other
# name on first use) is native.
class Hash
  { solid: :solid, sprite: :sprite, label: :label, border: :border, line: :line }.each do |name, marker|
    define_method("to_#{name}") { |opts = nil| (opts ? merge(opts) : dup).tap { |h| h[:primitive_marker] = marker } }
    define_method("#{name}!") { |opts = nil| merge!(opts) if opts; self[:primitive_marker] = marker; self }
  end

  def rect
    { x: self[:x], y: self[:y], w: self[:w], h: self[:h] }
  end

  def left
    self[:x] || 0
  end

  def right
    (self[:x] || 0) + (self[:w] || 0)
  end

  def bottom
    self[:y] || 0
  end

  def top
    (self[:y] || 0) + (self[:h] || 0)
  end

  # The rectangle moved so that the anchor point (fractions of w and h) sits
  # at x, y.
  def anchor_rect anchor_x, anchor_y
    w = self[:w] || 0
    h = self[:h] || 0
    merge(x: (self[:x] || 0) - w * anchor_x, y: (self[:y] || 0) - h * anchor_y)
  end

  def shift_rect dx, dy = nil
    dx, dy = dx if dx.is_a?(Array)
    merge(x: (self[:x] || 0) + (dx || 0), y: (self[:y] || 0) + (dy || 0))
  end

  def rect_shift_right n
    merge(x: (self[:x] || 0) + n)
  end

  def rect_shift_up n
    merge(y: (self[:y] || 0) + n)
  end

  alias_method :__hash_merge__, :merge unless method_defined?(:__hash_merge__)
  alias_method :__hash_merge_bang__, :merge! unless method_defined?(:__hash_merge_bang__)

  # Also merges objects that convert with to_hash (entities).
  def merge *others, &block
    others = others.map { |o| o.is_a?(Hash) ? o : o.to_hash }
    __hash_merge__(*others, &block)
  end

  def merge! *others, &block
    others = others.map { |o| o.is_a?(Hash) ? o : o.to_hash }
    __hash_merge_bang__(*others, &block)
  end

  def copy
    __deep_copy__
  end

  def __deep_copy__
    h = {}
    each { |k, v| h[k] = v.is_a?(Hash) ? v.__deep_copy__ : (v.is_a?(Array) ? v.map { |e| e.is_a?(Hash) ? e.__deep_copy__ : e } : v) }
    h
  end

  def into *others
    others.each { |o| o.merge!(self) }
    self
  end

  def << other
    merge!(other)
  end

  def >> other
    other.merge!(self)
  end

  def new_entity name, opts = {}, &block
    Zel::OpenEntity.new(merge(opts)).tap do |e|
      e[:entity_name] = name
      e[:entity_type] = name
      e[:created_at] = Kernel.tick_count
      block.call(e) if block
    end
  end

  def new_entity_strict name, opts = {}, &block
    Zel::StrictEntity.new(name, merge(opts), &block)
  end

  def as_hash
    self
  end

  def to_hash
    self
  end

  def pretty_format
    Zel::Fn.pretty_format(self)
  end
end
