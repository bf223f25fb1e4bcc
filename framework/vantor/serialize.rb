# Text form of game objects, used by exception reports. Loading state back
# from text comes with save states.
module Zel
  module Serialize
    def self.serialize_value value, depth = 0
      return "..." if depth > 16
      case value
      when OpenEntity
        serialize_value value.as_hash, depth + 1
      when StrictEntity
        serialize_value value.as_hash, depth + 1
      when Hash
        "{" + value.map { |k, v| "#{k.inspect}=>#{serialize_value v, depth + 1}" }.join(", ") + "}"
      when Array
        "[" + value.map { |v| serialize_value v, depth + 1 }.join(", ") + "]"
      else
        value.inspect
      end
    end
  end
end
