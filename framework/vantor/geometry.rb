# Geometry functions live in Zel::Geometry; the heavy ones are natives that the
# engine adds to this module.
module Zel
  module Geometry
  end
end

Geometry = Zel::Geometry
