# Game objects with a fixed set of attributes given at creation; any other
# attribute is an error.
module Zel
  class StrictEntity
    attr_reader :entity_id, :entity_name, :entity_type, :created_at, :global_created_at_elapsed

    def initialize name, opts = {}, &block
      @entity_id = Entity.id!
      @entity_name = name
      @entity_type = name
      @created_at = Kernel.tick_count
      @global_created_at_elapsed = Kernel.global_tick_count
      @__keys__ = []
      opts.each { |k, v| __define_property__ k, v }
      block.call(self) if block
      Entity.strict_entities[@entity_id] = self
    end

    def __define_property__ key, value
      key = key.to_sym
      @__keys__ << key unless @__keys__.include? key
      instance_variable_set "@#{key}", value
      unless respond_to? key
        singleton_class.send(:define_method, key) { instance_variable_get "@#{key}" }
        singleton_class.send(:define_method, "#{key}=") { |v| instance_variable_set "@#{key}", v }
      end
    end

    def entity_keys
      @__keys__
    end

    def as_hash
      h = { entity_id: @entity_id, entity_name: @entity_name }
      @__keys__.each { |k| h[k] = instance_variable_get("@#{k}") }
      h
    end

    def [] key
      __strict_check__ key
      instance_variable_get "@#{key}"
    end

    def []= key, value
      __strict_check__ key
      instance_variable_set "@#{key}", value
    end

    def __strict_check__ key
      return if @__keys__.include? key.to_sym
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
      raise __strict_error__(property)
    end

    def respond_to_missing? name, include_private = false
      false
    end

    def to_s
      "#<Zel::StrictEntity #{as_hash}>"
    end

    def inspect
      to_s
    end
  end
end
