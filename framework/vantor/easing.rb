# Easing functions live in Zel::Easing; the image binds the namespace here and
# the easing module fills it.
module Zel
  module Easing
  end
end

Easing = Zel::Easing
