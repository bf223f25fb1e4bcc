# Object-wide additions: every object answers primitive_marker (nil unless it
# is a drawable primitive).
class Object
  def primitive_marker
    nil
  end
end
