# The engine's vocabulary on Arrays: filtering shortcuts, two-dimensional
# maps, pairs, small accessors and queue-style aliases.
class Array
  def reject_nil
    reject { |e| e.nil? }
  end

  def reject_false
    reject { |e| e == false }
  end

  def reject_falsey
    reject { |e| !e }
  end

  def self.reject_nil a
    a.reject_nil
  end

  def self.reject_false a
    a.reject_false
  end

  def self.reject_falsey a
    a.reject_falsey
  end

  def map_with_index
    out = []
    i = 0
    while i < length
      out << yield(self[i], i)
      i += 1
    end
    out
  end

  def map_2d
    map_with_index { |row, r| row.map_with_index { |e, c| yield(r, c, e) } }
  end

  def filter_map_2d
    map_with_index { |row, r| row.map_with_index { |e, c| yield(r, c, e) }.compact }
  end

  def include_any? *items
    items.flatten.any? { |i| include?(i) }
  end

  def any_intersect_rect? other, tolerance = 0.1
    any? do |r|
      Geometry.respond_to?(:intersect_rect?) ? Geometry.intersect_rect?(r, other, tolerance) : false
    end
  end

  def to_a_pairs
    each_slice(2).to_a
  end

  def pairs_to_hash
    h = {}
    each { |(k, v)| h[k] = v }
    h
  end

  def rest
    self[1..-1] || []
  end

  def second
    self[1]
  end

  def third
    self[2]
  end

  def copy
    map { |e| e.respond_to?(:copy) && (e.is_a?(Hash) || e.is_a?(Array)) ? e.copy : e }
  end

  def sum init = 0
    inject(init) { |s, e| s + e }
  end

  alias_method :__array_plus__, :+ unless method_defined?(:__array_plus__)

  # Also appends a value that is not an array.
  def + other
    other.is_a?(Array) ? __array_plus__(other) : __array_plus__([other])
  end

  alias_method :push_back, :push
  alias_method :pop_back, :pop
  alias_method :push_front, :unshift
  alias_method :pop_front, :shift
end
