# Nil punning. Reading an attribute of an OpenEntity that is nil or false arms
# nil (and false) with that entity's hash and the attribute name; the next
# method that nil does not know is resolved against it, and nil is disarmed:
#
#   state.player.x = 5       # player was never set: it becomes an entity
#   state.score += 1         # nil + 1: nil, with a warning (an error after
#                            # a few calls), asking for a default value
#
# Switched off by $nil_punning_disabled (disable_nil_punning!, or a Hash
# state at boot).
module NilClassFalseClass
  @armed = nil

  QUIET_METHODS = [:+, :-, :*, :/]

  def self.__arm__ entity, hash, attribute, counts
    @armed = [entity, hash, attribute, counts]
  end

  def self.armed
    @armed
  end

  def self.disarm!
    @armed = nil
  end

  def assign_method_missing entity, hash, attribute, counts = {}
    NilClassFalseClass.__arm__ entity, hash, attribute, counts
  end

  def unassign_method_missing
    NilClassFalseClass.disarm!
  end

  def method_missing name, *args, &block
    armed = NilClassFalseClass.armed
    return super if armed.nil? || $nil_punning_disabled
    NilClassFalseClass.disarm!
    entity, hash, attribute, counts = armed
    if QUIET_METHODS.include?(name) || block || args.length > 2
      return NilClassFalseClass.__quiet_nil__(self, name, entity, attribute, counts)
    end
    s = name.to_s
    if s.end_with?("=") && s[0..-2].to_sym == attribute && args.length == 1
      hash[attribute] = args[0]
      return args[0]
    end
    if name == :[]
      if args[0].is_a? Symbol
        raise NoMethodError.new("* ERROR: ~#{attribute}~ is #{inspect}, so ~#{attribute}[#{args[0].inspect}]~ " \
                                "indexes an entity that was never initialised. That is disallowed.\n" \
                                "** Give ~#{attribute}~ a value first, for example " \
                                "~state.#{attribute} ||= { #{args[0]}: 0 }~.", name)
      end
      $zel.log_info "* WARNING: ~#{attribute}~ is #{inspect}, so ~#{attribute}[#{args[0].inspect}]~ is nil.\n" \
                    "** Initialise ~#{attribute}~ as an Array or a Hash first " \
                    "(~state.#{attribute} ||= []~)." if $zel
      return nil
    end
    child = Zel::OpenEntity.new
    child[:entity_name] = attribute
    hash[attribute] = child
    child.send name, *args
  end

  def self.__quiet_nil__ receiver, name, entity, attribute, counts
    count = (counts[name] || 0) + 1
    counts[name] = count
    where = "member ~#{attribute}~ of the entity #{entity.inspect[0, 200]}"
    if count > 5
      raise NoMethodError.new("* ERROR: ~#{name}~ was invoked on nil (#{where}) more than five times.\n" \
                              "** Give ~#{attribute}~ a default value, for example " \
                              "~state.#{attribute} ||= 0~.", name)
    end
    zel = $zel
    if zel
      if count == 1
        zel.log_warn "* Warning: Method invoked on nil.\n" \
                     "** ~#{name}~ was invoked on nil, the value of #{where}.\n" \
                     "** The result is nil. Give ~#{attribute}~ a default value " \
                     "(~state.#{attribute} ||= 0~)."
      elsif count == 4
        zel.log_warn "* Warning: further invocations of ~#{name}~ on nil (#{where}) are suppressed. " \
                     "A sixth one raises an error."
      end
    end
    nil
  end
end

class NilClass
  include NilClassFalseClass
end

class FalseClass
  include NilClassFalseClass
end

module Zel
  class Runtime
    def disable_nil_punning!
      $nil_punning_disabled = true
      NilClassFalseClass.disarm!
    end

    def enable_nil_punning!
      $nil_punning_disabled = false
    end
  end
end
