# Hash-backed game objects: any attribute can be read (nil when absent) or
# written; reader and writer methods are defined on the class the first time
# a name is used. The class stands on BasicObject, so a game's top-level
# method (a public method of every Object, such as "def player args") never
# takes the place of an attribute of the same name. It answers only the few
# Object methods that the engine and games need to tell what it is.
#
# Reading an attribute that is nil or false arms nil punning (see
# nil_class_false_class.rb) with the entity's hash and the attribute name.
module Zel
  class OpenEntity < BasicObject
    def initialize hash = nil
      @hash = { entity_id: Entity.id! }
      hash.each { |k, v| @hash[k.to_sym] = v } if hash
      @entity_touched = false
    end

    # ------------------------------------------------ what it is

    def class
      OpenEntity
    end

    def is_a? klass
      ::Kernel.instance_method(:is_a?).bind(self).call(klass)
    end

    alias_method :kind_of?, :is_a?

    def instance_of? klass
      klass.equal? OpenEntity
    end

    def nil?
      false
    end

    def respond_to? name, include_private = false
      n = name.to_sym
      OpenEntity.method_defined?(n) || n.to_s.end_with?("=") || @hash.key?(n)
    end

    def hash
      __id__
    end

    def eql? other
      equal? other
    end

    def object_id
      __id__
    end

    # The interpreter's send hands method_missing the wrong arguments, so a
    # name that is not defined yet goes to method_missing directly.
    def send name, *args, &block
      n = name.to_sym
      if OpenEntity.method_defined?(n)
        __send__ n, *args, &block
      else
        method_missing n, *args, &block
      end
    end

    alias_method :public_send, :send

    def instance_variable_get name
      ::Kernel.instance_method(:instance_variable_get).bind(self).call(name)
    end

    def instance_variable_set name, value
      ::Kernel.instance_method(:instance_variable_set).bind(self).call(name, value)
    end

    def instance_variables
      ::Kernel.instance_method(:instance_variables).bind(self).call
    end

    def frozen?
      false
    end

    def dup
      OpenEntity.new @hash.reject { |k, _| k == :entity_id }
    end

    alias_method :clone, :dup

    def tap
      yield self
      self
    end

    def primitive_marker
      @hash.primitive_marker
    end

    # ------------------------------------------------ the hash

    def entity_touched
      @entity_touched
    end

    def entity_touched= value
      @entity_touched = value
    end

    def as_hash
      @hash
    end

    alias_method :to_h, :as_hash

    def entity_id
      @hash[:entity_id]
    end

    def [] key
      @entity_touched = true
      @hash[key.to_sym]
    end

    def []= key, value
      @entity_touched = true
      @hash[key.to_sym] = value
    end

    def clear!
      @hash.clear
      @hash[:entity_id] = Entity.id!
      @__nil_counts__ = nil
      self
    end

    def new_entity name, opts = {}, &block
      e = OpenEntity.new(opts)
      e[:entity_name] = name
      e[:entity_type] = name
      e[:created_at] = ::Kernel.tick_count
      e[:global_created_at] = ::Kernel.global_tick_count
      block.call(e) if block
      e
    end

    def new_entity_strict name, opts = {}, &block
      StrictEntity.new name, opts, &block
    end

    # Counters of the nil-punning warnings, per method name.
    def __nil_counts__
      @__nil_counts__ ||= {}
    end

    def __arm_nil__ key, value
      ::NilClassFalseClass.__arm__ self, @hash, key, __nil_counts__ unless $nil_punning_disabled
      value
    end

    def method_missing name, *args, &block
      s = name.to_s
      if args.length == 1 && s.end_with?('=') && !block
        key = s[0..-2].to_sym
        OpenEntity.__define_accessors__ key
        @entity_touched = true
        @hash[key] = args[0]
      elsif args.empty? && !block
        OpenEntity.__define_accessors__ name
        @entity_touched = true
        v = @hash[name]
        v ? v : __arm_nil__(name, v)
      else
        ::Kernel.raise ::NoMethodError.new("undefined method '#{name}' for #{inspect}", name)
      end
    end

    RESERVED = [:initialize, :method_missing, :__send__, :__id__, :instance_eval, :instance_exec,
                :equal?, :==, :!, :!=]

    def self.__define_accessors__ key
      return if RESERVED.include?(key)
      unless method_defined? key
        define_method(key) do
          @entity_touched = true
          v = @hash[key]
          v ? v : __arm_nil__(key, v)
        end
      end
      writer = "#{key}=".to_sym
      return if method_defined? writer
      define_method(writer) do |value|
        @entity_touched = true
        @hash[key] = value
      end
    end

    def to_s
      @hash.to_s
    end

    def inspect
      @hash.inspect
    end

    # What the interpreter's Array#inspect and Hash#inspect call on items.
    def _inspect *_
      @hash.inspect
    end

    def serialize
      @hash
    end
  end
end
