# Assertions for the game's own test methods (def test_name args, assert).
module Zel
  class Assert
    attr_accessor :assertion_performed

    def initialize
      @assertion_performed = false
    end

    def ok!
      @assertion_performed = true
    end

    def true! value, message = nil
      @assertion_performed = true
      raise "#{value} was not truthy.\n#{message}" unless value
      nil
    end

    def false! value, message = nil
      @assertion_performed = true
      raise "#{value} was not falsey.\n#{message}" if value
      nil
    end

    def equal! actual, expected, message = nil
      @assertion_performed = true
      return nil if actual == expected
      a = actual.nil? ? "(nil)" : actual.inspect
      e = expected.nil? ? "(nil)" : expected.inspect
      raise "actual:\n#{a}\n\ndid not equal\n\nexpected:\n#{e}\n#{message}"
    end

    def not_equal! actual, expected, message = nil
      @assertion_performed = true
      return nil if actual != expected
      a = actual.nil? ? "(nil)" : actual.inspect
      e = expected.nil? ? "(nil)" : expected.inspect
      raise "actual:\n#{a}\n\nequaled\n\nexpected:\n#{e}\n#{message}"
    end

    def nil! value, message = nil
      @assertion_performed = true
      raise "#{value.inspect} was supposed to be nil, but wasn't.\n#{message}" unless value.nil?
      nil
    end
  end
end
