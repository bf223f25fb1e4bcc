# Script view of the engine's configuration variables. The engine fills $cvars
# with one Zel::Cvar per registered variable through its registration callback;
# values are always read and written through the native registry.
module Zel
  class Cvar
    attr_reader :name, :description, :type

    def initialize name, description, type
      @name = name
      @description = description
      @type = type
    end

    def value
      $zel.ffi_misc.cvar_get @name
    end

    def value= v
      $zel.ffi_misc.cvar_set @name, v.to_s
    end

    def locked
      $zel.ffi_misc.cvar_islocked @name
    end

    alias_method :locked?, :locked

    def serialize
      { name: @name, value: value, description: @description, type: @type, locked: locked }
    end

    def to_s
      serialize.to_s
    end

    def inspect
      to_s
    end
  end

  # Cvars.keys, Cvars["log.level"] ...: everything $cvars answers, forwarded.
  # The forwarding method is defined on first use.
  module Cvars
    def self.method_missing name, *args, &block
      if $cvars.respond_to? name
        define_singleton_method(name) do |*a, &b|
          $cvars.send name, *a, &b
        end
        $cvars.send name, *args, &block
      else
        super
      end
    end

    def self.respond_to_missing? name, include_private = false
      $cvars.respond_to?(name) || super
    end
  end
end

$cvars ||= {}

ZelCvar = Zel::Cvar
Cvars = Zel::Cvars
