# Zel::Fn (also $fn): arithmetic and comparison over any number of arguments,
# logic, array and text helpers. Arithmetic skips nil arguments, repeats the
# call on the flattened list when an argument is an array, and answers nil
# for a NaN or infinite argument.
module Zel
  module Fn
    def self.__numbers__ args
      args = args.flatten if args.any? { |a| a.is_a?(Array) }
      args = args.compact
      return nil if args.any? { |a| a.is_a?(Float) && (a.nan? || a.infinite?) }
      args
    end

    def self.add *args
      n = __numbers__(args)
      n && n.inject(0) { |s, v| s + v }
    end

    def self.sub *args
      n = __numbers__(args)
      return nil if n.nil? || n.empty?
      return -n[0] if n.length == 1
      n.drop(1).inject(n[0]) { |s, v| s - v }
    end

    def self.mul *args
      n = __numbers__(args)
      n && n.inject(1) { |s, v| s * v }
    end

    def self.__div__ args, integer
      n = __numbers__(args)
      return nil if n.nil?
      return 1 if n.empty?
      return nil if n.drop(n.length == 1 ? 0 : 1).any? { |v| v == 0 }
      return (integer ? 1.idiv(n[0]) : 1.0 / n[0]) if n.length == 1
      n.drop(1).inject(n[0]) { |s, v| integer ? s.idiv(v) : s / v }
    end

    def self.div *args
      __div__ args, false
    end

    def self.idiv *args
      __div__ args, true
    end

    def self.__compare__ args
      n = __numbers__(args)
      return nil if n.nil? || n.empty?
      (1...n.length).each { |i| return nil unless yield(n[i - 1], n[i]) }
      n.last
    end

    def self.lt *args
      __compare__(args) { |a, b| a < b }
    end

    def self.lte *args
      __compare__(args) { |a, b| a <= b }
    end

    def self.gt *args
      __compare__(args) { |a, b| a > b }
    end

    def self.gte *args
      __compare__(args) { |a, b| a >= b }
    end

    def self.and *vals
      return true if vals.empty?
      vals.each { |v| return nil unless v }
      vals.last
    end

    def self.or *vals
      vals.each { |v| return v if v }
      nil
    end

    def self.eq? *vals
      (1...vals.length).each { |i| return false unless vals[i - 1] == vals[i] }
      true
    end

    def self.eq_any? o, *list
      list.flatten.any? { |i| i == o }
    end

    class << self
      alias_method :+, :add
      alias_method :-, :sub
      alias_method :*, :mul
      alias_method :/, :div
      alias_method :<, :lt
      alias_method :<=, :lte
      alias_method :>, :gt
      alias_method :>=, :gte
    end

    def self.acopy array
      array && array.dup
    end

    def self.aget array, index
      return nil if array.nil? || index.nil?
      array[index]
    end

    def self.alength array
      array && array.length
    end

    def self.amap array, block
      return nil if array.nil? || block.nil?
      array.map { |e| block.call(e) }
    end

    def self.apply array, block
      block.call(*array)
    end

    def self.areduce array, initial_value, block
      array.inject(initial_value) { |aggregate, item| block.call(item, aggregate) }
    end

    def self.array_hash *items
      h = {}
      items.flatten(1).each_slice(2) { |k, v| h[k] = v }
      h
    end

    def self.gsub string, *from_to_pairs
      pairs = from_to_pairs.flatten
      out = string.to_s
      pairs.each_slice(2) { |from, to| out = out.gsub(from.to_s, to.to_s) }
      out
    end

    def self.pretty_format o, depth = 0
      "\n" + __pretty__(o, depth) + "\n"
    end

    def self.__pretty__ o, depth
      pad = "  " * depth
      if o.is_a?(Hash) || (defined_open_entity? && o.is_a?(Zel::OpenEntity))
        h = o.is_a?(Hash) ? o : o.as_hash
        return "#{pad}{}" if h.empty?
        inner = h.map { |k, v| "#{pad}  #{k.inspect} => #{__pretty__(v, depth + 1).lstrip}" }
        "#{pad}{\n#{inner.join(",\n")}\n#{pad}}"
      elsif o.is_a?(Array)
        return "#{pad}[]" if o.empty?
        inner = o.map { |v| __pretty__(v, depth + 1) }
        "#{pad}[\n#{inner.join(",\n")}\n#{pad}]"
      else
        "#{pad}#{o.inspect}"
      end
    end

    def self.defined_open_entity?
      Zel.const_defined?(:OpenEntity)
    end

    def self.pretty_print o
      __puts__ pretty_format(o)
      nil
    end
  end
end

$fn ||= Zel::Fn
