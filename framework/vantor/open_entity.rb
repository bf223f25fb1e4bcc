# Hash-backed game objects: any attribute can be read (nil when absent) or
# written; accessors are defined on the class the first time a name is used.
module Zel
  class OpenEntity
    attr_accessor :entity_touched

    def initialize hash = nil
      @hash = { entity_id: Entity.id! }
      hash.each { |k, v| @hash[k.to_sym] = v } if hash
      @entity_touched = false
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
      self
    end

    def new_entity name, opts = {}, &block
      e = OpenEntity.new(opts)
      e[:entity_name] = name
      e[:entity_type] = name
      e[:created_at] = Kernel.tick_count
      block.call(e) if block
      e
    end

    def new_entity_strict name, opts = {}, &block
      StrictEntity.new name, opts, &block
    end

    def method_missing name, *args, &block
      s = name.to_s
      if s.end_with?('=') && args.length == 1
        key = s[0..-2].to_sym
        OpenEntity.__define_accessors__ key
        @entity_touched = true
        @hash[key] = args[0]
      elsif args.empty? && !block
        OpenEntity.__define_accessors__ name
        @entity_touched = true
        @hash[name]
      else
        super
      end
    end

    def respond_to_missing? name, include_private = false
      s = name.to_s
      s.end_with?('=') || @hash.key?(name)
    end

    def self.__define_accessors__ key
      return if method_defined? key
      define_method(key) do
        @entity_touched = true
        @hash[key]
      end
      define_method("#{key}=") do |value|
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

    def serialize
      @hash
    end
  end
end
