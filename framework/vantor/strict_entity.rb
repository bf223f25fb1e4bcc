# Game objects with a fixed set of attributes given at creation; any other
# attribute is an error. Readers and writers are defined on the class once
# per name (not per object) and check that the object has that attribute, so
# a game's top-level method of the same name never takes its place.
module Zel
  class StrictEntity
    attr_reader :entity_id, :entity_name, :entity_type, :created_at, :global_created_at_elapsed

    def initialize name, opts = {}, &block
      @entity_id = Entity.id!
      @entity_name = name
      @entity_type = name
      @created_at = Kernel.tick_count
      @global_created_at_elapsed = Kernel.global_tick_count
      @__keys__ = {}
      (opts || {}).each { |k, v| __define_property__ k, v }
      @__open__ = true
      block.call(self) if block
      @__open__ = false
      Entity.strict_entities[@entity_id] = self
    end

    OWN = [:entity_id, :entity_name, :entity_type, :created_at, :global_created_at_elapsed]

    def self.__define_accessors__ key
      unless method_defined?(key) && instance_method(key).owner == self
        define_method(key) do
          raise __strict_error__(key) unless @__keys__[key]
          instance_variable_get "@#{key}"
        end
      end
      writer = "#{key}=".to_sym
      return if method_defined?(writer) && instance_method(writer).owner == self
      define_method(writer) do |v|
        __define_property__ key, v if @__open__ && !@__keys__[key]
        raise __strict_error__(key) unless @__keys__[key]
        instance_variable_set "@#{key}", v
      end
    end

    def __define_property__ key, value
      key = key.to_sym
      return instance_variable_set("@#{key}", value) if OWN.include?(key)
      StrictEntity.__define_accessors__ key unless @__keys__[key]
      @__keys__[key] = true
      instance_variable_set "@#{key}", value
    end

    def entity_keys
      @__keys__.keys
    end

    def entity_keys_by_ref
      @__keys__
    end

    def as_hash
      h = { entity_id: @entity_id, entity_name: @entity_name }
      @__keys__.each_key { |k| h[k] = instance_variable_get("@#{k}") }
      h
    end

    alias_method :to_h, :as_hash

    def [] key
      __strict_check__ key
      instance_variable_get "@#{key}"
    end

    def []= key, value
      __strict_check__ key
      instance_variable_set "@#{key}", value
    end

    # Property readers and writers exist for every name any strict entity
    # uses; an entity answers only its own.
    def respond_to? name, include_private = false
      n = name.to_sym
      if !METHODS.include?(n) && StrictEntity.method_defined?(n) &&
         StrictEntity.instance_method(n).owner == StrictEntity
        s = n.to_s
        return @__keys__.key?(s.end_with?("=") ? s[0..-2].to_sym : n)
      end
      super
    end

    def __strict_check__ key
      return if @__keys__[key.to_sym] || OWN.include?(key.to_sym)
      raise __strict_error__(key)
    end

    def __strict_error__ property
      "* ERROR:\n" \
      "The *strict* entity with name :#{@entity_name} doesn't have the property #{property}. When converting\n" \
      "an open entity to a strict one, every property must be defined at creation:\n" \
      "#+begin_src\n" \
      "  state.#{@entity_name} = new_entity_strict(:#{@entity_name}, #{property}: nil)\n" \
      "#+end_src\n"
    end

    def method_missing name, *args, &block
      property = name.to_s
      property = property[0..-2] if property.end_with? '='
      if @__open__ && name.to_s.end_with?('=') && args.length == 1
        return __define_property__(property, args[0])
      end
      raise __strict_error__(property)
    end

    def respond_to_missing? name, include_private = false
      false
    end

    def __delete_thrash_count__!
      nil
    end

    def serialize
      as_hash
    end

    def to_s
      "#<Zel::StrictEntity #{as_hash}>"
    end

    def inspect
      to_s
    end

    METHODS = instance_methods(false)
  end
end
