# Automatic runs of the game's tests files when they change.
# FIXME: finding tests files and running them on change.
module Zel
  class Runtime
    module AutoTest
      def tick_auto_test
      end
    end
  end
end
